#include "main_window.h"

#include "dialogs/event_editor.h"
#include "dialogs/event_management.h"
#include "grid_label.h"
#include "settings/error_report.h"
#include "settings/look.h"
#include "settings/qt_prompts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLocale>
#include <QPushButton>
#include <QScreen>

namespace {

const QString kProductName = QStringLiteral("Quillmoor");

// Positions in twips, as the window was designed; 15 twips make a pixel at 96 dpi.
constexpr int kTwipsPerPixel = 15;
QRect fromTwips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

struct ButtonPlace
{
    const char* name;
    const char* caption;
    int left, top, width, height;
};

constexpr ButtonPlace kButtons[] = {
    {"PushButton1", "Last Month", 120, 120, 1920, 480},     {"PushButton3", "Next Month", 12480, 120, 1920, 480},
    {"PushButton2", "Add New Event", 120, 9120, 3480, 405}, {"PushButton4", "Manage Events", 3720, 9120, 3480, 405},
    {"PushButton5", "Colors", 7320, 9120, 3480, 405},       {"PushButton6", "Startup", 10920, 9120, 3480, 405},
};

constexpr int kClientWidth = 14520;
constexpr int kClientHeight = 9615;
constexpr int kColumnStep = 2040;
constexpr int kCellWidth = 2055;

QFont arialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

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
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kClientWidth / kTwipsPerPixel, kClientHeight / kTwipsPerPixel);
    setFont(arialBold(9));

    for (const ButtonPlace& place : kButtons) {
        auto* button = new QPushButton(QString::fromLatin1(place.caption), this);
        button->setObjectName(QString::fromLatin1(place.name));
        button->setFont(arialBold(11.25));
        button->setGeometry(fromTwips(place.left, place.top, place.width, place.height));
    }
    const auto connectButton = [this](const char* name, void (Form1::*handler)()) {
        connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked, this, handler);
    };
    connectButton("PushButton1", &Form1::PushButton1_Click);
    connectButton("PushButton2", &Form1::PushButton2_Click);
    connectButton("PushButton3", &Form1::PushButton3_Click);
    connectButton("PushButton4", &Form1::PushButton4_Click);
    connectButton("PushButton5", &Form1::PushButton5_Click);
    connectButton("PushButton6", &Form1::PushButton6_Click);

    m_monthYear = new GridLabel(this);
    m_monthYear->setObjectName(QStringLiteral("month_year"));
    m_monthYear->setFont(arialBold(24));
    m_monthYear->setToolTip(QStringLiteral("Click to Change"));
    m_monthYear->setWordWrap(false);
    // Centred, the 24-point heading keeps its descenders clear of the weekday row it overlaps.
    m_monthYear->setAlignment(Qt::AlignCenter);
    m_monthYear->setGeometry(fromTwips(2160, 120, 10215, 615));

    const QStringList weekdays = {QStringLiteral("Sunday"),    QStringLiteral("Monday"),   QStringLiteral("Tuesday"),
                                  QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"),
                                  QStringLiteral("Saturday")};
    for (int i = 0; i < 7; ++i) {
        auto* label = new GridLabel(this);
        label->setObjectName(QStringLiteral("DOW_%1").arg(i));
        label->setText(weekdays[i]);
        label->setGeometry(fromTwips(120 + kColumnStep * i, 720, kCellWidth, 375));
        m_dow[std::size_t(i)] = label;
    }
    for (int i = 0; i < MonthGrid::kCellCount; ++i) {
        auto* label = new GridLabel(this);
        label->setObjectName(QStringLiteral("lblday_%1").arg(i));
        label->setGeometry(fromTwips(120 + kColumnStep * (i % 7), 1080 + 1320 * (i / 7), kCellWidth, 1335));
        m_lblday[std::size_t(i)] = label;
    }
}

