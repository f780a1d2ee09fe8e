#include "main_window.h"

#include "calendar/dates.h"
#include "core/error_report.h"
#include "dialogs/color_options.h"
#include "dialogs/days_events.h"
#include "dialogs/event_alert.h"
#include "dialogs/event_editor.h"
#include "dialogs/event_management.h"
#include "dialogs/jump_to.h"
#include "dialogs/startup_options.h"
#include "store/data_folder.h"
#include "ui/accessibility.h"
#include "ui/cell_focus.h"
#include "ui/grid_label.h"
#include "ui/look.h"
#include "ui/window_kit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QLocale>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QTimer>

using namespace kit;
namespace pref = preferences;

namespace {

const QString kProductName = QStringLiteral("Quillmoor");

constexpr int kClientWidth = 14520;
constexpr int kClientHeight = 9615;
constexpr int kColumnStep = 2040;
constexpr int kCellWidth = 2055;

constexpr Place kPlaces[] = {
    {"PushButton1", 120, 120, 1920, 480},    {"month_year", 2160, 120, 10215, 615},
    {"PushButton3", 12480, 120, 1920, 480},  {"PushButton2", 120, 9120, 3480, 405},
    {"PushButton4", 3720, 9120, 3480, 405},  {"PushButton5", 7320, 9120, 3480, 405},
    {"PushButton6", 10920, 9120, 3480, 405},
};

struct Button
{
    const char* name;
    const char* caption;
    void (Form1::*click)();
};

constexpr Button kButtons[] = {
    {"PushButton1", "Last Month", &Form1::PushButton1_Click},
    {"PushButton3", "Next Month", &Form1::PushButton3_Click},
    {"PushButton2", "Add New Event", &Form1::PushButton2_Click},
    {"PushButton4", "Manage Events", &Form1::PushButton4_Click},
    {"PushButton5", "Colors", &Form1::PushButton5_Click},
    {"PushButton6", "Startup", &Form1::PushButton6_Click},
};

} // namespace

QString ApplicationTitleFor(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

QString MonthHeading(int month, int year)
{
    return QLocale().standaloneMonthName(month, QLocale::LongFormat) + u' ' +
           QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
}

Form1::Form1(AppServices services, QWidget* parent) : QWidget(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("Form1"));
    buildControls();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    MakeFixedWindow(*this, kClientWidth, kClientHeight);

    m_hover = new Hover(*this);
    for (const Button& b : kButtons)
        connect(MakePushButton(this, *m_hover, b.name, b.caption), &QPushButton::clicked, this, b.click);

    m_monthYear = Make<GridLabel>(this, "month_year");
    m_monthYear->setFont(ArialBold(24));
    m_monthYear->setToolTip(QStringLiteral("Click to Change"));
    m_monthYear->setWordWrap(false);
    // Centred, the 24-point heading keeps its descenders clear of the weekday row it overlaps.
    m_monthYear->setAlignment(Qt::AlignCenter);
    connect(m_monthYear, &GridLabel::clicked, this, &Form1::month_year_Click);
    PlaceControls(*this, kPlaces);

    for (int i = 0; i < 7; ++i) {
        GridLabel* label = Make<GridLabel>(this, QStringLiteral("DOW_%1").arg(i).toLatin1());
        label->setText(WeekdayNameOf(i + 1));
        label->setGeometry(FromTwips(120 + kColumnStep * i, 720, kCellWidth, 375));
        m_dow[std::size_t(i)] = label;
    }
    for (int i = 0; i < MonthGrid::kCellCount; ++i) {
        GridLabel* label = Make<GridLabel>(this, QStringLiteral("lblday_%1").arg(i).toLatin1());
        label->setGeometry(FromTwips(120 + kColumnStep * (i % 7), 1080 + 1320 * (i / 7), kCellWidth, 1335));
        connect(label, &GridLabel::clicked, this, [this, i] { lblday_Click(i); });
        m_lblday[std::size_t(i)] = label;
    }
    // The arrow comes back over the whole month, not only over the window's margins.
    m_hover->arrowOver({this, m_monthYear});
    for (GridLabel* label : m_dow)
        m_hover->arrowOver({label});
    for (GridLabel* label : m_lblday)
        m_hover->arrowOver({label});

    // The keyboard: Tab reaches the heading, the grid as one stop, then the buttons.
    PresentAsWindow(*this);
    m_monthYear->setFocusPolicy(Qt::StrongFocus);
    QList<QWidget*> chain = {m_monthYear};
    for (GridLabel* label : m_lblday) {
        label->setFocusPolicy(Qt::ClickFocus); // a widget without focus cannot join the chain
        chain << label;
    }
    for (const Button& b : kButtons)
        chain << findChild<QPushButton*>(QString::fromLatin1(b.name));
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    m_dayKeys = new CellFocus(
        QList<GridLabel*>(m_lblday.begin(), m_lblday.end()), 7,
        [this](int i) {
            const QString& tag = m_grid.cells[std::size_t(i)].tag;
            return !tag.isEmpty() && tag != u"0";
        },
        this);
    connect(new QShortcut(Qt::Key_PageUp, this), &QShortcut::activated, this, [this] { pageMonth(-1); });
    connect(new QShortcut(Qt::Key_PageDown, this), &QShortcut::activated, this, [this] { pageMonth(+1); });
}

