#pragma once
// The playback clock: one timer request outstanding at most. A request completes at an absolute
// deadline: each new one is scheduled from the deadline of the one before, so that the small delays of
// the event loop and of decoding do not add up over a long animation.

#include "core/FrameTiming.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace quorvanta {

class PlaybackClock {
public:
    using Handler = std::function<void()>;

    virtual ~PlaybackClock() = default;

    // Called when a request completes; the handler decides whether the completion is taken now.
    void setCompletionHandler(Handler handler) { onCompletion = std::move(handler); }

    // Sends the one request: it completes `interval` microseconds after the previous deadline. When
    // that deadline was missed by more than half the interval (after a pause, or a frame that took long
    // to show) the schedule starts again from now. Returns false while a request is outstanding
    // (pending, or completed and not yet taken).
    // `startedAt` is when the work that leads to this request began (a tick that showed a frame
    // first): a schedule that starts again counts from there, not from after that work.
    bool arm(std::int64_t interval, std::int64_t startedAt = -1)
    {
        if (request != Request::None)
            return false;
        interval = std::max<std::int64_t>(interval, 0);
        const std::int64_t t = startedAt >= 0 ? startedAt : now();
        const std::int64_t base = scheduled && t - lastDeadline <= interval / 2 ? lastDeadline : t;
        lastDeadline = base + interval;
        lastIntervalArmed = interval;
        scheduled = true;
        request = Request::Pending;
        startTimer(lastDeadline);
        return true;
    }

    // Forgets the schedule and any request, then arms `interval` from now.
    void restart(std::int64_t interval)
    {
        cancel();
        arm(interval);
    }

    // Takes the completion of the request; false when it has not completed.
    bool takeCompletion()
    {
        if (request != Request::Completed)
            return false;
        request = Request::None;
        return true;
    }

    bool hasCompleted() const { return request == Request::Completed; }
    bool isPending() const { return request == Request::Pending; }

    // Aborts a pending request and drops a completion not yet taken.
    void cancel()
    {
        if (request == Request::Pending)
            stopTimer();
        request = Request::None;
        scheduled = false;
    }

    std::int64_t deadline() const { return lastDeadline; }
    std::int64_t lastInterval() const { return lastIntervalArmed; }

    // Microseconds on the clock's own monotonic scale.
    virtual std::int64_t now() const = 0;

protected:
    virtual void startTimer(std::int64_t deadline) = 0;
    virtual void stopTimer() = 0;

    // The timer reached the deadline.
    void expired()
    {
        if (request != Request::Pending)
            return;
        request = Request::Completed;
        if (onCompletion)
            onCompletion();
    }

private:
    enum class Request { None, Pending, Completed };
    Request request = Request::None;
    bool scheduled = false;
    std::int64_t lastDeadline = 0;
    std::int64_t lastIntervalArmed = 0;
    Handler onCompletion;
};

// A clock that tests drive by hand: time moves only when they say so, and every deadline is met
// exactly unless a test delivers a completion late on purpose.
class ManualPlaybackClock final : public PlaybackClock {
public:
    std::int64_t now() const override { return time; }

    // Moves time on by `microseconds`, completing each request whose deadline falls in that span at
    // its deadline (a completion handler may arm the next one, which can fall in the span too).
    void advance(std::int64_t microseconds)
    {
        const std::int64_t target = time + microseconds;
        while (isPending() && deadline() <= target) {
            time = std::max(time, deadline());
            expired();
        }
        time = target;
    }

    // Completes the pending request `latency` microseconds after its deadline.
    void completeLate(std::int64_t latency)
    {
        if (!isPending())
            return;
        time = std::max(time, deadline() + latency);
        expired();
    }

    int timersStarted() const { return started; }

protected:
    void startTimer(std::int64_t) override { ++started; }
    void stopTimer() override {}

private:
    std::int64_t time = 0;
    int started = 0;
};

} // namespace quorvanta
