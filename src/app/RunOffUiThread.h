#pragma once

#include <QThread>

#include <future>
#include <memory>
#include <type_traits>
#include <utility>

// Waits for worker to finish in a local event loop that keeps painting and
// running timers but holds back user input, with a busy cursor meanwhile.
void WaitKeepingUiAlive(QThread &worker);

// Runs a blocking job (an SMTP exchange) on a worker thread and waits for it
// with WaitKeepingUiAlive. So the program never freezes, and nothing the
// user does is acted on mid-job. The job is moved to the worker: what it
// holds belongs to that thread alone until it ends. Returns the job's result.
template <class Job>
std::invoke_result_t<Job &> RunOffUiThread(Job job)
{
    using Result = std::invoke_result_t<Job &>;
    // The result comes back through a promise, which also orders everything
    // the worker did to the job before what this thread does after.
    std::promise<Result> done;
    std::future<Result> result = done.get_future();
    std::unique_ptr<QThread> worker(
        QThread::create([&done, job = std::move(job)]() mutable { done.set_value(std::move(job)()); }));
    WaitKeepingUiAlive(*worker);
    return result.get();
}
