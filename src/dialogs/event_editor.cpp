#include "event_editor.h"

#include "core/error_report.h"
#include "ui/look.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <array>
#include <stdexcept>

using namespace kit;

namespace {

constexpr int kWidth = 4920;
constexpr int kHeight = 8700;

// Controls inside a frame are placed relative to it.
constexpr Place kPlaces[] = {
    {"Label1_0", 120, 165, 915, 225},      {"Text1", 1200, 120, 3600, 375},        {"Label1_1", 120, 645, 1020, 225},
    {"Text2", 1200, 600, 3600, 1455},      {"Frame1", 120, 2100, 4680, 1215},      {"Option1", 240, 360, 1815, 255},
    {"Option2", 240, 720, 1995, 255},      {"Frame2", 120, 3360, 4680, 1935},      {"Option3", 240, 360, 1215, 255},
    {"Option4", 240, 720, 1335, 255},      {"Option5", 240, 1080, 1215, 255},      {"Option6", 240, 1440, 1335, 255},
    {"Frame3", 120, 5340, 4680, 1455},     {"Combo1", 240, 360, 2175, 345},        {"Text3", 2520, 360, 615, 375},
    {"Text4", 3240, 360, 975, 375},        {"Label2", 240, 1035, 555, 225},        {"Text5", 960, 960, 615, 375},
    {"Label3", 1680, 1035, 165, 225},      {"Combo2", 2160, 960, 2055, 345},       {"Frame4", 120, 6840, 4680, 1215},
    {"Check1", 240, 360, 2175, 255},       {"Text6", 240, 720, 615, 375},          {"Label4", 960, 795, 2070, 225},
    {"PushButton1", 120, 8190, 2280, 405}, {"PushButton2", 2520, 8190, 2280, 405},
};

const QStringList kMonths = {
    QStringLiteral("January"),   QStringLiteral("February"), QStringLiteral("March"),    QStringLiteral("April"),
    QStringLiteral("May"),       QStringLiteral("June"),     QStringLiteral("July"),     QStringLiteral("August"),
    QStringLiteral("September"), QStringLiteral("October"),  QStringLiteral("November"), QStringLiteral("December"),
};
// "Wedneday" is how the list has always read; users and their notes know it so.
const QStringList kWeekdays = {
    QStringLiteral("Sunday"),   QStringLiteral("Monday"), QStringLiteral("Tuesday"),  QStringLiteral("Wedneday"),
    QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday"),
};

const QString kNotNumeric = QStringLiteral("Must be numeric value");
const QString kWeekNotNumeric = QStringLiteral("You must enter numeric value");
const QString kWeekOutOfRange = QStringLiteral("You must enter between 1 to 5");

QString WeekSuffix(int week)
{
    static const char* const suffixes[] = {"st", "nd", "rd", "th", "th"};
    return QString::fromLatin1(suffixes[week - 1]);
}

// The column of the table a record keeps in `member`.
const EventColumn& ColumnOf(NumberValue EventRecord::*member)
{
    for (const EventColumn& column : kNumberColumns) {
        if (column.number == member)
            return column;
    }
    throw std::logic_error("not a number column");
}

// Whether a kind of event uses the column of `member`, as the occurrence rule reads it.
bool KindUses(TimeType type, Consistancy repetition, NumberValue EventRecord::*member)
{
    EventRecord kind;
    kind.timetype = int(type);
    kind.consistancy = int(repetition);
    return UsesColumn(kind, ColumnOf(member));
}

int Present(const EventRecord& event, NumberValue EventRecord::*member)
{
    const NumberValue value = event.*member;
    if (value)
        return *value;
    const char* name = ColumnOf(member).name;
    if (value.state() == NumberValue::State::Unusable)
        throw std::runtime_error(std::string("Overflow: the stored ") + name +
                                 " is not a whole number from -2147483648 to 2147483647.");
    throw std::runtime_error(std::string("Invalid use of Null: the event has no ") + name + '.');
}

void SelectPosition(QComboBox* list, const EventRecord& event, NumberValue EventRecord::*member, const char* what)
{
    const int value = Present(event, member);
    if (value < 1 || value > list->count())
        throw std::runtime_error(QStringLiteral("Invalid property value: there is no %1 %2.")
                                     .arg(QLatin1String(what))
                                     .arg(value)
                                     .toStdString());
    list->setCurrentIndex(value - 1);
}

void ShowNumber(QLineEdit* field, const EventRecord& event, NumberValue EventRecord::*member)
{
    SetWholeText(*field, QString::number(Present(event, member)));
}

} // namespace

