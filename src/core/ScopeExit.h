#pragma once
// Runs a function when the scope ends, on every way out.

#include <utility>

namespace quorvanta {

template <class F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : f(std::move(f)) {}
    ~ScopeExit() { f(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    F f;
};

} // namespace quorvanta
