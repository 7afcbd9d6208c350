#pragma once
// Pictures of every format other than WebP, recognised by their content, decoded into 0xAARRGGBB pixels.

#include "pictureview/PictureRecord.h"

#include <cstdint>
#include <span>
#include <string>

namespace quorvanta {

// Decodes the picture in the file at `path` (bytes as the file system takes them) into `record`.
// 1 on success, -1 on any failure; prints nothing. Never releases a buffer it did not allocate.
int ImportPictureFile(const std::string& path, PictureRecord& record);

// The same for a file already in memory.
int ImportPictureBytes(std::span<const std::uint8_t> bytes, PictureRecord& record);

// The width and height of the picture in the file, from its header where the format allows (decoded
// otherwise): true when the file looks like a picture we read. Safe on several threads at once.
bool ProbePictureFile(const std::string& path, std::uint32_t& width, std::uint32_t& height);

// Files larger than this are not pictures we can hold.
inline constexpr std::uint64_t kMaxImportFileBytes = std::uint64_t(2) << 30;

} // namespace quorvanta
