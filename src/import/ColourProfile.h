#pragma once
// Colour management on display: the conversion a picture's ICC profile asks for to be drawn right on
// the screen, applied to the drawn pixels only. What is kept for encoding stays in the source's own
// colours (the profile travels with it into the written file).

#include "core/DisplayBuffer.h"
#include "core/PlayableAnimation.h"

#include <QColorSpace>
#include <QColorTransform>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace quorvanta {

// The conversion from the colour space of the profile `icc` into `screen` (sRGB when `screen` is not
// valid). None when nothing is to be done: no profile, a profile Qt cannot use (the picture is then
// taken as sRGB, like one without a profile), or a profile of the screen's own space.
std::optional<QColorTransform> DisplayTransform(std::span<const std::uint8_t> icc, const QColorSpace& screen);

// Converts `height` rows of `width` pixels laid out as `format` says, `bytesPerRow` apart, in place;
// alpha is left as it is. Works through a few rows at a time, so it needs little memory beyond the
// pixels. False, with the pixels unchanged, when the layout does not fit or memory is short.
bool ConvertDisplayColours(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                           std::uint32_t bytesPerRow, PixelFormat format, const QColorTransform& transform);

// An animation whose frames are handed out converted. Frames are composed in a canvas of its own, which
// keeps the source's colours, so that each frame builds on the one before unconverted; what goes to the
// display buffer is a converted copy, one conversion a frame.
class ColourManagedAnimation final : public PlayableAnimation {
public:
    ColourManagedAnimation(std::unique_ptr<PlayableAnimation> source, QColorTransform transform)
        : source(std::move(source)), transform(std::move(transform))
    {
    }

    // Whether frames shown from now on are converted (they are when made).
    void setConverting(bool on) { converting = on; }
    bool isConverting() const { return converting; }

    std::uint32_t canvasWidth() const override { return source->canvasWidth(); }
    std::uint32_t canvasHeight() const override { return source->canvasHeight(); }
    std::uint32_t loopCount() const override { return source->loopCount(); }
    std::uint32_t backgroundColor() const override { return source->backgroundColor(); }
    std::int32_t frameCount() const override { return source->frameCount(); }
    std::int32_t frameDuration(std::int32_t number) const override { return source->frameDuration(number); }
    bool show(std::int32_t number, DisplayBuffer& canvas) override;

private:
    std::unique_ptr<PlayableAnimation> source;
    QColorTransform transform;
    DisplayBuffer composed;
    bool converting = true;
};

// `animation` wrapped to be shown converted when its file (`bytes`) carries a profile that asks for a
// conversion into `screen`; returned as it is otherwise.
std::unique_ptr<PlayableAnimation> ManageAnimationColours(std::unique_ptr<PlayableAnimation> animation,
                                                          std::span<const std::uint8_t> bytes,
                                                          const QColorSpace& screen);

} // namespace quorvanta
