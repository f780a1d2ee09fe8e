#include "dialogs/event_editor.h"
#include "dialogs/event_management.h"
#include "event_builder.h"
#include "scripted_prompts.h"
#include "test_env.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>

namespace {

struct Management
{
    TestEnv env;
    FixedClock clock{QDate(2024, 3, 15)};
    ScriptedPrompts prompts;
    AppServices services{
        clock, prompts, env.settings(), {env.programFolder(), env.machineDataRoot(), env.userDataRoot()}};
    EventStore store;
    std::unique_ptr<Form4> dialog;

    Management()
    {
        const QString file = env.path(QStringLiteral("events.mdb"));
        CreateEventDatabase(file);
        store.open(file);
        dialog = std::make_unique<Form4>(services, store);
    }

    [[nodiscard]] bool open()
    {
        dialog->Form_Load();
        dialog->show();
        return QTest::qWaitForWindowExposed(dialog.get());
    }
    QTreeView* list() const { return dialog->findChild<QTreeView*>(QStringLiteral("ListView1")); }
    int rows() const { return list()->model()->rowCount(); }
    QString cell(int row, int c, int role = Qt::DisplayRole) const
    {
        return list()->model()->index(row, c).data(role).toString();
    }
    QStringList column(int c) const
    {
        QStringList texts;
        for (int i = 0; i < rows(); ++i)
            texts << cell(i, c);
        return texts;
    }
    bool anySelected() const { return list()->selectionModel()->hasSelection(); }
    QStringList storedTitles() const
    {
        QStringList titles;
        store.forEachEvent([&](const EventRecord& r) { titles << r.title; });
        return titles;
    }
    /// Clicks the row showing `title`, as the user would.
    void select(const QString& title) const
    {
        const QModelIndexList found =
            list()->model()->match(list()->model()->index(0, 1), Qt::DisplayRole, title, -1, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QRect row = list()->visualRect(found.first());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, QPoint(60, row.center().y()));
        QVERIFY(list()->selectionModel()->isRowSelected(found.first().row()));
    }
    /// Presses a button whose dialog runs modally; `inEditor` runs while the editor is up.
    /// Whatever happens in there, the editor is closed afterwards so the test goes on.
    void pressWithEditor(const char* button, const std::function<void(Form3&)>& inEditor) const
    {
        QTimer::singleShot(0, dialog.get(), [inEditor] {
            auto* editor = qobject_cast<Form3*>(QApplication::activeModalWidget());
            if (!editor)
                return;
            inEditor(*editor);
            if (editor->isVisible())
                editor->reject();
        });
        press(button);
    }
    void press(const char* button) const
    {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }
};

QLineEdit* field(Form3& editor, const char* name)
{
    return editor.findChild<QLineEdit*>(QString::fromLatin1(name));
}
QPlainTextEdit* description(Form3& editor)
{
    return editor.findChild<QPlainTextEdit*>(QStringLiteral("Text2"));
}
void press(Form3& editor, const char* button)
{
    QTest::mouseClick(editor.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
}

} // namespace

class TestEventManagement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void emptyTableListsNothingAndDeleteAndUpdateDoNothing()
    {
        Management m;
        QVERIFY(m.open());
        QCOMPARE(m.dialog->windowTitle(), QString("Event Management"));
        QCOMPARE(m.dialog->size(), QSize(536, 211));
        const QAbstractItemModel* model = m.list()->model();
        QCOMPARE(model->columnCount(), 12);
        QCOMPARE(model->headerData(1, Qt::Horizontal), QVariant("Title"));
        QCOMPARE(model->headerData(11, Qt::Horizontal), QVariant("Days Before"));
        QCOMPARE(m.list()->columnWidth(0), 0); // the id is there for the buttons, not shown
        QCOMPARE(m.list()->columnWidth(1), 133);
        QCOMPARE(m.list()->columnWidth(4), 46);
        QCOMPARE(m.rows(), 0);

        bool editorOpened = false;
        m.pressWithEditor("PushButton3", [&](Form3&) { editorOpened = true; });
        m.press("PushButton2");
        QTest::qWait(20);
        QVERIFY(!editorOpened);
        QVERIFY(m.prompts.shown.isEmpty());
    }

