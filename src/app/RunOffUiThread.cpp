#include "app/RunOffUiThread.h"

#include <QApplication>
#include <QEventLoop>

void WaitKeepingUiAlive(QThread &worker)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    // The job first: the busy cursor costs this thread a few milliseconds
    // the first time (its picture is read from the cursor theme), which the
    // job need not wait for.
    worker.start();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.wait();
    QApplication::restoreOverrideCursor();
}
