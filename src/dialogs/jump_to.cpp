#include "jump_to.h"

#include "core/error_report.h"
#include "ui/look.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>

#include <cmath>

using namespace kit;

namespace {

constexpr Place kPlaces[] = {
    {"Label1", 120, 180, 1155, 225}, {"Combo1", 1320, 120, 2760, 345},      {"Label2", 120, 690, 1020, 225},
    {"Text1", 1320, 600, 1095, 405}, {"PushButton1", 120, 1200, 1920, 405}, {"PushButton2", 2160, 1200, 1920, 405},
};

constexpr int kFirstYear = kFirstShownYear;
constexpr int kLastYear = kLastShownYear;

} // namespace

std::optional<double> YearTyped(const QString& text)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const QString number = text.trimmed();
    const double value = locale.toDouble(number, &ok);
    if (!ok || !std::isfinite(value)) {
        // A number too large for a double (a thousand digits) is still a number: a year far out of range.
        const QString sign = QStringLiteral("[%1%2]?").arg(QRegularExpression::escape(locale.negativeSign()),
                                                           QRegularExpression::escape(locale.positiveSign()));
        const QRegularExpression shape(QStringLiteral("^(%1)\\d*(%2\\d*)?(?<=\\d)([eE]%3\\d+)?$")
                                           .arg(sign, QRegularExpression::escape(locale.decimalPoint()), sign));
        const QRegularExpressionMatch match = shape.match(number);
        if (!match.hasMatch())
            return std::nullopt;
        return match.captured(1) == locale.negativeSign() ? -HUGE_VAL : HUGE_VAL;
    }
    return std::nearbyint(value); // the default rounding: halves to the even neighbour
}

Form7::Form7(AppServices& services, ViewedMonth shown, QWidget* parent)
    : FormDialog(parent), m_services(services), m_shown(shown)
{
    setObjectName(QStringLiteral("Form7"));
    MakeFixedWindow(*this, 4200, 1725);
    setWindowTitle(QStringLiteral("Jump To"));

    auto* monthLabel = Make<QLabel>(this, "Label1", "Select Month:");
    Combo1 = Make<QComboBox>(this, "Combo1");
    auto* yearLabel = Make<QLabel>(this, "Label2", "Select Year:");
    Text1 = Make<QLineEdit>(this, "Text1");
    // The labels name their fields for screen readers.
    monthLabel->setBuddy(Combo1);
    yearLabel->setBuddy(Text1);
    auto* ok = MakePushButton(this, hover(), "PushButton1", "OK");
    auto* cancel = MakePushButton(this, hover(), "PushButton2", "Cancel");
    ok->setDefault(true); // Enter in the year box means OK
    PlaceControls(*this, kPlaces);
    FitCaptions(*this);
    // The window and two further controls bring the arrow back: here the two captions,
    // and the month list and year box beside them, so the hand never lingers over a field.
    hover().arrowOver({this, monthLabel, yearLabel, Combo1, Text1});

    connect(ok, &QPushButton::clicked, this, &Form7::PushButton1_Click);
    connect(cancel, &QPushButton::clicked, this, &Form7::PushButton2_Click);
}

Form7::~Form7() = default;

void Form7::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form7.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    trap(102, [&] {
        Combo1->clear();
        for (int month = 1; month <= 12; ++month)
            Combo1->addItem(QLocale().standaloneMonthName(month, QLocale::LongFormat));
    });
    trap(104, [&] { Combo1->setCurrentIndex(m_shown.month - 1); });
    trap(106, [&] { Text1->setText(QString::number(m_shown.year)); });
}

void Form7::refuse(const QString& message)
{
    m_services.prompts.inform(message);
    Text1->setText(QString::number(m_shown.year));
    Text1->setFocus();
}

void Form7::PushButton1_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form7.PushButton1_Click"));
    trap(100, [&] {
        if (Text1->text().isEmpty())
            Text1->setText(QString::number(m_shown.year));
    });
    // Nothing is applied before the year is known to be one the calendar can draw.
    std::optional<double> year;
    trap(102, [&] {
        year = YearTyped(Text1->text());
        if (!year)
            refuse(QStringLiteral("Must be numeric value."));
        else if (*year < kFirstYear || *year > kLastYear)
            refuse(QStringLiteral("Must be a year from %1 to %2.").arg(kFirstYear).arg(kLastYear));
    });
    if (!year || *year < kFirstYear || *year > kLastYear)
        return;
    trap(104, [&] { m_chosen = ViewedMonth{Combo1->currentIndex() + 1, int(*year)}; });
    trap(106, [&] { accept(); });
}

void Form7::PushButton2_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form7.PushButton2_Click"));
    trap(100, [&] { reject(); });
}
