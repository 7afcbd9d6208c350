#include "viewing/PlaybackClock.h"

#include <chrono>

namespace quorvanta {

TimerPlaybackClock::TimerPlaybackClock()
{
    elapsed.start();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
        // A timer may wake a little before the deadline it was rounded to: wait out the rest.
        const std::int64_t left = deadline() - now();
        if (left > 500)
            startTimer(deadline());
        else
            expired();
    });
}

void TimerPlaybackClock::startTimer(std::int64_t deadline)
{
    const std::int64_t left = std::max<std::int64_t>(deadline - now(), 0);
    timer.start(std::chrono::milliseconds((left + 999) / 1000)); // rounded up: never early
}

} // namespace quorvanta
