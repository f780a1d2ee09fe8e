#pragma once

#include "core/color_ref.h"

#include <QLabel>

class QAbstractItemView;

/// Whether focus frames show: from a key that moves the focus or the month (Tab, an arrow, Home,
/// End, Page Up or Down) to the next mouse press, as desktops and browsers show them; never
/// before a key, so that a window opens as if nothing had the focus. Watches the application's
/// input from its first call on.
[[nodiscard]] bool FocusFramesShown();

/// Lets a list show the focus frame of its current cell only while FocusFramesShown().
void FramesFocusAfterKeys(QAbstractItemView& list);

/// A bordered label, centred across, in colours of the settings store; reports clicks.
/// The day cells and headings of the month, and the colour swatches. Given a focus
/// policy, it shows a focus frame while it has the focus and the keyboard is in use: from
/// a key that moves the focus or the month (Tab, an arrow, Home, End, Page Up or Down) to
/// the next mouse press, as desktops and browsers show them; never before a key, so a
/// start-up looks as if nothing had the focus. Enter or Space click it.
class GridLabel : public QLabel
{
    Q_OBJECT

public:
    explicit GridLabel(QWidget* parent = nullptr);

    void setColors(ColorRef background, ColorRef foreground);
    void setBackground(ColorRef background) { setColors(background, foreground()); }
    void setForeground(ColorRef foreground) { setColors(background(), foreground); }
    /// The colours as painted (also when the window's look set them).
    [[nodiscard]] ColorRef background() const;
    [[nodiscard]] ColorRef foreground() const;

    /// False when the label is too small for its text: some lines are cut or hidden.
    [[nodiscard]] bool showsWholeText() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// The text's first lines, as many as the label can show; all of it unless top-aligned.
    [[nodiscard]] QString shownText() const;
    [[nodiscard]] int textFlags() const;
};
