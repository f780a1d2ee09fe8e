#pragma once

#include "core/prompts.h"

/// Prompts shown to the user with QMessageBox and QColorDialog.
class QtPrompts final : public Prompts
{
public:
    Answer message(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    std::optional<ColorRef> pickColor(ColorRef initial) override;
};
