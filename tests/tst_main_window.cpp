#include "dialogs/color_options.h"
#include "dialogs/days_events.h"
#include "dialogs/event_alert.h"
#include "dialogs/event_editor.h"
#include "dialogs/event_management.h"
#include "dialogs/jump_to.h"
#include "dialogs/startup_options.h"
#include "program.h"

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QComboBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTreeWidget>

#include <map>
#include <sys/stat.h>

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
        QCOMPARE(p.window->state().View, (ViewedMonth{11, 2021}));
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
        // The calendar draws the years 100 to 9999: at either end the month stays.
        QTest::newRow("Next Month from December 9999") << QDate(9999, 12, 1) << "PushButton3"
                                                       << "December 9999" << 12 << 9999;
        QTest::newRow("Last Month from January 100") << QDate(100, 1, 1) << "PushButton1"
                                                     << "January 0100" << 1 << 100;
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
        QCOMPARE(p.window->state().View, (ViewedMonth{month, year}));
        const int first = FirstCellOf({month, year});
        QCOMPARE(p.window->grid().cells[std::size_t(first)].tag, QString("1"));
        const bool moved = today.month() != month || today.year() != year;
        for (const DayCell& cell : p.window->grid().cells)
            QVERIFY(!moved || cell.background != ColorRef(16711680)); // today is not in the month shown
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

    void aDatabaseBusyAtStartUpIsOpenedAgainOnceFree()
    {
        Program p;
        p.start();
        p.window->close();
        const sqlite::Connection other(p.window->liveDatabaseFile(), sqlite::Connection::Mode::ReadWrite);
        other.exec("begin exclusive");
        p.prompts.clear();
        p.start(50);
        QVERIFY(p.prompts.texts().value(0).contains("database is locked"));
        QVERIFY(p.prompts.texts().value(0).contains("Form_Load at line 126\r"));
        other.exec("commit");
        p.window->DrawMonth(); // the next use of the connection opens it again
        p.window->state().EventConnection.insert(AnEvent("Dentist").description("Check-up").monthlyOn(3));
        p.window->DrawMonth();
        QCOMPARE(p.cell(3)->text(), QString("3\nDentist"));
    }

    void aHeldLockEndsNoClick_data()
    {
        // The control; then 1 or 0: locked before start-up (else after it), the click reports
        // the lock, a dialog opens while it is held, and once it is gone.
        QTest::addColumn<QString>("row");
        for (const char* row : {"PushButton1 1 1 0 0", "PushButton3 1 1 0 0", "PushButton2 1 1 0 1",
                                "PushButton4 1 1 0 1", "PushButton5 1 1 1 1", "month_year 1 1 1 1",
                                "PushButton6 1 0 1 1", "lblday_26 0 1 0 1", "PushButton2 0 1 1 1"})
            QTest::newRow(row) << row;
    }
    void aHeldLockEndsNoClick()
    {
        QFETCH(QString, row);
        const QStringList f = row.split(' ');
        const bool atStart = f[1] == "1", reported = f[2] == "1";
        Program p;
        p.start();
        p.add({AnEvent("Dentist").once(QDate(2021, 11, 26))});
        p.window->close();
        const sqlite::Connection other(p.window->liveDatabaseFile(), sqlite::Connection::Mode::ReadWrite);
        if (atStart)
            other.exec("begin exclusive");
        p.start(50);
        if (!atStart)
            other.exec("begin exclusive");
        for (const bool locked : {true, false}) {
            p.prompts.clear();
            bool opened = false;
            Program::whenModal([&](QDialog&) { opened = true; });
            QTest::mouseClick(p.window->findChild<QWidget*>(f[0]), Qt::LeftButton);
            QCoreApplication::processEvents();
            QCOMPARE(p.prompts.texts().value(0).contains("database is locked"), locked && reported);
            QCOMPARE(opened, f[locked ? 3 : 4] == "1");
            if (locked)
                other.exec("commit");
        }
    }

    void hugeSettingValuesCostShortReports()
    {
        Program p;
        const QString huge(1 << 20, u'x');
        p.env.settings().save("Month-Year Backcolor", huge);
        p.env.settings().save("Day Backcolor", huge);
        p.start();
        // The load's own reads, then the drawing's.
        const QStringList lines = {"Form_Load at line 114\r", "Form_Load at line 122\r", "Form_Load at line 130\r"};
        QCOMPARE(p.prompts.shown.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            QVERIFY(p.prompts.texts()[i].contains(lines[i]));
            QVERIFY(p.prompts.texts()[i].contains("Backcolor\" holds \"xxxxx"));
            QVERIFY(p.prompts.texts()[i].size() < 300);
        }
    }

    void firstRunPreparesTheDataFolderAndLaterRunsKeepIt()
    {
        Program p;
        p.start();
        const QString live = p.env.machineDataRoot() + "/Quendrix/Quillmoor/dbData.mdb";
        QCOMPARE(p.window->liveDatabaseFile(), live);
        QVERIFY(QFile::exists(live));
        QVERIFY(p.window->state().EventConnection.isOpen());
        p.window->state().EventConnection.insert(AnEvent("Dentist").description("Check-up").monthlyOn(3));
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
        QTest::addColumn<bool>("redraws");
        QTest::newRow("Add New Event") << "PushButton2"
                                       << "Form3" << true;
        QTest::newRow("Manage Events") << "PushButton4"
                                       << "Form4" << true;
        QTest::newRow("Colors") << "PushButton5"
                                << "Form2" << true;
        QTest::newRow("heading") << "month_year"
                                 << "Form7" << true;
        QTest::newRow("Startup never redraws") << "PushButton6"
                                               << "Form5" << false;
    }
    void dialogButtonsRedrawTheMonthEvenWhenCancelled()
    {
        QFETCH(QString, button);
        QFETCH(QString, dialog);
        QFETCH(bool, redraws);
        Program p;
        p.start();
        QString shownDialog;
        QTimer::singleShot(0, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal);
            shownDialog = modal->objectName();
            // Someone else adds an event while the dialog is open; the dialog is then closed unsaved.
            p.window->state().EventConnection.insert(
                AnEvent("Dentist").description("Check-up").once(QDate(2021, 11, 3)));
            p.label("month_year")->setText("changed");
            static_cast<QDialog*>(modal)->reject();
        });
        QTest::mouseClick(p.window->findChild<QWidget*>(button), Qt::LeftButton);
        QCOMPARE(shownDialog, dialog);
        QCOMPARE(p.cell(3)->text(), redraws ? QString("3\nDentist") : QString("3"));
        QCOMPARE(p.label("month_year")->text(), button == "month_year" ? "November 2021" : "changed");
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void dayCellListsThatDaysEvents_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<Events>("events");
        QTest::addColumn<QStringList>("listed"); // empty: no window appears
        // August 2021 starts on a Sunday.
        const Events mixed = {AnEvent("Swim").monthlyOn(1), AnEvent("Gym").weekly(kMonday),
                              AnEvent("Work").once(QDate(2021, 8, 2))};
        QTest::newRow("cell 0 holds day 1") << 0 << mixed << QStringList{"Swim"};
        QTest::newRow("weekly Monday on any Monday, in table order") << 1 << mixed << QStringList{"Gym", "Work"};
        QTest::newRow("a day without events") << 3 << mixed << QStringList{};
        QTest::newRow("a blank cell") << 40 << mixed << QStringList{};
        QTest::newRow("empty table") << 0 << Events{} << QStringList{};
    }
    void dayCellListsThatDaysEvents()
    {
        QFETCH(int, cell);
        QFETCH(Events, events);
        QFETCH(QStringList, listed);
        Program p;
        p.clock.setToday(QDate(2021, 8, 20));
        p.start();
        p.add(events);
        p.window->DrawMonth();
        std::optional<QStringList> shown; // empty when no window appeared
        QString description;
        Program::whenModal([&](QDialog& dialog) {
            auto* list = dialog.findChild<QTreeWidget*>("ListView1");
            shown.emplace();
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                *shown << list->topLevelItem(i)->text(0);
            description = dialog.findChild<QPlainTextEdit*>("Text1")->toPlainText();
            QVERIFY(list->topLevelItem(0)->isSelected());
        });
        QTest::mouseClick(p.cell(cell), Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(shown.value_or(QStringList{}), listed);
        QCOMPARE(shown.has_value(), !listed.isEmpty());
        QCOMPARE(description, listed.isEmpty() ? QString() : listed[0] + " notes");
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void keysMoveThroughTheMonth_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<int>("month");
        QTest::addColumn<QString>("focused");
        QTest::newRow("start-up on today") << "" << 11 << "lblday_25";
        QTest::newRow("blank cells and the ends stop the arrows") << "Up Up Up Up Home Left" << 11 << "lblday_1";
        QTest::newRow("last day") << "Right End Down Right" << 11 << "lblday_30";
        QTest::newRow("heading, the grid as one stop, the buttons") << "Shift+Tab Tab Tab" << 11 << "PushButton1";
        QTest::newRow("Page Down to day 1") << "PgDown" << 12 << "lblday_3";
        QTest::newRow("Page Up back on today") << "PgDown PgUp" << 11 << "lblday_25";
        QTest::newRow("a month button keeps the focus") << "Tab Tab Space" << 12 << "PushButton3";
    }
    void keysMoveThroughTheMonth()
    {
        QFETCH(QString, keys);
        QFETCH(int, month);
        QFETCH(QString, focused);
        Program p;
        p.start();
        p.window->show();
        QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
        for (const QString& key : keys.split(' ', Qt::SkipEmptyParts))
            QTest::keySequence(QApplication::focusWidget(), QKeySequence(key));
        QCOMPARE(QApplication::focusWidget()->objectName(), focused);
        QCOMPARE(p.window->state().View.month, month);
    }

    void keysOpenADaysEventsAndJumpTo()
    {
        Program p;
        p.start();
        p.add({AnEvent("Dinner").once(QDate(2021, 11, 26))});
        p.window->DrawMonth();
        p.window->show();
        QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
        QString listed;
        Program::whenModal(
            [&](QDialog& day) { listed = day.findChild<QTreeWidget*>("ListView1")->topLevelItem(0)->text(0); });
        QTest::keyClick(p.cell(25), Qt::Key_Right);
        QTest::keyClick(p.cell(26), Qt::Key_Return);
        QCOMPARE(listed, QString("Dinner"));
        Program::whenModal([](QDialog& jump) {
            // Offscreen a dialog never becomes the active window: the keys go to the year box.
            auto* year = jump.findChild<QLineEdit*>("Text1");
            QTest::keyClick(year, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(year, "2030");
            QTest::keyClick(year, Qt::Key_Return);
        });
        QTest::keyClick(p.label("month_year"), Qt::Key_Space);
        QCOMPARE(p.label("month_year")->text(), QString("November 2030"));
    }

    void keysChangeAColourThroughThePicker()
    {
        Program p;
        p.start();
        p.prompts.queueColor(255);
        p.prompts.queueColor(colorRef(16, 16, 240));
        QStringList frames, names;
        Program::whenModal([&](QDialog& dialog) {
            QTest::keyClick(&dialog, Qt::Key_Tab); // to the first control, as the dialog's activation would
            for (int i = 0; i < 14; ++i) {
                QWidget* swatch = dialog.focusWidget();
                frames << swatch->parentWidget()->objectName() + (swatch->x() > 100 ? "+" : "");
                if (i == 8 || i == 9) {
                    QTest::keyClick(swatch, i == 8 ? Qt::Key_Return : Qt::Key_Space);
                    names << QAccessible::queryAccessibleInterface(swatch)->text(QAccessible::Name);
                }
                QTest::keyClick(swatch, Qt::Key_Tab);
            }
        });
        QTest::keyClick(p.button("PushButton5"), Qt::Key_Space);
        // Frame by frame, left to right in each.
        QCOMPARE(frames.join(' '), QString("Frame1 Frame2 Frame2+ Frame3 Frame3+ Frame4 Frame4+ Frame5 Frame5+ Frame6 "
                                           "Frame6+ Frame7 Frame7+ Form2+"));
        QCOMPARE(names, (QStringList{"Regular Days, background color, red",
                                     "Important Holidays, text color, near blue, #1010F0"}));
        QCOMPARE(p.cell(2)->background(), ColorRef(255)); // the month repainted
    }

    void focusFrameShowsOnlyOnceTheKeyboardIsUsed()
    {
        Program p;
        p.start();
        p.window->show();
        QVERIFY(QTest::qWaitForWindowActive(p.window.get()));
        QTest::mouseClick(p.cell(40), Qt::LeftButton); // as a new start: earlier tests pressed keys
        QVERIFY(p.cell(25)->hasFocus());
        const QImage startUp = p.window->grab().toImage();
        p.cell(25)->clearFocus();
        QCOMPARE(p.window->grab().toImage(), startUp); // no key yet: as if nothing had the focus
        QImage plain = p.cell(25)->grab().toImage();

        p.cell(25)->setFocus();
        QTest::keyClick(p.cell(25), Qt::Key_Right);
        QTest::keyClick(p.cell(26), Qt::Key_Left);
        QImage framed = p.cell(25)->grab().toImage();
        QVERIFY(framed != plain);
        QCOMPARE(plain.pixelColor(60, 60), kit::ToQColor(16711680)); // today's blue
        QTest::mouseClick(p.cell(40), Qt::LeftButton);               // a blank cell: nothing opens
        QCOMPARE(p.cell(25)->grab().toImage(), plain);
        // Away from the frame, just inside the border, every pixel stays.
        for (QImage* image : {&framed, &plain})
            QPainter(image).drawRect(image->rect().adjusted(2, 2, -3, -3));
        QCOMPARE(framed, plain);
    }

    void screenReadersHearTheDayAndTheMonth()
    {
        Program p;
        p.start();
        const QStringList eight = {"A", "B", "C", "D", "E", "F", "G", "H"};
        for (const QString& title : eight + QStringList{"Dinner"})
            p.add({AnEvent(title).once(QDate(2021, 11, title == "Dinner" ? 25 : 26))});
        p.window->DrawMonth();
        const auto name = [](QObject* o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); };
        QCOMPARE(name(p.cell(25)), QString("Thursday 25 November 2021, today, Thanksgiving, Dinner"));
        QCOMPARE(name(p.window.get()), QString("Quillmoor, November 2021"));
        QCOMPARE(QAccessible::queryAccessibleInterface(p.window.get())->role(), QAccessible::Window);
        // The day whose titles do not all show lists them on hovering, and looks as before.
        QCOMPARE(p.cell(26)->toolTip(), eight.join('\n'));
        QCOMPARE(p.cell(26)->text(), "26\n" + eight.join('\n'));
        QCOMPARE(p.cell(25)->toolTip(), QString());
        // Monday 1 November is blank in December: the same button, unavailable.
        QAccessibleInterface* monday = QAccessible::queryAccessibleInterface(p.cell(1));
        QCOMPARE(std::pair(monday->role(), bool(monday->state().disabled)), std::pair(QAccessible::Button, false));
        p.window->PushButton3_Click();
        QCOMPARE(name(p.window.get()), QString("Quillmoor, December 2021"));
        QCOMPARE(std::pair(monday->role(), bool(monday->state().disabled)), std::pair(QAccessible::Button, true));
    }

    void pointerIsAHandOverPushButtonsAndAnArrowElsewhere_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("button"); // empty: the window has none
        QTest::addColumn<QString>("restorer");
        QTest::newRow("main window") << "Form1"
                                     << "PushButton4"
                                     << "lblday_10";
        QTest::newRow("colours") << "Form2" << QString() << "Frame3";
        QTest::newRow("editor") << "Form3"
                                << "PushButton2"
                                << "Frame1";
        QTest::newRow("management") << "Form4"
                                    << "PushButton3"
                                    << "ListView1";
        QTest::newRow("start-up options") << "Form5" << QString() << "Frame1";
        QTest::newRow("day's events") << "Form6" << QString() << "ListView1";
        QTest::newRow("jump to") << "Form7"
                                 << "PushButton1"
                                 << "Form7";
        QTest::newRow("alert") << "Form8"
                               << "PushButton1"
                               << "Frame1";
    }
    void pointerIsAHandOverPushButtonsAndAnArrowElsewhere()
    {
        QFETCH(QString, window);
        QFETCH(QString, button);
        QFETCH(QString, restorer);
        Program p;
        p.putBesideProgram("HAND-M.CUR");
        p.start();
        p.add({AnEvent("Dinner").monthlyOn(25)}); // the alert lists it
        EventStore& store = p.window->state().EventConnection;
        const ViewedMonth shownMonth{11, 2021};
        const std::map<QString, std::function<kit::FormDialog*()>> dialogs = {
            {"Form2", [&] { return new Form2(p.services); }},
            {"Form3", [&] { return new Form3(p.services, store); }},
            {"Form4", [&] { return new Form4(p.services, store); }},
            {"Form5", [&] { return new Form5(p.services); }},
            {"Form6", [&] { return new Form6(p.services, store, shownMonth); }},
            {"Form7", [&] { return new Form7(p.services, shownMonth); }},
            {"Form8", [&] { return new Form8(p.services, store, QDate(2021, 11, 25)); }},
        };
        std::unique_ptr<kit::FormDialog> dialog(dialogs.count(window) ? dialogs.at(window)() : nullptr);
        QWidget* shown = dialog ? static_cast<QWidget*>(dialog.get()) : p.window.get();
        if (dialog)
            dialog->Form_Load();
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        QWidget* over = shown->objectName() == restorer ? shown : shown->findChild<QWidget*>(restorer);
        if (auto* list = qobject_cast<QAbstractScrollArea*>(over))
            over = list->viewport();

        shown->setCursor(Qt::CrossCursor); // as a hand left behind would be
        QTest::mouseMove(over, QPoint(2, over->height() - 3));
        QCOMPARE(shown->cursor().shape(), Qt::ArrowCursor);
        if (!button.isEmpty()) {
            QTest::mouseMove(shown->findChild<QWidget*>(button));
            QCOMPARE(shown->cursor().shape(), Qt::BitmapCursor);
            QCOMPARE(shown->cursor().hotSpot(), QPoint(6, 1));
            QTest::mouseMove(over, QPoint(2, over->height() - 3));
            QCOMPARE(shown->cursor().shape(), Qt::ArrowCursor);
        }
        QVERIFY(p.prompts.shown.isEmpty());

        // Every control a screen reader reaches has a name, and no two the same one.
        QStringList names;
        std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (node && node->state().focusable && !node->state().invisible)
                names << node->text(QAccessible::Name);
            // The entries of lists and combo boxes are values, not controls.
            if (node && node->role() != QAccessible::ComboBox && !node->tableInterface())
                for (int i = 0; i < node->childCount(); ++i)
                    walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(shown));
        QVERIFY2(!names.contains(QString()), qPrintable(names.join(" | ")));
        if (auto* list = shown->findChild<QComboBox*>("Combo1"); window == "Form8")
            QCOMPARE(QAccessible::queryAccessibleInterface(list)
                         ->relations(QAccessible::Label)
                         .value(0)
                         .first->text(QAccessible::Name),
                     QString("Today's events"));
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    }

    void lookFilesBesideTheProgram_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("reports");
        QTest::newRow("no look files") << QString() << QByteArray() << QStringList{};
        QTest::newRow("skin") << "x/o.cjs" << QByteArray("QPushButton { color: navy; }") << QStringList{};
        QTest::newRow("oversized skin") << "x/o.cjs" << QByteArray(2 << 20, ' ')
                                        << QStringList{"Form1.Form_Load at line 102\r"};
        // Every window loads the pointer (the alert that closes unseen too); one report is enough.
        QTest::newRow("corrupt cursor") << "HAND-M.CUR" << QByteArray("MZ not a cursor at all")
                                        << QStringList{"Form1.Form_Load at line 104\r"};
        QTest::newRow("FIFO as the skin") << "x/o.cjs" << QByteArray("FIFO") << QStringList{"it is not a regular file"};
        QTest::newRow("FIFO as the cursor")
            << "HAND-M.CUR" << QByteArray("FIFO") << QStringList{"it is not a regular file"};
    }
    void lookFilesBesideTheProgram()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, reports);
        Program p;
        if (bytes == "FIFO") {
            QVERIFY(QDir().mkpath(p.env.programFolder() + "/x"));
            QCOMPARE(::mkfifo(QFile::encodeName(p.env.programFolder() + '/' + file).constData(), 0644), 0);
        } else if (!file.isEmpty()) {
            p.putBesideProgram(file, bytes);
        }
        p.start();
        Form5(p.services).Form_Load();
        QCOMPARE(p.prompts.shown.size(), reports.size());
        for (int i = 0; i < reports.size(); ++i)
            QVERIFY2(p.prompts.texts()[i].contains(reports[i]), qPrintable(p.prompts.texts()[i]));
        QCOMPARE(p.window->styleSheet(), reports.isEmpty() ? QString(bytes) : QString());
        QCOMPARE(p.cell(1)->text(), QString("1")); // start-up went on
    }

    void aBrokenDayColourStillGreetsWithTodaysEvents()
    {
        Program p;
        p.env.settings().save("Day Backcolor", "white");
        p.start();
        p.add({AnEvent("Dentist").once(QDate(2021, 11, 25))});
        p.window->close();
        p.prompts.clear();
        QString listed;
        Program::whenModal([&](QDialog& alert) { listed = alert.findChild<QComboBox*>("Combo1")->currentText(); });
        p.start(); // the drawing fails at the first day cell; the alert reads today's events itself
        QCOMPARE(listed, QString("Dentist"));
        QVERIFY(p.prompts.texts().value(0).contains("Form1.Form_Load at line 122\r"));
    }

    void closingTheMainWindowEndsAnOpenDialog()
    {
        Program p;
        p.start();
        bool closed = false;
        Program::whenModal([&](QDialog& dialog) {
            p.window->close();
            // The program's end takes its windows with it.
            closed = !p.window->state().EventConnection.isOpen() && !dialog.isVisible();
        });
        p.window->PushButton4_Click();
        QVERIFY(closed);
        QVERIFY(p.prompts.shown.isEmpty());
    }

    void theSkinRestylesTheMainWindowOnly()
    {
        Program p;
        p.putBesideProgram("x/o.cjs", "QToolTip { color: red; }");
        p.start();
        Form7 jump(p.services, p.window->state().View, p.window.get());
        jump.Form_Load();
        jump.show();
        auto* caption = jump.findChild<QLabel*>("Label2");
        QCOMPARE(caption->font(), kit::ArialBold(9));
        QVERIFY(caption->width() >= caption->sizeHint().width()); // "Select Month:" is not cut
    }

    void startupGreetsWithTodayAndTidiesPassedEvents_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<Events>("events");
        QTest::addColumn<QString>("settings"); // "Check1 Passed", empty text for absent
        QTest::addColumn<bool>("yes");         // the answer to every question
        QTest::addColumn<QStringList>("alert");
        QTest::addColumn<QStringList>("questions");
        QTest::addColumn<QStringList>("kept");
        const QDate thursday(2021, 11, 25);
        const QString quit = "No Events: No events found today. \r\nQuit application?";
        const QString passed = "Delete Passed Events: There are events that passed. \r\nDo you want to delete them?";
        QTest::newRow("empty table") << thursday << Events{} << "" << false << QStringList{} << QStringList{}
                                     << QStringList{};
        QTest::newRow("today's, in table order; by-date weekly never")
            << thursday
            << Events{AnEvent("Dinner").once(QDate(2021, 11, 25)),
                      AnEvent("Never").codes(kByDate, kWeekly).date(11, 25, 2021), AnEvent("Gym").weekly(kThursday)}
            << "1 2" << false << QStringList{"Dinner", "Gym"} << QStringList{} << QStringList{"Dinner", "Never", "Gym"};
        QTest::newRow("second Tuesday on the second Tuesday")
            << QDate(2021, 11, 9) << Events{AnEvent("Club").monthly(2, 3)} << "" << false << QStringList{"Club"}
            << QStringList{} << QStringList{"Club"};
        QTest::newRow("second Tuesday not on the first")
            << QDate(2021, 11, 2) << Events{AnEvent("Club").monthly(2, 3)} << "1 2" << false << QStringList{}
            << QStringList{quit} << QStringList{"Club"};
        QTest::newRow("quitting touches no passed event")
            << thursday << Events{AnEvent("Old").once(QDate(2021, 11, 24))} << "1 1" << true << QStringList{}
            << QStringList{quit} << QStringList{"Old"};
        QTest::newRow("passed, asked by default, Yes")
            << thursday << Events{AnEvent("Old").once(QDate(2021, 11, 24))} << "" << true << QStringList{}
            << QStringList{passed} << QStringList{};
        QTest::newRow("passed, asked, No") << thursday << Events{AnEvent("Old").once(QDate(2021, 11, 24))} << "0 2"
                                           << false << QStringList{} << QStringList{passed} << QStringList{"Old"};
        QTest::newRow("passed, deleted silently") << thursday << Events{AnEvent("Old").once(4, 4, 11, 2021)} << "0 1"
                                                  << false << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("passed, ignored") << thursday << Events{AnEvent("Old").once(QDate(2021, 11, 24))} << "0 3"
                                         << true << QStringList{} << QStringList{} << QStringList{"Old"};
        QTest::newRow("broken choice deletes nothing")
            << thursday << Events{AnEvent("Old").once(QDate(2021, 11, 24))} << "0 x" << true << QStringList{}
            << QStringList{} << QStringList{"Old"};
        QTest::newRow("last day of the previous month never offered")
            << QDate(2021, 12, 1) << Events{AnEvent("Old").once(QDate(2021, 11, 30))} << "" << true << QStringList{}
            << QStringList{} << QStringList{"Old"};
    }
    void startupGreetsWithTodayAndTidiesPassedEvents()
    {
        QFETCH(QDate, today);
        QFETCH(Events, events);
        QFETCH(QString, settings);
        QFETCH(bool, yes);
        QFETCH(QStringList, alert);
        QFETCH(QStringList, questions);
        QFETCH(QStringList, kept);
        Program p;
        p.clock.setToday(today);
        p.start(); // the first run makes the database
        p.add(events);
        p.window->close();
        if (!settings.isEmpty()) {
            p.env.settings().save("Check1", settings.section(' ', 0, 0));
            p.env.settings().save("Passed", settings.section(' ', 1, 1));
        }
        for (int i = 0; i < 3; ++i)
            p.prompts.queueAnswer(yes ? Prompts::Answer::Yes : Prompts::Answer::No);
        p.prompts.clear();

        std::optional<QStringList> listed; // empty when no alert appeared
        Program::whenModal([&](QDialog& dialog) {
            auto* titles = dialog.findChild<QComboBox*>("Combo1");
            listed.emplace();
            for (int i = 0; i < titles->count(); ++i)
                *listed << titles->itemText(i);
        });
        p.start();
        QCoreApplication::processEvents(); // where no alert ran, the timer above must not find a later dialog
        QCOMPARE(listed.value_or(QStringList{}), alert);
        QCOMPARE(listed.has_value(), !alert.isEmpty());
        QStringList asked;
        for (const ScriptedPrompts::Shown& s : p.prompts.shown)
            asked << s.title + ": " + s.text;
        QCOMPARE(asked.filter(QRegularExpression("^No Events|^Delete Passed")), questions);
        QCOMPARE(p.titles(), kept);
        QCOMPARE(p.window->endedAtStartup(), yes && questions.value(0).startsWith("No Events"));
        if (settings.endsWith('x'))
            QVERIFY(p.prompts.texts().value(0).contains("Form1.Form_Load at line 136\r"));
        if (kept.isEmpty())
            QVERIFY(!p.cell(FirstCellOf({today.month(), today.year()}) + 23)->text().contains("Old"));
    }

    void aFailedDeleteOfAPassedEventSparesTheRest()
    {
        Program p;
        p.start();
        EventStore& store = p.window->state().EventConnection;
        for (const char* title : {"First", "Second", "Third"})
            store.insert(AnEvent(title).description("notes").once(QDate(2021, 11, 24)));
        p.window->close();
        p.env.settings().save("Passed", "1");
        const sqlite::Connection reader(p.window->liveDatabaseFile(), sqlite::Connection::Mode::ReadOnly);
        reader.exec("begin; select count(*) from tblEvents"); // a reader keeps every delete from committing
        p.prompts.clear();
        p.start(50);
        QCOMPARE(p.prompts.texts().filter("Form_Load at line 138\r").size(), 3);
        QCOMPARE(p.titles(), (QStringList{"First", "Second", "Third"}));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
