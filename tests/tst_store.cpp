#include "store/data_folder.h"
#include "store/event_store.h"

#include "event_builder.h"
#include "store/event_table.h"
#include "test_env.h"

#include <sqlite3.h>

#include <QCollator>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <chrono>
#include <numeric>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

QString newDatabase(const TestEnv& env, const QString& name = QStringLiteral("events.mdb"))
{
    const QString file = env.path(name);
    CreateEventDatabase(file);
    return file;
}

QStringList titlesByTitle(const EventStore& store)
{
    EventTable rows;
    store.readEventsByTitle(rows);
    QStringList titles;
    for (qsizetype i = 0; i < rows.size(); ++i)
        titles.append(rows.title(i));
    return titles;
}

QByteArray contents(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

int modeOf(const QString& path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

int rowCount(const QString& file)
{
    const sqlite::Connection raw(file, sqlite::Connection::Mode::ReadOnly);
    return int(raw.queryNumber("select count(*) from tblEvents"));
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void firstRunCopiesTemplateLaterRunsKeepTheFile()
    {
        TestEnv env;
        const QString templateFile = newDatabase(env, QStringLiteral("program/dbBlank.mdb"));

        const DataFolder first = PrepareDataFolder(env.machineDataRoot(), env.userDataRoot(), templateFile);

        QCOMPARE(first.folder, QDir(env.machineDataRoot()).filePath(QStringLiteral("Quendrix/Quillmoor")));
        QCOMPARE(first.liveFile, first.folder + QStringLiteral("/dbData.mdb"));
        QCOMPARE(contents(first.liveFile), contents(templateFile));
        QVERIFY(!QFileInfo::exists(QDir(env.userDataRoot()).filePath(QStringLiteral("Quendrix"))));
        {
            EventStore store;
            store.open(first.liveFile);
            store.insert(AnEvent(QStringLiteral("Dentist")));
            store.insert(AnEvent(QStringLiteral("Book club")));
        }
        const QByteArray before = contents(first.liveFile);

        const DataFolder second = PrepareDataFolder(env.machineDataRoot(), env.userDataRoot(), templateFile);

        QCOMPARE(second.liveFile, first.liveFile);
        QCOMPARE(contents(second.liveFile), before);
        EventStore store;
        store.open(second.liveFile);
        QCOMPARE(titlesByTitle(store), (QStringList{"Book club", "Dentist"}));
    }

    void fallsBackToUserRoot_data()
    {
        QTest::addColumn<QString>("blocker"); // made a plain file, relative to the test folder
        QTest::addColumn<bool>("readOnlyMachineRoot");
        QTest::addColumn<bool>("userRootExists");
        QTest::newRow("machine root is a file") << "var-lib" << false << true;
        QTest::newRow("Quendrix is a file") << "var-lib/Quendrix" << false << true;
        QTest::newRow("Quillmoor is a file") << "var-lib/Quendrix/Quillmoor" << false << true;
        QTest::newRow("user root not yet created") << "var-lib" << false << false;
        QTest::newRow("machine root read-only") << "" << true << true;
    }
    void fallsBackToUserRoot()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, readOnlyMachineRoot);
        QFETCH(bool, userRootExists);
        if (readOnlyMachineRoot && geteuid() == 0)
            QSKIP("Permission bits do not stop root");

        TestEnv env;
        const QString templateFile = newDatabase(env, QStringLiteral("program/dbBlank.mdb"));
        if (!blocker.isEmpty()) {
            QDir(env.path(blocker)).removeRecursively();
            QDir().mkpath(QFileInfo(env.path(blocker)).path());
            writeFile(env.path(blocker), "not a folder");
        }
        if (readOnlyMachineRoot)
            QVERIFY(QFile::setPermissions(env.machineDataRoot(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QString userRoot = userRootExists ? env.userDataRoot() : env.path(QStringLiteral("home/.local/share"));

        const DataFolder data = PrepareDataFolder(env.machineDataRoot(), userRoot, templateFile);

        QCOMPARE(data.folder, QDir(userRoot).filePath(QStringLiteral("Quendrix/Quillmoor")));
        QCOMPARE(contents(data.liveFile), contents(templateFile));
        if (!blocker.isEmpty())
            QCOMPARE(contents(env.path(blocker)), QByteArray("not a folder"));
        if (readOnlyMachineRoot)
            QFile::setPermissions(env.machineDataRoot(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void createdFolderAndFileModes_data()
    {
        QTest::addColumn<bool>("shared");
        QTest::addColumn<int>("umask");
        QTest::addColumn<QList<int>>("modes"); // Quendrix, Quillmoor, dbData.mdb, its journal
        QTest::newRow("shared, strict umask") << true << 077 << QList<int>{0755, 01777, 0666, 0666};
        QTest::newRow("user's own, strict umask") << false << 077 << QList<int>{0700, 0700, 0600, -1};
        QTest::newRow("user's own, usual umask") << false << 022 << QList<int>{0755, 0755, 0644, -1};
    }
    void createdFolderAndFileModes()
    {
        QFETCH(bool, shared);
        QFETCH(int, umask);
        QFETCH(QList<int>, modes);
        TestEnv env;
        if (!shared) {
            QDir(env.machineDataRoot()).removeRecursively();
            writeFile(env.machineDataRoot(), "not a folder");
        }
        const mode_t before = ::umask(mode_t(umask));
        const DataFolder data = PrepareDataFolder(env.machineDataRoot(), env.userDataRoot(),
                                                  newDatabase(env, QStringLiteral("program/dbBlank.mdb")));
        ::umask(before);

        QCOMPARE(modeOf(QFileInfo(data.folder).path()), modes[0]);
        QCOMPARE(modeOf(data.folder), modes[1]);
        QCOMPARE(modeOf(data.liveFile), modes[2]);
        QCOMPARE(modeOf(data.liveFile + QStringLiteral("-journal")), modes[3]);
    }

    void existingLiveFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a file of mode 0640") << "file";
        QTest::newRow("a symbolic link to another database") << "link";
        QTest::newRow("a symbolic link to nothing") << "dangling";
    }
    void existingLiveFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        TestEnv env;
        const QString folder = env.path(QStringLiteral("var-lib/Quendrix/Quillmoor"));
        const QString live = folder + QStringLiteral("/dbData.mdb");
        const QString target = kind == u"file" ? live : env.path(QStringLiteral("elsewhere.mdb"));
        QVERIFY(QDir().mkpath(folder));
        if (kind != u"dangling")
            CreateEventDatabase(target);
        QVERIFY(kind == u"file" ? QFile::setPermissions(live, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                  QFileDevice::ReadGroup)
                                : QFile::link(target, live));
        const QList<int> modes{modeOf(folder), modeOf(live)};
        const QByteArray before = contents(target);

        const DataFolder data = PrepareDataFolder(env.machineDataRoot(), env.userDataRoot(),
                                                  newDatabase(env, QStringLiteral("program/dbBlank.mdb")));

        QCOMPARE(data.liveFile, live);
        QCOMPARE((QList<int>{modeOf(folder), modeOf(live)}), modes);
        QCOMPARE(QFileInfo(live).isSymLink(), kind != u"file");
        QCOMPARE(QFileInfo::exists(target), kind != u"dangling");
        QCOMPARE(contents(target), before);
    }

    void crashedWritersJournalIsRolledBackAndKept()
    {
        TestEnv env;
        const QString file = newDatabase(env);
        {
            EventStore store;
            store.open(file);
            store.insert(AnEvent(QStringLiteral("Before the crash")));
        }
        const std::string name = file.toStdString();
        const pid_t writer = ::fork();
        if (writer == 0) {
            try {
                const sqlite::Connection raw(QString::fromStdString(name), sqlite::Connection::Mode::ReadWrite);
                raw.exec("PRAGMA cache_size=2; BEGIN");
                for (int i = 0; i < 100; ++i) // enough to spill changed pages into the file
                    raw.exec("insert into tblEvents (title) values (hex(randomblob(2000)))");
                ::_exit(0); // dies inside the transaction
            } catch (...) {
                ::_exit(1);
            }
        }
        int status = -1;
        QCOMPARE(::waitpid(writer, &status, 0), writer);
        QCOMPARE(status, 0);
        const QString journal = file + QStringLiteral("-journal");
        QVERIFY(QFileInfo(journal).size() > 0);

        EventStore store;
        store.open(file);
        QCOMPARE(titlesByTitle(store), QStringList{"Before the crash"});
        // Kept: in the sticky shared folder only the journal's owner could delete it.
        QVERIFY(QFileInfo::exists(journal));
        EventStore otherUser;
        otherUser.open(file);
        otherUser.insert(AnEvent(QStringLiteral("After the crash")));
        QCOMPARE(titlesByTitle(store), (QStringList{"After the crash", "Before the crash"}));
        QVERIFY(QFileInfo::exists(journal));
        QCOMPARE(QFileInfo(journal).size(), 0);
    }

    void noUsableFolderThrows()
    {
        TestEnv env;
        QDir(env.machineDataRoot()).removeRecursively();
        QDir(env.userDataRoot()).removeRecursively();
        writeFile(env.machineDataRoot(), "x");
        writeFile(env.userDataRoot(), "x");
        QVERIFY_THROWS_EXCEPTION(StoreError, PrepareDataFolder(env.machineDataRoot(), env.userDataRoot(),
                                                               env.path(QStringLiteral("program/dbBlank.mdb"))));
    }

    void missingTemplateCreatesEmptyDatabase()
    {
        TestEnv env;
        const DataFolder data = PrepareDataFolder(env.machineDataRoot(), env.userDataRoot(),
                                                  env.path(QStringLiteral("program/dbBlank.mdb")));

        EventStore store;
        store.open(data.liveFile);
        QVERIFY(AllEvents(store).isEmpty());
        QCOMPARE(store.insert(AnEvent(QStringLiteral("First"))), 1);
    }

    void textRoundTrip_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("description");
        QTest::newRow("apostrophe") << "Mom's day"
                                    << "Flowers for 'her'";
        QTest::newRow("two-line description") << "Dentist"
                                              << "Bring the card\r\nand the letter";
        QTest::newRow("newline only") << "Dentist"
                                      << "Line one\nLine two";
        QTest::newRow("double quotes and percent") << "\"100%\" done"
                                                   << "50% off";
        QTest::newRow("non-Latin text") << QString::fromUtf8("Zoë's café – 日本") << QString::fromUtf8("Grüße");
        QTest::newRow("statement text as title") << "1); drop table tblEvents; --"
                                                 << "x'); delete from tblEvents; --";
    }
    void textRoundTrip()
    {
        QFETCH(QString, title);
        QFETCH(QString, description);
        TestEnv env;
        const QString file = newDatabase(env);
        EventStore store;
        store.open(file);
        store.insert(AnEvent(QStringLiteral("Already there")));

        const qint64 id = store.insert(AnEvent(title).description(description));

        const std::optional<EventRecord> back = store.eventById(id);
        QVERIFY(back);
        QCOMPARE(back->title, title);
        QCOMPARE(back->description, description);
        QVERIFY(store.update(id, AnEvent(title + title).description(description + description)));
        QCOMPARE(store.eventById(id)->title, title + title);
        QCOMPARE(store.eventById(id)->description, description + description);
        QCOMPARE(AllEvents(store).size(), 2);
        store.close();
        QCOMPARE(rowCount(file), 2);
    }

    void allElevenValuesByPosition()
    {
        TestEnv env;
        const QString file = newDatabase(env);
        EventStore store;
        store.open(file);
        const EventRecord f =
            AnEvent("Quarterly review").description("Room 4").annually(5, 7, 11).date(11, 30, 2031).warn(14, 0);

        const qint64 id = store.insert(f);

        const EventRecord r = *store.eventById(id);
        QCOMPARE(r.id, id);
        QCOMPARE(r.title, f.title);
        QCOMPARE(r.description, f.description);
        const int numbers[] = {2, 4, 11, 30, 2031, 5, 7, 0, 14};
        const NumberValue read[] = {r.timetype,      r.consistancy,  r.eventmonth, r.eventday,  r.eventyear,
                                    r.eventweekdate, r.eventweekday, r.warnevent,  r.daysbefore};
        for (int i = 0; i < 9; ++i)
            QCOMPARE(read[i].optional(), numbers[i]);

        // Another tool reading the file by column position sees the same values.
        const sqlite::Connection raw(file, sqlite::Connection::Mode::ReadOnly);
        sqlite::Statement row(raw, "select * from tblEvents");
        QVERIFY(row.next());
        QCOMPARE(row.columnCount(), 12);
        QCOMPARE(row.numberAt(0), id);
        QCOMPARE(row.typeAt(1), SQLITE_TEXT);
        QCOMPARE(row.typeAt(2), SQLITE_TEXT);
        QCOMPARE(row.textAt(1), f.title);
        QCOMPARE(row.textAt(2), f.description);
        for (int i = 0; i < 9; ++i)
            QCOMPARE(row.numberAt(3 + i), numbers[i]);
    }

    void anotherToolsRowReadsColumnForColumn()
    {
        TestEnv env;
        const QString file = newDatabase(env);
        // Written by name in another order, each number told apart, as another tool may write it.
        sqlite::Connection(file, sqlite::Connection::Mode::ReadWrite)
            .exec("insert into tblEvents (daysbefore, warnevent, eventweekday, eventweekdate, eventyear, eventday, "
                  "eventmonth, consistancy, timetype, description, title) values (11, 10, 9, 8, 7, 6, 5, 4, 3, 'D', "
                  "'T')");
        EventStore store;
        store.open(file);
        const EventRecord r = AllEvents(store).value(0);
        QCOMPARE(r.title + r.description, QString("TD"));
        const QList<NumberValue> read = {r.timetype,      r.consistancy,  r.eventmonth, r.eventday,  r.eventyear,
                                         r.eventweekdate, r.eventweekday, r.warnevent,  r.daysbefore};
        QCOMPARE(read, (QList<NumberValue>{3, 4, 5, 6, 7, 8, 9, 10, 11}));
    }

    void idsComeInOrderAreNeverReusedAndMissingOnesChangeNothing()
    {
        TestEnv env;
        EventStore store;
        store.open(newDatabase(env));
        QCOMPARE(store.insert(AnEvent(QStringLiteral("a"))), 1);
        QCOMPARE(store.insert(AnEvent(QStringLiteral("b"))), 2);
        QCOMPARE(store.insert(AnEvent(QStringLiteral("c"))), 3);

        store.remove(3);
        QCOMPARE(store.insert(AnEvent(QStringLiteral("d"))), 4);
        store.remove(2);
        store.remove(4);
        QCOMPARE(store.insert(AnEvent(QStringLiteral("e"))), 5);
        store.remove(4); // gone already: silent
        QVERIFY(!store.update(4, AnEvent(QStringLiteral("changed"))));
        QVERIFY(!store.eventById(4));

        QList<qint64> ids;
        store.forEachEvent([&](const EventRecord& r) { ids.append(r.id); });
        QCOMPARE(ids, (QList<qint64>{1, 5}));
        QCOMPARE(titlesByTitle(store), (QStringList{"a", "e"}));
        QVERIFY(store.update(5, AnEvent(QStringLiteral("changed"))));
        QCOMPARE(store.eventById(5)->title, QStringLiteral("changed"));
    }

    void filteredReadDecidesOnNumbers()
    {
        TestEnv env;
        EventStore store;
        store.open(newDatabase(env));
        for (int day = 1; day <= 4; ++day) {
            store.insert(AnEvent(QStringLiteral("Day %1").arg(day))
                             .description(QStringLiteral("Line\r\n%1").arg(day))
                             .monthlyOn(day)
                             .warn(10 + day, 0));
        }

        QList<int> askedDays;
        QList<EventRecord> visited;
        store.forEachEventWhere(
            [&](const EventRecord& r) {
                askedDays.append(r.eventday.value_or(0));
                return r.eventday.value_or(0) % 2 == 0;
            },
            [&](const EventRecord& r) { visited.append(r); });

        QCOMPARE(askedDays, (QList<int>{1, 2, 3, 4}));
        QCOMPARE(visited.size(), 2);
        QCOMPARE(visited[0], *store.eventById(2));
        QCOMPARE(visited[1], *store.eventById(4));
        QCOMPARE(visited[1].description, QStringLiteral("Line\r\n4"));
        QCOMPARE(visited[1].daysbefore, 14);
    }

    void emptyTableReadsNoRows()
    {
        TestEnv env;
        EventStore store;
        store.open(newDatabase(env));
        int visited = 0;
        store.forEachEvent([&](const EventRecord&) { ++visited; });
        QCOMPARE(visited, 0);
        QVERIFY(titlesByTitle(store).isEmpty());
        QVERIFY(!store.eventById(1));
    }

    void titleOrder_data()
    {
        QTest::addColumn<QStringList>("entered");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("case does not matter")
            << QStringList{"Zoo", "apple", "Meeting"} << QStringList{"apple", "Meeting", "Zoo"};
        QTest::newRow("same title but for case keeps entry order")
            << QStringList{"b", "B", "a", "A"} << QStringList{"a", "A", "b", "B"};
        QTest::newRow("prefix first") << QStringList{"Meetings", "meet", "Meeting"}
                                      << QStringList{"meet", "Meeting", "Meetings"};
    }
    void titleOrder()
    {
        QFETCH(QStringList, entered);
        QFETCH(QStringList, sorted);
        TestEnv env;
        EventStore store;
        store.open(newDatabase(env));
        for (const QString& title : entered)
            store.insert(AnEvent(title));

        QCOMPARE(titlesByTitle(store), sorted);
        QStringList natural;
        store.forEachEvent([&](const EventRecord& r) { natural.append(r.title); });
        QCOMPARE(natural, entered);
    }

    // Plain ASCII titles take a shortcut past the collator's sort keys; the order must
    // still be the collator's, among accents, case pairs, punctuation and empty titles.
    void titleOrderIsTheCollators_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany);
        QTest::newRow("Swedish: å, ä and ö after z") << QLocale(QLocale::Swedish, QLocale::Sweden);
        QTest::newRow("Danish: aa is å, no shortcut") << QLocale(QLocale::Danish, QLocale::Denmark);
        QTest::newRow("C") << QLocale::c();
    }
    void titleOrderIsTheCollators()
    {
        QFETCH(QLocale, locale);
        QLocale::setDefault(locale);
        const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
        std::mt19937 dice(7);
        auto pick = [&](const QString& from) {
            return from[std::uniform_int_distribution<qsizetype>(0, from.size() - 1)(dice)];
        };
        QString ascii;
        for (char16_t c = u' '; c <= u'~'; ++c)
            ascii += QChar(c);
        const QString common = QStringLiteral("aAbBcChHoOsSvVwWzZ 0123456789-'.\t");
        const QString accents = QString::fromUtf8("éÉëöÖåÅäÄßæøñİı\u0301ﬁ");
        // Titles that are equal but for case (or ligature) on either side of the shortcut.
        QList<QByteArray> titles = {QByteArray(), "", "\uFB01le", "File", "", "\uFB01LE", "file"};
        while (titles.size() < 4000) {
            QString title;
            const int kind = std::uniform_int_distribution<int>(0, 3)(dice);
            for (int n = std::uniform_int_distribution<int>(0, 24)(dice); n > 0; --n)
                title += kind == 0 ? pick(ascii) : kind == 3 && n % 3 == 0 ? pick(accents) : pick(common);
            titles.append(title.toUtf8());
            if (kind == 1) // the same title but for case, later
                titles.append(title.toUpper().toUtf8());
        }

        EventTable table;
        for (qsizetype i = 0; i < titles.size(); ++i)
            table.append(AnEvent().id(i), titles[i], {});
        table.sortByTitle();
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QList<qint64> expected(titles.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(), [&](qint64 a, qint64 b) {
            return collator.compare(QString::fromUtf8(titles[a]), QString::fromUtf8(titles[b])) < 0;
        });
        for (qsizetype i = 0; i < table.size(); ++i)
            QVERIFY2(table.id(i) == expected[i], qPrintable(QStringLiteral("at %1: %2 where the collator has %3")
                                                                .arg(i)
                                                                .arg(QString::fromUtf8(titles[table.id(i)]),
                                                                     QString::fromUtf8(titles[expected[i]]))));
    }

    void unusableDatabaseThrowsAndStaysClosed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("folder in place of the file") << "folder"
                                                     << "unable to open";
        QTest::newRow("not a database") << "text"
                                        << "not a database";
        QTest::newRow("wrong column count") << "columns"
                                            << "has 2 columns instead of 12";
        QTest::newRow("columns in another order")
            << "order"
            << "has the column \"daysbefore\" where the program keeps \"warnevent\"";
        QTest::newRow("no event table") << "notable"
                                        << "no such table";
        QTest::newRow("missing file is not created") << "missing"
                                                     << "unable to open";
        QTest::newRow("symbolic link in the file's place") << "link"
                                                           << "is a symbolic link. It is not opened";
        QTest::newRow("FIFO in the file's place") << "fifo"
                                                  << "unable to open";
    }
    void unusableDatabaseThrowsAndStaysClosed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        TestEnv env;
        const QString bad = env.path(QStringLiteral("bad.mdb"));
        if (kind == u"folder") {
            QVERIFY(QDir().mkpath(bad));
        } else if (kind == u"text") {
            writeFile(bad, QByteArray("These are not the events you are looking for.\n").repeated(200));
        } else if (kind == u"link") {
            QVERIFY(QFile::link(newDatabase(env, QStringLiteral("target.mdb")), bad));
        } else if (kind == u"fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0666), 0);
        } else if (kind != u"missing") {
            const sqlite::Connection raw(bad, sqlite::Connection::Mode::Create);
            raw.exec(kind == u"columns" ? "create table tblEvents (id integer primary key, title text)"
                     : kind == u"order"
                         ? "create table tblEvents (id integer primary key, title, description, timetype, "
                           "consistancy, eventmonth, eventday, eventyear, eventweekdate, eventweekday, "
                           "daysbefore, warnevent)"
                         : "create table other (x)");
        }
        EventStore store;
        store.open(newDatabase(env)); // a failing open must not keep the earlier file

        try {
            store.open(bad);
            QFAIL("open did not throw");
        } catch (const StoreError& e) {
            const QString what = QString::fromUtf8(e.what());
            QVERIFY2(what.contains(message, Qt::CaseInsensitive), qPrintable(what));
            QVERIFY2(what.contains(bad), qPrintable(what));
        }
        QVERIFY(!store.isOpen());
        QVERIFY_THROWS_EXCEPTION(StoreError, AllEvents(store));
        if (kind == u"missing")
            QVERIFY(!QFileInfo::exists(bad));
    }

    void plantedSchemaIsRefusedAndMendedKeepingEveryRow_data()
    {
        QTest::addColumn<QByteArray>("plant");
        QTest::addColumn<QString>("named");
        QTest::newRow("a counting view in the table's place")
            << QByteArray("alter table tblEvents rename to kept; create view tblEvents as with recursive c(x) as "
                          "(select 1 union all select x + 1 from c) select count(*), 2, 3, 4, 5, 6, 7, 8, 9, 10, "
                          "11, 12 from c")
            << "view \"tblEvents\"";
        QTest::newRow("an aborting trigger")
            << QByteArray("create trigger stop before insert on tblEvents begin select raise(abort, 'mine'); end")
            << "trigger \"stop\"";
        QTest::newRow("a deleting trigger") << QByteArray("create trigger wipe after insert on tblEvents begin "
                                                          "delete from tblEvents where id <> new.id; end")
                                            << "trigger \"wipe\"";
    }
    void plantedSchemaIsRefusedAndMendedKeepingEveryRow()
    {
        QFETCH(QByteArray, plant);
        QFETCH(QString, named);
        TestEnv env;
        const QString file = newDatabase(env);
        EventStore store;
        store.open(file);
        store.insertNew({AnEvent("First"), AnEvent("Second")});
        store.close();
        sqlite::Connection(file, sqlite::Connection::Mode::ReadWrite).exec(plant.constData());
        QString refusal;
        try {
            store.open(file);
        } catch (const StoreError& e) {
            refusal = QString::fromUtf8(e.what());
        }
        QVERIFY2(refusal.contains(named) && refusal.contains("quillmoor-agenda --mend --db " + file),
                 qPrintable(refusal));
        QVERIFY(MendEventDatabase(file).join('\n').contains("dropped the " + named));
        QCOMPARE(MendEventDatabase(file), QStringList{});
        store.open(file);
        store.insert(AnEvent("Third"));
        QCOMPARE(rowCount(file), 3); // the events a view put aside are back
    }

    void sharedJournalThatWouldFailIsNamed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // empty: events can be saved
        QTest::newRow("the folder owner's, empty") << "empty" << QString();
        QTest::newRow("a FIFO") << "fifo"
                                << "is not a regular file";
        QTest::newRow("a link to a file elsewhere") << "link"
                                                    << "is not a regular file";
        QTest::newRow("another user's") << "other's"
                                        << "is owned by user 61003, so other users cannot save; ask the administrator";
        QTest::newRow("missing in another's folder") << "missing"
                                                     << "is missing";
    }
    void sharedJournalThatWouldFailIsNamed()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        constexpr uid_t kOther = 61003;
        if ((kind == u"other's" || kind == u"missing") && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        TestEnv env;
        const QString folder = env.path(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 01777), 0);
        const QString file = newDatabase(env, QStringLiteral("shared/dbData.mdb"));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0666), 0); // as the package leaves it
        const QByteArray journal = QFile::encodeName(file + QStringLiteral("-journal"));
        if (kind == u"empty" || kind == u"other's")
            writeFile(QFile::decodeName(journal), QByteArray());
        // A folder that is not this user's, and a journal of a third user.
        if (kind == u"missing" || kind == u"other's")
            QVERIFY(::chown(QFile::encodeName(folder).constData(), kOther + 1, kOther + 1) == 0 &&
                    (kind == u"missing" || ::chown(journal.constData(), kOther, kOther) == 0));
        QVERIFY(kind != u"fifo" || ::mkfifo(journal.constData(), 0666) == 0);
        QVERIFY(kind != u"link" || QFile::link(newDatabase(env), QFile::decodeName(journal)));

        EventStore store;
        try {
            store.open(file);
            store.insert(AnEvent(QStringLiteral("Saved")));
            QVERIFY2(message.isEmpty(), "saved");
        } catch (const StoreError& e) {
            QVERIFY2(!message.isEmpty() && QString::fromUtf8(e.what()).contains(message), e.what());
        }
    }

    void closedStoreThrows()
    {
        TestEnv env;
        EventStore store;
        store.open(newDatabase(env));
        store.close();
        store.close(); // closing twice is harmless
        QVERIFY(!store.isOpen());

        const std::function<void()> operations[] = {
            [&] { store.forEachEvent([](const EventRecord&) {}); },
            [&] { store.forEachEventWhere([](const EventRecord&) { return true; }, [](const EventRecord&) {}); },
            [&] { (void)titlesByTitle(store); },
            [&] { (void)store.eventById(1); },
            [&] { store.insert(AnEvent(QStringLiteral("x"))); },
            [&] { store.update(1, AnEvent(QStringLiteral("x"))); },
            [&] { store.remove(1); },
        };
        for (const auto& operation : operations) {
            try {
                operation();
                QFAIL("no exception on a closed store");
            } catch (const StoreError& e) {
                QVERIFY(QString::fromUtf8(e.what()).contains(QStringLiteral("not open")));
            }
        }
    }

    void foreignValuesReadAsEmpty_data()
    {
        QTest::addColumn<QString>("value"); // as another tool would write it into every number column
        QTest::addColumn<std::optional<int>>("expected");
        QTest::newRow("NULL") << "NULL" << std::optional<int>();
        QTest::newRow("words") << "'next Tuesday'" << std::optional<int>();
        QTest::newRow("fraction") << "3.5" << std::optional<int>();
        QTest::newRow("blob") << "x'0102'" << std::optional<int>();
        QTest::newRow("beyond 32 bits") << "1099511627776" << std::optional<int>();
        QTest::newRow("below 32 bits") << "-3000000000" << std::optional<int>();
        QTest::newRow("digits as text") << "'7'" << std::optional<int>(7);
        QTest::newRow("negative") << "-2" << std::optional<int>(-2);
    }
    void foreignValuesReadAsEmpty()
    {
        QFETCH(QString, value);
        QFETCH(std::optional<int>, expected);
        TestEnv env;
        const QString file = newDatabase(env);
        {
            const sqlite::Connection raw(file, sqlite::Connection::Mode::ReadWrite);
            raw.exec(QStringLiteral("insert into tblEvents values (9, NULL, NULL, %1, %1, %1, %1, %1, %1, %1, %1, %1)")
                         .arg(value)
                         .toUtf8());
        }
        EventStore store;
        store.open(file);

        const QList<EventRecord> rows = AllEvents(store);
        QCOMPARE(rows.size(), 1);
        const EventRecord& r = rows[0];
        QCOMPARE(r.id, 9);
        QVERIFY(r.title.isEmpty());
        QVERIFY(r.description.isEmpty());
        for (const NumberValue n : {r.timetype, r.consistancy, r.eventmonth, r.eventday, r.eventyear, r.eventweekdate,
                                    r.eventweekday, r.warnevent, r.daysbefore})
            QCOMPARE(n.optional(), expected);
        QCOMPARE(*store.eventById(9), r);
        QCOMPARE(titlesByTitle(store), QStringList{QString()});
    }

    void insertWaitsForAnotherWriter()
    {
        TestEnv env;
        const QString file = newDatabase(env);
        EventStore store;
        store.open(file);
        const sqlite::Connection other(file, sqlite::Connection::Mode::ReadWrite);
        other.exec("BEGIN IMMEDIATE");
        other.exec("insert into tblEvents (title) values ('from the other copy')");

        QElapsedTimer timer;
        timer.start();
        std::thread releaser([&other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            other.exec("COMMIT");
        });
        qint64 id = 0;
        try {
            id = store.insert(AnEvent(QStringLiteral("from this copy")));
        } catch (const StoreError& e) {
            releaser.join();
            QFAIL(e.what());
        }
        const qint64 waited = timer.elapsed();
        releaser.join();

        QVERIFY2(waited >= 250, qPrintable(QString::number(waited)));
        QCOMPARE(id, 2);
        QStringList titles;
        store.forEachEvent([&](const EventRecord& r) { titles.append(r.title); });
        QCOMPARE(titles, (QStringList{"from the other copy", "from this copy"}));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
