#include "ui/window_kit.h"

#include <QTest>
#include <QTimer>

namespace {

/// A dialog that counts its loads and showings, and may close itself while loading.
class Probe final : public kit::FormDialog
{
public:
    bool closeWhileLoading = false;
    int loads = 0;
    int showings = 0;

    void Form_Load() override
    {
        ++loads;
        if (closeWhileLoading)
            reject();
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        ++showings;
        FormDialog::showEvent(event);
    }
};

} // namespace

class TestWindowKit : public QObject
{
    Q_OBJECT

private slots:
    void showModalShowsOnlyWhatTheLoadLeftOpen()
    {
        Probe dialog;
        dialog.closeWhileLoading = true;
        QCOMPARE(kit::ShowModal(dialog), int(QDialog::Rejected));
        QCOMPARE(dialog.showings, 0);

        dialog.closeWhileLoading = false;
        QTimer::singleShot(0, &dialog, [&] { dialog.accept(); });
        QCOMPARE(kit::ShowModal(dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.loads, 2);
        QCOMPARE(dialog.showings, 1);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(TestWindowKit)
#include "tst_window_kit.moc"
