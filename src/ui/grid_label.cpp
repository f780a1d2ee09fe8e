#include "grid_label.h"

#include "window_kit.h"

#include <QMouseEvent>
#include <QPainter>

GridLabel::GridLabel(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setWordWrap(true);
    setAutoFillBackground(true);
    setContentsMargins(1, 1, 1, 1); // room for the border
    setColors(16777215, 0);
}

void GridLabel::setColors(ColorRef background, ColorRef foreground)
{
    // Palette colours rather than a style sheet: a style sheet would also reset the
    // font the label inherits from its window.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kit::ToQColor(background));
    colours.setColor(QPalette::WindowText, kit::ToQColor(foreground));
    setPalette(colours);
}

ColorRef GridLabel::background() const
{
    return kit::ToColorRef(palette().color(QPalette::Window));
}

ColorRef GridLabel::foreground() const
{
    return kit::ToColorRef(palette().color(QPalette::WindowText));
}

void GridLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void GridLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