std::optional<int> WholeNumberIn(const QString& text)
{
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (!wholeNumber.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const int value = trimmed.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

qint64 EventIdFrom(const QString& text)
{
    bool ok = false;
    const qint64 id = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        throw std::invalid_argument(QStringLiteral("\"%1\" is not an event id.").arg(text).toStdString());
    return id;
}

Form3::Form3(AppServices& services, EventStore& store, QWidget* parent)
    : FormDialog(parent), m_services(services), m_store(store)
{
    setObjectName(QStringLiteral("Form3"));
    MakeFixedWindow(*this, kWidth, kHeight);
    setWindowTitle(QStringLiteral("Add Event"));
    buildControls();
    resetFields();
}

Form3::~Form3() = default;

void Form3::buildControls()
{
    auto* titleLabel = Make<QLabel>(this, "Label1_0", "Event Title:");
    Text1 = Make<QLineEdit>(this, "Text1");
    auto* descriptionLabel = Make<QLabel>(this, "Label1_1", "Description:");
    Text2 = Make<QPlainTextEdit>(this, "Text2");
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Text2->setTabChangesFocus(true);

    auto* frame1 = Make<QGroupBox>(this, "Frame1", "Type of Time");
    Option1 = Make<QRadioButton>(frame1, "Option1", "Set By Date");
    Option2 = Make<QRadioButton>(frame1, "Option2", "Set By Day of Week");

    auto* frame2 = Make<QGroupBox>(this, "Frame2", "Consistancy of Event");
    Option3 = Make<QRadioButton>(frame2, "Option3", "Once");
    Option4 = Make<QRadioButton>(frame2, "Option4", " Weekly");
    Option5 = Make<QRadioButton>(frame2, "Option5", "Monthly");
    Option6 = Make<QRadioButton>(frame2, "Option6", "Annually");

    auto* frame3 = Make<QGroupBox>(this, "Frame3", "Date of Event");
    Combo1 = Make<QComboBox>(frame3, "Combo1");
    Combo1->addItems(kMonths);
    Text3 = Make<QLineEdit>(frame3, "Text3");
    Text4 = Make<QLineEdit>(frame3, "Text4");
    Make<QLabel>(frame3, "Label2", "On the");
    Text5 = Make<QLineEdit>(frame3, "Text5");
    Label3 = Make<QLabel>(frame3, "Label3", "st");
    Combo2 = Make<QComboBox>(frame3, "Combo2");
    Combo2->addItems(kWeekdays);

    auto* frame4 = Make<QGroupBox>(this, "Frame4", "Event Warning");
    Check1 = Make<QCheckBox>(frame4, "Check1", "Warn you of event");
    Text6 = Make<QLineEdit>(frame4, "Text6");
    Make<QLabel>(frame4, "Label4", "days before day of event");

    // Screen readers name a field by its label; the date fields share one, so each has its own name.
    titleLabel->setBuddy(Text1);
    descriptionLabel->setBuddy(Text2);
    const std::pair<QWidget*, const char*> names[] = {
        {Combo1, "Month"},   {Text3, "Day"},         {Text4, "Year"}, {Text5, "Week of the month"},
        {Combo2, "Weekday"}, {Text6, "Days before"},
    };
    for (const auto& [field, name] : names)
        field->setAccessibleName(QString::fromLatin1(name));

    PushButton1 = MakePushButton(this, hover(), "PushButton1", "Save");
    PushButton2 = MakePushButton(this, hover(), "PushButton2", "Cancel");

    PlaceControls(*this, kPlaces);
    hover().arrowOver({this, frame1, frame2, frame3, frame4});
    FitCaptions(*this);
    // The suffix changes with the week; it must fit its widest text.
    for (int week = 1; week <= 5; ++week)
        Label3->resize(std::max(Label3->width(), Label3->fontMetrics().horizontalAdvance(WeekSuffix(week))),
                       Label3->height());

    const QList<QWidget*> tabOrder = {Text1, Text2, Option1, Option2, Option3, Option4, Option5,     Option6,    Combo1,
                                      Text3, Text4, Text5,   Combo2,  Check1,  Text6,   PushButton1, PushButton2};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    const auto onSelected = [this](QRadioButton* option, void (Form3::*handler)()) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool selected) {
            if (selected)
                (this->*handler)();
        });
    };
    onSelected(Option1, &Form3::Option1_Click);
    onSelected(Option2, &Form3::Option2_Click);
    for (QRadioButton* option : {Option3, Option4, Option5, Option6})
        onSelected(option, &Form3::RepetitionClick);
    connect(Text5, &QLineEdit::textChanged, this, &Form3::Text5_Change);
    connect(PushButton1, &QPushButton::clicked, this, &Form3::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form3::PushButton2_Click);

    // Focus checks on leaving, and the click that took the focus away from a failing field.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void Form3::resetFields()
{
    // The typing limits; a longer stored value shown by the last load widened them.
    Text1->setMaxLength(32767);
    Text5->setMaxLength(1);
    Text6->setMaxLength(1);
    Text1->clear();
    Text2->clear();
    Option1->setChecked(true);
    Option3->setChecked(true);
    Option4->setEnabled(false);
    Combo1->setCurrentIndex(-1);
    Text3->setText(QStringLiteral("1"));
    Text4->setText(QStringLiteral("2000"));
    Text5->setText(QStringLiteral("1"));
    Label3->setText(QStringLiteral("st"));
    Combo2->setCurrentIndex(-1);
    Check1->setChecked(true);
    Text6->setText(QStringLiteral("1"));
    applyDateFields();
    Text1->setFocus();
}