void Form1::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.Form_Load"));
    SettingsStore& settings = m_services.settings;
    const AppPaths& paths = m_services.paths;

    trap(100, [&] {
        m_liveFile =
            PrepareDataFolder(paths.machineDataRoot, paths.userDataRoot, paths.programFile(kTemplateFileName)).liveFile;
    });
    trap(102, [&] { ApplySkin(*this, paths); });
    trap(104, [&] { m_hover->setHand(LoadHandCursor(paths)); });
    trap(106, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(ProgramIcon());
    });
    trap(108, [&] { SetApplicationTitle(); });
    trap(110, [&] {
        const QDate today = m_services.clock.today();
        m_state.View = {today.month(), today.year()};
    });
    trap(112, [&] { showMonthHeading(); });
    trap(114, [&] { m_monthYear->setBackground(settings.color(pref::MonthYearBackcolor)); });
    trap(116, [&] { m_monthYear->setForeground(settings.color(pref::MonthYearForecolor)); });
    trap(118, [&] {
        const ColorRef back = settings.color(pref::DowBackcolor);
        for (GridLabel* label : m_dow)
            label->setBackground(back);
    });
    trap(120, [&] {
        const ColorRef fore = settings.color(pref::DowForecolor);
        for (GridLabel* label : m_dow)
            label->setForeground(fore);
    });
    // The cells take the day colours now, so they show them even when the drawing fails.
    trap(122, [&] {
        const ColorRef back = settings.color(pref::DayBackcolor);
        for (DayCell& cell : m_grid.cells)
            cell.background = back;
        renderGrid();
    });
    trap(124, [&] {
        const ColorRef fore = settings.color(pref::DayForecolor);
        for (DayCell& cell : m_grid.cells)
            cell.foreground = fore;
        renderGrid();
    });
    trap(126, [&] {
        m_state.EventConnection.open(m_liveFile);
        m_state.EventConnection.setToday(m_services.clock.today());
        // The days are drawn right meanwhile, by libical where the kept ones run out.
        keepDaysWhileIdle(1000);
    });
    trap(128, [&] { m_startupFindings.reset(); });
    trap(130, [&] { m_startupFindings = DrawMonth(); });
    trap(132, [&] { CheckAlert(); });
    // A failed read or question never ends the program: the statement fails whole.
    bool quit = false;
    trap(134, [&] {
        quit = settings.choice(pref::Check1) == 1 && m_state.NoEventsToday &&
               m_services.prompts.message(QStringLiteral("No events found today. \r\nQuit application?"),
                                          QStringLiteral("No Events"), Prompts::Buttons::YesNo,
                                          Prompts::Icon::None) == Prompts::Answer::Yes;
    });
    if (quit) {
        m_endedAtStartup = true;
        return;
    }
    checkPassedEvents(trap);
    // A keyboard user can act on today at once.
    m_dayKeys->currentCell()->setFocus();
}

void Form1::keepDaysWhileIdle(int delayMs)
{
    QTimer::singleShot(delayMs, this, [this] {
        bool more = false;
        try {
            more = m_state.EventConnection.keepSomeDaysAround(m_services.clock.today());
        } catch (const StoreError&) {
            // The store closed meanwhile: nothing left to keep.
        }
        if (more)
            keepDaysWhileIdle(0);
    });
}

