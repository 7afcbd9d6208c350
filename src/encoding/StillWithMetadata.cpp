#include "encoding/StillWithMetadata.h"

#include "core/FileBytes.h"
#include "encoding/AtomicFile.h"
#include "encoding/TargetSize.h"
#include "encoding/WebPHandles.h"
#include "encoding/WebPMetadata.h"

namespace quorvanta {

Status EncodeStillWithMetadata(const std::string& path, PictureRecord& record, const EncodeSettings& settings,
                               const SourceMetadata& kept, const ProgressReport* progress,
                               const std::atomic<bool>* stop)
{
    if (kept.empty())
        return EncodeStillWebP(path, record, settings, nullptr, 0, progress, stop);
    MemoryWriter encoded;
    if (Status done = EncodeStillWebP(path, record, settings, encoded.get(), 1, progress, stop); !done)
        return done;
    const auto withMetadata = AddWebPMetadata({encoded.data(), encoded.size()}, kept);
    if (!withMetadata)
        return problem(Failure::EncodeFailed, "the metadata could not be added");
    if (stop && stop->load())
        return problem(Failure::Cancelled);
    return writeFileAtomically(path, withMetadata->data(), withMetadata->size());
}

SourceMetadata ReadColourProfile(const std::string& path)
{
    const FileBytes file = ReadWholeFile(path);
    SourceMetadata profile;
    if (file.ok())
        profile.icc = ReadSourceMetadata(file.bytes()).icc;
    return profile;
}

Status AddMetadataToFile(const std::string& path, const SourceMetadata& kept)
{
    if (kept.empty())
        return {};
    const FileBytes written = ReadWholeFile(path);
    if (!written.ok())
        return readProblem(written, path);
    const auto file = AddWebPMetadata(written.bytes(), kept);
    if (!file)
        return problem(Failure::EncodeFailed, "the colour profile could not be added");
    return writeFileAtomically(path, file->data(), file->size());
}

Result<TargetWritten> EncodeStillToTarget(const std::string& path, PictureRecord& record,
                                          const EncodeSettings& settings, const SourceMetadata& kept,
                                          std::uint64_t targetBytes, const std::atomic<bool>* stop)
{
    if (Status usable = CheckEncodeSettings(settings); !usable)
        return usable.problem();
    if (!record.pixels)
        return problem(Failure::NothingToEncode);
    const TargetSizeResult found = EncodeToTargetSize(record, settings, targetBytes);
    if (found.webp.empty())
        return problem(Failure::EncodeFailed);
    if (stop && stop->load())
        return problem(Failure::Cancelled);
    const auto file = AddWebPMetadata(found.webp, kept);
    if (!file)
        return problem(Failure::EncodeFailed, "the metadata could not be added");
    if (Status written = writeFileAtomically(path, file->data(), file->size()); !written)
        return written.problem();
    return TargetWritten{file->size(), found.quality, found.applied, found.met};
}

} // namespace quorvanta
