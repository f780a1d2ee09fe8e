#include "qt_prompts.h"

#include "window_kit.h"

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>

Prompts::Answer QtPrompts::message(const QString& text, const QString& title, Buttons buttons, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title.isEmpty() ? applicationTitle() : title, kit::DisplayText(text),
                    buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    const int pressed = box.exec();
    if (buttons == Buttons::Ok)
        return Answer::Ok;
    return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

std::optional<ColorRef> QtPrompts::pickColor(ColorRef initial)
{
    const QColor chosen = QColorDialog::getColor(kit::ToQColor(initial), QApplication::activeWindow(), {},
                                                 QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid())
        return std::nullopt;
    return kit::ToColorRef(chosen);
}
