#pragma once
// Bounds-checked reading of TIFF-structured data: a whole TIFF file, or the EXIF block that JPEG, PNG
// and WebP files carry. Every offset is checked in 64 bits against the data before it is followed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvanta {

namespace tiff {
inline constexpr std::uint16_t kOrientation = 0x0112;
inline constexpr std::uint16_t kXmp = 700;
inline constexpr std::uint16_t kExifIfd = 0x8769;
inline constexpr std::uint16_t kGpsIfd = 0x8825;
inline constexpr std::uint16_t kInteropIfd = 0xA005;
inline constexpr std::uint16_t kIccProfile = 34675;
} // namespace tiff

// One directory entry whose value lies wholly inside the data.
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::uint64_t entryOffset = 0; // where its 12 bytes start
    std::uint64_t valueOffset = 0; // where its value starts: inside the entry when it fits in 4 bytes
    std::uint64_t valueBytes = 0;  // count times the size of its type
};

class TiffReader {
public:
    // Reads the 8-byte header ("II*\0" or "MM\0*" and the first directory's offset).
    explicit TiffReader(std::span<const std::uint8_t> data);

    bool ok() const { return m_ok; }
    bool bigEndian() const { return m_bigEndian; }
    std::uint32_t firstIfd() const { return m_firstIfd; }
    std::span<const std::uint8_t> data() const { return m_data; }

    // The directory at `offset`: nothing when its entry table does not fit in the data. Entries of an
    // unknown type, or whose value lies outside the data, are left out.
    std::optional<std::vector<TiffEntry>> readIfd(std::uint64_t offset) const;

    std::span<const std::uint8_t> value(const TiffEntry& entry) const;
    // The value of a SHORT or LONG entry of count 1 (or the first of several).
    std::optional<std::uint32_t> number(const TiffEntry& entry) const;

    std::uint16_t u16(std::uint64_t at) const;
    std::uint32_t u32(std::uint64_t at) const;

private:
    std::span<const std::uint8_t> m_data;
    bool m_ok = false;
    bool m_bigEndian = false;
    std::uint32_t m_firstIfd = 0;
};

// Bytes of one value of a TIFF field type; 0 for types this reader does not know.
std::uint32_t TiffTypeSize(std::uint16_t type);

// The entry with `tag` among `entries`, if any.
const TiffEntry* FindTiffEntry(const std::vector<TiffEntry>& entries, std::uint16_t tag);

// The EXIF orientation (1 to 8) in the first directory of a TIFF-structured block; 1 when the tag is
// absent, unreadable or out of range.
int ReadTiffOrientation(const TiffReader& reader);

// An EXIF block, as WebP and PNG carry it, made from a TIFF file's first directory: the descriptive
// tags (orientation, description, camera, dates, resolution, author) and the EXIF, GPS and
// interoperability directories with all their entries, in the file's byte order. Empty when the file
// holds none of them or the result would exceed `maxBytes`.
std::vector<std::uint8_t> BuildExifFromTiff(const TiffReader& reader, std::size_t maxBytes);

} // namespace quorvanta
