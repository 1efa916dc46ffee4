#include "TestSupport.h"

#include "store/StoredData.h"
#include "store/DataFiles.h"
#include "store/RecordBytes.h"

#include <QDir>
#include <QProcess>
#include <QThread>
#include <QtTest>

// A program killed in the middle of a save leaves each data file whole: the
// old image or the new one, never a torn or missing file. The saving is done
// by tools/save_loop, which alternates image 0 and image 1 until killed.
class TestCrashSafety : public QObject {
    Q_OBJECT
private slots:
    void killedWhileSavingLeavesWholeFiles()
    {
        QTemporaryDir dir;
        StoredData state;
        PointDataAt(state, dir.path());
        QVERIFY(QDir().mkpath(DataFolderPath(state.appDataFolder)));
        const QByteArray settings[2] = {QByteArray(sizeof(SettingsRecord), 'A'),
                                        QByteArray(sizeof(SettingsRecord), 'B')};
        const QByteArray recipients[2] = {QByteArray(sizeof(RecipientTable), 'a'),
                                          QByteArray(sizeof(RecipientTable), 'b')};
        SettingsFromBytes(state.settings, settings[0]);
        RecipientsFromBytes(state.recipients, recipients[0]);
        SaveDataFiles(state);

        int seen[2] = {0, 0};
        for (int round = 0; round < 150; ++round) {
            QProcess saver;
            saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            saver.start(QStringLiteral(QUORVANE_SAVE_LOOP), {dir.path()});
            QVERIFY(saver.waitForStarted(30000));
            QVERIFY(saver.waitForReadyRead(30000)); // its first save is done
            // Vary the moment of the kill across the rounds, up to ~12 ms.
            QThread::usleep(static_cast<unsigned long>((round * 1237) % 12000));
            saver.kill(); // SIGKILL: no clean-up of any kind runs
            QVERIFY(saver.waitForFinished(30000));
            QCOMPARE(saver.exitStatus(), QProcess::CrashExit);

            const QByteArray s = ReadWholeFile(state.settingsPath);
            const QByteArray r = ReadWholeFile(state.recipientsPath);
            QVERIFY2(s == settings[0] || s == settings[1],
                     qPrintable(QStringLiteral("round %1: settings file of %2 bytes is torn or missing").arg(round).arg(s.size())));
            QVERIFY2(r == recipients[0] || r == recipients[1],
                     qPrintable(QStringLiteral("round %1: recipients file of %2 bytes is torn or missing").arg(round).arg(r.size())));
            ++seen[s == settings[1]];
        }
        qInfo("settings file left as image 0 in %d rounds, image 1 in %d", seen[0], seen[1]);
    }
};

QTEST_APPLESS_MAIN(TestCrashSafety)
#include "test_crashsafety.moc"
