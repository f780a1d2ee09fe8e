#include "grid_label.h"

#include "accessibility.h"
#include "window_kit.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {

bool framesShown = false;

/// Watches every window's input for the keys and presses that turn the frames on and off.
class FocusFrameSwitch final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        bool shown = framesShown;
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
            // Page Up and Down reach the window as shortcuts, without a key press.
            switch (static_cast<QKeyEvent*>(event)->key()) {
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
            case Qt::Key_Left:
            case Qt::Key_Right:
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Home:
            case Qt::Key_End:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
                shown = true;
                break;
            default:
                break;
            }
        } else if (event->type() == QEvent::MouseButtonPress) {
            shown = false;
        }
        if (shown != framesShown) {
            framesShown = shown;
            if (QWidget* focused = QApplication::focusWidget()) {
                focused->update();
                if (auto* list = qobject_cast<QAbstractItemView*>(focused))
                    list->viewport()->update();
            }
        }
        return false;
    }
};

// Paints a list's cells without their focus frame until the keyboard is in use.
class KeyFocusDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!FocusFramesShown())
            option->state &= ~QStyle::State_HasFocus;
    }
};

} // namespace

bool FocusFramesShown()
{
    static const FocusFrameSwitch* const frameSwitch = [] {
        auto* watcher = new FocusFrameSwitch(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watcher);
        return watcher;
    }();
    (void)frameSwitch;
    return framesShown;
}

void FramesFocusAfterKeys(QAbstractItemView& list)
{
    (void)FocusFramesShown(); // from now on the keys are watched
    list.setItemDelegate(new KeyFocusDelegate(&list));
}

GridLabel::GridLabel(QWidget* parent) : QLabel(parent)
{
    (void)FocusFramesShown(); // from now on the keys are watched
    kit::UseAccessibleViews();
    setTextFormat(Qt::PlainText);
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

bool GridLabel::showsWholeText() const
{
    const QString shown = shownText();
    return shown.size() == text().size() &&
           fontMetrics().boundingRect(contentsRect(), textFlags(), shown).height() <= contentsRect().height();
}

QString GridLabel::shownText() const
{
    const QString all = text();
    if (!(alignment() & Qt::AlignTop))
        return all;
    // Each line of the text takes at least one line of the cell.
    const qsizetype fitting = contentsRect().height() / qMax(1, fontMetrics().lineSpacing()) + 1;
    qsizetype end = -1;
    for (qsizetype line = 0; line < fitting; ++line) {
        end = all.indexOf(u'\n', end + 1);
        if (end < 0)
            return all;
    }
    return all.left(end);
}

// Paints as QLabel paints plain text, but lays out only the lines that can show: a day
// with a thousand events would otherwise have every title laid out at each paint.
void GridLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter); // nothing, unless a style sheet gives labels a frame
    style()->drawItemText(&painter, contentsRect(), textFlags(), palette(), isEnabled(), shownText(), foregroundRole());

    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    if (hasFocus() && FocusFramesShown()) {
        // Dotted just inside the border, in black or white against the background, so that
        // neither the background nor the text changes colour.
        QPen dots(qGray(palette().color(QPalette::Window).rgb()) < 128 ? Qt::white : Qt::black, 1, Qt::DotLine);
        painter.setPen(dots);
        painter.drawRect(rect().adjusted(2, 2, -3, -3));
    }
}

int GridLabel::textFlags() const
{
    const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    int flags = int(QStyle::visualAlignment(direction, alignment()));
    flags |= direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft;
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    return flags;
}

void GridLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void GridLabel::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (event->modifiers() & ~Qt::KeypadModifier)
            break;
        emit clicked();
        return;
    default:
        break;
    }
    QLabel::keyPressEvent(event);
}
