#include "import/ImportPictureFile.h"

#include "import/DecodePicture.h"
#include "core/FileBytes.h"
#include "import/IlbmReader.h"
#include "import/PcxReader.h"
#include "import/QtPictureReader.h"
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

bool ProbePictureFile(const std::string& path, std::uint32_t& width, std::uint32_t& height)
{
    const FileBytes file = ReadWholeFile(path, kMaxImportFileBytes);
    const auto bytes = file.ok() ? file.bytes() : std::span<const std::uint8_t>{};
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

} // namespace quorvanta
