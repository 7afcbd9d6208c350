#include "import/ImportPictureFile.h"

#include "import/DecodePicture.h"
#include "core/FileBytes.h"
#include "import/IlbmReader.h"
#include "import/Orientation.h"
#include "import/PcxReader.h"
#include "import/QtPictureReader.h"
#include "import/SourceMetadata.h"
#include "import/TgaReader.h"

namespace quorvanta {

DecodedPicture DecodePicture(std::span<const std::uint8_t> bytes, std::uint64_t reducedArea,
                             const std::atomic<bool>* stop)
{
    if (LooksLikeIlbm(bytes))
        return DecodeIlbm(bytes);
    if (LooksLikePcx(bytes))
        return DecodePcx(bytes);
    // TGA has no signature and Qt's cursor reader would take some TGA headers for its own, so the
    // TGA check must come before Qt is asked.
    if (LooksLikeTga(bytes))
        return DecodeTga(bytes);
    return DecodeWithQt(bytes, reducedArea, stop);
}

int ImportPictureFile(const std::string& path, PictureRecord& record)
{
    return ImportPictureFileWith(path, record, nullptr, nullptr);
}

int ImportPictureFileWith(const std::string& path, PictureRecord& record, ImportReport* report,
                          const std::atomic<bool>* stop)
{
    const FileBytes file = ReadWholeFile(path, kMaxImportFileBytes);
    return ImportPictureBytes(file.ok() ? file.bytes() : std::span<const std::uint8_t>{}, record, report,
                              kDefaultReducedArea, stop);
}

int ImportPictureBytes(std::span<const std::uint8_t> bytes, PictureRecord& record, ImportReport* report,
                       std::uint64_t reducedArea, const std::atomic<bool>* stop)
{
    DecodedPicture picture = !bytes.empty() && bytes.size() <= kMaxImportFileBytes
                                 ? DecodePicture(bytes, reducedArea, stop)
                                 : DecodedPicture::unreadable();
    if (report) {
        report->scalePercent = picture.scalePercent;
        report->message = picture.message;
    }
    switch (picture.status) {
    case DecodedPicture::Status::Decoded:
        record.pixels = std::move(picture.pixels);
        record.size = std::uint64_t(picture.width) * picture.height * 4;
        record.width = picture.width;
        record.height = picture.height;
        return 1;
    case DecodedPicture::Status::NoMemory:
    case DecodedPicture::Status::OverBudget:
        // The size is known but the pixels cannot be held: no buffer, size as it would have been.
        record.pixels.reset();
        record.size = std::uint64_t(picture.width) * picture.height * 4;
        return -1;
    case DecodedPicture::Status::Unreadable:
        break;
    }
    // Unreadable or unrecognised: the record says it holds no pixels, its other fields stay.
    record.size = 0;
    return -1;
}

namespace {

bool probeBytes(std::span<const std::uint8_t> bytes, std::uint32_t& width, std::uint32_t& height)
{
    if (bytes.empty())
        return false;
    if (!LooksLikeIlbm(bytes) && !LooksLikePcx(bytes) && !LooksLikeTga(bytes))
        return ProbeWithQt(bytes, width, height);
    const DecodedPicture picture = DecodePicture(bytes);
    if (picture.status != DecodedPicture::Status::Decoded)
        return false;
    width = picture.width;
    height = picture.height;
    return true;
}

std::span<const std::uint8_t> bytesOf(const FileBytes& file)
{
    return file.ok() ? file.bytes() : std::span<const std::uint8_t>{};
}

} // namespace

bool ProbePictureFile(const std::string& path, std::uint32_t& width, std::uint32_t& height)
{
    return ProbeUprightPictureFile(path, width, height, false);
}

bool ProbeUprightPictureFile(const std::string& path, std::uint32_t& width, std::uint32_t& height, bool upright)
{
    const FileBytes file = ReadWholeFile(path, kMaxImportFileBytes);
    if (!probeBytes(bytesOf(file), width, height))
        return false;
    if (upright && OrientationSwapsSides(FileOrientation(bytesOf(file))))
        std::swap(width, height);
    return true;
}

int ImportUprightPictureFile(const std::string& path, PictureRecord& record, bool upright,
                             std::vector<std::uint8_t>* icc, const std::atomic<bool>* stop)
{
    const FileBytes file = ReadWholeFile(path, kMaxImportFileBytes);
    if (ImportPictureBytes(bytesOf(file), record, nullptr, kDefaultReducedArea, stop) != 1)
        return -1;
    if (!upright && !icc)
        return 1;
    SourceMetadata metadata = ReadSourceMetadata(bytesOf(file));
    if (icc)
        *icc = std::move(metadata.icc);
    // A picture that cannot be turned (memory is short) would not match the size probed for it.
    if (upright && metadata.orientation != 1 && !ApplyOrientation(record, metadata.orientation)) {
        record.releasePixels();
        return -1;
    }
    return 1;
}

} // namespace quorvanta
