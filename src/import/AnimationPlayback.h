#pragma once
// Animations other than WebP played through their reader (AnimationFileReader): an animated GIF, or
// any animation Qt's readers compose. Frames are decoded one after the other as playback reaches
// them. While all the frames together fit in a quarter of the decode budget, each is kept once
// decoded, so that stepping back or jumping with the slider costs no decode after the first pass.
// A longer or larger animation is played sequentially: only the reader's own canvases and the frame
// on show are held, and a step back reads again from the first frame.

#include "core/Failure.h"
#include "core/PlayableAnimation.h"

#include <cstdint>
#include <memory>

namespace quorvanta {

// The animation in the `size` bytes of `bytes`, a share of which the player keeps. Refused with
// NotAPicture when it is no animation of more than one frame that our readers take (a still GIF, a
// PNG: pictures to import instead), and with OverBudget and the budget message when its canvas does
// not fit the decode budget.
Result<std::unique_ptr<PlayableAnimation>> OpenAnimationPlayback(std::shared_ptr<const std::uint8_t[]> bytes,
                                                                 std::uint64_t size);

// The share of the decode budget that the frames of an animation may take to be kept.
inline constexpr std::uint64_t kKeptFramesBudgetShare = 4; // one quarter

} // namespace quorvanta
