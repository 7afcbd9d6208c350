#pragma once
// Assembles an animated WebP with libwebp's animation encoder: each frame is compared with the canvas
// the previous frames left, only the changed rectangle is encoded, blending and disposal are chosen
// per frame, and (with the mixed setting) each frame may be lossy or lossless, whichever is smaller.
// Frames are added one after the other; the encoder itself cannot take them in parallel, as every
// frame is coded against the one before it. Feeding it frames that were imported ahead on other
// threads is the caller's part (EncodeAnimationFiles does so).

#include "core/AnimationFrames.h"
#include "encoding/EncodeStillWebP.h"

#include <webp/mux.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvanta {

// Everything the encoder needs, taken once when an encoding starts.
struct AnimationSettings {
    int lossless = 0;
    int quality = 50;
    int method = 0;
    int filterStrength = 0;
    int filterSharpness = 0;
    bool mixed = false; // lossy or lossless per frame; only where lossless is off
    int loopCount = 0;  // 0: for ever
    std::uint32_t backgroundColor = 0xFFFFFFFF; // 0xAARRGGBB
    // Distance between key frames. keyFrameMax 0 puts no key frame after the first, which gives the
    // smallest files, as img2webp does by default; otherwise kmin/kmax as libwebp takes them.
    int keyFrameMin = 0;
    int keyFrameMax = 0;
    // libwebp's own helper thread for lossy frames (alpha plane, analysis). Off: libwebp starts and
    // joins it for every frame it tries, which costs about a fifth more processor time; on 2 cores it
    // shortened an encoding only while the other core was idle, and lengthened it by a third when the
    // machine had other work.
    int threadLevel = 0;
};

AnimationSettings makeAnimationSettings(const EncodeSettings& encode, bool mixed, int loopCount,
                                        std::uint32_t backgroundColor);

struct AnimEncoderDeleter {
    void operator()(WebPAnimEncoder* encoder) const noexcept { WebPAnimEncoderDelete(encoder); }
};
using AnimEncoderHandle = std::unique_ptr<WebPAnimEncoder, AnimEncoderDeleter>;

class AnimationAssembler {
public:
    // `cancel`, when given, is read between frames and while a frame is encoded; once it is true
    // every further add() fails and finish() gives nothing.
    AnimationAssembler(std::uint32_t canvasWidth, std::uint32_t canvasHeight, const AnimationSettings& settings,
                       const std::atomic<bool>* cancel = nullptr);
    AnimationAssembler(const AnimationAssembler&) = delete;
    AnimationAssembler& operator=(const AnimationAssembler&) = delete;

    // False when the settings or the canvas size were refused.
    bool ok() const { return encoder != nullptr && error.empty(); }

    // Places `frame` on the canvas as ComposeOntoCanvas does and encodes it to stay `durationMs`.
    bool add(const FramePixels& frame, int durationMs);

    // The whole file; empty when no frame was added, on any error and when cancelled. When all the
    // frames turn out to be one picture, libwebp's muxer writes it as a still WebP (it does so for
    // any one-frame animation covering the canvas), which carries no loop count or background.
    std::vector<std::uint8_t> finish();

    bool cancelled() const { return cancel && cancel->load(); }
    int framesAdded() const { return added; }
    const std::string& errorText() const { return error; }

private:
    const std::uint32_t width;
    const std::uint32_t height;
    const AnimationSettings settings;
    const std::atomic<bool>* cancel;
    WebPConfig config{};
    AnimEncoderHandle encoder;
    Buffer<std::uint32_t> canvas; // the composed frame handed to libwebp
    long long timestampMs = 0;
    int added = 0;
    std::string error;
};

// ---- whole sequences ------------------------------------------------------------------------------

// Called on the encoding thread after each frame: frames done, frames in all (0 when not known).
using AnimationProgress = std::function<void(int done, int total)>;

struct AnimationResult {
    std::vector<std::uint8_t> bytes; // the file; empty when nothing was written
    int framesEncoded = 0;
    bool cancelled = false;
    std::string error;
};

// Encodes every frame of `source` in order. The source is read ahead on another thread, at most three
// frames beyond the last one taken by the encoder, so that reading overlaps encoding; progress and
// cancellation are handled on the calling thread. Reading stops at the first Failed.
AnimationResult EncodeAnimation(FrameSource& source, const AnimationSettings& settings,
                                const AnimationProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

} // namespace quorvanta
