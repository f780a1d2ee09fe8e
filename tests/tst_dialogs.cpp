#include "dialogs/color_options.h"
#include "dialogs/days_events.h"
#include "dialogs/event_alert.h"
#include "dialogs/event_management.h"
#include "dialogs/jump_to.h"
#include "dialogs/startup_options.h"
#include "program.h"
#include "ui/window_kit.h"
#include "with_details.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTreeView>
#include <QTreeWidget>

namespace {

template <typename Control = QWidget> Control* find(QWidget& window, const char* name)
{
    return window.findChild<Control*>(QString::fromLatin1(name));
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void colorOptionsStoreEveryPickAndClickAtOnce()
    {
        Program p;
        p.start();
        p.env.settings().save("DOW Forecolor", "ink");
        Form2 dialog(p.services);
        dialog.Form_Load();
        // The broken colour costs one report; its swatch keeps the button face, the next ones load.
        QCOMPARE(p.prompts.shown.size(), 1);
        QVERIFY(p.prompts.texts()[0].contains("\"DOW Forecolor\"") && p.prompts.texts()[0].contains("at line 112\r"));
        // The others show what is stored, or the dialog's own defaults ("Today" reversed from the grid's).
        const QList<QPair<const char*, ColorRef>> shown = {{"lblBlankDays", 16761024}, {"lblTodayFore", 16711680},
                                                           {"lblTodayBack", 16777215}, {"lblDaysBack", 14737632},
                                                           {"lblHolBack", 255},        {"lblWeekBack", 12632319}};
        for (const auto& [name, colour] : shown)
            QCOMPARE(find<GridLabel>(dialog, name)->background(), colour);
        QCOMPARE(find<GridLabel>(dialog, "lblDaysFore")->background(),
                 kit::ToColorRef(QApplication::palette().color(QPalette::Button)));
        QVERIFY(!find<QCheckBox>(dialog, "Check1")->isChecked());

        p.prompts.queueColor(255);
        p.prompts.queueColor(std::nullopt); // cancelled on the next swatch
        dialog.SwatchClick(8);              // "Regular Days" back
        dialog.SwatchClick(10);             // "Important Holidays" back
        QCOMPARE(p.prompts.pickerStarts, (QList<ColorRef>{16777215, 255}));
        QCOMPARE(p.env.settings().get("Day Backcolor", 0), QString("255"));
        QCOMPARE(p.env.settings().get("Holiday Backcolor", 0), QString("255"));
        for (const char* state : {"1", "0"}) {
            find<QCheckBox>(dialog, "Check1")->click();
            QCOMPARE(p.env.settings().get("Special Day", 7), QString(state));
        }
    }

    void startupOptionsShowAndStoreTheChoices_data()
    {
        QTest::addColumn<QString>("passed");
        QTest::addColumn<int>("selected"); // 0: none
        QTest::newRow("nothing stored") << QString() << 2;
        QTest::newRow("ignore") << "3" << 3;
        QTest::newRow("0 selects none") << "0" << 0;
        QTest::newRow("4 selects none") << "4" << 0;
    }
    void startupOptionsShowAndStoreTheChoices()
    {
        QFETCH(QString, passed);
        QFETCH(int, selected);
        Program p;
        p.start();
        if (!passed.isNull())
            p.env.settings().save("Passed", passed);
        Form5 dialog(p.services);
        dialog.Form_Load();
        const QList<QRadioButton*> options = dialog.findChildren<QRadioButton*>();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(options[i]->isChecked(), i + 1 == selected);
        QVERIFY(!find<QCheckBox>(dialog, "Check1")->isChecked());
        options[0]->click();
        QCOMPARE(p.env.settings().get("Passed", 7), QString("1"));
        for (const char* state : {"1", "0"}) {
            find<QCheckBox>(dialog, "Check1")->click();
            QCOMPARE(p.env.settings().get("Check1", 7), QString(state));
        }
    }

    void jumpToTakesOnlyYearsItCanShow_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message"); // empty: the dialog closes with the choice
        QTest::addColumn<int>("year");
        QTest::newRow("March 2030") << "2030" << QString() << 2030;
        QTest::newRow("empty keeps the year") << "" << QString() << 2021;
        QTest::newRow("half to even") << " 2021.5 " << QString() << 2022;
        QTest::newRow("exponent") << "2.1e3" << QString() << 2100;
        QTest::newRow("letters") << "20x1"
                                 << "Must be numeric value." << 0;
        QTest::newRow("too late") << "99999"
                                  << "Must be a year from 100 to 9999." << 0;
        QTest::newRow("year 0") << "0"
                                << "Must be a year from 100 to 9999." << 0;
        QTest::newRow("a thousand digits") << QString(1000, '9') << "Must be a year from 100 to 9999." << 0;
        QTest::newRow("minus a thousand digits, an exponent") << "-" + QString(1000, '1') + "e5"
                                                              << "Must be a year from 100 to 9999." << 0;
    }
    void jumpToTakesOnlyYearsItCanShow()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(int, year);
        Program p;
        p.start();
        Form7 dialog(p.services, {11, 2021});
        dialog.Form_Load();
        auto* months = find<QComboBox>(dialog, "Combo1");
        QCOMPARE(months->currentText(), QString("November"));
        months->setCurrentIndex(2);
        find<QLineEdit>(dialog, "Text1")->setText(typed);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        find<QPushButton>(dialog, "PushButton1")->click();
        QCOMPARE(p.prompts.texts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(dialog.isVisible(), !message.isEmpty());
        if (message.isEmpty()) {
            QCOMPARE(dialog.chosen()->month, 3);
            QCOMPARE(dialog.chosen()->year, year);
        } else {
            QVERIFY(!dialog.chosen());
            QCOMPARE(find<QLineEdit>(dialog, "Text1")->text(), QString("2021"));
            QVERIFY(find<QLineEdit>(dialog, "Text1")->hasFocus());
        }
    }

