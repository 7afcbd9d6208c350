#include "import/TiffStructure.h"

#include <algorithm>
#include <cstring>

namespace quorvanta {

namespace {

bool isPointer(std::uint16_t tag)
{
    return tag == tiff::kExifIfd || tag == tiff::kGpsIfd || tag == tiff::kInteropIfd;
}

// The tags of a TIFF file's first directory that describe the picture rather than its storage.
bool isDescriptive(std::uint16_t tag)
{
    switch (tag) {
    case 0x010E: // ImageDescription
    case 0x010F: // Make
    case 0x0110: // Model
    case tiff::kOrientation:
    case 0x011A: // XResolution
    case 0x011B: // YResolution
    case 0x0128: // ResolutionUnit
    case 0x0131: // Software
    case 0x0132: // DateTime
    case 0x013B: // Artist
    case 0x8298: // Copyright
    case tiff::kExifIfd:
    case tiff::kGpsIfd:
        return true;
    default:
        return false;
    }
}

// A directory chosen for the new block, with the directories its pointer entries lead to.
struct Directory {
    std::vector<TiffEntry> entries;
    std::vector<Directory> children; // one for each pointer entry, in entry order
};

// Reads the directory at `offset` with the entries worth keeping. The pointers a directory may hold
// depend on its level (first directory: EXIF and GPS; EXIF: interoperability), so a hostile file
// cannot make the walk loop. A pointer to an unreadable directory is dropped with it.
std::optional<Directory> collect(const TiffReader& reader, std::uint64_t offset, std::uint16_t kind)
{
    auto entries = reader.readIfd(offset);
    if (!entries)
        return std::nullopt;
    Directory dir;
    for (const TiffEntry& entry : *entries) {
        const bool allowedPointer = (kind == 0 && (entry.tag == tiff::kExifIfd || entry.tag == tiff::kGpsIfd)) ||
                                    (kind == tiff::kExifIfd && entry.tag == tiff::kInteropIfd);
        if (kind == 0 && !isDescriptive(entry.tag))
            continue;
        if (!isPointer(entry.tag)) {
            dir.entries.push_back(entry);
            continue;
        }
        const auto target = reader.number(entry);
        if (!allowedPointer || !target)
            continue;
        if (auto child = collect(reader, *target, entry.tag)) {
            dir.entries.push_back(entry);
            dir.children.push_back(std::move(*child));
        }
    }
    return dir;
}

class ExifWriter {
public:
    ExifWriter(const TiffReader& reader, std::size_t maxBytes) : reader(reader), maxBytes(maxBytes) {}

    std::vector<std::uint8_t> write(const Directory& root)
    {
        const std::uint8_t header[8] = {std::uint8_t(reader.bigEndian() ? 'M' : 'I'),
                                        std::uint8_t(reader.bigEndian() ? 'M' : 'I'), 0, 0, 0, 0, 0, 0};
        append(header, 8);
        set16(2, 42);
        const auto first = writeDirectory(root);
        if (!first)
            return {};
        set32(4, *first);
        return std::move(out);
    }

private:
    bool append(const std::uint8_t* bytes, std::size_t n)
    {
        if (failed || maxBytes - std::min(maxBytes, out.size()) < n) {
            failed = true;
            return false;
        }
        // Grown then copied into: GCC 12 at -O3 misreads an insert into the empty vector as an overflow.
        const std::size_t at = out.size();
        out.resize(at + n);
        if (n > 0)
            std::memcpy(out.data() + at, bytes, n);
        return true;
    }
    bool appendZeros(std::size_t n)
    {
        if (failed || maxBytes - std::min(maxBytes, out.size()) < n) {
            failed = true;
            return false;
        }
        out.resize(out.size() + n);
        return true;
    }
    void align()
    {
        if (out.size() % 2)
            appendZeros(1);
    }

    void set16(std::size_t at, std::uint16_t v)
    {
        out[at] = std::uint8_t(reader.bigEndian() ? v >> 8 : v);
        out[at + 1] = std::uint8_t(reader.bigEndian() ? v : v >> 8);
    }
    void set32(std::size_t at, std::uint32_t v)
    {
        set16(at + (reader.bigEndian() ? 0 : 2), std::uint16_t(v >> 16));
        set16(at + (reader.bigEndian() ? 2 : 0), std::uint16_t(v));
    }

