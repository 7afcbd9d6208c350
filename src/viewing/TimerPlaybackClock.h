#pragma once
// The playback clock of the running program.

#include "viewing/PlaybackClock.h"

#include <QElapsedTimer>
#include <QTimer>

namespace quorvanta {

// The clock of the running program: a single-shot precise QTimer.
class TimerPlaybackClock final : public PlaybackClock {
public:
    TimerPlaybackClock();
    std::int64_t now() const override { return elapsed.nsecsElapsed() / 1000; }

protected:
    void startTimer(std::int64_t deadline) override;
    void stopTimer() override { timer.stop(); }

private:
    QElapsedTimer elapsed;
    QTimer timer;
};

} // namespace quorvanta
