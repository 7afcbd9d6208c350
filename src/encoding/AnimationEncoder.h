#pragma once
// Encodes a list of picture files into the frames of an animated WebP: each file is imported,
// encoded in memory with the still encoder and pushed into a mux in list order. Frames are encoded
// in parallel on a small pool of threads, with only a few frames in memory at a time; the output is
// the same bytes whatever the number of threads.

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
    int framesPushed = 0; // frames in the mux
    int lastResult = 0;   // the result of the last file's EncodeFrameFile; 0 when there was no file
};

// Encodes every file in order into `mux`. `progress` is called on the calling thread with the
// progress of the frame being waited for. `threads` 0 picks the number of cores; 1 encodes on the
// calling thread only.
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
