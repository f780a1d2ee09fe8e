#pragma once

#include "core/color_ref.h"

#include <QLabel>

/// A bordered label, centred across, in colours of the settings store; reports clicks.
class GridLabel : public QLabel
{
    Q_OBJECT

public:
    explicit GridLabel(QWidget* parent = nullptr);

    void setColors(ColorRef background, ColorRef foreground);
    void setBackground(ColorRef background) { setColors(background, m_foreground); }
    void setForeground(ColorRef foreground) { setColors(m_background, foreground); }
    [[nodiscard]] ColorRef background() const { return m_background; }
    [[nodiscard]] ColorRef foreground() const { return m_foreground; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    /// The text's first lines, as many as the label can show; all of it unless top-aligned.
    [[nodiscard]] QString shownText() const;

    ColorRef m_background = 16777215;
    ColorRef m_foreground = 0;
};
