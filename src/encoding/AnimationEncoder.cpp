#include "encoding/AnimationEncoder.h"

#include "core/Messages.h"
#include "encoding/AnimationPieces.h"
#include "encoding/AtomicFile.h"
#include "encoding/ImportAhead.h"
#include "import/AnimationReaders.h"
#include "import/ImportPictureFile.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace quorvanta {

namespace {

unsigned threadCount(unsigned threads, std::size_t files)
{
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(threads, files));
}

// The largest width and height of the pictures; `usable` says which files are pictures.
void measureCanvas(const std::vector<std::string>& files, const PictureImporter& importer,
                   const PictureProber& prober, unsigned threads, std::vector<bool>& usable,
                   std::uint32_t& width, std::uint32_t& height)
{
    usable.assign(files.size(), false);
    width = height = 0;
    std::unique_ptr<FileImports> imports;
    if (!prober)
        imports = std::make_unique<FileImports>(files, importer, threads);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        if (prober) {
            usable[i] = prober(files[i], w, h) && w > 0 && h > 0;
        } else {
            PictureRecord record;
            usable[i] = imports->take(i, record);
            w = record.width;
            h = record.height;
        }
        if (usable[i]) {
            width = std::max(width, w);
            height = std::max(height, h);
        }
    }
}

FilesEncoded encodeFiles(const std::vector<std::string>& files, const AnimationSettings& settings, int durationMs,
                         const PictureImporter& importer, const PictureProber& prober,
                         const AnimationProgress& progress, const std::atomic<bool>* cancel, unsigned threads)
{
    FilesEncoded out;
    threads = threadCount(threads, files.size());
    std::vector<bool> usable;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    measureCanvas(files, importer, prober, threads, usable, width, height);
    std::vector<std::string> pictures;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (usable[i])
            pictures.push_back(files[i]);
        else
            out.leftOut.push_back(files[i]);
    }
    if (pictures.empty()) {
        out.result.error = "no picture to encode";
        return out;
    }

    if (const unsigned pieces = pieceCount(pictures.size(), threads, std::uint64_t(width) * height * 4); pieces > 1) {
        FilesEncoded split =
            EncodeInPieces(pictures, width, height, settings, durationMs, importer, progress, cancel, pieces);
        if (split.joined) {
            split.leftOut.insert(split.leftOut.begin(), out.leftOut.begin(), out.leftOut.end());
            return split;
        }
    }

    AnimationAssembler assembler(width, height, settings, cancel);
    if (!assembler.ok()) {
        out.result.error = assembler.errorText();
        return out;
    }
    FileImports imports(pictures, importer, threads);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        PictureRecord record;
        if (imports.take(i, record)) {
            const FramePixels pixels{record.pixels.get(), record.width, record.height,
                                     std::size_t(record.width) * 4, PixelOrder::Argb32};
            if (!assembler.add(pixels, durationMs)) {
                out.result.cancelled = assembler.cancelled();
                out.result.error = assembler.errorText();
                return out;
            }
        } else {
            out.leftOut.push_back(pictures[i]);
        }
        if (progress)
            progress(static_cast<int>(i) + 1, static_cast<int>(pictures.size()));
    }
    out.result.framesEncoded = assembler.framesAdded();
    out.result.bytes = assembler.finish();
    out.result.cancelled = assembler.cancelled();
    out.result.error = assembler.errorText();
    if (out.result.framesEncoded == 0 && out.result.error.empty())
        out.result.error = "no picture to encode";
    return out;
}

// A setting the encoder would refuse, named before any picture is imported.
Status checkSettings(const AnimationSettings& settings, int durationMs)
{
    const auto outside = [](int value, int low, int high) { return value < low || value > high; };
    const char* wrong = outside(settings.quality, 0, 100)          ? "quality"
                        : outside(settings.method, 0, 6)           ? "speed"
                        : outside(settings.filterStrength, 0, 100) ? "filter strength"
                        : outside(settings.filterSharpness, 0, 7)  ? "filter sharpness"
                        : outside(settings.loopCount, 0, 65535)    ? "loop count"
                        : outside(durationMs, 0, (1 << 24) - 1)    ? "frame duration"
                                                                   : nullptr;
    if (wrong)
        return problem(Failure::InvalidSetting, wrong);
    return {};
}

// The encoder's result as a status, and the file written when there is one.
Status writeResult(const AnimationResult& result, const std::string& target)
{
    if (result.cancelled)
        return problem(Failure::Cancelled);
    if (result.bytes.empty())
        return result.framesEncoded == 0 && result.error == "no picture to encode"
                   ? problem(Failure::NothingToEncode, "no picture in the list could be imported")
                   : problem(Failure::EncodeFailed, result.error);
    return writeFileAtomically(target, result.bytes.data(), result.bytes.size());
}

} // namespace

AnimationResult EncodeAnimationFiles(const std::vector<std::string>& files, const AnimationSettings& settings,
                                     int durationMs, const PictureImporter& importer, const PictureProber& prober,
                                     const AnimationProgress& progress, const std::atomic<bool>* cancel,
                                     unsigned threads)
{
    return encodeFiles(files, settings, durationMs, importer, prober, progress, cancel, threads).result;
}

Status EncodeAnimationFile(const std::vector<std::string>& files, const AnimationSettings& settings, int durationMs,
                           const std::string& target, const AnimationProgress& progress,
                           const std::atomic<bool>* cancel, const PictureProber& prober)
{
    return EncodeAnimationFile(files, settings, durationMs, target, progress, cancel,
                               DirectoryPictures{prober ? prober : PictureProber(ProbePictureFile), ImportPictureFile});
}

Status EncodeAnimationFile(const std::vector<std::string>& files, const AnimationSettings& settings, int durationMs,
                           const std::string& target, const AnimationProgress& progress,
                           const std::atomic<bool>* cancel, const DirectoryPictures& pictures)
{
    if (Status valid = checkSettings(settings, durationMs); !valid)
        return valid;
    const FilesEncoded encoded = encodeFiles(files, settings, durationMs, pictures.importer, pictures.prober,
                                             progress, cancel, 0);
    for (const std::string& path : encoded.leftOut)
        ReportLeftOut(path);
    return writeResult(encoded.result, target);
}

Status EncodeAnimationFile(std::shared_ptr<const std::uint8_t[]> file, std::uint64_t size,
                           const AnimationSettings& settings, const std::string& target,
                           const AnimationProgress& progress, const std::atomic<bool>* cancel)
{
    if (Status valid = checkSettings(settings, 0); !valid)
        return valid;
    if (!file || size == 0)
        return problem(Failure::NothingToEncode);
    // The file's own loop count; the encoder settings and the background are the settings'.
    AnimationSettings values = settings;
    AnimationResult result;
    if (WebPAnimationReader webp({file.get(), std::size_t(size)}); webp.ok()) {
        values.loopCount = webp.loopCount();
        result = EncodeAnimation(webp, values, progress, cancel);
    } else if (AnimationFileReader other(file, std::size_t(size)); other.ok()) {
        values.loopCount = other.loopCount();
        result = EncodeAnimation(other, values, progress, cancel);
    } else {
        return problem(Failure::NotAPicture, "not an animation");
    }
    return writeResult(result, target);
}

void ReportLeftOut(const std::string& path)
{
    printDiagnostic(path + ": not a picture that can be read; left out of the animation");
}

std::uint32_t packBackgroundColor(const std::array<std::uint32_t, 3>& rgb)
{
    return 0xFF000000u | ((rgb[0] >> 24) << 16) | ((rgb[1] >> 24) << 8) | (rgb[2] >> 24);
}

} // namespace quorvanta
