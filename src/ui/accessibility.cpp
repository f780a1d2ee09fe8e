#include "accessibility.h"

#include "grid_label.h"

#include <QAccessibleWidget>
#include <QWidget>

#include <limits>

namespace kit {

namespace {

constexpr char kWindowProperty[] = "quillmoorPresentAsWindow";
constexpr char kControlProperty[] = "quillmoorPresentAsControl";

// A day, a heading or a swatch: pressing it does what a click does.
class AccessibleGridLabel : public QAccessibleWidget
{
public:
    explicit AccessibleGridLabel(GridLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    // Null while the label is being destroyed.
    [[nodiscard]] GridLabel* label() const { return qobject_cast<GridLabel*>(object()); }
    [[nodiscard]] bool pressable() const { return label() && label()->focusPolicy() != Qt::NoFocus; }

    [[nodiscard]] bool control() const { return label() && label()->property(kControlProperty).toBool(); }

    QAccessible::Role role() const override
    {
        return pressable() || control() ? QAccessible::Button : QAccessible::StaticText;
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        if (control() && !pressable())
            state.disabled = true;
        return state;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !label())
            return QAccessibleWidget::text(t);
        // An accessible name stands for the text's first line (a day cell's number): the
        // holiday and the titles follow it. Put together only when asked for: a day can
        // hold thousands of titles.
        QString text = label()->text();
        if (const QString name = label()->accessibleName(); !name.isEmpty()) {
            const qsizetype firstBreak = text.indexOf(u'\n');
            text = firstBreak < 0 ? name : name + u'\n' + text.mid(firstBreak + 1);
        }
        return text.replace(u'\n', QStringLiteral(", "));
    }
    QStringList actionNames() const override { return pressable() ? QStringList{pressAction()} : QStringList{}; }
    void doAction(const QString& action) override
    {
        if (action == pressAction() && pressable())
            emit label()->clicked();
    }
};

QAccessibleInterface* accessibleView(const QString& className, QObject* object)
{
    if (className == QLatin1String("GridLabel"))
        return new AccessibleGridLabel(static_cast<GridLabel*>(object));
    if (auto* widget = qobject_cast<QWidget*>(object); widget && widget->property(kWindowProperty).toBool())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

struct NamedColour
{
    const char* name;
    int red, green, blue;
};

// Plain words a user would say; the light shades are the program's own defaults.
constexpr NamedColour kColourNames[] = {
    {"black", 0, 0, 0},
    {"dark grey", 64, 64, 64},
    {"grey", 128, 128, 128},
    {"silver", 192, 192, 192},
    {"light grey", 224, 224, 224},
    {"white", 255, 255, 255},
    {"dark red", 128, 0, 0},
    {"red", 255, 0, 0},
    {"light red", 255, 192, 192},
    {"brown", 150, 75, 0},
    {"orange", 255, 165, 0},
    {"olive", 128, 128, 0},
    {"yellow", 255, 255, 0},
    {"light yellow", 255, 255, 192},
    {"dark green", 0, 64, 0},
    {"green", 0, 128, 0},
    {"lime green", 0, 255, 0},
    {"light green", 192, 255, 192},
    {"teal", 0, 128, 128},
    {"cyan", 0, 255, 255},
    {"light cyan", 192, 255, 255},
    {"dark blue", 0, 0, 128},
    {"blue", 0, 0, 255},
    {"sky blue", 135, 206, 235},
    {"light blue", 192, 192, 255},
    {"purple", 128, 0, 128},
    {"magenta", 255, 0, 255},
};

// The "redmean" weighting: closer to what the eye sees than plain red-green-blue distance.
long distance(const NamedColour& named, int red, int green, int blue)
{
    const long mean = (named.red + red) / 2;
    const long r = named.red - red, g = named.green - green, b = named.blue - blue;
    return ((512 + mean) * r * r >> 8) + 4 * g * g + ((767 - mean) * b * b >> 8);
}

} // namespace

void UseAccessibleViews()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleView);
        return true;
    }();
    Q_UNUSED(installed);
}

void PresentAsControl(QWidget& cell)
{
    UseAccessibleViews();
    cell.setProperty(kControlProperty, true);
}

void NotifyAvailability(QWidget& cell)
{
    QAccessible::State changed;
    changed.disabled = true;
    QAccessibleStateChangeEvent event(&cell, changed);
    QAccessible::updateAccessibility(&event);
}

void PresentAsWindow(QWidget& window)
{
    UseAccessibleViews();
    window.setProperty(kWindowProperty, true);
}

QString ColorInWords(ColorRef colour)
{
    const int red = redOf(colour), green = greenOf(colour), blue = blueOf(colour);
    const NamedColour* nearest = nullptr;
    long best = std::numeric_limits<long>::max();
    for (const NamedColour& named : kColourNames) {
        if (const long d = distance(named, red, green, blue); d < best) {
            best = d;
            nearest = &named;
        }
    }
    const QString name = QString::fromLatin1(nearest->name);
    if (best == 0)
        return name;
    const QString hex = QStringLiteral("%1%2%3")
                            .arg(red, 2, 16, QLatin1Char('0'))
                            .arg(green, 2, 16, QLatin1Char('0'))
                            .arg(blue, 2, 16, QLatin1Char('0'));
    return QStringLiteral("near %1, #%2").arg(name, hex.toUpper());
}

} // namespace kit
