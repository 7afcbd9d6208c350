#pragma once
// The playback clock: one timer request outstanding at most.

namespace quorvanta {

class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
};

} // namespace quorvanta
