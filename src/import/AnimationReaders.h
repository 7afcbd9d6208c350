#pragma once
// Animations read frame by frame as whole canvases, each with its own duration: animated GIF (and any
// other animated format Qt's readers compose, such as APNG where the installed plugins read it)
// through QImageReader, whose GIF reader already applies the disposal of each frame; and animated
// WebP through libwebp's animation decoder, so that it can be encoded again with other settings.

#include "core/AnimationFrames.h"

#include <webp/demux.h>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quorvanta {

class QtAnimationReader : public FrameSource {
public:
    // Reads the file at `path`; ok() says whether it holds an animation of more than one frame.
    explicit QtAnimationReader(const std::string& path);
    QtAnimationReader(const QtAnimationReader&) = delete;
    QtAnimationReader& operator=(const QtAnimationReader&) = delete;

    bool ok() const { return width > 0 && height > 0; }
    // In the WebP sense: 0 plays for ever, n plays n times.
    int loopCount() const { return loops; }

    std::uint32_t canvasWidth() const override { return width; }
    std::uint32_t canvasHeight() const override { return height; }
    int frameCount() const override { return frames; }
    Read next(AnimationFrame& frame) override;

private:
    QByteArray bytes;
    QBuffer device;
    QImageReader reader;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int frames = 0;
    int loops = 0;
    int read = 0;
};

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const noexcept { WebPAnimDecoderDelete(decoder); }
};

class WebPAnimationReader : public FrameSource {
public:
    // Reads from `bytes`, which must outlive the reader.
    explicit WebPAnimationReader(std::span<const std::uint8_t> bytes);

    bool ok() const { return decoder != nullptr; }
    int loopCount() const { return int(info.loop_count); }
    std::uint32_t backgroundColor() const { return info.bgcolor; }

    std::uint32_t canvasWidth() const override { return info.canvas_width; }
    std::uint32_t canvasHeight() const override { return info.canvas_height; }
    int frameCount() const override { return int(info.frame_count); }
    Read next(AnimationFrame& frame) override;

private:
    std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter> decoder;
    WebPAnimInfo info{};
    int previousTimestamp = 0;
};

// Reads every frame of a source into memory (for tests and short animations).
std::vector<AnimationFrame> ReadAllFrames(FrameSource& source);

// True when the file at `path` holds an animation Qt's readers can play frame by frame.
bool IsQtAnimation(const std::string& path);

} // namespace quorvanta
