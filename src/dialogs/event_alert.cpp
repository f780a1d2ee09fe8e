#include "event_alert.h"

#include "calendar/occurrence.h"
#include "core/error_report.h"
#include "ui/look.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace kit;

namespace {

constexpr Place kPlaces[] = {
    {"Combo1", 120, 120, 3360, 345},
    {"Frame1", 120, 480, 3360, 2535},
    {"Text1", 240, 300, 2895, 1935},
    {"PushButton1", 120, 3120, 3360, 405},
};

} // namespace

Form8::Form8(AppServices& services, const EventStore& store, QDate day, std::optional<QList<EventTitle>> known,
             QWidget* parent)
    : FormDialog(parent), m_services(services), m_store(store), m_day(day), m_known(std::move(known)),
      AlertEvents(store)
{
    setObjectName(QStringLiteral("Form8"));
    MakeFixedWindow(*this, 3600, 3645);
    setWindowTitle(QStringLiteral("Event Alert!"));

    Combo1 = Make<QComboBox>(this, "Combo1");
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert); // typing never adds a title
    // Screen readers take a combo box's name from a label (its own name is the title it
    // shows): one that only they see, read before that title.
    auto* listName = new QLabel(QStringLiteral("Today's events"), this);
    listName->setBuddy(Combo1);
    listName->hide();
    auto* frame = Make<QGroupBox>(this, "Frame1", "Description");
    Text1 = Make<QPlainTextEdit>(frame, "Text1");
    Text1->setReadOnly(true);
    auto* close = MakePushButton(this, hover(), "PushButton1", "Close");
    PlaceControls(*this, kPlaces);
    hover().arrowOver({this, frame, Text1->viewport()});

    connect(Combo1, &QComboBox::activated, this, &Form8::Combo1_Click);
    connect(Combo1, &QComboBox::editTextChanged, this, &Form8::Combo1_Change);
    connect(close, &QPushButton::clicked, this, &Form8::PushButton1_Click);
}

Form8::~Form8() = default;

void Form8::Form_Load()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form8.Form_Load"));
    trap(100, [&] { PrepareDialog(*this, m_services.paths); });
    trap(102, [&] {
        m_noEventsToday = false;
        const QSignalBlocker quiet(Combo1);
        Combo1->clear();
        AlertEvents.set({});
    });
    trap(104, [&] {
        const QSignalBlocker quiet(Combo1);
        Combo1->addItems(AlertEvents.set(m_known ? *m_known : EventsOn(m_store, m_day)));
    });
    trap(106, [&] {
        if (Combo1->count() == 0) {
            m_noEventsToday = true;
            reject();
            return;
        }
        {
            const QSignalBlocker quiet(Combo1); // the description is read once, just below
            Combo1->setCurrentIndex(0);
        }
        showDescription(0);
    });
}

void Form8::Combo1_Click()
{
    showDescription(Combo1->currentIndex());
}

void Form8::Combo1_Change(const QString& text)
{
    // An edited text that names no entry chooses nothing, and the description stays.
    const int entry = Combo1->findText(text, Qt::MatchExactly);
    if (entry >= 0)
        showDescription(entry);
}

void Form8::showDescription(int entry)
{
    // Read afresh: an event deleted meanwhile leaves the description as it was.
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form8.Combo1_Click"));
    trap(100, [&] { AlertEvents.showDescription(entry, *Text1); });
}

void Form8::PushButton1_Click()
{
    ErrorTrap trap(m_services.prompts, QStringLiteral("Form8.PushButton1_Click"));
    trap(100, [&] { accept(); });
}
