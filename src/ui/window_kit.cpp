#include "window_kit.h"

#include "look.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace kit {

QFont ArialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

QString DisplayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return shown;
}

void SetWholeText(QLineEdit& field, const QString& text)
{
    if (text.size() > field.maxLength())
        field.setMaxLength(int(text.size()));
    field.setText(text);
}

void FitCaptions(QWidget& window)
{
    for (QLabel* label : window.findChildren<QLabel*>()) {
        // Plain captions only: the colour labels of the month and the swatches keep their size.
        if (label->metaObject() != &QLabel::staticMetaObject)
            continue;
        const int needed = label->sizeHint().width();
        if (needed > label->width())
            label->resize(needed, label->height());
    }
}

QPushButton* MakePushButton(QWidget* parent, Hover& hover, const char* name, const char* caption)
{
    auto* button = Make<QPushButton>(parent, name, caption);
    button->setFont(ArialBold(11.25));
    button->setAutoDefault(false);
    hover.handOver({button});
    return button;
}

void MakeFixedWindow(QWidget& window, int width, int height)
{
    const Qt::WindowFlags common =
        Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
    if (qobject_cast<QDialog*>(&window))
        window.setWindowFlags(Qt::Dialog | common);
    else
        window.setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | common);
    window.setFixedSize(Pixels(width), Pixels(height));
    window.setFont(ArialBold(9));
}

void CentreOnScreen(QWidget& window)
{
    const QWidget* anchor = window.parentWidget() ? window.parentWidget() : &window;
    if (QScreen* screen = anchor->screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

FormDialog::FormDialog(QWidget* parent) : QDialog(parent), m_hover(new Hover(*this))
{}

void FormDialog::done(int result)
{
    m_closed = true;
    QDialog::done(result);
}

int ShowModal(FormDialog& dialog)
{
    dialog.m_closed = false;
    dialog.Form_Load();
    if (dialog.m_closed)
        return dialog.result();
    CentreOnScreen(dialog);
    return dialog.exec();
}

} // namespace kit