    void rowsComeInTitleOrder_data()
    {
        QTest::addColumn<QStringList>("entered");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("case does not count")
            << QStringList{"Zoo", "apple", "Meeting"} << QStringList{"apple", "Meeting", "Zoo"};
        QTest::newRow("accents sort with their letter")
            << QStringList{"Zoë", "zebra", "Émile", "eclair", "Eagle", "apple", "Apple"}
            << QStringList{"apple", "Apple", "Eagle", "eclair", "Émile", "zebra", "Zoë"};
    }
    void rowsComeInTitleOrder()
    {
        QFETCH(QStringList, entered);
        QFETCH(QStringList, listed);
        Management m;
        for (const QString& title : entered)
            m.store.insert(AnEvent(title));
        QVERIFY(m.open());
        QCOMPARE(m.column(1), listed);
        // With the focus but before a key, the list looks as it does without the focus (a press
        // ends the keys of the row before).
        QTest::mouseClick(m.dialog.get(), Qt::LeftButton, {}, QPoint(1, 1));
        m.list()->setFocus();
        m.list()->setCurrentIndex(m.list()->model()->index(0, 1));
        const QImage focused = m.list()->viewport()->grab().toImage();
        m.dialog->findChild<QPushButton*>(QStringLiteral("PushButton1"))->setFocus();
        QCOMPARE(m.list()->viewport()->grab().toImage(), focused);
        // The keyboard and screen readers start on the title, read with its column's name.
        m.list()->setFocus();
        QTest::keyClick(m.list(), Qt::Key_Home);
        QCOMPARE(m.list()->currentIndex().column(), 1);
        QCOMPARE(m.list()->currentIndex().data(Qt::AccessibleTextRole), QVariant("Title: " + listed[0]));
    }

    void rowShowsEveryStoredValue_data()
    {
        QTest::addColumn<EventRecord>("event");
        QTest::addColumn<QStringList>("cells");
        QTest::newRow("third Friday, monthly")
            << AnEvent("Club").monthly(3, 6).date(3, 15, 2024).warn(2).record()
            << QStringList{"By Day of Week", "Monthly", "March", "15", "2024", "3", "Friday", "Yes", "2"};
        QTest::newRow("February by date, once, no warning")
            << AnEvent("Club").once(QDate(2024, 2, 15)).week(1, kSunday).warn(2, 0).record()
            << QStringList{"By Date", "Once", "February", "15", "2024", "1", "Sunday", "No", "2"};
        QTest::newRow("weekly") << AnEvent("Club").weekly(7).week(5, 7).date(12, 15, 2024).warn(2).record()
                                << QStringList{"By Day of Week", "Weekly", "December", "15", "2024", "5",
                                               "Saturday",       "Yes",    "2"};
        QTest::newRow("annually, warn value other than 1")
            << AnEvent("Club").codes(kByDate, kAnnually).date(1, 15, 2024).week(2, kMonday).warn(2, 2).record()
            << QStringList{"By Date", "Annually", "January", "15", "2024", "2", "Monday", "No", "2"};
        QTest::newRow("codes out of range show empty cells")
            << AnEvent("Club").codes(3, 9).date(13, 15, 2024).week(0, 8).warn(2).record()
            << QStringList{"", "", "", "15", "2024", "0", "", "Yes", "2"};
    }
    void rowShowsEveryStoredValue()
    {
        QFETCH(EventRecord, event);
        QFETCH(QStringList, cells);
        Management m;
        const qint64 id = m.store.insert(event);
        QVERIFY(m.open());
        QCOMPARE(m.rows(), 1);
        QStringList shown;
        for (int c = 3; c < 12; ++c)
            shown << m.cell(0, c);
        QCOMPARE(m.cell(0, 0), QString::number(id));
        QCOMPARE(m.cell(0, 1), QString("Club"));
        QCOMPARE(m.cell(0, 2), QString("Club notes"));
        QCOMPARE(shown, cells);
    }

    void descriptionShowsOnOneLineWithTheWholeTextInItsTip()
    {
        Management m;
        m.store.insert(AnEvent("Trip").description("Train at 9\r\nback on Sunday"));
        QVERIFY(m.open());
        QCOMPARE(m.cell(0, 2), QString("Train at 9 back on Sunday"));
        QCOMPARE(m.cell(0, 2, Qt::ToolTipRole), QString("Train at 9\nback on Sunday"));
    }

