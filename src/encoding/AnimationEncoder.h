#pragma once
// Encodes a list of picture files into an animated WebP. The files are imported in parallel on a
// small pool of threads, a few frames ahead of the animation encoder, which takes them one after the
// other in list order (see AnimationAssembler.h); the output is the same bytes whatever the number of
// threads. The canvas is the largest width and height of all pictures; each is placed at the top-left
// corner.

#include "encoding/AnimationAssembler.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/WebPHandles.h"

#include <webp/mux.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quorvanta {

// Fills a PictureRecord from a file: 1 on success, -1 on failure. Must be safe to call from several
// threads at once on different records.
using PictureImporter = std::function<int(const std::string& path, PictureRecord& record)>;

// The width and height of the picture in a file, read without decoding all of it: true when the file
// is a picture. Safe to call from several threads at once.
using PictureProber = std::function<bool(const std::string& path, std::uint32_t& width, std::uint32_t& height)>;

// Encodes every file that imports, in order, each shown for `durationMs`. Files that are not pictures
// are left out. Without a prober the files are imported once more to learn their sizes. `progress`
// runs on the calling thread after each file; `threads` 0 picks the number of cores.
AnimationResult EncodeAnimationFiles(const std::vector<std::string>& files, const AnimationSettings& settings,
                                     int durationMs, const PictureImporter& importer,
                                     const PictureProber& prober = {}, const AnimationProgress& progress = {},
                                     const std::atomic<bool>* cancel = nullptr, unsigned threads = 0);

struct FrameSettings {
    EncodeSettings encode;
    int durationMs = 1000;
};

// Imports `path` into a record of its own and encodes it into `out` (memory mode). True on success.
bool EncodeFrameBitstream(const std::string& path, const FrameSettings& settings,
                          const PictureImporter& importer, MemoryWriter& out,
                          const ProgressReport* progress = nullptr);

// Imports, encodes and pushes one frame: WebPMuxPushFrame's result (WEBP_MUX_OK is 1) when the frame
// was pushed, -1 when the file could not be imported or encoded.
int EncodeFrameFile(const std::string& path, WebPMux* mux, const FrameSettings& settings,
                    const PictureImporter& importer, const ProgressReport* progress = nullptr);

struct EncodeOutcome {
    int framesPushed = 0; // pictures encoded into the animation (identical neighbours share a frame in the file)
    int lastResult = 0;   // 1 when the last file was encoded, -1 when not; 0 when there was no file
};

// Encodes every file in order with the animation encoder (EncodeAnimationFiles, lossy or lossless as
// the settings say, not mixed) and puts the resulting frames, with their offsets, blending and
// disposal, into `mux`. `progress` is called on the calling thread: 0 when a file is started, 100
// when it is encoded. `threads` 0 picks the number of cores; 1 imports on the calling thread only.
EncodeOutcome EncodeDirectoryFrames(const std::vector<std::string>& files, WebPMux* mux,
                                    const FrameSettings& settings, const PictureImporter& importer,
                                    const ProgressReport& progress = {}, unsigned threads = 0);

// The animation's background colour: opaque, red, green and blue from the top byte of each
// 32-bit component.
std::uint32_t packBackgroundColor(const std::array<std::uint32_t, 3>& rgb);

// Sets the animation parameters, assembles the mux and replaces `path` with the result in one
// piece. True when the file was written.
bool WriteAnimation(WebPMux* mux, const std::string& path, int loopCount, std::uint32_t backgroundColor);

} // namespace quorvanta
