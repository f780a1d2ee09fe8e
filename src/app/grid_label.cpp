#include "grid_label.h"

#include <QMouseEvent>

namespace {
QString cssColor(ColorRef c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(redOf(c)).arg(greenOf(c)).arg(blueOf(c));
}
} // namespace

GridLabel::GridLabel(QWidget* parent) : QLabel(parent)
{
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setWordWrap(true);
    setColors(m_background, m_foreground);
}

void GridLabel::setColors(ColorRef background, ColorRef foreground)
{
    m_background = background;
    m_foreground = foreground;
    setStyleSheet(QStringLiteral("QLabel { background-color: %1; color: %2; border: 1px solid black; }")
                      .arg(cssColor(background), cssColor(foreground)));
}

void GridLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