    // Writes a directory and everything it leads to; its offset, or nothing when it would not fit.
    std::optional<std::uint32_t> writeDirectory(const Directory& dir)
    {
        align();
        const std::size_t start = out.size();
        if (!appendZeros(2 + 12 * dir.entries.size() + 4))
            return std::nullopt;
        set16(start, std::uint16_t(dir.entries.size()));
        std::size_t child = 0;
        for (std::size_t i = 0; i < dir.entries.size(); ++i) {
            const TiffEntry& entry = dir.entries[i];
            const std::size_t at = start + 2 + 12 * i;
            // Tag, type and count are copied as they are: the byte order does not change.
            std::memcpy(&out[at], reader.data().data() + entry.entryOffset, 8);
            if (isPointer(entry.tag)) {
                const auto offset = writeDirectory(dir.children[child++]);
                if (!offset)
                    return std::nullopt;
                set32(at + 8, *offset);
            } else if (entry.valueBytes <= 4) {
                std::memcpy(&out[at + 8], reader.data().data() + entry.entryOffset + 8, 4);
            } else {
                align();
                const std::size_t valueAt = out.size();
                const auto value = reader.value(entry);
                if (!append(value.data(), value.size()))
                    return std::nullopt;
                set32(at + 8, std::uint32_t(valueAt));
            }
        }
        if (failed)
            return std::nullopt;
        return std::uint32_t(start);
    }

    const TiffReader& reader;
    std::size_t maxBytes;
    std::vector<std::uint8_t> out;
    bool failed = false;
};

} // namespace

TiffReader::TiffReader(std::span<const std::uint8_t> data) : m_data(data)
{
    if (data.size() < 8)
        return;
    const bool little = data[0] == 'I' && data[1] == 'I';
    m_bigEndian = data[0] == 'M' && data[1] == 'M';
    m_ok = (little || m_bigEndian) && u16(2) == 42;
    m_firstIfd = u32(4);
}

std::uint16_t TiffReader::u16(std::uint64_t at) const
{
    if (at > m_data.size() || m_data.size() - at < 2)
        return 0;
    const std::uint8_t* p = m_data.data() + at;
    return m_bigEndian ? std::uint16_t((p[0] << 8) | p[1]) : std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t TiffReader::u32(std::uint64_t at) const
{
    if (at > m_data.size() || m_data.size() - at < 4)
        return 0;
    const std::uint32_t a = u16(at), b = u16(at + 2);
    return m_bigEndian ? (a << 16) | b : (b << 16) | a;
}

std::uint32_t TiffTypeSize(std::uint16_t type)
{
    static constexpr std::uint8_t sizes[14] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < 14 ? sizes[type] : 0;
}

std::optional<std::vector<TiffEntry>> TiffReader::readIfd(std::uint64_t offset) const
{
    const std::uint64_t size = m_data.size();
    if (!m_ok || offset < 8 || offset > size || size - offset < 2)
        return std::nullopt;
    const std::uint16_t count = u16(offset);
    if ((size - offset - 2) / 12 < count)
        return std::nullopt;
    std::vector<TiffEntry> entries;
    entries.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        TiffEntry entry;
        entry.entryOffset = offset + 2 + 12ull * i;
        entry.tag = u16(entry.entryOffset);
        entry.type = u16(entry.entryOffset + 2);
        entry.count = u32(entry.entryOffset + 4);
        entry.valueBytes = std::uint64_t(entry.count) * TiffTypeSize(entry.type);
        entry.valueOffset = entry.valueBytes <= 4 ? entry.entryOffset + 8 : u32(entry.entryOffset + 8);
        if (TiffTypeSize(entry.type) == 0 || entry.valueOffset > size || size - entry.valueOffset < entry.valueBytes)
            continue;
        entries.push_back(entry);
    }
    return entries;
}

std::span<const std::uint8_t> TiffReader::value(const TiffEntry& entry) const
{
    return m_data.subspan(std::size_t(entry.valueOffset), std::size_t(entry.valueBytes));
}

std::optional<std::uint32_t> TiffReader::number(const TiffEntry& entry) const
{
    if (entry.count == 0)
        return std::nullopt;
    if (entry.type == 3)
        return u16(entry.valueOffset);
    if (entry.type == 4 || entry.type == 13)
        return u32(entry.valueOffset);
    return std::nullopt;
}

const TiffEntry* FindTiffEntry(const std::vector<TiffEntry>& entries, std::uint16_t tag)
{
    const auto it = std::find_if(entries.begin(), entries.end(), [tag](const TiffEntry& e) { return e.tag == tag; });
    return it == entries.end() ? nullptr : &*it;
}

int ReadTiffOrientation(const TiffReader& reader)
{
    const auto entries = reader.readIfd(reader.firstIfd());
    const TiffEntry* entry = entries ? FindTiffEntry(*entries, tiff::kOrientation) : nullptr;
    const auto value = entry ? reader.number(*entry) : std::nullopt;
    return value && *value >= 1 && *value <= 8 ? int(*value) : 1;
}

std::vector<std::uint8_t> BuildExifFromTiff(const TiffReader& reader, std::size_t maxBytes)
{
    const auto root = collect(reader, reader.firstIfd(), 0);
    if (!root || root->entries.empty())
        return {};
    return ExifWriter(reader, maxBytes).write(*root);
}

} // namespace quorvanta