    void deleteRemovesOnlyTheHighlightedRow()
    {
        Management m;
        for (const char* title : {"Zoo", "apple", "Meeting"})
            m.store.insert(AnEvent(title));
        QVERIFY(m.open());
        // A current row without a highlight is not a choice the user made.
        m.list()->setFocus();
        m.press("PushButton2");
        QCOMPARE(m.storedTitles(), QStringList({"Zoo", "apple", "Meeting"}));

        m.select("Meeting");
        m.press("PushButton2");
        QCOMPARE(m.storedTitles(), QStringList({"Zoo", "apple"}));
        QCOMPARE(m.column(1), QStringList({"apple", "Zoo"}));
        QVERIFY(!m.anySelected());
        QVERIFY(m.prompts.shown.isEmpty());

        m.press("PushButton2"); // nothing highlighted after the refill
        QCOMPARE(m.storedTitles(), QStringList({"Zoo", "apple"}));
    }

    void updateThenCancelLeavesTheEvent()
    {
        Management m;
        m.store.insert(AnEvent("apple"));
        m.store.insert(AnEvent("Zoo").annually(4, kThursday, 11).date(11, 15, 2024).warn(2, 0));
        QVERIFY(m.open());
        m.select("Zoo");
        m.pressWithEditor("PushButton3", [](Form3& editor) {
            QCOMPARE(editor.windowTitle(), QString("Update Event"));
            QCOMPARE(field(editor, "Text1")->text(), QString("Zoo"));
            QCOMPARE(field(editor, "Text5")->text(), QString("4"));
            field(editor, "Text1")->setText("Zoo visit");
            press(editor, "PushButton2");
            QVERIFY(!editor.isVisible());
        });
        QCOMPARE(m.storedTitles(), QStringList({"apple", "Zoo"}));
        QCOMPARE(m.column(1), QStringList({"apple", "Zoo"}));
        QVERIFY(!m.anySelected());
        QVERIFY(m.prompts.shown.isEmpty());
    }

    void addUpdateAddEndsInAddMode()
    {
        Management m;
        QVERIFY(m.open());
        m.pressWithEditor("PushButton1", [](Form3& editor) {
            QCOMPARE(editor.windowTitle(), QString("Add Event"));
            field(editor, "Text1")->setText("Dentist");
            description(editor)->setPlainText("Check-up");
            press(editor, "PushButton1");
        });
        QCOMPARE(m.column(1), QStringList{"Dentist"});
        // The keys go to the list again, not nowhere.
        QTRY_COMPARE(QApplication::activeWindow(), m.dialog.get());

        m.select("Dentist");
        m.pressWithEditor("PushButton3", [](Form3& editor) {
            QCOMPARE(editor.windowTitle(), QString("Update Event"));
            QCOMPARE(field(editor, "Text1")->text(), QString("Dentist"));
            field(editor, "Text1")->setText("Dentist at nine");
            press(editor, "PushButton1");
        });
        QCOMPARE(m.column(1), QStringList{"Dentist at nine"});

        bool addMode = false;
        m.pressWithEditor("PushButton1", [&](Form3& editor) {
            addMode = editor.windowTitle() == "Add Event" && field(editor, "Text1")->text().isEmpty() &&
                      description(editor)->toPlainText().isEmpty() && editor.m_ID.isEmpty();
            press(editor, "PushButton2");
        });
        QVERIFY(addMode);
        QCOMPARE(m.storedTitles(), QStringList{"Dentist at nine"});
        QCOMPARE(m.prompts.texts(), QStringList({"Event Saved.", "Event Saved."}));
    }

    void failingDeleteIsReportedAndTheListRefilled()
    {
        Management m;
        m.store.insert(AnEvent("apple"));
        QVERIFY(m.open());
        m.select("apple");
        m.store.close();
        m.press("PushButton2");
        QCOMPARE(m.prompts.shown.size(), 2);
        QVERIFY(m.prompts.shown[0].text.contains("in Quillmoor2021/08/31.Form4.PushButton2_Click at line 102\r"));
        QVERIFY(m.prompts.shown[1].text.contains("in Quillmoor2021/08/31.Form4.PushButton2_Click at line 104\r"));
        QCOMPARE(m.rows(), 0);
    }
};

QTEST_MAIN(TestEventManagement)
#include "tst_event_management.moc"
