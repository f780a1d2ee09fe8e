#include "core/settings_store.h"
#include "test_env.h"

#include <QFile>
#include <QSettings>
#include <QTest>

#include <sys/stat.h>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void absentKeyGivesDefaultAsDecimalText()
    {
        TestEnv env;
        QCOMPARE(env.settings().get("Day Backcolor", 16777215), QString("16777215"));
        QCOMPARE(env.settings().color(preferences::BlankBackcolor), ColorRef(16761024));
        QCOMPARE(env.settings().choice(preferences::Passed), qint16(2));
    }

    void savedValueSurvivesANewStore()
    {
        TestEnv env;
        const QString file = env.settings().fileName();
        env.settings().save("Today Backcolor", "255");
        env.settings().sync();
        SettingsStore reopened(file);
        QCOMPARE(reopened.get("Today Backcolor", 16711680), QString("255"));
        QCOMPARE(reopened.color(preferences::TodayBackcolor), ColorRef(255));
        // Stored under the application's section, key as given.
        QSettings raw(file, QSettings::IniFormat);
        QCOMPARE(raw.value("Quillmoor/Today Backcolor").toString(), QString("255"));
    }

    void aFifoInTheFilesPlaceIsNotWaitedOn()
    {
        for (const QString suffix : {"", ".lock"}) {
            TestEnv env;
            const QString file = env.path("fifo.conf");
            QCOMPARE(::mkfifo(QFile::encodeName(file + suffix).constData(), 0600), 0);
            SettingsStore store(file);
            QVERIFY(store.refused().value_or(QString()).contains(file + suffix + " is not a regular file"));
            store.save("Passed", "3");
            QCOMPARE(store.snapshot().get("Passed", 2), QString("3"));
        }
        QCOMPARE(UserSettingsFile(), QSettings("Quendrix", "Quillmoor").fileName());
    }

    void conversions_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("colorOk");
        QTest::addColumn<qint64>("color");
        QTest::addColumn<bool>("flagOk");
        QTest::addColumn<int>("flag");
        QTest::newRow("plain digits") << "1" << true << qint64(1) << true << 1;
        QTest::newRow("blanks around") << " 12 " << true << qint64(12) << true << 12;
        QTest::newRow("signed") << "-1" << true << qint64(0xffffffff) << true << -1;
        QTest::newRow("empty text is present, not absent") << "" << false << qint64(0) << false << 0;
        QTest::newRow("letters") << "red" << false << qint64(0) << false << 0;
        QTest::newRow("trailing letters") << "12px" << false << qint64(0) << false << 0;
        QTest::newRow("fraction") << "1.5" << false << qint64(0) << false << 0;
        QTest::newRow("colour fits, flag overflows") << "16777215" << true << qint64(16777215) << false << 0;
        QTest::newRow("beyond 32 bits") << "4294967296" << false << qint64(0) << false << 0;
    }
    void conversions()
    {
        QFETCH(QString, stored);
        QFETCH(bool, colorOk);
        QFETCH(qint64, color);
        QFETCH(bool, flagOk);
        QFETCH(int, flag);
        if (colorOk)
            QCOMPARE(ColorRef(ToLong(stored, "Key")), ColorRef(color));
        else
            QVERIFY_THROWS_EXCEPTION(SettingConversionError, (void)ToLong(stored, "Key"));
        if (flagOk)
            QCOMPARE(ToInteger(stored, "Key"), qint16(flag));
        else
            QVERIFY_THROWS_EXCEPTION(SettingConversionError, (void)ToInteger(stored, "Key"));
    }

    void conversionFailureNamesTheKeyAndValue()
    {
        TestEnv env;
        env.settings().save("Day Backcolor", "white");
        try {
            (void)env.settings().color(preferences::DayBackcolor);
            QFAIL("no failure");
        } catch (const SettingConversionError& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains("Day Backcolor") && message.contains("white"), qPrintable(message));
        }
    }

    void handEditedValueWithACommaIsNotANumber()
    {
        TestEnv env;
        const QString file = env.path("edited.conf");
        {
            QSettings raw(file, QSettings::IniFormat);
            raw.setValue("Quillmoor/Special Day", QStringList{"1", "2"});
        }
        SettingsStore store(file);
        QCOMPARE(store.get("Special Day", 0), QString("1, 2"));
        QVERIFY_THROWS_EXCEPTION(SettingConversionError, (void)store.choice(preferences::SpecialDay));
    }

    void aSnapshotKeepsOneStateAndTheStoreSeesTheNext()
    {
        TestEnv env;
        // Written as another process would: QSettings objects of one process share the file's contents.
        const auto writeCheck1 = [&](const char* value) {
            QFile file(env.settings().fileName());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(QByteArray("[Quillmoor]\nCheck1=") + value + '\n');
        };
        writeCheck1("1");
        const SettingsSnapshot snapshot = env.settings().snapshot();
        writeCheck1("22");
        QCOMPARE(snapshot.choice(preferences::Check1), qint16(1));
        QCOMPARE(env.settings().choice(preferences::Check1), qint16(22));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
