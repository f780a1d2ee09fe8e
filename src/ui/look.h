#pragma once

// The common look of the program's windows: the icon, button-face backgrounds, the
// optional skin of the main window, the hand pointer and the hover feedback.

#include <QCursor>
#include <QIcon>
#include <QObject>
#include <QSet>

#include <initializer_list>
#include <optional>

struct AppPaths;
class QWidget;
namespace kit {
class FormDialog;
}

/// The program's icon, shown by every window.
[[nodiscard]] QIcon ProgramIcon();

/// Gives `window` and its option buttons, check boxes, frames and labels the
/// button-face colour of the user's palette.
void UseButtonFace(QWidget& window);

/// Reads a Windows cursor file: its first image, and the hotspot from the file's
/// directory entry (Qt's reader does not give it). The file is untrusted: a missing,
/// truncated, empty or oversized file, or one that is not a cursor, throws
/// std::runtime_error naming the file.
[[nodiscard]] QCursor ReadCursorFile(const QString& fileName);

/// The hand pointer HAND-M.CUR beside the program; nothing when there is no such file.
/// Throws as ReadCursorFile when the file is there but unusable, the first time in a run
/// only: later calls give nothing (the arrow), so that the fault is reported once.
[[nodiscard]] std::optional<QCursor> LoadHandCursor(const AppPaths& paths);

/// Applies the skin x/o.cjs beside the program, a Qt style sheet, to the main window:
/// first the button-face colours, then the sheet. Does nothing when there is no
/// skin; throws std::runtime_error for an unreadable or oversized one, or one that is not
/// a regular file.
void ApplySkin(QWidget& window, const AppPaths& paths);

/// The pointer feedback of one window: over its push buttons the pointer becomes the
/// hand, over the elements that restore it (the window itself, its frames, lists) it
/// goes back to the arrow; other controls leave it as it is. While the window shows a
/// busy pointer nothing changes. Without a hand image the hand is the ordinary arrow.
class Hover : public QObject
{
public:
    explicit Hover(QWidget& window);

    void handOver(std::initializer_list<QWidget*> buttons);
    void arrowOver(std::initializer_list<QWidget*> elements);
    /// The window's custom pointer image; empty for none.
    void setHand(const std::optional<QCursor>& hand) { m_hand = hand.value_or(QCursor(Qt::ArrowCursor)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget* widget);

    QWidget& m_window;
    QCursor m_hand{Qt::ArrowCursor};
    QSet<const QObject*> m_buttons;
};

/// The preparation every dialog runs first when it loads: button-face backgrounds,
/// the program icon and, when HAND-M.CUR lies beside the program, the hand pointer.
/// An unusable cursor file throws after the rest is done.
void PrepareDialog(kit::FormDialog& dialog, const AppPaths& paths);
