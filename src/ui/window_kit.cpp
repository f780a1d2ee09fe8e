#include "window_kit.h"

#include "look.h"

#include <QApplication>
#include <QBasicTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <optional>

namespace kit {

QFont ArialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

QString ShownPart(const QString& text)
{
    constexpr char16_t kCut = 0x2026;
    const auto lineEnd = [](QChar c) { return c == u'\n' || c == u'\r'; };
    // Most texts need no cut: one pass to find out, without a copy.
    qsizetype line = 0;
    bool fits = text.size() <= kMostShownChars;
    for (qsizetype i = 0; fits && i < text.size(); ++i) {
        line = lineEnd(text[i]) ? 0 : line + 1;
        fits = line <= kMostShownLineChars;
    }
    if (fits)
        return text;
    QString shown;
    shown.reserve(std::min(text.size(), kMostShownChars + 1));
    const auto cut = [&] {
        if (!shown.isEmpty() && shown.back().isHighSurrogate())
            shown.chop(1); // never half a character
        shown += kCut;
    };
    line = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (shown.size() >= kMostShownChars) {
            cut();
            break;
        }
        const QChar c = text[i];
        if (lineEnd(c)) {
            line = 0;
        } else if (++line > kMostShownLineChars) {
            // The rest of the line goes.
            cut();
            while (i + 1 < text.size() && !lineEnd(text[i + 1]))
                ++i;
            continue;
        }
        shown += c;
    }
    return shown;
}

QString DisplayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(u'\r', u'\n');
    return ShownPart(shown);
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

namespace {

// What the window manager's frame adds to a window's size; none until it has framed one,
// and alike for every window of the program.
std::optional<QSize> frameOf(const QWidget& window)
{
    const QSize extra = window.frameGeometry().size() - window.size();
    if (!window.isVisible() || extra.width() < 0 || extra.height() < 0 || extra.isNull())
        return std::nullopt;
    return extra;
}

std::optional<QSize> frameExtra(const QWidget& window)
{
    if (window.isVisible())
        return frameOf(window);
    for (const QWidget* shown : QApplication::topLevelWidgets()) {
        if (const std::optional<QSize> extra = frameOf(*shown))
            return extra;
    }
    return std::nullopt;
}

void centre(QWidget& window, QSize extra)
{
    const QWidget* anchor = window.parentWidget() ? window.parentWidget() : &window;
    if (QScreen* screen = anchor->screen())
        window.move(screen->availableGeometry().center() - QRect(QPoint(), window.size() + extra).center());
}

// The first window shown is placed before its frame is known: once the window manager has
// framed it, it is centred again as a whole.
class CentreWhenFramed final : public QObject
{
public:
    explicit CentreWhenFramed(QWidget& window) : QObject(&window), m_window(window) { window.installEventFilter(this); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            m_tries = 0;
            m_timer.start(10, this);
        }
        return false;
    }
    void timerEvent(QTimerEvent*) override
    {
        const std::optional<QSize> extra = frameOf(m_window);
        // The window managers put a new window's frame or its inside where it was asked to be,
        // so it is centred again whatever they did; no one moves a window this soon.
        if (extra)
            centre(m_window, *extra);
        if (extra || ++m_tries > 50) {
            m_timer.stop();
            deleteLater();
        }
    }

private:
    QWidget& m_window;
    QBasicTimer m_timer;
    int m_tries = 0;
};

} // namespace

void CentreOnScreen(QWidget& window)
{
    const std::optional<QSize> extra = frameExtra(window);
    centre(window, extra.value_or(QSize()));
    const QObjectList& children = window.children();
    if (!extra && !window.isVisible() &&
        std::none_of(children.begin(), children.end(), [](QObject* c) { return dynamic_cast<CentreWhenFramed*>(c); }))
        new CentreWhenFramed(window);
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
    const int result = dialog.exec();
    // A dialog that closes right after a message box (the editor's "Event Saved.") may leave
    // no window active under some window managers: the keys would go nowhere until a click.
    if (QWidget* parent = dialog.parentWidget();
        parent && parent->window()->isVisible() && !parent->window()->isActiveWindow())
        parent->window()->activateWindow();
    return result;
}

} // namespace kit
