#include "pictureview/Jobs.h"

#include <QThreadPool>

namespace quorvanta {

namespace {

std::atomic<int> workerJobs{0};

// The pool of the jobs: its own, so that Qt's global pool is not held up by a long encoding.
QThreadPool& pool()
{
    static QThreadPool jobs;
    return jobs;
}

} // namespace

void JobRunner::start(std::function<void()> task)
{
    ++workerJobs;
    pool().start([task = std::move(task)] {
        task();
        --workerJobs;
    });
}

int JobRunner::running()
{
    return workerJobs.load();
}

bool JobRunner::waitForIdle(std::chrono::milliseconds limit)
{
    return pool().waitForDone(static_cast<int>(limit.count()));
}

} // namespace quorvanta
