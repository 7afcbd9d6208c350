#pragma once
// A still WebP written with the metadata kept from its source picture.

#include "encoding/EncodeStillWebP.h"
#include "import/SourceMetadata.h"

namespace quorvanta {

// Encodes `record` into `path` as EncodeStillWebP does, with the blocks of `kept` (already chosen,
// see SelectMetadata) as ICCP, EXIF and "XMP " chunks. With nothing kept the file is written as the
// encoder makes it; otherwise the picture is encoded in memory, the chunks are added, and the file is
// replaced in one step. EncodeFailed when libwebp's muxer refuses a chunk.
Status EncodeStillWithMetadata(const std::string& path, PictureRecord& record, const EncodeSettings& settings,
                               const SourceMetadata& kept, const ProgressReport* progress = nullptr,
                               const std::atomic<bool>* stop = nullptr);

// The colour profile of the picture file at `path` alone (EXIF and XMP left out); empty when it has
// none or cannot be read.
SourceMetadata ReadColourProfile(const std::string& path);

// Adds the blocks of `kept` to the WebP file at `path` (an animation as our encoder wrote it) and
// replaces it in one step; nothing happens when `kept` is empty.
Status AddMetadataToFile(const std::string& path, const SourceMetadata& kept);

// What an encoding to a target size wrote.
struct TargetWritten {
    std::uint64_t bytes = 0; // the file written
    float quality = 0;       // the quality found
    bool applied = false;    // false in lossless mode, where the target does not apply
    bool met = false;        // the file is not over the target
};

// Encodes `record` as the largest file not over `targetBytes` (see EncodeToTargetSize), adds the blocks
// of `kept`, and replaces `path` with it in one step. `stop` is looked at between the search and the
// write. The blocks are not counted against the target: it is the size of the picture data.
Result<TargetWritten> EncodeStillToTarget(const std::string& path, PictureRecord& record,
                                          const EncodeSettings& settings, const SourceMetadata& kept,
                                          std::uint64_t targetBytes, const std::atomic<bool>* stop = nullptr);

} // namespace quorvanta
