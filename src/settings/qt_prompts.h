#pragma once

#include "prompts.h"

class QWidget;

/// Prompts shown to the user with QMessageBox and QColorDialog.
class QtPrompts final : public Prompts
{
public:
    Answer message(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    std::optional<ColorRef> pickColor(ColorRef initial) override;
};

/// Text as a Qt widget shows it: a lone CR and CR LF become line breaks.
[[nodiscard]] QString DisplayText(const QString& text);
