#pragma once
// An animated WebP played from its frame table: AnimationState seen as a PlayableAnimation, whose frames
// that cover the canvas whole can be decoded apart from the others.

#include "core/PlayableAnimation.h"
#include "viewing/AnimationState.h"
#include "viewing/StandaloneFrames.h"

#include <memory>

namespace quorvanta {

class WebPAnimationPlayback final : public PlayableAnimation, public StandaloneFrames {
public:
    explicit WebPAnimationPlayback(std::unique_ptr<AnimationState> state) : state(std::move(state)) {}

    // The animation in `bytes`, refused as AnimationState::open refuses it.
    static Result<std::unique_ptr<PlayableAnimation>> open(std::shared_ptr<const std::uint8_t[]> bytes,
                                                           std::uint64_t size)
    {
        auto opened = AnimationState::open(std::move(bytes), size);
        if (!opened)
            return opened.problem();
        return std::unique_ptr<PlayableAnimation>(std::make_unique<WebPAnimationPlayback>(std::move(opened).value()));
    }

    std::uint32_t canvasWidth() const override { return state->canvasWidth(); }
    std::uint32_t canvasHeight() const override { return state->canvasHeight(); }
    std::uint32_t loopCount() const override { return state->loopCount(); }
    std::uint32_t backgroundColor() const override { return state->backgroundColor(); }
    std::int32_t frameCount() const override { return state->frameCount(); }
    bool show(std::int32_t number, DisplayBuffer& canvas) override { return state->show(number, canvas); }
    std::int32_t frameDuration(std::int32_t number) const override
    {
        return number >= 1 && number <= state->frameCount() ? state->frame(number).duration : 0;
    }

    bool standsAlone(std::int32_t number) const override { return state->standsAlone(number); }
    bool decodeStandalone(std::int32_t number, std::uint8_t* out, std::uint32_t stride, std::uint64_t size,
                          bool& hasAlpha) const override
    {
        return state->decodeNative(number, out, stride, size, hasAlpha);
    }
    bool decodeFragment(std::int32_t number, OwnedBytes& fragment) const override
    {
        return state->decodeFragment(number, fragment);
    }
    bool showDecoded(std::int32_t number, const OwnedBytes& fragment, DisplayBuffer& canvas) override
    {
        return state->showDecoded(number, fragment, canvas);
    }

private:
    std::unique_ptr<AnimationState> state;
};

} // namespace quorvanta
