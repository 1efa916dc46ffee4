#include "app/RunOffUiThread.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>

#include <memory>

int RunOffUiThread(const std::function<int()> &job)
{
    int result = 1;
    std::unique_ptr<QThread> worker(QThread::create([&job, &result] { result = job(); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    worker->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    QApplication::restoreOverrideCursor();
    return result;
}
