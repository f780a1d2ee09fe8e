#include "qt_prompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QMessageBox>

QString DisplayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

Prompts::Answer QtPrompts::message(const QString& text, const QString& title, Buttons buttons, Icon icon)
{
    QMessageBox box(icon == Icon::Warning ? QMessageBox::Warning : QMessageBox::NoIcon,
                    title.isEmpty() ? applicationTitle() : title, DisplayText(text),
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
    const QColor chosen = QColorDialog::getColor(QColor(redOf(initial), greenOf(initial), blueOf(initial)),
                                                 QApplication::activeWindow(), {}, QColorDialog::DontUseNativeDialog);
    if (!chosen.isValid())
        return std::nullopt;
    return colorRef(chosen.red(), chosen.green(), chosen.blue());
}
