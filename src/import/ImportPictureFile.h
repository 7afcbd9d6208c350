#pragma once
// Pictures of every format other than WebP, recognised by their content, decoded into 0xAARRGGBB pixels.

#include "core/DecodeBudget.h"
#include "core/PictureRecord.h"

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorvanta {

// Decodes the picture in the file at `path` (bytes as the file system takes them) into `record`.
// 1 on success, -1 on any failure; prints nothing. Never releases a buffer it did not allocate.
int ImportPictureFile(const std::string& path, PictureRecord& record);

// What an import says beyond success: how far the picture was reduced to fit the decode budget, or
// why it was refused ("32768 x 32768 needs 4.0 GiB; the limit is 1.0 GiB (Settings)").
struct ImportReport {
    int scalePercent = 100;
    std::string message; // empty unless the picture was refused or reduced for its size
};

// The same for a file already in memory. A picture over the decode budget is reduced to at most
// `reducedArea` pixels where its decoder can scale (JPEG), and refused otherwise. Safe to call from a
// worker thread; once `stop` is true a decode under way ends early, as a failure.
int ImportPictureBytes(std::span<const std::uint8_t> bytes, PictureRecord& record, ImportReport* report = nullptr,
                       std::uint64_t reducedArea = kDefaultReducedArea, const std::atomic<bool>* stop = nullptr);

// ImportPictureFile with the report and the stop flag of ImportPictureBytes.
int ImportPictureFileWith(const std::string& path, PictureRecord& record, ImportReport* report,
                          const std::atomic<bool>* stop);

// The width and height of the picture in the file, from its header where the format allows (decoded
// otherwise): true when the file looks like a picture we read. Safe on several threads at once.
bool ProbePictureFile(const std::string& path, std::uint32_t& width, std::uint32_t& height);

// ImportPictureFileWith for a picture that travels on its own, as an image directory's frames do: turned
// upright as its EXIF orientation says when `upright`, and its colour profile put in `icc` when given
// (emptied when the file has none).
int ImportUprightPictureFile(const std::string& path, PictureRecord& record, bool upright,
                             std::vector<std::uint8_t>* icc = nullptr, const std::atomic<bool>* stop = nullptr);

// ProbePictureFile for the same: width and height as the picture is shown upright when `upright`.
bool ProbeUprightPictureFile(const std::string& path, std::uint32_t& width, std::uint32_t& height, bool upright);

// Files larger than this are not pictures we can hold.
inline constexpr std::uint64_t kMaxImportFileBytes = std::uint64_t(2) << 30;

} // namespace quorvanta