void Form1::checkPassedEvents(ErrorTrap& trap)
{
    if (!m_startupFindings || m_startupFindings->passed.isEmpty())
        return;
    // Like the quit question: a failed read or question deletes nothing.
    bool deleting = false;
    trap(136, [&] {
        const qint16 passed = m_services.settings.choice(pref::Passed);
        deleting = passed == 1 ||
                   (passed == 2 && m_services.prompts.message(
                                       QStringLiteral("There are events that passed. \r\nDo you want to delete them?"),
                                       QStringLiteral("Delete Passed Events"), Prompts::Buttons::YesNo,
                                       Prompts::Icon::None) == Prompts::Answer::Yes);
    });
    if (!deleting)
        return;
    // In the order the drawing found them; a failed delete is reported and the rest go on.
    for (const qint64 id : m_startupFindings->passed)
        trap(138, [&] { connection().remove(id); });
    trap(140, [&] { DrawMonth(); });
}

void Form1::CheckAlert()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.CheckAlert"));
    // The first drawing has just found today's events; the alert need not read the table again.
    // After a failed drawing it reads them itself.
    std::optional<QList<EventTitle>> known;
    if (m_startupFindings)
        known = m_startupFindings->today;
    const QDate today = m_services.clock.today();
    Form8 alert(m_services, m_state.EventConnection, QDate(m_state.View.year, m_state.View.month, today.day()), known,
                this);
    trap(100, [&] { ShowModal(alert); });
    trap(102, [&] { m_state.NoEventsToday = alert.noEventsToday(); });
}

void Form1::Form_QueryUnload()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.Form_QueryUnload"));
    trap(100, [&] { m_state.EventConnection.close(); });
    trap(102, [&] {
        // Twice: the first round delivers what closing queued, the second what that posted
        // in turn (deferred deletions of the dialogs).
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    });
}

void Form1::closeEvent(QCloseEvent* event)
{
    // Every dialog goes with the main window, and nothing is drawn after the connection closed.
    m_closed = true;
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (dialog->isVisible())
            dialog->reject();
    }
    Form_QueryUnload();
    event->accept();
    // Form_Unload: the program ends with its main window.
    QCoreApplication::quit();
}

void Form1::SetApplicationTitle()
{
    m_services.prompts.setApplicationTitle(ApplicationTitleFor(kProductName));
}

void Form1::showMonthHeading()
{
    m_monthYear->setText(MonthHeading(m_state.View.month, m_state.View.year));
}

MonthFindings Form1::DrawMonth()
{
    if (m_closed)
        return {};
    // Show whatever was painted, also when a stage fails part-way.
    const auto render = qScopeGuard([this] { renderGrid(); });
    return ::DrawMonth(m_grid, m_state.View, m_services.clock.today(), m_services.settings.snapshot(), connection());
}

EventStore& Form1::connection()
{
    m_state.EventConnection.retryBusyOpen();
    return m_state.EventConnection;
}

bool Form1::reopened(ErrorTrap& trap)
{
    // A file still busy ends the click with its report; the next click tries again.
    return trap(98, [&] { connection(); });
}

void Form1::renderGrid()
{
    for (std::size_t i = 0; i < m_lblday.size(); ++i) {
        const DayCell& cell = m_grid.cells[i];
        m_lblday[i]->setText(DisplayText(cell.text));
        m_lblday[i]->setColors(cell.background, cell.foreground);
    }
    describeGrid();
}

