#include "core/error_report.h"
#include "scripted_prompts.h"

#include <QTest>

#include <stdexcept>

class TestErrorReport : public QObject
{
    Q_OBJECT

private slots:
    void textLayoutIsExact()
    {
        QCOMPARE(ErrorReportText("Type mismatch", "Form2.Form_Load", 108),
                 QString("Type mismatch\r\nin Quillmoor2021/08/31.Form2.Form_Load at line 108\r\r"
                         "Please email screenshot of this message to support@quendrix.example"));
    }

    void failureAtTheFirstStatementIsReportedAndTheRestRuns()
    {
        ScriptedPrompts prompts;
        QStringList ran;
        ErrorTrap trap(prompts, "Form2.Form_Load");
        QVERIFY(!trap(100, [] { throw std::runtime_error("Type mismatch"); }));
        QVERIFY(trap(102, [&] { ran << "102"; }));
        QVERIFY(trap(104, [&] { ran << "104"; }));

        QCOMPARE(ran, QStringList({"102", "104"}));
        QCOMPARE(prompts.shown.size(), 1);
        const auto& report = prompts.shown.first();
        QVERIFY(report.text.startsWith("Type mismatch\r\nin Quillmoor2021/08/31.Form2.Form_Load at line 100\r\r"));
        QCOMPARE(report.title, QString("Application Error"));
        QCOMPARE(report.buttons, Prompts::Buttons::Ok);
        QCOMPARE(report.icon, Prompts::Icon::Warning);
    }

    void twoFailuresInOneProcedureGiveTwoReports()
    {
        ScriptedPrompts prompts;
        ErrorTrap trap(prompts, "Form1.PushButton1_Click");
        trap(100, [] {});
        trap(102, [] { throw std::runtime_error("first"); });
        trap(104, [] {});
        trap(106, [] { throw 42; }); // not even an exception type: still reported, never escapes
        QCOMPARE(prompts.texts(), QStringList({ErrorReportText("first", "Form1.PushButton1_Click", 102),
                                               ErrorReportText("Unknown failure", "Form1.PushButton1_Click", 106)}));
    }

    void calledRoutineFailureCarriesCallersTagAndLine()
    {
        ScriptedPrompts prompts;
        const auto routineWithoutReport = [] { throw std::invalid_argument("Invalid month"); };
        ErrorTrap trap(prompts, "Form1.PushButton3_Click");
        trap(100, [] {});
        trap(102, [&] { routineWithoutReport(); });
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY(prompts.shown[0].text.contains("in Quillmoor2021/08/31.Form1.PushButton3_Click at line 102\r"));
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "tst_error_report.moc"
