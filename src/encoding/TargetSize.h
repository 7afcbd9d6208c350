#pragma once
// The "Target size" setting: the largest WebP file not over a size in bytes, found by encoding in
// memory; and the figures the encoding preview shows next to it (size, bits per pixel, size against
// the source file, PSNR).

#include "encoding/EncodeStillWebP.h"
#include "core/PictureRecord.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvanta {

struct TargetSizeResult {
    std::vector<std::uint8_t> webp; // the file kept; empty when the encoder failed
    float quality = 0;              // the quality it was encoded with
    int encodes = 0;                // encodings it took
    bool applied = false;           // false in lossless mode: the target does not apply there
    bool met = false;               // the file is not over the target
};

// Quality steps of the search: the file kept is at quality q, and q + kTargetQualityStep (when not
// over 100) gives a file over the target.
inline constexpr int kTargetQualitySteps = 256;
inline constexpr float kTargetQualityStep = 100.0f / float(kTargetQualitySteps);

// Encodes `record` with `settings` except the quality, which is searched so that the file is the
// largest not over `targetBytes`. When even quality 0 is over the target, the quality-0 file is kept
// and `met` is false. Lossless mode has no quality to trade for size (there the setting is the effort):
// the target does not apply, the file is encoded once with the settings as they are, and `applied`
// is false. A target of 0 means no target: one encoding with the settings.
TargetSizeResult EncodeToTargetSize(PictureRecord& record, const EncodeSettings& settings, std::uint64_t targetBytes);

} // namespace quorvanta
