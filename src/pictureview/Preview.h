#pragma once
// The encoding preview: the imported picture encoded in memory with the settings in force, decoded for
// the picture area, and the figures the window tells about it. "Encode picture" writes the previewed
// bytes themselves while the settings are those the preview was made with.

#include "core/Failure.h"
#include "core/PictureRecord.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/StillWithMetadata.h"
#include "encoding/WebPMetadata.h"
#include "import/SourceMetadata.h"
#include "pictureview/Jobs.h"

#include <QImage>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvanta {

class SettingsSource;

// Every setting that changes the bytes of an encoded still.
struct StillChoice {
    EncodeSettings encoder;
    KeepMetadata keep = KeepMetadata::ColourProfile;
    std::uint64_t targetBytes = 0; // 0: no target size

    bool operator==(const StillChoice& other) const;
};
StillChoice readStillChoice(const SettingsSource* settings);

// A still as encoded in memory: the file's bytes, how a target size was met, and the decoded picture.
struct EncodedPreview {
    std::vector<std::uint8_t> file;     // exactly what "Encode picture" writes
    std::optional<TargetWritten> target; // when a target size was asked for
    double bitsPerPixel = 0;
    double percentOfSource = 0; // of the source file's size; 0 when that is unknown
    std::optional<double> psnr; // +infinity for the same pixels
    // Decoded, reduced by the same whole factor as the picture on show, ready to draw.
    QImage image;
};

// A copy of `record` with pixel memory of its own; without pixels when memory is short.
PictureRecord CopyPicture(const PictureRecord& record);

// Encodes `source` with `choice` and the metadata `kept` (chosen already), then decodes the file for
// display reduced by `reduction` and measures it against `source` and its file's `sourceFileBytes`.
// The PSNR is taken over R, G, B and A; the colour of a pixel transparent in both counts for nothing.
// Cancelled when `stop` is set before the file is decoded.
Result<EncodedPreview> MakeEncodedPreview(const PictureRecord& source, const StillChoice& choice,
                                          const SourceMetadata& kept, std::uint64_t sourceFileBytes,
                                          std::uint32_t reduction, const std::atomic<bool>* stop);

// How a target size was met: "quality 72.3 for a target of 80.0 KB", "over the target of 5.0 KB even
// at quality 0", "no target size in lossless mode".
std::string targetNote(const TargetWritten& target, std::uint64_t targetBytes);

// "Preview: 75.6 KB, 0.31 bits per pixel, PSNR 38.4 dB, 62 % of the source", saying plainly when the
// file is larger than the source, and how a target size was met.
std::string previewText(const EncodedPreview& preview, std::uint64_t targetBytes);

// The preview in the picture object, while it is on.
struct PreviewState {
    bool on = false;
    // The imported picture as it was when the preview was turned on: the jobs read it while the picture
    // object may lend its own to an encoding.
    std::shared_ptr<const PictureRecord> source;
    std::uint64_t sourceFileBytes = 0;
    std::uint32_t reduction = 1;
    StillChoice choice;     // of the job in flight, or of the result
    std::uint64_t run = 0;  // counts the jobs started: the result of an older one is dropped
    StopFlag stop;          // of the job in flight; null when none runs
    std::optional<EncodedPreview> result; // the newest finished; of `choice` unless a job runs
    std::uint64_t shownGeneration = 0;    // names the preview image for the scaled copy
    double divider = 0.5;                 // the split's place, as a share of the area's width
    bool draggingDivider = false;
    bool followsLoads = false;            // turned off when another picture is opened
};

} // namespace quorvanta
