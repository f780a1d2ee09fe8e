#include "app/main_window.h"
#include "scripted_prompts.h"
#include "test_env.h"
#include "ui/grid_label.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

struct Program
{
    TestEnv env;
    FixedClock clock{QDate(2021, 11, 25)};
    ScriptedPrompts prompts;
    std::unique_ptr<Form1> window;

    void start()
    {
        window = std::make_unique<Form1>(AppServices{
            clock, prompts, env.settings(), {env.programFolder(), env.machineDataRoot(), env.userDataRoot()}});
        window->Form_Load();
    }
    QLabel* label(const QString& name) const { return window->findChild<QLabel*>(name); }
    QPushButton* button(const QString& name) const { return window->findChild<QPushButton*>(name); }
    GridLabel* cell(int i) const { return window->findChild<GridLabel*>(QStringLiteral("lblday_%1").arg(i)); }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void controlsSitWhereTheyWereDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Last Month") << "PushButton1"
                                    << "Last Month" << QRect(8, 8, 128, 32);
        QTest::newRow("Next Month") << "PushButton3"
                                    << "Next Month" << QRect(832, 8, 128, 32);
        QTest::newRow("Add New Event") << "PushButton2"
                                       << "Add New Event" << QRect(8, 608, 232, 27);
        QTest::newRow("Manage Events") << "PushButton4"
                                       << "Manage Events" << QRect(248, 608, 232, 27);
        QTest::newRow("Colors") << "PushButton5"
                                << "Colors" << QRect(488, 608, 232, 27);
        QTest::newRow("Startup") << "PushButton6"
                                 << "Startup" << QRect(728, 608, 232, 27);
        QTest::newRow("heading") << "month_year"
                                 << "November 2021" << QRect(144, 8, 681, 41);
        QTest::newRow("Sunday") << "DOW_0"
                                << "Sunday" << QRect(8, 48, 137, 25);
        QTest::newRow("Saturday") << "DOW_6"
                                  << "Saturday" << QRect(824, 48, 137, 25);
        QTest::newRow("first cell") << "lblday_0" << QString() << QRect(8, 72, 137, 89);
        QTest::newRow("last cell") << "lblday_41" << QString() << QRect(824, 512, 137, 89);
    }
    void controlsSitWhereTheyWereDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        Program p;
        p.start();
        auto* widget = p.window->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), geometry);
        if (auto* button = qobject_cast<QPushButton*>(widget))
            QCOMPARE(button->text(), caption);
        else if (!caption.isNull())
            QCOMPARE(qobject_cast<QLabel*>(widget)->text(), caption);
    }

    void windowIsFixedAndTitled()
    {
        Program p;
        p.start();
        QCOMPARE(p.window->size(), QSize(968, 641));
        QCOMPARE(p.window->minimumSize(), p.window->maximumSize());
        QCOMPARE(p.window->windowTitle(), QString("Quillmoor"));
        QVERIFY(!p.window->windowIcon().isNull());
        QVERIFY(p.window->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!(p.window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(p.prompts.applicationTitle(), QString("Quillmoor"));
        QCOMPARE(p.label("month_year")->toolTip(), QString("Click to Change"));
        QCOMPARE(p.label("month_year")->font().pointSize(), 24);
        QCOMPARE(p.button("PushButton1")->font().pointSizeF(), 11.25);
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void applicationTitleCutsBeforeTheLastBlank_data()
    {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("title");
        QTest::newRow("one word stays whole") << "Quillmoor"
                                              << "Quillmoor";
        QTest::newRow("cut at least once") << "Quillmoor Calendar 2021"
                                           << "Quillmoor Calendar";
        QTest::newRow("cut until at most 40") << "A very long product name that goes on and on for ever"
                                              << "A very long product name that goes on";
    }
    void applicationTitleCutsBeforeTheLastBlank()
    {
        QFETCH(QString, product);
        QFETCH(QString, title);
        QCOMPARE(ApplicationTitleFor(product), title);
    }

    void startsOnTodaysMonth()
    {
        Program p;
        p.start();
        QCOMPARE(p.window->state().ViewMonth, qint16(11));
        QCOMPARE(p.window->state().ViewYear, qint16(2021));
        QCOMPARE(p.label("month_year")->text(), QString("November 2021"));
        QCOMPARE(p.cell(1)->text(), QString("1"));
        QCOMPARE(p.cell(25)->background(), ColorRef(16711680)); // today, 25 November
        QCOMPARE(p.cell(25)->text(), QString("25\nThanksgiving"));
    }

    void monthButtonsCrossYearEnds_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("year");
        QTest::newRow("Last Month from January 2025") << QDate(2025, 1, 10) << "PushButton1"
                                                      << "December 2024" << 12 << 2024;
        QTest::newRow("Next Month from December 2024") << QDate(2024, 12, 31) << "PushButton3"
                                                       << "January 2025" << 1 << 2025;
        QTest::newRow("Next Month from 31 January") << QDate(2023, 1, 31) << "PushButton3"
                                                    << "February 2023" << 2 << 2023;
    }
    void monthButtonsCrossYearEnds()
    {
        QFETCH(QDate, today);
        QFETCH(QString, button);
        QFETCH(QString, heading);
        QFETCH(int, month);
        QFETCH(int, year);
        Program p;
        p.clock.setToday(today);
        p.start();
        QTest::mouseClick(p.button(button), Qt::LeftButton);
        QCOMPARE(p.label("month_year")->text(), heading);
        QCOMPARE(p.window->state().ViewMonth, qint16(month));
        QCOMPARE(p.window->state().ViewYear, qint16(year));
        const int first = FirstCellOf({month, year});
        QCOMPARE(p.window->grid().cells[std::size_t(first)].tag, QString("1"));
        for (const DayCell& cell : p.window->grid().cells)
            QVERIFY(cell.background != ColorRef(16711680)); // today is not in the month shown
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void headingColoursComeFromTheSettings()
    {
        Program p;
        p.env.settings().save("Month-Year Backcolor", "255");
        p.env.settings().save("DOW Forecolor", "65280");
        p.start();
        auto* heading = static_cast<GridLabel*>(p.label("month_year"));
        QCOMPARE(heading->background(), ColorRef(255));
        QCOMPARE(heading->foreground(), ColorRef(0));
        auto* wednesday = static_cast<GridLabel*>(p.label("DOW_3"));
        QCOMPARE(wednesday->background(), ColorRef(14737632));
        QCOMPARE(wednesday->foreground(), ColorRef(65280));
    }

    void brokenHeadingColourCostsOneReportAndKeepsTheElement()
    {
        Program p;
        p.env.settings().save("DOW Backcolor", "grey");
        p.start();
        QCOMPARE(p.prompts.shown.size(), 1);
        QVERIFY(p.prompts.shown[0].text.contains("in Quillmoor2021/08/31.Form1.Form_Load at line 118\r"));
        QCOMPARE(p.prompts.shown[0].title, QString("Application Error"));
        auto* sunday = static_cast<GridLabel*>(p.label("DOW_0"));
        QCOMPARE(sunday->background(), ColorRef(16777215)); // as built, unchanged
        QCOMPARE(p.cell(1)->text(), QString("1"));          // start-up went on
    }

    void firstRunPreparesTheDataFolderAndLaterRunsKeepIt()
    {
        Program p;
        p.start();
        const QString live = p.env.machineDataRoot() + "/Quendrix/Quillmoor/dbData.mdb";
        QCOMPARE(p.window->liveDatabaseFile(), live);
        QVERIFY(QFile::exists(live));
        QVERIFY(p.window->state().EventConnection.isOpen());
        p.window->state().EventConnection.insert({"Dentist", "Check-up", 1, 1, 11, 3, 2021, 1, 1, 0, 0});
        p.window->close();

        p.start();
        QCOMPARE(p.cell(3)->text(), QString("3\nDentist"));
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void unreachableDatabaseStillOpensTheWindowAndClosingEndsIt()
    {
        Program p;
        // A folder where the database file should be.
        QDir().mkpath(p.env.machineDataRoot() + "/Quendrix/Quillmoor/dbData.mdb");
        p.start();
        QVERIFY(!p.window->state().EventConnection.isOpen());
        QVERIFY(p.prompts.shown.size() >= 2); // the failed open and the failed drawing
        QVERIFY(p.prompts.shown[0].text.contains("at line 126"));
        QCOMPARE(p.cell(1)->text(), QString("1")); // painted, only the events are missing
        QCOMPARE(p.label("month_year")->text(), QString("November 2021"));

        p.prompts.clear();
        p.window->show();
        QVERIFY(p.window->close());
        QVERIFY(!p.window->isVisible());
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void noDataFolderAnywhereIsReportedClearly()
    {
        Program p;
        // Files where both data roots should be folders.
        for (const QString& root : {p.env.machineDataRoot(), p.env.userDataRoot()}) {
            QDir().rmdir(root);
            QFile file(root);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        p.start();
        const QStringList reports = p.prompts.texts();
        QVERIFY(reports.size() >= 2);
        QVERIFY(reports[0].startsWith("Cannot create a data folder in "));
        QVERIFY(reports[0].contains("at line 100\r"));
        QVERIFY(reports[1].startsWith("There is no event database: its data folder could not be prepared.\r\n"));
        QVERIFY(reports[1].contains("at line 126\r"));
        QCOMPARE(p.cell(1)->text(), QString("1"));
    }

    void dialogButtonsRedrawTheMonthEvenWhenCancelled_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("dialog");
        QTest::newRow("Add New Event") << "PushButton2"
                                       << "Form3";
        QTest::newRow("Manage Events") << "PushButton4"
                                       << "Form4";
    }
    void dialogButtonsRedrawTheMonthEvenWhenCancelled()
    {
        QFETCH(QString, button);
        QFETCH(QString, dialog);
        Program p;
        p.start();
        QString shownDialog;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal);
            shownDialog = modal->objectName();
            // Someone else adds an event while the dialog is open; the dialog is then closed unsaved.
            p.window->state().EventConnection.insert({"Dentist", "Check-up", 1, 1, 11, 3, 2021, 1, 1, 0, 0});
            static_cast<QDialog*>(modal)->reject();
        });
        QTest::mouseClick(p.button(button), Qt::LeftButton);
        QCOMPARE(shownDialog, dialog);
        QCOMPARE(p.cell(3)->text(), QString("3\nDentist"));
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void dialogButtonsWithoutDialogsDoNothing()
    {
        Program p;
        p.start();
        for (const char* name : {"PushButton5", "PushButton6"}) {
            QTest::mouseClick(p.button(name), Qt::LeftButton);
            QCOMPARE(p.label("month_year")->text(), QString("November 2021"));
        }
        QVERIFY(p.prompts.shown.isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
