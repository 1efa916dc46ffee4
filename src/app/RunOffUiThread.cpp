#include "app/RunOffUiThread.h"

#include <QApplication>
#include <QEventLoop>

void WaitKeepingUiAlive(QThread &worker)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.wait();
    QApplication::restoreOverrideCursor();
}
