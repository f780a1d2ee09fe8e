#include "scripted_prompts.h"

Prompts::Answer ScriptedPrompts::message(const QString& text, const QString& title, Buttons buttons, Icon icon)
{
    shown.append({text, title.isEmpty() ? applicationTitle() : title, buttons, icon});
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
}

std::optional<ColorRef> ScriptedPrompts::pickColor(ColorRef initial)
{
    pickerStarts.append(initial);
    return m_colors.isEmpty() ? std::nullopt : m_colors.dequeue();
}

QStringList ScriptedPrompts::texts() const
{
    QStringList all;
    for (const Shown& s : shown)
        all.append(s.text);
    return all;
}