// What a screen reader says, what the tooltips add and where the keyboard stands follow
// each drawing.
void Form1::describeGrid()
{
    const int month = m_state.View.month, year = m_state.View.year;
    const QDate today = m_services.clock.today();
    setAccessibleName(kProductName + QStringLiteral(", ") + MonthHeading(month, year));
    for (std::size_t i = 0; i < m_lblday.size(); ++i) {
        GridLabel* label = m_lblday[i];
        const QString& tag = m_grid.cells[i].tag;
        const QDate date(year, month, tag.toInt());
        if (tag.isEmpty() || tag == u"0" || !date.isValid()) {
            label->setAccessibleName(QString());
            label->setToolTip(QString());
            continue;
        }
        // The date stands for the day number; the cell's other lines, the holiday and the
        // titles, follow it when a screen reader asks.
        QString name = QLocale().toString(date, QStringLiteral("dddd d MMMM yyyy"));
        if (date == today)
            name += QStringLiteral(", today");
        label->setAccessibleName(name);
        // A day whose titles do not all show lists them all on hovering.
        const QString text = label->text();
        label->setToolTip(label->showsWholeText() ? QString() : text.mid(text.indexOf(u'\n') + 1));
    }
    // A month newly shown puts the keyboard on today when it is there, else on day 1.
    const bool todaysMonth = today.month() == month && today.year() == year;
    const int home = FirstCellOf({month, year}) + (todaysMonth ? today.day() - 1 : 0);
    if (year * 12 + month == m_keyedMonth) {
        m_dayKeys->refresh(home);
        return;
    }
    m_keyedMonth = year * 12 + month;
    m_dayKeys->setCurrent(home);
}

// Page Up and Page Down act as the month buttons, and take the keyboard into the grid.
void Form1::pageMonth(int months)
{
    if (months < 0)
        PushButton1_Click();
    else
        PushButton3_Click();
    m_dayKeys->currentCell()->setFocus(Qt::ShortcutFocusReason);
}

void Form1::moveMonth(const QString& procedure, int months)
{
    ErrorTrap trap(m_services.prompts, procedure);
    QDate d;
    // The first of the shown month, from numbers; never from text in the user's date format.
    // At either end of the years the calendar draws the month stays as it is.
    trap(100, [&] {
        d = QDate(m_state.View.year, m_state.View.month, 1).addMonths(months);
        if (d.year() < kFirstShownYear || d.year() > kLastShownYear)
            d = QDate(m_state.View.year, m_state.View.month, 1);
    });
    trap(102, [&] { m_state.View.month = d.month(); });
    trap(104, [&] { m_state.View.year = d.year(); });
    trap(106, [&] { DrawMonth(); });
    trap(108, [&] { m_monthYear->setText(MonthHeading(d.month(), d.year())); });
}

void Form1::PushButton1_Click()
{
    moveMonth(QStringLiteral("Form1.PushButton1_Click"), -1);
}

void Form1::PushButton3_Click()
{
    moveMonth(QStringLiteral("Form1.PushButton3_Click"), +1);
}

void Form1::PushButton2_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton2_Click"));
    if (!reopened(trap))
        return;
    Form3 editor(m_services, m_state.EventConnection, this);
    trap(100, [&] { editor.m_ID.clear(); });
    trap(102, [&] { ShowModal(editor); });
    // The editor gives no result, so the month is redrawn whether it saved or not.
    trap(104, [&] { DrawMonth(); });
}

void Form1::PushButton4_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton4_Click"));
    if (!reopened(trap))
        return;
    Form4 management(m_services, m_state.EventConnection, this);
    trap(100, [&] { ShowModal(management); });
    trap(102, [&] { DrawMonth(); });
}

void Form1::PushButton5_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton5_Click"));
    Form2 colours(m_services, this);
    trap(100, [&] { ShowModal(colours); });
    trap(102, [&] { DrawMonth(); });
}

void Form1::PushButton6_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton6_Click"));
    Form5 options(m_services, this);
    // The choices steer the next start only: nothing to redraw.
    trap(100, [&] { ShowModal(options); });
}

void Form1::lblday_Click(int index)
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.lblday_Click"));
    const QString tag = m_grid.cells[std::size_t(index)].tag;
    if (tag.isEmpty() || tag == u"0")
        return;
    if (!reopened(trap))
        return;
    Form6 day(m_services, m_state.EventConnection, m_state.View, this);
    trap(100, [&] { day.m_Day = tag; });
    trap(102, [&] { ShowModal(day); });
}

void Form1::month_year_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.month_year_Click"));
    Form7 jump(m_services, m_state.View, this);
    trap(100, [&] {
        ShowModal(jump);
        if (const std::optional<ViewedMonth> chosen = jump.chosen())
            m_state.View = *chosen;
    });
    // Redrawn and rewritten whether or not the dialog changed anything.
    trap(102, [&] { DrawMonth(); });
    trap(104, [&] { showMonthHeading(); });
}