void Form3::done(int result)
{
    // Leaving fields while the window goes away is no reason to complain about them.
    m_closing = true;
    FormDialog::done(result);
}

void Form3::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form3.Form_Load"));
    m_closing = false;
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    trap(102, [&] {
        setWindowTitle(m_updateCaption ? QStringLiteral("Update Event") : QStringLiteral("Add Event"));
        m_updateCaption = false;
    });
    trap(104, [&] { resetFields(); });
    trap(106, [&] { Combo1->setCurrentIndex(m_services.clock.today().month() - 1); });
    trap(108, [&] { Text3->setText(QString::number(m_services.clock.today().day())); });
    trap(110,
         [&] { Text4->setText(QStringLiteral("%1").arg(m_services.clock.today().year(), 4, 10, QLatin1Char('0'))); });
    trap(112, [&] { Combo2->setCurrentIndex(0); });

    std::optional<EventRecord> event;
    trap(114, [&] {
        if (!m_ID.isEmpty())
            event = m_store.eventById(EventIdFrom(m_ID));
    });
    if (!event)
        return;
    trap(116, [&] { SetWholeText(*Text1, event->title); });
    trap(118, [&] { Text2->setPlainText(event->description); });
    trap(120, [&] {
        // Selecting by program acts as the user's click would; other codes select nothing new.
        if (event->timetype == int(TimeType::ByDate))
            Option1->setChecked(true);
        else if (event->timetype == int(TimeType::ByDayOfWeek))
            Option2->setChecked(true);
    });
    trap(122, [&] {
        const std::array<QRadioButton*, 4> repetitions = {Option3, Option4, Option5, Option6};
        if (event->consistancy && *event->consistancy >= 1 && *event->consistancy <= 4)
            repetitions[std::size_t(*event->consistancy - 1)]->setChecked(true);
        // A weekly event on a date (another tool wrote it) never occurs and cannot be
        // chosen here; it opens as choosing "Set By Date" leaves it: once, on its date.
        if (Option1->isChecked() && Option4->isChecked())
            Option3->setChecked(true);
    });
    trap(124, [&] { SelectPosition(Combo1, *event, &EventRecord::eventmonth, "month"); });
    trap(126, [&] { ShowNumber(Text3, *event, &EventRecord::eventday); });
    trap(128, [&] { ShowNumber(Text4, *event, &EventRecord::eventyear); });
    trap(130, [&] { ShowNumber(Text5, *event, &EventRecord::eventweekdate); });
    trap(132, [&] { SelectPosition(Combo2, *event, &EventRecord::eventweekday, "weekday"); });
    trap(134, [&] { Check1->setChecked(event->warnevent == 1); });
    trap(136, [&] { ShowNumber(Text6, *event, &EventRecord::daysbefore); });
}

void Form3::Option1_Click()
{
    if (Option4->isChecked())
        Option3->setChecked(true);
    Option4->setEnabled(false);
    applyDateFields();
}

void Form3::Option2_Click()
{
    Option4->setEnabled(true);
    applyDateFields();
}

void Form3::RepetitionClick()
{
    applyDateFields();
}

void Form3::applyDateFields()
{
    const TimeType type = Option2->isChecked() ? TimeType::ByDayOfWeek : TimeType::ByDate;
    const std::array<QRadioButton*, 4> repetitions = {Option3, Option4, Option5, Option6};
    for (std::size_t r = 0; r < repetitions.size(); ++r) {
        if (!repetitions[r]->isChecked())
            continue;
        const auto repetition = Consistancy(int(Consistancy::Once) + int(r));
        if (type == TimeType::ByDate && repetition == Consistancy::Weekly)
            return; // cannot be chosen; the fields stay as they are
        const std::pair<QWidget*, NumberValue EventRecord::*> fields[] = {
            {Combo1, &EventRecord::eventmonth},   {Text3, &EventRecord::eventday},
            {Text4, &EventRecord::eventyear},     {Text5, &EventRecord::eventweekdate},
            {Combo2, &EventRecord::eventweekday},
        };
        for (const auto& [field, member] : fields)
            field->setEnabled(KindUses(type, repetition, member));
        return;
    }
}

