#pragma once

#include "color_ref.h"

#include <QString>

#include <optional>

/// Every message box and the colour picker of the program go through here, so
/// that tests can read what the user would be told and answer in the user's place.
class Prompts
{
public:
    enum class Buttons
    {
        Ok,
        YesNo,
    };
    enum class Icon
    {
        None,
        Warning,
    };
    enum class Answer
    {
        Ok,
        Yes,
        No,
    };

    virtual ~Prompts() = default;

    /// Shows a modal message and returns the button pressed. An empty title means
    /// the application title.
    virtual Answer message(const QString& text, const QString& title, Buttons buttons, Icon icon) = 0;
    /// Offers the colour picker starting at `initial`; empty when the user cancels.
    virtual std::optional<ColorRef> pickColor(ColorRef initial) = 0;

    /// A message with OK only, no icon and the application title.
    void inform(const QString& text) { message(text, {}, Buttons::Ok, Icon::None); }
    /// A Yes/No question with no icon and the application title; true for Yes.
    bool ask(const QString& text) { return message(text, {}, Buttons::YesNo, Icon::None) == Answer::Yes; }

    void setApplicationTitle(const QString& title) { m_applicationTitle = title; }
    [[nodiscard]] QString applicationTitle() const { return m_applicationTitle; }

private:
    QString m_applicationTitle;
};
