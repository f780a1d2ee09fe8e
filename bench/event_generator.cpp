#include "event_generator.h"

#include "calendar/dates.h"
#include "store/event_rows.h"
#include "store/event_store.h"

#include <QTemporaryDir>

#include <array>
#include <map>
#include <random>

namespace {

constexpr std::array kNames = {"Mom",  "Dad",   "Anna",   "Zoë",   "José",  "Björn", "Priya",
                               "Liam", "Grace", "O'Neil", "Chloé", "Kenji", "Fatima"};
constexpr std::array kAppointments = {"Dentist appointment",  "Team meeting",     "Pay rent",       "Book club",
                                      "Yoga class",           "Car service",      "Choir practice", "Trash pickup",
                                      "Parent-teacher night", "Quarterly review", "Recycling day",  "Water the plants"};
constexpr std::array kPlaces = {"the office", "Room 4", "the community hall", "Café Lumière", "home"};

class Dice
{
public:
    explicit Dice(unsigned seed) : m_engine(seed) {}
    int between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_engine); }
    template <typename List> QString pick(const List& list)
    {
        return QString::fromUtf8(list[std::size_t(between(0, int(list.size()) - 1))]);
    }

private:
    std::mt19937 m_engine;
};

QString titleFor(Dice& dice)
{
    switch (dice.between(0, 3)) {
    case 0:
        return QStringLiteral("%1's birthday").arg(dice.pick(kNames));
    case 1:
        return QStringLiteral("Call %1").arg(dice.pick(kNames));
    default:
        return dice.pick(kAppointments);
    }
}

QString descriptionFor(Dice& dice)
{
    const int hour = dice.between(7, 20);
    const int minute = dice.between(0, 3) * 15;
    QString text =
        QStringLiteral("At %1, %2:%3.").arg(dice.pick(kPlaces)).arg(hour).arg(minute, 2, 10, QLatin1Char('0'));
    if (dice.between(0, 2) == 0)
        text += QStringLiteral("\r\nBring the papers for %1.").arg(dice.pick(kNames));
    return text;
}

// The values the editor would store for one event of the given kind; the fields the
// kind does not use keep plausible leftovers, as the editor's disabled fields do.
EventRecord eventOfKind(int timetype, int consistancy, Dice& dice)
{
    EventRecord f;
    f.title = titleFor(dice);
    f.description = descriptionFor(dice);
    f.timetype = timetype;
    f.consistancy = consistancy;
    f.eventyear = dice.between(2018, 2030);
    f.eventmonth = dice.between(1, 12);
    f.eventday = dice.between(1, DaysInMonth(*f.eventmonth, *f.eventyear));
    f.eventweekday = dice.between(1, 7);
    f.eventweekdate = dice.between(1, 10) == 1 ? 5 : dice.between(1, 4);
    f.warnevent = dice.between(0, 1);
    f.daysbefore = dice.between(0, 14);
    return f;
}

} // namespace

void GenerateEvents(const QString& fileName, int count, unsigned seed, bool distinctTitles)
{
    CreateEventDatabase(fileName);
    const sqlite::Connection db(fileName, sqlite::Connection::Mode::ReadWrite);
    sqlite::Transaction transaction(db);
    sqlite::Statement insert(db, rows::statements().insert);
    Dice dice(seed);
    for (int i = 0; i < count; ++i) {
        // Eight kinds in turn: by date, then by weekday, each once, weekly, monthly, annually.
        rows::bindValues(insert, eventOfKind(1 + (i / 4) % 2, 1 + i % 4, dice));
        insert.run();
        insert.reset();
    }
    if (distinctTitles)
        db.exec("update tblEvents set title = title || ' ' || (id * 7919 % 100003)");
    transaction.commit();
}

QString GeneratedDatabase(int count, bool distinctTitles)
{
    static QTemporaryDir folder;
    static std::map<std::pair<int, bool>, QString> files;
    const QString name = QStringLiteral("events-%1%2.mdb").arg(count).arg(distinctTitles ? "-distinct" : "");
    auto [it, added] = files.try_emplace({count, distinctTitles}, folder.filePath(name));
    if (added)
        GenerateEvents(it->second, count, 1, distinctTitles);
    return it->second;
}
