#pragma once
// Animations read frame by frame as whole canvases, each with its own duration: animated GIF through
// our own reader (GifReader.h), which composes the frames as gif2webp and browsers do; any other
// animated format Qt's readers compose (such as APNG where the installed plugins read it) through
// QImageReader; and animated WebP through libwebp's animation decoder, so that it can be encoded
// again with other settings. AnimationFileReader picks the reader for a file by its content.

#include "core/AnimationFrames.h"
#include "import/GifReader.h"

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
    // The same for a file already read.
    explicit QtAnimationReader(QByteArray fileBytes);
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

// An animation file read once into memory and frame by frame from there: GIF (by its signature)
// through GifAnimationReader, anything else through QtAnimationReader.
class AnimationFileReader : public FrameSource {
public:
    explicit AnimationFileReader(const std::string& path);
    // The same for a file held in memory: `size` bytes, shared with the reader for as long as it lives.
    AnimationFileReader(std::shared_ptr<const std::uint8_t[]> fileBytes, std::size_t size);
    AnimationFileReader(const AnimationFileReader&) = delete;
    AnimationFileReader& operator=(const AnimationFileReader&) = delete;

    // The file holds an animation of more than one frame that can be read.
    bool ok() const { return source != nullptr; }
    // In the WebP sense: 0 plays for ever, n plays n times.
    int loopCount() const { return loops; }
    // Why an animation was refused for its size; empty otherwise.
    const std::string& refusal() const { return refused; }

    std::uint32_t canvasWidth() const override { return source ? source->canvasWidth() : 0; }
    std::uint32_t canvasHeight() const override { return source ? source->canvasHeight() : 0; }
    int frameCount() const override { return source ? source->frameCount() : 0; }
    Read next(AnimationFrame& frame) override { return source ? source->next(frame) : Read::End; }

private:
    void open();

    std::shared_ptr<const std::uint8_t[]> shared; // behind `bytes` when the file was given in memory
    QByteArray bytes;
    std::unique_ptr<GifAnimationReader> gif;
    std::unique_ptr<QtAnimationReader> qt;
    FrameSource* source = nullptr; // whichever of the two reads the file, when it is an animation
    int loops = 0;
    std::string refused;
};

// Reads every frame of a source into memory (for tests and short animations).
std::vector<AnimationFrame> ReadAllFrames(FrameSource& source);

// True when the file at `path` holds an animation of more than one frame that AnimationFileReader
// can read.
bool IsAnimationFile(const std::string& path);

} // namespace quorvanta
