#include "ui/grid_label.h"
#include "ui/look.h"
#include "ui/window_kit.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

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
    void longTextIsShownCut()
    {
        using namespace kit;
        const QString line(kMostShownLineChars, u'a'), cut(1, QChar(0x2026));
        QCOMPARE(ShownPart(line + "\r" + line), line + "\r" + line);
        QCOMPARE(ShownPart(line + "bc\nnext"), line + cut + "\nnext");
        QCOMPARE(ShownPart(line.chopped(1) + "\U0001F600!"), line.chopped(1) + cut); // never half a character
        const QString lines = (QString("0123456789").repeated(99) + "\n").repeated(kMostShownChars / 900);
        QCOMPARE(ShownPart(lines), lines.left(kMostShownChars) + cut);
    }

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

    void cursorFilesAreReadWithinTheirBounds_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<bool>("usable");
        QTest::newRow("the shipped hand") << "" << true;
        QTest::newRow("cut in the directory") << "cut 12" << false;
        QTest::newRow("cut in the image") << "cut 300" << false;
        QTest::newRow("an icon, not a cursor") << "icon" << false;
        QTest::newRow("image offset beyond the end") << "offset" << false;
        QTest::newRow("hotspot outside the image") << "hotspot" << false;
        QTest::newRow("huge") << "huge" << false;
    }
    void cursorFilesAreReadWithinTheirBounds()
    {
        QFETCH(QString, damage);
        QFETCH(bool, usable);
        QFile shipped(QUILLMOOR_CURSOR_FILE);
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        QByteArray bytes = shipped.readAll();
        if (damage.startsWith("cut"))
            bytes.truncate(damage.mid(4).toInt());
        else if (damage == "icon")
            bytes[2] = 1;
        else if (damage == "offset")
            qToLittleEndian<quint32>(0xfffffff0u, bytes.data() + 6 + 12);
        else if (damage == "hotspot")
            qToLittleEndian<quint16>(40, bytes.data() + 6 + 4);
        else if (damage == "huge")
            bytes.append(QByteArray(2 << 20, '\0'));
        QTemporaryDir dir;
        QFile file(dir.filePath("HAND-M.CUR"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        if (usable) {
            const QCursor hand = ReadCursorFile(file.fileName());
            QCOMPARE(hand.hotSpot(), QPoint(6, 1));
            QCOMPARE(hand.pixmap().size(), QSize(32, 32));
        } else {
            QVERIFY_THROWS_EXCEPTION(std::runtime_error, (void)ReadCursorFile(file.fileName()));
        }
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
