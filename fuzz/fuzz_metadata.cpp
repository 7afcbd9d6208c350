// Fuzzes the metadata readers: every format's parser, the EXIF rebuild of TIFF files, the orientation
// reset on whatever EXIF block was kept, and the bounded decompressor on the raw input.

#include "import/Inflate.h"
#include "import/Orientation.h"
#include "import/SourceMetadata.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    quorvanta::SourceMetadata meta = quorvanta::ReadSourceMetadata(bytes);
    if (!meta.exif.empty())
        quorvanta::ResetExifOrientation(meta.exif);
    quorvanta::InflateZlib(bytes, std::size_t(1) << 20);
    return 0;
}
