#pragma once
// State kept for the animated WebP on show.

namespace quorvanta {

struct AnimationState {
};

} // namespace quorvanta
