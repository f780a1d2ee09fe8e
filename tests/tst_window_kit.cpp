#include "ui/grid_label.h"
#include "ui/window_kit.h"

#include <QPainter>
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

    // A cell paints only the lines that fit; what shows must be what QLabel shows with them all.
    void dayCellLooksAsALabelWithEveryLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("a few events") << "1\nDentist\nPay rent";
        QTest::newRow("a thousand events") << "15" + QStringLiteral("\nTeam meeting").repeated(1000);
        QTest::newRow("titles that wrap") << "3" + QStringLiteral("\nParent-teacher night at the hall").repeated(40);
    }
    void dayCellLooksAsALabelWithEveryLine()
    {
        QFETCH(QString, text);
        GridLabel cell;
        cell.setFont(kit::ArialBold(9));
        cell.setFixedSize(137, 89);
        cell.setColors(0xC0C0FF, 0x000080);
        cell.setText(text);
        QLabel label(text);
        label.setFont(cell.font());
        label.setFixedSize(cell.size());
        label.setAlignment(cell.alignment());
        label.setWordWrap(true);
        label.setAutoFillBackground(true);
        label.setContentsMargins(cell.contentsMargins());
        label.setPalette(cell.palette());

        QImage expected = label.grab().toImage();
        QPainter(&expected).drawRect(label.rect().adjusted(0, 0, -1, -1));
        QCOMPARE(cell.grab().toImage(), expected);
    }
};

QTEST_MAIN(TestWindowKit)
#include "tst_window_kit.moc"
