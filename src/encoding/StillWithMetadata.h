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

} // namespace quorvanta
