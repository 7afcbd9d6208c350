#pragma once
// The still WebP encoder: maps the encoder settings onto libwebp's configuration, lends an imported
// picture's pixels to libwebp and writes the result to a file or into memory.

#include "core/Failure.h"
#include "core/PictureRecord.h"

#include <webp/encode.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quorvanta {

// The five encoder settings, taken as they stand when an encoding starts. Checked against libwebp's
// ranges before anything is written (CheckEncodeSettings).
struct EncodeSettings {
    int lossless = 0;
    int quality = 50;
    int method = 0;
    int filterStrength = 0;
    int filterSharpness = 0;
};

// Receives libwebp's progress in percent (0 to 100), on the thread that runs the encoding.
using ProgressReport = std::function<void(int percent)>;

// What an encoding reports to and asks of its caller while libwebp works: the picture's user_data.
struct EncodeHooks {
    const ProgressReport* progress = nullptr;
    const std::atomic<bool>* stop = nullptr; // set by another thread to stop the encoding
};

// libwebp's progress hook: hands the percentage to the ProgressReport of the EncodeHooks in the
// picture's user_data, if any; returns 0, which stops the encoding, once their stop flag is set.
int ReportEncodeProgress(int percent, const WebPPicture* picture);

// A setting against its range: InvalidSetting "quality 1000 is outside 0-100" when it lies outside.
Status CheckSettingRange(const std::string& name, long long value, long long low, long long high);

// The five settings against libwebp's ranges (quality 0-100, speed 0-6, filter strength 0-100,
// filter sharpness 0-7); the first out of range is named.
Status CheckEncodeSettings(const EncodeSettings& settings);

// libwebp's writer for file mode: custom_ptr is the AtomicFile being written. 1 when the whole chunk
// was written (an empty chunk writes nothing), 0 otherwise, which stops the encoding.
int WriteToFile(const std::uint8_t* data, std::size_t dataSize, const WebPPicture* picture);

// Encodes `record` (width x height pixels 0xAARRGGBB, borrowed, not copied). File mode (toMemory 0)
// replaces `path` only when the encoding and every write succeeded; memory mode appends the bytes to
// `memoryWriter`, which the caller initialised and owns, and opens no file. In lossless mode libwebp
// may clear the colour of fully transparent pixels in `record`.
// Fails with the reason: a setting out of range (InvalidSetting, before any file is touched), the
// target refused (CantWrite) or the disk full (DiskFull), no picture in the record (NothingToEncode),
// the memory (NoMemory), libwebp's refusal (EncodeFailed), or `stop` set while it ran (Cancelled;
// nothing is written then).
Status EncodeStillWebP(const std::string& path, PictureRecord& record, const EncodeSettings& settings,
                       WebPMemoryWriter* memoryWriter, int toMemory, const ProgressReport* progress = nullptr,
                       const std::atomic<bool>* stop = nullptr);

// The same with the settings one by one: 1 on success, -1 on failure.
int EncodeStillWebP(const std::string& path, PictureRecord& record, int lossless, int method,
                    int filterStrength, int filterSharpness, WebPMemoryWriter* memoryWriter, int toMemory,
                    float quality, const ProgressReport* progress = nullptr);

} // namespace quorvanta
