#include "color_options.h"

#include "core/error_report.h"
#include "ui/accessibility.h"
#include "ui/grid_label.h"
#include "ui/look.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

using namespace kit;
namespace pref = preferences;

namespace {

struct Frame
{
    const char* caption;
    int left, top;
};

constexpr Frame kFrames[] = {
    {"Blank Days", 120, 120},
    {"Today", 120, 1050},
    {"Month and Year Heading", 120, 1980},
    {"Days of the Week Heading", 120, 2910},
    {"Regular Days", 4080, 120},
    {"Important Holidays", 4080, 1050},
    {"Weekends", 4080, 1980},
};
constexpr int kFrameWidth = 3840;
constexpr int kFrameHeight = 855;

// In the order the dialog loads them. A frame's "Fore Color:" swatch comes first.
struct Swatch
{
    const char* name;
    int frame;
    bool fore;
    const ColorPreference& key;
};

constexpr Swatch kSwatches[Form2::kSwatchCount] = {
    {"lblBlankDays", 0, false, pref::BlankBackcolor},     {"lblTodayFore", 1, true, pref::TodayForecolor},
    {"lblTodayBack", 1, false, pref::TodayBackcolor},     {"lblMonthFore", 2, true, pref::MonthYearForecolor},
    {"lblMonthBack", 2, false, pref::MonthYearBackcolor}, {"lblDaysFore", 3, true, pref::DowForecolor},
    {"lblDaysBack", 3, false, pref::DowBackcolor},        {"lblRegFore", 4, true, pref::DayForecolor},
    {"lblRegBack", 4, false, pref::DayBackcolor},         {"lblHolFore", 5, true, pref::HolidayForecolor},
    {"lblHolBack", 5, false, pref::HolidayBackcolor},     {"lblWeekFore", 6, true, pref::WeekendForecolor},
    {"lblWeekBack", 6, false, pref::WeekendBackcolor},
};

} // namespace

Form2::Form2(AppServices& services, QWidget* parent) : FormDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("Form2"));
    MakeFixedWindow(*this, 8040, 3870);
    setWindowTitle(QStringLiteral("Color Options"));

    std::array<QGroupBox*, std::size(kFrames)> frames{};
    for (std::size_t i = 0; i < std::size(kFrames); ++i) {
        const Frame& f = kFrames[i];
        frames[i] = Make<QGroupBox>(this, QStringLiteral("Frame%1").arg(i + 1).toLatin1(), f.caption);
        frames[i]->setGeometry(FromTwips(f.left, f.top, kFrameWidth, kFrameHeight));
        hover().arrowOver({frames[i]});
    }
    for (int i = 0; i < kSwatchCount; ++i) {
        const Swatch& s = kSwatches[i];
        // The only swatch of "Blank Days" sits where the others have their "Fore Color:".
        const bool first = s.fore || s.frame == 0;
        auto* caption = new QLabel(s.fore ? QStringLiteral("Fore Color:") : QStringLiteral("Back Color:"),
                                   frames[std::size_t(s.frame)]);
        caption->setGeometry(FromTwips(first ? 240 : 2160, 360, s.fore ? 915 : 975, 225));
        GridLabel* swatch = Make<GridLabel>(frames[std::size_t(s.frame)], s.name);
        swatch->setGeometry(FromTwips(first ? 1320 : 3240, 285, 375, 375));
        // Tab visits the swatches frame by frame; Enter or Space opens the picker.
        swatch->setFocusPolicy(Qt::StrongFocus);
        connect(swatch, &GridLabel::clicked, this, [this, i] { SwatchClick(i); });
        m_swatches[std::size_t(i)] = swatch;
    }
    Check1 = Make<QCheckBox>(this, "Check1", "&Highlight Special Days");
    Check1->setGeometry(FromTwips(4080, 3000, 2535, 255));
    connect(Check1, &QCheckBox::clicked, this, &Form2::Check1_Click);
    hover().arrowOver({this});
    FitCaptions(*this);
}

Form2::~Form2() = default;

void Form2::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form2.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    int line = 102;
    for (int i = 0; i < kSwatchCount; ++i, line += 2) {
        const Swatch& s = kSwatches[i];
        trap(line, [&] {
            m_swatches[std::size_t(i)]->setBackground(m_services.settings.color(s.key, s.key.optionsDefault));
        });
        nameSwatch(i);
    }
    trap(line, [&] { Check1->setChecked(m_services.settings.choice(pref::SpecialDay) == 1); });
}

void Form2::SwatchClick(int i)
{
    GridLabel* swatch = m_swatches[std::size_t(i)];
    const ColorRef colour = m_services.prompts.pickColor(swatch->background()).value_or(swatch->background());
    swatch->setBackground(colour);
    nameSwatch(i);
    m_services.settings.setColor(kSwatches[i].key, colour);
}

// "Today, background color, white": the frame, the swatch's part and its colour in words.
void Form2::nameSwatch(int i)
{
    const Swatch& s = kSwatches[i];
    GridLabel* swatch = m_swatches[std::size_t(i)];
    swatch->setAccessibleName(QStringLiteral("%1, %2, %3")
                                  .arg(QString::fromUtf8(kFrames[s.frame].caption),
                                       s.fore ? QStringLiteral("text color") : QStringLiteral("background color"),
                                       ColorInWords(swatch->background())));
}

void Form2::Check1_Click()
{
    m_services.settings.setChoice(pref::SpecialDay, Check1->isChecked() ? 1 : 0);
}
