#pragma once

#include <functional>

// Runs a blocking job (an SMTP exchange) on a worker thread and waits for it
// in a local event loop that keeps painting and running timers but holds back
// user input until the job has ended, with a busy cursor meanwhile. So the
// program never freezes, and nothing the user does is acted on mid-job.
int RunOffUiThread(const std::function<int()> &job);
