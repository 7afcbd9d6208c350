#pragma once
// Encodes an animated WebP file: from a list of picture files (an image directory) or from an
// animation file held in memory (an animated GIF or WebP on show, encoded again).
//
// Picture files are imported in parallel on a small pool of threads, a few frames ahead of the
// animation encoder, which takes them one after the other in list order (see AnimationAssembler.h).
// A long list is cut into pieces encoded at the same time and joined (AnimationPieces.h); the frames
// and their timing are the same whatever the number of threads. The canvas is the largest width and
// height of all pictures; each is placed at the top-left corner, as ComposeOntoCanvas places it.

#include "core/Failure.h"
#include "encoding/AnimationAssembler.h"
#include "encoding/ImportAhead.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvanta {

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

// "Encode animation" for an image directory: the pictures of `files` (imported with ImportPictureFile,
// their sizes from `prober`), each lasting `durationMs`, with the loop count, background and encoder
// settings of `settings`, written to `target` in one piece (an existing file there is replaced only
// once the whole animation was written). A file that fails to import is left out, with a line on
// standard error; at least one picture must make it.
Status EncodeAnimationFile(const std::vector<std::string>& files, const AnimationSettings& settings, int durationMs,
                           const std::string& target, const AnimationProgress& progress = {},
                           const std::atomic<bool>* cancel = nullptr, const PictureProber& prober = {});

// How the pictures of an image directory are read: their sizes, and the import that gives pictures of
// those sizes (both upright when the show turns its pictures upright).
struct DirectoryPictures {
    PictureProber prober;
    PictureImporter importer;
};

// The same, with the pictures read as `pictures` says, so that the file shows what the preview showed.
Status EncodeAnimationFile(const std::vector<std::string>& files, const AnimationSettings& settings, int durationMs,
                           const std::string& target, const AnimationProgress& progress,
                           const std::atomic<bool>* cancel, const DirectoryPictures& pictures);

// "Encode animation" for an animation on show: the `size` bytes of `file` (an animated WebP, an
// animated GIF, or another animation AnimationFileReader reads), decoded frame by frame and encoded
// again with the encoder settings and background of `settings`, keeping the file's own frame
// durations and loop count, like gif2webp. Written to `target` as above.
Status EncodeAnimationFile(std::shared_ptr<const std::uint8_t[]> file, std::uint64_t size,
                           const AnimationSettings& settings, const std::string& target,
                           const AnimationProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);

// Says on standard error, in one line, that the file at `path` is left out of the animation because
// it could not be imported.
void ReportLeftOut(const std::string& path);

// The animation's background colour: opaque, red, green and blue from the top byte of each
// 32-bit component.
std::uint32_t packBackgroundColor(const std::array<std::uint32_t, 3>& rgb);

} // namespace quorvanta
