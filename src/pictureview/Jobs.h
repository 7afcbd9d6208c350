#pragma once
// Work that runs off the GUI thread. A job's work runs on a worker thread with a stop flag of its own;
// its result comes back to the GUI thread, where `done` takes it, unless the receiver is gone by then.
// Work must own what it reads (copies, shared pointers), never borrow from the receiver.
//
// A runner made inline runs every job at once on the calling thread and hands its result over before
// run() returns: the picture object uses it when no threaded runner is given, so that each command
// has finished when send() returns (the way tests drive it).

#include <QObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

namespace quorvanta {

// Asked by a job's work between steps; set by the picture object to stop it early.
using StopFlag = std::shared_ptr<std::atomic<bool>>;

class JobRunner {
public:
    enum class Threads { Inline, Worker };

    explicit JobRunner(Threads threads = Threads::Inline) : threads(threads) {}
    bool inlineJobs() const { return threads == Threads::Inline; }

    template <class Result>
    void run(QObject* receiver, std::function<Result()> work, std::function<void(Result)> done)
    {
        if (inlineJobs()) {
            done(work());
            return;
        }
        QPointer<QObject> guard(receiver);
        start([guard, work = std::move(work), done = std::move(done)] {
            auto result = std::make_shared<Result>(work());
            QObject* target = guard.data();
            if (!target)
                return;
            QMetaObject::invokeMethod(
                target, [guard, done, result] { if (guard) done(std::move(*result)); }, Qt::QueuedConnection);
        });
    }

    // Jobs of any runner still running on a worker thread.
    static int running();
    // Waits up to `limit` for every worker job to end; false when some still run.
    static bool waitForIdle(std::chrono::milliseconds limit);

private:
    static void start(std::function<void()> task);

    Threads threads;
};

} // namespace quorvanta
