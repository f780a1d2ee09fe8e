#pragma once

// Small pieces the event dialogs share: fonts, fixed placement and window setup.

#include <QDialog>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <type_traits>

namespace dialogs {

inline QFont ArialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

/// Where the design put a control, in pixels inside its parent.
struct Place
{
    const char* name;
    int left, top, width, height;
};

/// Creates a child control named `name`, with `text` where the kind of control has one.
template <typename Control> Control* Make(QWidget* parent, const char* name, const char* text = nullptr)
{
    Control* control = nullptr;
    if constexpr (std::is_constructible_v<Control, QString, QWidget*>)
        control = new Control(text ? QString::fromUtf8(text) : QString(), parent);
    else
        control = new Control(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

/// Puts every named control of `window` where the design table says.
template <std::size_t N> void PlaceControls(QWidget& window, const Place (&places)[N])
{
    for (const Place& place : places) {
        if (auto* control = window.findChild<QWidget*>(QString::fromLatin1(place.name)))
            control->setGeometry(place.left, place.top, place.width, place.height);
    }
}

/// A fixed-size dialog with a close box only (no minimise or maximise).
inline void MakeFixedDialog(QDialog& dialog, int width, int height)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint);
    dialog.setFixedSize(width, height);
    dialog.setModal(true);
    dialog.setFont(ArialBold(9));
}

/// Centres a window on the screen it will show on.
inline void CentreOnScreen(QWidget& window)
{
    const QWidget* anchor = window.parentWidget() ? window.parentWidget() : &window;
    if (QScreen* screen = anchor->screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
}

} // namespace dialogs
