#pragma once
// Shows the busy pointer for the lifetime of the guard, restored on every way out.

namespace quorvanta {

class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

    // True while at least one guard is alive (for tests).
    static bool active();
};

} // namespace quorvanta