void Form3::Text5_Change()
{
    const std::optional<int> week = WholeNumberIn(Text5->text());
    if (!week || *week < 1 || *week > 5) {
        tell(week ? kWeekOutOfRange : kWeekNotNumeric);
        Text5->setText(QStringLiteral("1")); // checked again, and passes
        Label3->setText(QStringLiteral("st"));
        return;
    }
    Label3->setText(WeekSuffix(*week));
}

bool Form3::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // The press that moved the focus out of a failing field: the field has the
        // focus back, so the click must not go on to change another control.
        if (m_swallowNextPress) {
            m_swallowNextPress = false;
            return true;
        }
        break;
    case QEvent::FocusOut:
        if (watched == Text3 || watched == Text4 || watched == Text6) {
            // Switching windows or opening a menu is not leaving the field.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                checkNumberOnLeaving(static_cast<QLineEdit*>(watched));
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void Form3::checkNumberOnLeaving(QLineEdit* field)
{
    if (m_prompting || m_closing || !isVisible() || !field->isEnabled())
        return;
    if (WholeNumberIn(field->text()))
        return;
    complain(field, kNotNumeric);
    // Only a press still on its way belongs to this focus change.
    m_swallowNextPress = true;
    QTimer::singleShot(0, this, [this] { m_swallowNextPress = false; });
}

void Form3::tell(const QString& text)
{
    const QScopedValueRollback<bool> prompting(m_prompting, true);
    m_services.prompts.inform(text);
}

void Form3::complain(QWidget* field, const QString& text)
{
    const QScopedValueRollback<bool> prompting(m_prompting, true);
    m_services.prompts.inform(text);
    // The message box may not hand the activation back by itself.
    if (!isActiveWindow())
        activateWindow();
    field->setFocus();
}

bool Form3::askYesNo(const QString& text)
{
    const QScopedValueRollback<bool> prompting(m_prompting, true);
    return m_services.prompts.ask(text);
}

bool Form3::fieldsAreComplete()
{
    if (Text1->text().isEmpty()) {
        complain(Text1, QStringLiteral("You forgot to input title."));
        return false;
    }
    if (Text2->toPlainText().isEmpty()) {
        complain(Text2, QStringLiteral("You forgot to input description."));
        return false;
    }
    // Every number is stored, also from disabled fields, so each must convert.
    const std::pair<QLineEdit*, QString> numbers[] = {
        {Text3, kNotNumeric}, {Text4, kNotNumeric}, {Text5, kWeekNotNumeric}, {Text6, kNotNumeric}};
    for (const auto& [field, message] : numbers) {
        if (!WholeNumberIn(field->text())) {
            complain(field, message);
            return false;
        }
    }
    const int week = *WholeNumberIn(Text5->text());
    if (week < 1 || week > 5) {
        complain(Text5, kWeekOutOfRange);
        return false;
    }
    return true;
}

EventRecord Form3::fieldsFromControls() const
{
    EventRecord f;
    f.title = Text1->text();
    f.description = Text2->toPlainText();
    f.timetype = int(Option2->isChecked() ? TimeType::ByDayOfWeek : TimeType::ByDate);
    f.consistancy = Option3->isChecked()   ? int(Consistancy::Once)
                    : Option4->isChecked() ? int(Consistancy::Weekly)
                    : Option5->isChecked() ? int(Consistancy::Monthly)
                                           : int(Consistancy::Annually);
    f.eventmonth = Combo1->currentIndex() + 1;
    f.eventday = WholeNumberIn(Text3->text()).value();
    f.eventyear = WholeNumberIn(Text4->text()).value();
    f.eventweekdate = WholeNumberIn(Text5->text()).value();
    f.eventweekday = Combo2->currentIndex() + 1;
    f.warnevent = Check1->isChecked() ? 1 : 0;
    f.daysbefore = WholeNumberIn(Text6->text()).value();
    return f;
}

bool Form3::store(const EventRecord& fields)
{
    if (m_ID.isEmpty()) {
        m_store.insert(fields);
        return true;
    }
    if (m_store.update(EventIdFrom(m_ID), fields))
        return true;
    // Deleted meanwhile (another window, another user): don't lose what was typed.
    if (!askYesNo(QStringLiteral("This event no longer exists. Save it as a new event?")))
        return false;
    m_store.insert(fields);
    return true;
}

void Form3::PushButton1_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form3.PushButton1_Click"));
    bool complete = false;
    trap(100, [&] { complete = fieldsAreComplete(); });
    if (!complete)
        return;
    bool stored = false;
    trap(102, [&] { stored = store(fieldsFromControls()); });
    // A refused save keeps the dialog open with everything typed.
    if (!stored)
        return;
    trap(104, [&] { tell(QStringLiteral("Event Saved.")); });
    trap(106, [&] { accept(); });
}

void Form3::PushButton2_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form3.PushButton2_Click"));
    trap(100, [&] { reject(); });
}
