#include "viewing/TimerPlaybackClock.h"

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
    // Rounded to the nearest millisecond: a wake-up more than half a millisecond early waits out the
    // rest, so rounding up would only make every frame late.
    timer.start(std::chrono::milliseconds((left + 500) / 1000));
}

} // namespace quorvanta