    void aGermanDesktopGetsItsMonthsAndNumbers()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
        Program p;
        p.start();
        QCOMPARE(p.label("month_year")->text(), QString("November 2021"));
        const QDate day(2021, 11, 2);
        p.add({AnEvent("zebra").once(day), AnEvent("Äpfel").once(day), AnEvent("apfel").once(day)});
        Form4 list(p.services, p.window->state().EventConnection);
        list.Form_Load();
        const QAbstractItemModel* rows = find<QTreeView>(list, "ListView1")->model();
        QCOMPARE(rows->index(0, 1).data().toString() + rows->index(1, 1).data().toString(), QString("apfelÄpfel"));
        QCOMPARE(rows->index(0, 5).data().toString(), QString("November"));
        Form7 jump(p.services, {3, 2021});
        jump.Form_Load();
        QCOMPARE(find<QComboBox>(jump, "Combo1")->currentText(), QString("März"));
        find<QLineEdit>(jump, "Text1")->setText("2021,5"); // the German decimal comma
        jump.PushButton1_Click();
        QCOMPARE(jump.chosen()->year, 2022);
    }

    void aChosenTitleShowsItsDescriptionWhileItExists()
    {
        Program p;
        p.start();
        p.add({AnEvent("Dinner").monthlyOn(25), AnEvent("Gym").monthlyOn(25), AnEvent("Swim").monthlyOn(25)});
        Form8 alert(p.services, p.window->state().EventConnection, QDate(2021, 11, 25));
        alert.Form_Load();
        Form6 day(p.services, p.window->state().EventConnection, {11, 2021});
        day.m_Day = "25";
        day.Form_Load();
        auto* titles = find<QComboBox>(alert, "Combo1");
        auto* list = find<QTreeWidget>(day, "ListView1");
        QCOMPARE(find<QPlainTextEdit>(alert, "Text1")->toPlainText(), QString("Dinner notes"));

        titles->setCurrentIndex(1);
        alert.Combo1_Click();
        list->setCurrentItem(list->topLevelItem(1));
        for (QWidget* dialog : {static_cast<QWidget*>(&alert), static_cast<QWidget*>(&day)})
            QCOMPARE(find<QPlainTextEdit>(*dialog, "Text1")->toPlainText(), QString("Gym notes"));

        // Gone meanwhile, or a text that names no title: the description stays.
        p.window->state().EventConnection.remove(3);
        titles->setCurrentIndex(2);
        alert.Combo1_Click();
        list->setCurrentItem(list->topLevelItem(2));
        titles->setEditText("Gy");
        for (QWidget* dialog : {static_cast<QWidget*>(&alert), static_cast<QWidget*>(&day)})
            QCOMPARE(find<QPlainTextEdit>(*dialog, "Text1")->toPlainText(), QString("Gym notes"));
        QVERIFY(p.prompts.shown.isEmpty());
        QVERIFY(!alert.noEventsToday());
    }

    void aMegabyteLineIsShownCutAndStoredWhole()
    {
        Program p;
        p.start();
        const QString line = QString("invitation ").repeated(100000);
        p.window->state().EventConnection.insert(AnEvent(line).description(line).monthlyOn(25));
        Form8 alert(p.services, p.window->state().EventConnection, QDate(2021, 11, 25));
        alert.Form_Load();
        Form6 day(p.services, p.window->state().EventConnection, {11, 2021});
        day.m_Day = "25";
        day.Form_Load();
        const QString shown = line.left(kit::kMostShownLineChars) + QChar(0x2026);
        for (QWidget* dialog : {static_cast<QWidget*>(&alert), static_cast<QWidget*>(&day)})
            QCOMPARE(find<QPlainTextEdit>(*dialog, "Text1")->toPlainText(), shown);
        QCOMPARE(find<QComboBox>(alert, "Combo1")->itemText(0), shown);
        QCOMPARE(find<QTreeWidget>(day, "ListView1")->topLevelItem(0)->text(0), shown);
        const std::optional<EventRecord> stored = p.window->state().EventConnection.eventById(1);
        QVERIFY(stored && stored->title == line && stored->description == line);
    }

    void aTimedEventShowsItsTimeBeforeItsTitle()
    {
        Program p;
        p.start();
        p.window->state().EventConnection.insert(
            WithDetails({0, "Dentist", "Card", 1, 1, 11, 25, 2021, 4, 5, 0, 0},
                        "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:d\r\nSUMMARY:Dentist\r\n"
                        "DTSTART:20211125T103000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        p.window->PushButton3_Click();
        p.window->PushButton1_Click();
        QVERIFY2(p.cell(25)->text().endsWith("\n10:30 Dentist"), qPrintable(p.cell(25)->text()));
        Form6 day(p.services, p.window->state().EventConnection, {11, 2021});
        day.m_Day = "25";
        day.Form_Load();
        QCOMPARE(find<QTreeWidget>(day, "ListView1")->topLevelItem(0)->text(0), QString("10:30 Dentist"));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
