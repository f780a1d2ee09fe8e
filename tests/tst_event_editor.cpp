#include "dialogs/event_editor.h"
#include "event_builder.h"
#include "scripted_prompts.h"
#include "test_env.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

/// Prompts that behave like real message boxes as far as the focus goes: each one
/// is a window of its own that takes the activation while it is up.
class WindowedPrompts final : public Prompts
{
public:
    explicit WindowedPrompts(ScriptedPrompts& record) : m_record(record) {}

    Answer message(const QString& text, const QString& title, Buttons buttons, Icon icon) override
    {
        QWidget* previous = QApplication::activeWindow();
        QWidget box;
        box.setWindowTitle(text);
        box.show();
        box.activateWindow();
        (void)QTest::qWaitForWindowActive(&box);
        const Answer answer = m_record.message(text, title, buttons, icon);
        box.close();
        if (previous) {
            previous->activateWindow();
            (void)QTest::qWaitForWindowActive(previous);
        }
        return answer;
    }
    std::optional<ColorRef> pickColor(ColorRef initial) override { return m_record.pickColor(initial); }

private:
    ScriptedPrompts& m_record;
};

struct Editor
{
    TestEnv env;
    FixedClock clock{QDate(2024, 3, 15)};
    ScriptedPrompts prompts;
    WindowedPrompts windowed{prompts};
    AppServices services;
    EventStore store;
    QString file = env.path(QStringLiteral("events.mdb"));
    std::unique_ptr<Form3> dialog;

    explicit Editor(bool messagesTakeFocus = false)
        : services{clock,
                   messagesTakeFocus ? static_cast<Prompts&>(windowed) : prompts,
                   env.settings(),
                   {env.programFolder(), env.machineDataRoot(), env.userDataRoot()}}
    {
        prompts.setApplicationTitle(QStringLiteral("Quillmoor"));
        windowed.setApplicationTitle(QStringLiteral("Quillmoor"));
        CreateEventDatabase(file);
        store.open(file);
        dialog = std::make_unique<Form3>(services, store);
    }

    /// Shows the dialog as the user gets it: loaded, active, focus in the title.
    [[nodiscard]] bool open()
    {
        dialog->Form_Load();
        dialog->show();
        dialog->activateWindow();
        return QTest::qWaitForWindowActive(dialog.get());
    }
    [[nodiscard]] bool openForUpdate(qint64 id)
    {
        dialog->m_ID = QString::number(id);
        dialog->useUpdateCaption();
        return open();
    }

    template <typename Control = QWidget> Control* find(const char* name) const
    {
        return dialog->findChild<Control*>(QString::fromLatin1(name));
    }
    QLineEdit* line(const char* name) const { return find<QLineEdit>(name); }
    QRadioButton* option(const char* name) const { return find<QRadioButton>(name); }
    QPlainTextEdit* description() const { return find<QPlainTextEdit>("Text2"); }

