#include "import/Orientation.h"

#include "import/SourceMetadata.h"
#include "import/TiffStructure.h"

#include <algorithm>
#include <cstring>

namespace quorvanta {

namespace {

// Quarter turns, read in square tiles so that both the rows read and the columns written stay in the
// cache. The source pixel (x, y) lands in row x (or width-1-x) and column y (or height-1-y).
void turnInto(const std::uint32_t* source, std::uint32_t* target, std::uint64_t width, std::uint64_t height,
              bool flipRow, bool flipColumn)
{
    constexpr std::uint64_t kTile = 64;
    for (std::uint64_t top = 0; top < height; top += kTile) {
        const std::uint64_t bottom = std::min(height, top + kTile);
        for (std::uint64_t left = 0; left < width; left += kTile) {
            const std::uint64_t right = std::min(width, left + kTile);
            for (std::uint64_t y = top; y < bottom; ++y) {
                const std::uint32_t* row = source + y * width;
                const std::uint64_t column = flipColumn ? height - 1 - y : y;
                for (std::uint64_t x = left; x < right; ++x)
                    target[(flipRow ? width - 1 - x : x) * height + column] = row[x];
            }
        }
    }
}

} // namespace

bool ApplyOrientation(PictureRecord& record, int orientation)
{
    const std::uint64_t width = record.width, height = record.height;
    const auto bytes = checkedMul(width, height, 4);
    if (!record.pixels || width == 0 || height == 0 || !bytes || *bytes > record.size)
        return false;
    std::uint32_t* pixels = record.pixels.get();
    const std::uint64_t count = width * height;
    switch (orientation) {
    case 2: // mirrored left to right
        for (std::uint64_t y = 0; y < height; ++y)
            std::reverse(pixels + y * width, pixels + (y + 1) * width);
        return true;
    case 3: // half turn
        std::reverse(pixels, pixels + count);
        return true;
    case 4: // mirrored top to bottom
        for (std::uint64_t y = 0; y < height / 2; ++y)
            std::swap_ranges(pixels + y * width, pixels + (y + 1) * width, pixels + (height - 1 - y) * width);
        return true;
    case 5: // mirrored along the main diagonal
    case 6: // a quarter turn clockwise
    case 7: // mirrored along the other diagonal
    case 8: // a quarter turn anticlockwise
        break;
    default:
        return true;
    }
    auto turned = allocZeroed<std::uint32_t>(count);
    if (!turned)
        return false;
    turnInto(pixels, turned.get(), width, height, orientation == 7 || orientation == 8,
             orientation == 6 || orientation == 7);
    record.pixels = std::move(turned);
    record.size = *bytes;
    record.width = std::uint32_t(height);
    record.height = std::uint32_t(width);
    return true;
}

bool ResetExifOrientation(std::span<std::uint8_t> exif)
{
    if (exif.size() >= 6 && std::memcmp(exif.data(), "Exif\0\0", 6) == 0)
        exif = exif.subspan(6);
    const TiffReader reader(exif);
    const auto entries = reader.ok() ? reader.readIfd(reader.firstIfd()) : std::nullopt;
    if (!entries)
        return false;
    const TiffEntry* entry = FindTiffEntry(*entries, tiff::kOrientation);
    if (!entry)
        return true;
    const std::size_t size = entry->type == 3 ? 2 : entry->type == 4 ? 4 : 0;
    if (size == 0 || entry->count == 0)
        return false;
    std::uint8_t* value = exif.data() + entry->valueOffset;
    std::memset(value, 0, size);
    value[reader.bigEndian() ? size - 1 : 0] = 1;
    return true;
}

int FileOrientation(std::span<const std::uint8_t> file)
{
    const int orientation = ReadSourceMetadata(file).orientation;
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

} // namespace quorvanta
