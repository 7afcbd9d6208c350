#pragma once
// The still WebP encoder: maps the encoder settings onto libwebp's configuration, lends an imported
// picture's pixels to libwebp and writes the result to a file or into memory.

#include "core/PictureRecord.h"

#include <webp/encode.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quorvanta {

// The five encoder settings, taken as they stand when an encoding starts. Not range-checked here:
// libwebp's own validation decides.
struct EncodeSettings {
    int lossless = 0;
    int quality = 50;
    int method = 0;
    int filterStrength = 0;
    int filterSharpness = 0;
};

// Receives libwebp's progress in percent (0 to 100), on the thread that runs the encoding.
using ProgressReport = std::function<void(int percent)>;

// libwebp's progress hook: hands the percentage to the ProgressReport in the picture's user_data, if
// any, and always lets the encoding go on.
int ReportEncodeProgress(int percent, const WebPPicture* picture);

// libwebp's writer for file mode: custom_ptr is the AtomicFile being written. 1 when the whole chunk
// was written (an empty chunk writes nothing), 0 otherwise, which stops the encoding.
int WriteToFile(const std::uint8_t* data, std::size_t dataSize, const WebPPicture* picture);

// Encodes `record` (width x height pixels 0xAARRGGBB, borrowed, not copied). File mode (toMemory 0)
// replaces `path` only when the encoding and every write succeeded; memory mode appends the bytes to
// `memoryWriter`, which the caller initialised and owns, and opens no file. 1 on success, -1 on
// failure. In lossless mode libwebp may clear the colour of fully transparent pixels in `record`.
int EncodeStillWebP(const std::string& path, PictureRecord& record, int lossless, int method,
                    int filterStrength, int filterSharpness, WebPMemoryWriter* memoryWriter, int toMemory,
                    float quality, const ProgressReport* progress = nullptr);

// The same, with the settings in one record.
int EncodeStillWebP(const std::string& path, PictureRecord& record, const EncodeSettings& settings,
                    WebPMemoryWriter* memoryWriter, int toMemory, const ProgressReport* progress = nullptr);

} // namespace quorvanta