    /// Clicks an option button on its indicator, as the user would.
    void choose(const char* name) const
    {
        QRadioButton* button = option(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }
    void click(const char* name) const { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    /// Replaces a field's text by typing over it.
    void retype(const char* name, const QString& text) const
    {
        QLineEdit* field = line(name);
        field->setFocus();
        field->selectAll();
        if (text.isEmpty())
            QTest::keyClick(field, Qt::Key_Backspace);
        else
            QTest::keyClicks(field, text);
    }
    void typeTitleAndDescription(const QString& title, const QString& text) const
    {
        retype("Text1", title);
        description()->setFocus();
        QTest::keyClicks(description(), text);
    }

    Events events() const { return AllEvents(store); }
    void sql(const char* statement) const
    {
        sqlite::Connection(file, sqlite::Connection::Mode::ReadWrite).exec(statement);
    }
};

// Every field filled, the ones the kind does not use too, as a window could have left them.
AnEvent annualFourthThursday()
{
    return AnEvent("Thanksgiving").description("Turkey").annually(4, kThursday, 11).date(11, 9, 2021).warn(3, 0);
}

const QStringList kDateFields = {"Combo1", "Text3", "Text4", "Text5", "Combo2"};

QStringList enabledDateFields(const Editor& e)
{
    QStringList enabled;
    for (const QString& name : kDateFields) {
        if (e.find(name.toLatin1().constData())->isEnabled())
            enabled << name;
    }
    return enabled;
}

} // namespace

class TestEventEditor : public QObject
{
    Q_OBJECT

private slots:
    void controlsSitWhereTheyWereDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("parent");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("title label") << "Label1_0"
                                     << "Form3"
                                     << "Event Title:" << QRect(8, 11, 61, 15);
        QTest::newRow("description") << "Text2"
                                     << "Form3" << QString() << QRect(80, 40, 240, 97);
        QTest::newRow("weekly, with its blank") << "Option4"
                                                << "Frame2"
                                                << " Weekly" << QRect(16, 48, 89, 17);
        QTest::newRow("repetition frame") << "Frame2"
                                          << "Form3"
                                          << "Consistancy of Event" << QRect(8, 224, 312, 129);
        QTest::newRow("week suffix") << "Label3"
                                     << "Frame3"
                                     << "st" << QRect(112, 69, 11, 15);
        QTest::newRow("weekday list") << "Combo2"
                                      << "Frame3" << QString() << QRect(144, 64, 137, 23);
        QTest::newRow("days before") << "Label4"
                                     << "Frame4"
                                     << "days before day of event" << QRect(64, 53, 138, 15);
        QTest::newRow("Cancel") << "PushButton2"
                                << "Form3"
                                << "Cancel" << QRect(168, 546, 152, 27);
    }
    void controlsSitWhereTheyWereDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QString, parent);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        Editor e;
        QWidget* control = e.find(name.toLatin1().constData());
        QVERIFY(control);
        QCOMPARE(control->parentWidget()->objectName(), parent);
        QCOMPARE(control->pos(), geometry.topLeft());
        QCOMPARE(control->height(), geometry.height());
        if (qobject_cast<QLabel*>(control)) {
            // Never narrower than designed, and wide enough for the whole caption.
            QVERIFY(control->width() >= geometry.width());
            QVERIFY(control->width() >= control->sizeHint().width());
        } else {
            QCOMPARE(control->width(), geometry.width());
        }
        if (!caption.isNull())
            QCOMPARE(control->property(qobject_cast<QGroupBox*>(control) ? "title" : "text").toString(), caption);
    }

    void opensOnTodayWithTheDefaults()
    {
        Editor e;
        QVERIFY(e.open());
        QCOMPARE(e.dialog->windowTitle(), QString("Add Event"));
        QCOMPARE(e.dialog->size(), QSize(328, 580));
        QVERIFY(!(e.dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(e.option("Option1")->isChecked());
        QVERIFY(e.option("Option3")->isChecked());
        QVERIFY(!e.option("Option4")->isEnabled());
        QCOMPARE(e.find<QComboBox>("Combo1")->currentText(), QString("March"));
        QCOMPARE(e.line("Text3")->text(), QString("15"));
        QCOMPARE(e.line("Text4")->text(), QString("2024"));
        QCOMPARE(e.line("Text5")->text(), QString("1"));
        QCOMPARE(e.find<QLabel>("Label3")->text(), QString("st"));
        QCOMPARE(e.find<QComboBox>("Combo2")->currentText(), QString("Sunday"));
        QCOMPARE(enabledDateFields(e), QStringList({"Combo1", "Text3", "Text4"}));
        QVERIFY(e.find<QCheckBox>("Check1")->isChecked());
        QCOMPARE(e.line("Text6")->text(), QString("1"));
        QCOMPARE(e.line("Text1")->text(), QString());
        QCOMPARE(e.description()->toPlainText(), QString());
        QCOMPARE(QApplication::focusWidget(), e.line("Text1"));
        QVERIFY(e.prompts.shown.isEmpty());
    }

    void tabVisitsTheFieldsInOrder()
    {
        Editor e;
        QVERIFY(e.open());
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        // Week and weekday are disabled for a once-only event by date.
        const QStringList expected = {"Text1",  "Text2", "Option1",     "Option3",     "Combo1", "Text3", "Text4",
                                      "Check1", "Text6", "PushButton1", "PushButton2", "Text1",  "Text2"};
        QCOMPARE(visited, expected);
    }

    void optionsEnableTheDateFields_data()
    {
        QTest::addColumn<QString>("typeOfTime");
        QTest::addColumn<QString>("repetition");
        QTest::addColumn<QStringList>("enabled");
        QTest::newRow("by date, once") << "Option1"
                                       << "Option3" << QStringList{"Combo1", "Text3", "Text4"};
        QTest::newRow("by date, monthly") << "Option1"
                                          << "Option5" << QStringList{"Text3"};
        QTest::newRow("by date, annually") << "Option1"
                                           << "Option6" << QStringList{"Combo1", "Text3"};
        QTest::newRow("by weekday, once") << "Option2"
                                          << "Option3" << QStringList{"Combo1", "Text4", "Text5", "Combo2"};
        QTest::newRow("by weekday, weekly") << "Option2"
                                            << "Option4" << QStringList{"Combo2"};
        QTest::newRow("by weekday, monthly") << "Option2"
                                             << "Option5" << QStringList{"Text5", "Combo2"};
        QTest::newRow("by weekday, annually") << "Option2"
                                              << "Option6" << QStringList{"Combo1", "Text5", "Combo2"};
    }
    void optionsEnableTheDateFields()
    {
        QFETCH(QString, typeOfTime);
        QFETCH(QString, repetition);
        QFETCH(QStringList, enabled);
        Editor e;
        QVERIFY(e.open());
        // Through the other repetition first, so every field has to change back.
        e.choose(repetition == "Option6" ? "Option5" : "Option6");
        e.choose(typeOfTime.toLatin1().constData());
        e.choose(repetition.toLatin1().constData());
        QVERIFY(e.option(repetition.toLatin1().constData())->isChecked());
        QCOMPARE(enabledDateFields(e), enabled);
        QCOMPARE(e.option("Option4")->isEnabled(), typeOfTime == "Option2");
        QVERIFY(e.find("Check1")->isEnabled());
        QVERIFY(e.find("Text6")->isEnabled());
    }

    void weeklyGoesBackToOnceByDate()
    {
        Editor e;
        QVERIFY(e.open());
        e.choose("Option4");
        QVERIFY(e.option("Option3")->isChecked()); // " Weekly" cannot be clicked by date
        e.choose("Option2");
        e.choose("Option4");
        QCOMPARE(enabledDateFields(e), QStringList{"Combo2"});
        e.choose("Option1");
        QVERIFY(e.option("Option3")->isChecked());
        QVERIFY(!e.option("Option4")->isChecked());
        QVERIFY(!e.option("Option4")->isEnabled());
        QCOMPARE(enabledDateFields(e), QStringList({"Combo1", "Text3", "Text4"}));
    }

    void missingTitleOrDescriptionKeepsWhatWasTyped_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::newRow("no title") << ""
                                  << "Lunch with Ann"
                                  << "You forgot to input title."
                                  << "Text1";
        QTest::newRow("no description") << "Lunch"
                                        << ""
                                        << "You forgot to input description."
                                        << "Text2";
    }
    void missingTitleOrDescriptionKeepsWhatWasTyped()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        Editor e;
        QVERIFY(e.open());
        e.typeTitleAndDescription(title, text);
        e.choose("Option6");
        e.retype("Text3", "28");
        e.click("PushButton1");
        QCOMPARE(e.prompts.texts(), QStringList{message});
        QCOMPARE(e.prompts.shown[0].title, QString("Quillmoor"));
        QCOMPARE(e.prompts.shown[0].buttons, Prompts::Buttons::Ok);
        QCOMPARE(e.prompts.shown[0].icon, Prompts::Icon::None);
        QVERIFY(e.dialog->isVisible());
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
        QCOMPARE(e.line("Text1")->text(), title);
        QCOMPARE(e.description()->toPlainText(), text);
        QVERIFY(e.option("Option6")->isChecked());
        QCOMPARE(e.line("Text3")->text(), QString("28"));
        QVERIFY(e.events().isEmpty());
    }

    void weekFieldAcceptsOneToFive_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("7") << "7" << QStringList{"You must enter between 1 to 5"} << "1"
                           << "st";
        QTest::newRow("0") << "0" << QStringList{"You must enter between 1 to 5"} << "1"
                           << "st";
        QTest::newRow("3") << "3" << QStringList() << "3"
                           << "rd";
        QTest::newRow("2") << "2" << QStringList() << "2"
                           << "nd";
        QTest::newRow("5") << "5" << QStringList() << "5"
                           << "th";
        QTest::newRow("a letter") << "x" << QStringList{"You must enter numeric value"} << "1"
                                  << "st";
        QTest::newRow("a blank") << " " << QStringList{"You must enter numeric value"} << "1"
                                 << "st";
        QTest::newRow("emptied") << "" << QStringList{"You must enter numeric value"} << "1"
                                 << "st";
    }
    void weekFieldAcceptsOneToFive()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, messages);
        QFETCH(QString, text);
        QFETCH(QString, suffix);
        Editor e;
        QVERIFY(e.open());
        e.choose("Option2");
        e.retype("Text5", "4");
        QCOMPARE(e.find<QLabel>("Label3")->text(), QString("th"));
        e.retype("Text5", typed);
        QCOMPARE(e.prompts.texts(), messages);
        for (const auto& shown : e.prompts.shown) {
            QCOMPARE(shown.buttons, Prompts::Buttons::Ok);
            QCOMPARE(shown.icon, Prompts::Icon::None);
        }
        QCOMPARE(e.line("Text5")->text(), text);
        QCOMPARE(e.find<QLabel>("Label3")->text(), suffix);
    }

    void leavingANumberField_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("messagesTakeFocus");
        QTest::addColumn<bool>("complains");
        QTest::newRow("day x, Tab") << "Text3"
                                    << "x"
                                    << "tab" << false << true;
        QTest::newRow("day x, Tab, message takes the focus") << "Text3"
                                                             << "x"
                                                             << "tab" << true << true;
        // Putting the focus back must not set off the next field's check.
        QTest::newRow("day x, Tab into a wrong year") << "Text3"
                                                      << "x"
                                                      << "tab into wrong year" << false << true;
        QTest::newRow("year 1.5, Tab") << "Text4"
                                       << "1.5"
                                       << "tab" << false << true;
        QTest::newRow("days before -, Tab") << "Text6"
                                            << "-"
                                            << "tab" << false << true;
        QTest::newRow("year emptied, Tab") << "Text4"
                                           << ""
                                           << "tab" << false << true;
        QTest::newRow("day x, click on Monthly") << "Text3"
                                                 << "x"
                                                 << "click" << false << true;
        QTest::newRow("day x, click on Save") << "Text3"
                                              << "x"
                                              << "save" << false << true;
        QTest::newRow("day x, Escape") << "Text3"
                                       << "x"
                                       << "escape" << true << false;
        QTest::newRow("day x, close box") << "Text3"
                                          << "x"
                                          << "close" << true << false;
        QTest::newRow("day blank-padded, Tab") << "Text3"
                                               << " 7 "
                                               << "tab" << false << false;
        QTest::newRow("days before 0, Tab") << "Text6"
                                            << "0"
                                            << "tab" << false << false;
    }
    void leavingANumberField()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, how);
        QFETCH(bool, messagesTakeFocus);
        QFETCH(bool, complains);
        Editor e(messagesTakeFocus);
        QVERIFY(e.open());
        e.typeTitleAndDescription("Lunch", "With Ann");
        const QByteArray name = field.toLatin1();
        e.retype(name.constData(), typed);
        QCOMPARE(QApplication::focusWidget(), e.line(name.constData()));

        if (how == "tab into wrong year")
            e.line("Text4")->setText("y");
        if (how.startsWith("tab"))
            QTest::keyClick(e.line(name.constData()), Qt::Key_Tab);
        else if (how == "click")
            e.choose("Option5");
        else if (how == "save")
            e.click("PushButton1");
        else if (how == "escape")
            QTest::keyClick(e.line(name.constData()), Qt::Key_Escape);
        else
            QVERIFY(e.dialog->close());

        if (complains) {
            QCOMPARE(e.prompts.texts(), QStringList{"Must be numeric value"});
            QCOMPARE(e.prompts.shown[0].title, QString("Quillmoor"));
            QCOMPARE(e.prompts.shown[0].icon, Prompts::Icon::None);
            QVERIFY(e.dialog->isVisible());
            QTRY_COMPARE(QApplication::focusWidget(), e.line(name.constData()));
            QCOMPARE(e.line(name.constData())->text(), typed);
            // The click that would have left the field did nothing else.
            QVERIFY(e.option("Option3")->isChecked());
            QVERIFY(e.events().isEmpty());
        } else {
            QCOMPARE(e.prompts.texts(), QStringList());
        }
    }

    void apostropheInTheTitleRoundTrips()
    {
        Editor e;
        QVERIFY(e.open());
        e.retype("Text1", "Mom's day");
        e.description()->setFocus();
        QTest::keyClicks(e.description(), "Flowers");
        QTest::keyClick(e.description(), Qt::Key_Return);
        QTest::keyClicks(e.description(), "and 'cake'");
        e.click("PushButton1");
        QCOMPARE(e.prompts.texts(), QStringList{"Event Saved."});
        QVERIFY(!e.dialog->isVisible());
        const QList<EventRecord> saved = e.events();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved[0].title, QString("Mom's day"));

        QVERIFY(e.openForUpdate(saved[0].id));
        QCOMPARE(e.line("Text1")->text(), QString("Mom's day"));
        QCOMPARE(e.description()->toPlainText(), QString("Flowers\nand 'cake'"));
    }

    void monthlyByDateStoresEveryField()
    {
        Editor e;
        QVERIFY(e.open());
        e.typeTitleAndDescription("Rent", "Pay the rent");
        e.choose("Option5");
        e.retype("Text3", "31");
        e.find<QCheckBox>("Check1")->click();
        e.retype("Text6", "3");
        e.click("PushButton1");
        QCOMPARE(e.prompts.texts(), QStringList{"Event Saved."});
        const QList<EventRecord> saved = e.events();
        QCOMPARE(saved.size(), 1);
        const EventRecord& r = saved[0];
        QCOMPARE(r.title, QString("Rent"));
        QCOMPARE(r.description, QString("Pay the rent"));
        QCOMPARE(r.timetype, 1);
        QCOMPARE(r.consistancy, 3);
        QCOMPARE(r.eventday, 31);
        // Unused by a monthly event by date, and stored all the same.
        QCOMPARE(r.eventmonth, 3);
        QCOMPARE(r.eventyear, 2024);
        QCOMPARE(r.eventweekdate, 1);
        QCOMPARE(r.eventweekday, 1);
        QCOMPARE(r.warnevent, 0);
        QCOMPARE(r.daysbefore, 3);
    }

    void aStoredWeeklyEventOnADateIsSavedAsOnce()
    {
        // Another tool may store the kind the editor never offers; it never occurs.
        Editor e;
        const qint64 id = e.store.insert(annualFourthThursday().codes(kByDate, kWeekly));
        QVERIFY(e.openForUpdate(id));
        QVERIFY(e.option("Option1")->isChecked());
        QVERIFY(e.option("Option3")->isChecked());
        QVERIFY(!e.option("Option4")->isEnabled());
        e.click("PushButton1");
        QCOMPARE(e.events().value(0).consistancy, 1);
    }

    void updateModeShowsAnAnnualEventByWeekday()
    {
        Editor e;
        const qint64 id = e.store.insert(annualFourthThursday());
        QVERIFY(e.openForUpdate(id));
        QCOMPARE(e.dialog->windowTitle(), QString("Update Event"));
        QCOMPARE(e.line("Text1")->text(), QString("Thanksgiving"));
        QCOMPARE(e.description()->toPlainText(), QString("Turkey"));
        QVERIFY(e.option("Option2")->isChecked());
        QVERIFY(e.option("Option6")->isChecked());
        QVERIFY(e.option("Option4")->isEnabled());
        QCOMPARE(enabledDateFields(e), QStringList({"Combo1", "Text5", "Combo2"}));
        QCOMPARE(e.find<QComboBox>("Combo1")->currentText(), QString("November"));
        QCOMPARE(e.line("Text3")->text(), QString("9"));
        QCOMPARE(e.line("Text4")->text(), QString("2021"));
        QCOMPARE(e.line("Text5")->text(), QString("4"));
        QCOMPARE(e.find<QLabel>("Label3")->text(), QString("th"));
        QCOMPARE(e.find<QComboBox>("Combo2")->currentText(), QString("Thursday"));
        QVERIFY(!e.find<QCheckBox>("Check1")->isChecked());
        QCOMPARE(e.line("Text6")->text(), QString("3"));
        QVERIFY(e.prompts.shown.isEmpty());

        e.retype("Text5", "3");
        e.click("PushButton1");
        QCOMPARE(e.prompts.texts(), QStringList{"Event Saved."});
        const QList<EventRecord> saved = e.events();
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved[0].id, id);
        QCOMPARE(saved[0].eventweekdate, 3);
        QCOMPARE(saved[0].eventweekday, 5);

        // The caption is for that one showing; the fields start afresh.
        e.dialog->m_ID.clear();
        QVERIFY(e.open());
        QCOMPARE(e.dialog->windowTitle(), QString("Add Event"));
        QCOMPARE(e.line("Text1")->text(), QString());
        QVERIFY(e.option("Option1")->isChecked());
        QCOMPARE(e.line("Text5")->text(), QString("1"));
    }

    void storedValueThatCannotBeShownIsReported_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("month");
        QTest::addColumn<QString>("day");
        QTest::addColumn<QString>("weekday");
        QTest::newRow("month 0") << "eventmonth=0" << 124 << "March"
                                 << "9"
                                 << "Thursday";
        QTest::newRow("weekday 9") << "eventweekday=9" << 132 << "November"
                                   << "9"
                                   << "Sunday";
        QTest::newRow("no day") << "eventday=null" << 126 << "November"
                                << "15"
                                << "Thursday";
        QTest::newRow("day as text") << "eventday='9th'" << 126 << "November"
                                     << "15"
                                     << "Thursday";
        QTest::newRow("day beyond 32 bits") << "eventday=1099511627776" << 126 << "November"
                                            << "15"
                                            << "Thursday";
    }
    void storedValueThatCannotBeShownIsReported()
    {
        QFETCH(QString, change);
        QFETCH(int, line);
        QFETCH(QString, month);
        QFETCH(QString, day);
        QFETCH(QString, weekday);
        Editor e;
        const qint64 id = e.store.insert(annualFourthThursday());
        e.sql(("update tblEvents set " + change).toUtf8().constData());
        QVERIFY(e.openForUpdate(id));
        QCOMPARE(e.prompts.shown.size(), 1);
        QVERIFY(e.prompts.shown[0].text.contains(
            QStringLiteral("\r\nin Quillmoor2021/08/31.Form3.Form_Load at line %1\r").arg(line)));
        // Only a missing value is called one.
        QCOMPARE(e.prompts.shown[0].text.startsWith("Invalid use of Null"), change.endsWith("null"));
        QCOMPARE(e.prompts.shown[0].title, QString("Application Error"));
        // What loaded stays; the field that failed keeps today's default.
        QCOMPARE(e.line("Text1")->text(), QString("Thanksgiving"));
        QVERIFY(e.option("Option6")->isChecked());
        QCOMPARE(e.find<QComboBox>("Combo1")->currentText(), month);
        QCOMPARE(e.line("Text3")->text(), day);
        QCOMPARE(e.find<QComboBox>("Combo2")->currentText(), weekday);
        QCOMPARE(e.line("Text6")->text(), QString("3"));
    }

    void storedValuesLongerThanTheirFieldsAreNeverCut()
    {
        Editor big;
        EventRecord f = annualFourthThursday();
        f.title = QString(1 << 20, u'T');
        for (int line = 0; line < 1 << 14; ++line)
            f.description += QString(63, u'D') + u'\n';
        big.dialog->m_ID = QString::number(big.store.insert(f));
        big.dialog->Form_Load();
        big.dialog->PushButton1_Click();
        QCOMPARE(big.events()[0].title, f.title);
        QCOMPARE(big.events()[0].description, f.description);

        Editor e;
        const qint64 id = e.store.insert(annualFourthThursday());
        e.sql("update tblEvents set eventweekdate=12, daysbefore=14");
        QVERIFY(e.openForUpdate(id));
        QCOMPARE(e.prompts.texts(), QStringList{"You must enter between 1 to 5"});
        QCOMPARE(e.line("Text5")->text(), QString("1"));
        QCOMPARE(e.line("Text6")->text(), QString("14"));
        QCOMPARE(e.events()[0].daysbefore, 14); // loading stored nothing
        e.click("PushButton1");
        QCOMPARE(e.events()[0].daysbefore, 14);
    }

    void saveChecksEveryNumberFieldAgain_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("day x") << "Text3"
                               << "x";
        QTest::newRow("day 1,5") << "Text3"
                                 << "1,5";
        QTest::newRow("year with a blank inside") << "Text4"
                                                  << "20 24";
        QTest::newRow("year beyond any number") << "Text4"
                                                << "99999999999";
        QTest::newRow("year empty") << "Text4"
                                    << "";
        QTest::newRow("days before +") << "Text6"
                                       << "+";
    }
    void saveChecksEveryNumberFieldAgain()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        Editor e;
        QVERIFY(e.open());
        e.typeTitleAndDescription("Rent", "Pay the rent");
        // Put there without leaving the field, then Save: nothing unconverted may be stored.
        e.choose("Option5"); // the year is disabled now, and stored all the same
        const QByteArray name = field.toLatin1();
        e.line(name.constData())->setText(text);
        e.click("PushButton1");
        QCOMPARE(e.prompts.texts(), QStringList{"Must be numeric value"});
        QVERIFY(e.dialog->isVisible());
        if (e.line(name.constData())->isEnabled())
            QCOMPARE(QApplication::focusWidget(), e.line(name.constData()));
        QCOMPARE(e.line(name.constData())->text(), text);
        QCOMPARE(e.line("Text1")->text(), QString("Rent"));
        QVERIFY(e.events().isEmpty());
    }

    void blanksAroundANumberAreAccepted()
    {
        Editor e;
        QVERIFY(e.open());
        e.typeTitleAndDescription("Rent", "Pay the rent");
        e.line("Text3")->setText(" 7 ");
        e.line("Text4")->setText("2025 ");
        e.click("PushButton1");
        QCOMPARE(e.prompts.texts(), QStringList{"Event Saved."});
        QCOMPARE(e.events().value(0).eventday, 7);
        QCOMPARE(e.events().value(0).eventyear, 2025);
    }

    void refusedSaveKeepsTheDialogOpen_data()
    {
        QTest::addColumn<bool>("update");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("new event, database closed") << false << "closed";
        QTest::newRow("new event, database refuses the row") << false << "check";
        QTest::newRow("change, database closed") << true << "closed";
        QTest::newRow("change, database refuses the row") << true << "check";
    }
    void refusedSaveKeepsTheDialogOpen()
    {
        QFETCH(bool, update);
        QFETCH(QString, refusal);
        Editor e;
        if (update)
            QVERIFY(e.openForUpdate(e.store.insert(annualFourthThursday())));
        else
            QVERIFY(e.open());
        e.retype("Text1", "Harvest");
        e.description()->setPlainText("Apples");
        if (refusal == "closed")
            e.store.close();
        else
            e.sql("alter table tblEvents rename to kept; create table tblEvents (id integer primary key, title text "
                  "check (title <> 'Harvest'), description, timetype, consistancy, eventmonth, eventday, eventyear, "
                  "eventweekdate, eventweekday, warnevent, daysbefore); insert into tblEvents select * from kept");
        e.click("PushButton1");

        QCOMPARE(e.prompts.shown.size(), 1);
        QVERIFY(e.prompts.shown[0].text.contains("\r\nin Quillmoor2021/08/31.Form3.PushButton1_Click at line 102\r"));
        QCOMPARE(e.prompts.shown[0].title, QString("Application Error"));
        QVERIFY(!e.prompts.texts().contains("Event Saved."));
        QVERIFY(e.dialog->isVisible());
        QCOMPARE(e.line("Text1")->text(), QString("Harvest"));
        QCOMPARE(e.description()->toPlainText(), QString("Apples"));

        if (refusal == "closed")
            e.store.open(e.file);
        const QList<EventRecord> rows = e.events();
        QCOMPARE(rows.size(), update ? 1 : 0);
        if (update)
            QCOMPARE(rows[0].title, QString("Thanksgiving"));
    }

    void eventDeletedWhileOpen_data()
    {
        QTest::addColumn<bool>("saveAsNew");
        QTest::newRow("saved as a new event") << true;
        QTest::newRow("not saved") << false;
    }
    void eventDeletedWhileOpen()
    {
        QFETCH(bool, saveAsNew);
        Editor e;
        const qint64 id = e.store.insert(annualFourthThursday());
        QVERIFY(e.openForUpdate(id));
        e.store.remove(id);
        e.retype("Text1", "Thanksgiving dinner");
        e.prompts.queueAnswer(saveAsNew ? Prompts::Answer::Yes : Prompts::Answer::No);
        e.click("PushButton1");

        QCOMPARE(e.prompts.shown[0].text, QString("This event no longer exists. Save it as a new event?"));
        QCOMPARE(e.prompts.shown[0].buttons, Prompts::Buttons::YesNo);
        QCOMPARE(e.prompts.shown[0].icon, Prompts::Icon::None);
        QCOMPARE(e.prompts.shown[0].title, QString("Quillmoor"));
        const QList<EventRecord> rows = e.events();
        if (saveAsNew) {
            QCOMPARE(e.prompts.texts().mid(1), QStringList{"Event Saved."});
            QVERIFY(!e.dialog->isVisible());
            QCOMPARE(rows.size(), 1);
            QVERIFY(rows[0].id != id);
            QCOMPARE(rows[0].title, QString("Thanksgiving dinner"));
            QCOMPARE(rows[0].eventweekdate, 4);
        } else {
            QCOMPARE(e.prompts.shown.size(), 1);
            QVERIFY(e.dialog->isVisible());
            QVERIFY(rows.isEmpty());
            QCOMPARE(e.line("Text1")->text(), QString("Thanksgiving dinner"));
        }
    }
};

QTEST_MAIN(TestEventEditor)
#include "tst_event_editor.moc"
