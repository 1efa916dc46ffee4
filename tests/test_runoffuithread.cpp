#include "app/RunOffUiThread.h"

#include <QThread>
#include <QtTest>

#include <atomic>

// A send runs off the UI thread: the window keeps being served, input waits.
class TestRunOffUiThread : public QObject {
    Q_OBJECT
private slots:
    // Input from the window system is held back by the local loop; that is
    // shown with a real X server in the end-to-end send check.
    void timersRunWithABusyCursorWhileTheJobRuns()
    {
        std::atomic<bool> jobRunning{false};
        int ticksDuringJob = 0;
        bool busyCursorDuringJob = false;
        QTimer ticker;
        ticker.setInterval(20);
        connect(&ticker, &QTimer::timeout, [&] {
            if (!jobRunning)
                return;
            ++ticksDuringJob;
            busyCursorDuringJob = QApplication::overrideCursor() &&
                                  QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        });
        ticker.start();

        const int result = RunOffUiThread([&] {
            jobRunning = true;
            QThread::msleep(400);
            jobRunning = false;
            return 7;
        });

        QCOMPARE(result, 7);
        QVERIFY(ticksDuringJob > 0);
        QVERIFY(busyCursorDuringJob);
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(TestRunOffUiThread)
#include "test_runoffuithread.moc"
