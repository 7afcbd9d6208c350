#pragma once
// Holds the thread that encodes at its first progress report of `atPercent` or more until the test
// opens the gate, so that a test can look at the window while an encoding runs without sleeping. For suites that link the
// picture object; an encoding that runs inline on the test's own thread must not meet a closed gate.

#include "pictureview/EncodingJob.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace testsupport {

class EncodeGate {
public:
    explicit EncodeGate(int atPercent = 0)
    {
        quorvanta::setEncodeProgressProbe([state = state, atPercent](int percent) {
            if (percent < atPercent)
                return;
            std::unique_lock lock(state->mutex);
            state->reached = true;
            // Never for ever: a test that fails before it opens the gate still ends.
            state->changed.wait_for(lock, std::chrono::seconds(30), [&state] { return state->opened; });
        });
    }
    ~EncodeGate()
    {
        open();
        quorvanta::setEncodeProgressProbe({});
    }
    EncodeGate(const EncodeGate&) = delete;
    EncodeGate& operator=(const EncodeGate&) = delete;

    // An encoding waits at the gate.
    bool reached() const
    {
        const std::lock_guard lock(state->mutex);
        return state->reached && !state->opened;
    }
    void open()
    {
        {
            const std::lock_guard lock(state->mutex);
            state->opened = true;
        }
        state->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool reached = false;
        bool opened = false;
    };
    std::shared_ptr<State> state = std::make_shared<State>();
};

} // namespace testsupport