void Form1::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.Form_Load"));
    SettingsStore& settings = m_services.settings;
    const AppPaths& paths = m_services.paths;

    trap(100, [&] {
        m_liveFile = PrepareDataFolder(paths.machineDataRoot, paths.userDataRoot,
                                       QDir(paths.programFolder).filePath(QStringLiteral("dbBlank.mdb")))
                         .liveFile;
    });
    trap(102, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(ProgramIcon());
    });
    trap(104, [&] { SetApplicationTitle(); });
    trap(106, [&] {
        const QDate today = m_services.clock.today();
        m_state.ViewMonth = qint16(today.month());
        m_state.ViewYear = qint16(today.year());
    });
    trap(108, [&] { showMonthHeading(); });
    trap(110, [&] { m_monthYear->setBackground(settings.color(QStringLiteral("Month-Year Backcolor"), 14737632)); });
    trap(112, [&] { m_monthYear->setForeground(settings.color(QStringLiteral("Month-Year Forecolor"), 0)); });
    trap(114, [&] {
        const ColorRef back = settings.color(QStringLiteral("DOW Backcolor"), 14737632);
        for (GridLabel* label : m_dow)
            label->setBackground(back);
    });
    trap(116, [&] {
        const ColorRef fore = settings.color(QStringLiteral("DOW Forecolor"), 0);
        for (GridLabel* label : m_dow)
            label->setForeground(fore);
    });
    trap(118, [&] {
        const ColorRef back = settings.color(QStringLiteral("Day Backcolor"), 16777215);
        for (DayCell& cell : m_grid.cells)
            cell.background = back;
        renderGrid();
    });
    trap(120, [&] {
        const ColorRef fore = settings.color(QStringLiteral("Day Forecolor"), 0);
        for (DayCell& cell : m_grid.cells)
            cell.foreground = fore;
        renderGrid();
    });
    trap(122, [&] { m_state.EventConnection.open(m_liveFile); });
    trap(124, [&] { m_passedEventIds.clear(); });
    trap(126, [&] { DrawMonth(); });
}

void Form1::Form_QueryUnload()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.Form_QueryUnload"));
    trap(100, [&] { m_state.EventConnection.close(); });
    trap(102, [&] {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    });
}

void Form1::closeEvent(QCloseEvent* event)
{
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
    m_monthYear->setText(MonthHeading(m_state.ViewMonth, m_state.ViewYear));
}

void Form1::DrawMonth()
{
    // Show whatever was painted, also when a stage fails part-way.
    struct RenderOnExit
    {
        Form1* window;
        ~RenderOnExit() { window->renderGrid(); }
    } render{this};
    ::DrawMonth(m_grid, {m_state.ViewMonth, m_state.ViewYear}, m_services.clock.today(), m_services.settings,
                m_state.EventConnection, m_passedEventIds);
}

void Form1::renderGrid()
{
    for (std::size_t i = 0; i < m_lblday.size(); ++i) {
        const DayCell& cell = m_grid.cells[i];
        m_lblday[i]->setText(DisplayText(cell.text));
        m_lblday[i]->setColors(cell.background, cell.foreground);
    }
}

void Form1::moveMonth(int months)
{
    // The first of the shown month, from numbers; never from text in the user's date format.
    const QDate d = QDate(m_state.ViewYear, m_state.ViewMonth, 1).addMonths(months);
    m_state.ViewMonth = qint16(d.month());
    m_state.ViewYear = qint16(d.year());
    DrawMonth();
}

void Form1::PushButton1_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton1_Click"));
    trap(100, [&] { moveMonth(-1); });
    trap(102, [&] { showMonthHeading(); });
}

void Form1::PushButton3_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton3_Click"));
    trap(100, [&] { moveMonth(+1); });
    trap(102, [&] { showMonthHeading(); });
}

void Form1::PushButton2_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton2_Click"));
    Form3 editor(m_services, m_state.EventConnection, this);
    trap(100, [&] { editor.m_ID.clear(); });
    trap(102, [&] { editor.exec(); });
    // The editor gives no result, so the month is redrawn whether it saved or not.
    trap(104, [&] { DrawMonth(); });
}

void Form1::PushButton4_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form1.PushButton4_Click"));
    Form4 management(m_services, m_state.EventConnection, this);
    trap(100, [&] { management.exec(); });
    trap(102, [&] { DrawMonth(); });
}

// The dialogs behind these buttons are not part of the program yet; until they are,
// a click does nothing.
void Form1::PushButton5_Click()
{}
void Form1::PushButton6_Click()
{}
