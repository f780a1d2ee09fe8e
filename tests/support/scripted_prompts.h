#pragma once

#include "core/prompts.h"

#include <QList>
#include <QQueue>
#include <QString>

/// Prompts that show nothing: each message is recorded, and answered from a queue
/// (Yes/No questions answer No when the queue is empty).
class ScriptedPrompts final : public Prompts
{
public:
    struct Shown
    {
        QString text;
        QString title; ///< as shown: the application title when the caller gave none
        Buttons buttons;
        Icon icon;
    };

    Answer message(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    std::optional<ColorRef> pickColor(ColorRef initial) override;

    void queueAnswer(Answer answer) { m_answers.enqueue(answer); }
    void queueColor(std::optional<ColorRef> color) { m_colors.enqueue(color); }

    QList<Shown> shown;
    QList<ColorRef> pickerStarts;

    /// The texts of all messages so far, in order.
    [[nodiscard]] QStringList texts() const;
    void clear() { shown.clear(); }

private:
    QQueue<Answer> m_answers;
    QQueue<std::optional<ColorRef>> m_colors;
};
