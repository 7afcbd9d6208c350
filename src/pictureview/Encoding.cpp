// Encoding what is on show: an imported picture into a WebP still, an image directory or an
// animation into an animated WebP. Each runs as a job, one at a time; the window hears how it went.

#include "pictureview/PictureView.h"

#include "core/Messages.h"
#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryShow.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/AtomicFile.h"
#include "encoding/StillWithMetadata.h"
#include "pictureview/Requesters.h"
#include "pictureview/SettingsSource.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>

namespace quorvanta {

namespace {

const QString kWebPPattern = QStringLiteral("#?.(webp)");

// How long a cancelled encoding may take to stop before the window stops waiting for it.
constexpr std::chrono::milliseconds kCancelGrace{300};

// The longest frame the container holds, in milliseconds (a 24-bit field).
constexpr int kLongestFrameMs = (1 << 24) - 1;

std::uint64_t fileSizeOf(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// What "Encode picture" writes besides the pixels, and what it is measured against.
struct StillExtras {
    SourceMetadata kept;          // the source's metadata that goes into the file
    std::uint64_t targetBytes = 0; // 0: no target size
    std::uint64_t sourceBytes = 0; // the source file's size; 0 when unknown
};

// ", quality 72.3 for a target of 80.0 KB", and ", larger than the source (60.0 KB)" when it is.
std::string stillNote(const StillExtras& extras, const std::optional<TargetWritten>& target, std::uint64_t bytes)
{
    std::string note = target ? targetNote(*target, extras.targetBytes) : std::string();
    if (extras.sourceBytes > 0 && bytes > extras.sourceBytes)
        note += (note.empty() ? "" : ", ") + std::string("larger than the source (") + sizeText(extras.sourceBytes) + ")";
    return note;
}

// The file the preview made, written as it is: no second encoding.
EncodeWork previewedWork(std::string target, std::vector<std::uint8_t> file, std::string note)
{
    return [target = std::move(target), file = std::move(file), note = std::move(note)](
               EncodeProgress&, const std::atomic<bool>& stop) -> Result<Saved> {
        if (stop)
            return problem(Failure::Cancelled);
        if (Status written = writeFileAtomically(target, file.data(), file.size()); !written)
            return written.problem();
        return Saved{target, file.size(), 0, {}, note};
    };
}

// The still encoder as the work of a job: the pixels are lent by the picture object for its length.
EncodeWork stillWork(std::string target, std::shared_ptr<PictureRecord> record, EncodeSettings values,
                     StillExtras extras)
{
    return [target = std::move(target), record = std::move(record), values,
            extras = std::move(extras)](EncodeProgress& progress, const std::atomic<bool>& stop) -> Result<Saved> {
        std::optional<TargetWritten> reached;
        if (extras.targetBytes > 0) {
            progress.percent(0);
            Result<TargetWritten> written =
                EncodeStillToTarget(target, *record, values, extras.kept, extras.targetBytes, &stop);
            if (!written)
                return written.problem();
            reached = written.value();
        } else {
            const ProgressReport report = [&progress](int percent) { progress.percent(percent); };
            if (Status encoded = EncodeStillWithMetadata(target, *record, values, extras.kept, &report, &stop); !encoded)
                return encoded.problem();
        }
        const std::uint64_t bytes = fileSizeOf(target);
        return Saved{target, bytes, 0, {}, stillNote(extras, reached, bytes)};
    };
}

// The animation settings in force: the encoder's, mixed, the loop count and the background colour.
AnimationSettings readAnimationSettings(const SettingsSource* settings)
{
    const std::array<std::uint32_t, 3> white{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    return makeAnimationSettings(readEncodeSettings(settings), settings && settings->mixed(),
                                 settings ? settings->loopCount() : 0,
                                 packBackgroundColor(settings ? settings->backgroundColor() : white));
}

// Encodes an animation into the target, with the progress in frames and the stop flag of its job.
using AnimationEncode = std::function<Status(const AnimationProgress& progress, const std::atomic<bool>* stop)>;

// An animation encoder as the work of a job; `firstProfile`, when given, reads the colour profile of
// the first source, which the file then carries.
EncodeWork animationWork(std::string target, AnimationEncode encode, std::function<SourceMetadata()> firstProfile)
{
    return [target = std::move(target), encode = std::move(encode), firstProfile = std::move(firstProfile)](
               EncodeProgress& progress, const std::atomic<bool>& stop) -> Result<Saved> {
        const AnimationProgress framesDone = [&progress](int done, int total) { progress.frames(done, total); };
        if (Status written = encode(framesDone, &stop); !written)
            return written.problem();
        if (Status profiled = firstProfile ? AddMetadataToFile(target, firstProfile()) : Status{}; !profiled)
            return profiled.problem();
        return Saved{target, fileSizeOf(target), 0, {}, {}};
    };
}

} // namespace

void PictureView::savePicture()
{
    if (requesters && requesters->RequestFile(QStringLiteral("Save picture as..."), true, kWebPPattern,
                                              QStringLiteral("ram:")) == 1)
        send(MethodId::EncodePicture, requesters->pathBuffer());
}

void PictureView::encodePicture(const std::string& path)
{
    // The settings in force now are the ones this encoding uses, whatever is changed while it runs.
    const EncodeSettings values = readEncodeSettings(settings);
    if (d.mode != Mode::Imported) {
        printMessage(kCantEncodeWebPSource);
        Q_EMIT failed(problem(Failure::NothingToEncode, d.path.empty()
                                                            ? "no picture is open"
                                                            : "a WebP picture is on show; open a picture of another format"));
        return;
    }
    // Encoding needs the whole picture: one shown reduced to fit the decode budget is refused.
    if (!reducedBecause.empty()) {
        printDiagnostic(reducedBecause);
        Q_EMIT failed(problem(Failure::OverBudget, reducedBecause));
        return;
    }
    if (d.importStatus != 1 || !d.importBuffer.pixels) {
        Q_EMIT failed(problem(Failure::NothingToEncode, "no picture was imported"));
        return;
    }
    const StillChoice choice = readStillChoice(settings);
    StillExtras extras{SelectMetadata(importMetadata, choice.keep, importTurned), choice.targetBytes, importSourceBytes};
    // The preview of these very settings is written as it is.
    if (const EncodedPreview* previewed = preview(); previewed && previewState.choice == choice) {
        const std::string note = stillNote(extras, previewed->target, previewed->file.size());
        runEncoding(path, false, previewedWork(path, previewed->file, note), {});
        return;
    }
    // The imported picture is lent to the encoder and comes back afterwards, so that it can be encoded
    // again with other settings; nothing reads it meanwhile (libwebp may change it in lossless mode).
    auto record = std::make_shared<PictureRecord>(std::exchange(d.importBuffer, PictureRecord{}));
    // A cancelled encoding may hand the picture back after another one was opened: it is then dropped.
    runEncoding(path, true, stillWork(path, record, values, std::move(extras)), [this, record, shown = d.path] {
        if (d.mode == Mode::Imported && d.path == shown && !d.importBuffer.pixels)
            d.importBuffer = std::move(*record);
    });
}

void PictureView::saveAnimation()
{
    const bool animationOnShow = d.mode == Mode::Animated && animation;
    if (!animationOnShow && !(d.mode == Mode::Directory && directory)) {
        Q_EMIT failed(problem(Failure::NothingToEncode, "no animation or image directory is open"));
        return;
    }
    if (!requesters ||
        requesters->RequestFile(QStringLiteral("Save animation as..."), true, kWebPPattern, QStringLiteral("ram:")) != 1)
        return;
    const std::string target = requesters->pathBuffer();
    // Every setting is taken now, once, for the whole encoding.
    const AnimationSettings values = readAnimationSettings(settings);
    const int durationMs = settings ? settings->frameDuration() : 1000;
    std::vector<std::string> files = animationOnShow ? std::vector<std::string>{} : directory->files();
    Status usable = CheckEncodeSettings(readEncodeSettings(settings));
    if (usable)
        usable = CheckSettingRange("loop count", values.loopCount, 0, 65535);
    if (usable && !animationOnShow)
        usable = CheckSettingRange("frame duration", durationMs, 1, kLongestFrameMs);
    if (usable && !animationOnShow && files.empty())
        usable = problem(Failure::NothingToEncode, displayName(d.path) + " holds no pictures");
    if (!usable) {
        printDiagnostic(usable.problem().text());
        Q_EMIT failed(usable.problem());
        return;
    }
    // The animation on show is encoded again from its file; a directory from its pictures. The file
    // keeps the colour profile of the first of them, unless no metadata is to be kept.
    const bool keepProfile = (settings ? settings->keepMetadata() : KeepMetadata::ColourProfile) != KeepMetadata::None;
    std::function<SourceMetadata()> firstProfile;
    if (keepProfile && animationOnShow)
        firstProfile = [file = d.fileData, size = d.fileSize] {
            SourceMetadata profile;
            profile.icc = ReadSourceMetadata({file.get(), static_cast<std::size_t>(size)}).icc;
            return profile;
        };
    else if (keepProfile)
        firstProfile = [first = files.front()] { return ReadColourProfile(first); };
    AnimationEncode encode;
    if (animationOnShow)
        encode = [file = d.fileData, size = d.fileSize, values, target](const AnimationProgress& progress,
                                                                       const std::atomic<bool>* stop) {
            return EncodeAnimationFile(file, size, values, target, progress, stop);
        };
    else
        encode = [files = std::move(files), pictures = directory->pictures(), values, durationMs,
                  target](const AnimationProgress& progress, const std::atomic<bool>* stop) {
            return EncodeAnimationFile(files, values, durationMs, target, progress, stop, pictures);
        };
    runEncoding(target, false, animationWork(target, std::move(encode), std::move(firstProfile)), {});
}

void PictureView::runEncoding(std::string target, bool holdsImport, EncodeWork work, std::function<void()> finished)
{
    auto run = std::make_unique<RunningEncode>();
    run->target = std::move(target);
    run->holdsImport = holdsImport;
    EncodeProgress::Sink sink;
    if (jobs.inlineJobs()) {
        // The event loop waits meanwhile: the busy pointer, and each step shown at once.
        run->busy.emplace();
        sink = [this](int percent) { Q_EMIT progressChanged(percent); };
    } else {
        // The worker leaves its progress where a timer of the GUI thread picks it up.
        sink = [percent = run->percent](int value) { percent->store(value); };
        run->poll = std::make_unique<QTimer>();
        run->poll->setInterval(50);
        connect(run->poll.get(), &QTimer::timeout, this, [this, percent = run->percent, last = 0]() mutable {
            if (const int now = percent->load(); now != last)
                Q_EMIT progressChanged(last = now);
        });
        run->poll->start();
    }
    const auto stop = run->stop;
    encodeRun = std::move(run);
    Q_EMIT progressChanged(0);
    Q_EMIT progressShown(true);
    jobs.run<Result<Saved>>(this, encodeJob(std::move(work), stop, std::move(sink)),
                            [this, finished = std::move(finished)](Result<Saved> result) {
                                if (finished)
                                    finished();
                                finishEncoding(std::move(result));
                            });
}

void PictureView::finishEncoding(Result<Saved> result)
{
    const std::string target = encodeRun ? encodeRun->target : std::string();
    const bool released = encodeRun && encodeRun->released;
    encodeRun.reset();
    // The window heard of the cancel already. Only an encoding that wrote its file before it saw the
    // stop flag has more to say.
    if (released && !result)
        return;
    Q_EMIT progressChanged(0);
    Q_EMIT progressShown(false);
    if (result) {
        Q_EMIT succeeded(QString::fromStdString(savedMessage(result.value())));
        return;
    }
    Problem reason = result.problem();
    if (reason.failure == Failure::Cancelled)
        reason.detail = "nothing was written to " + displayName(target);
    else
        printDiagnostic(reason.text());
    Q_EMIT failed(reason);
}

bool PictureView::encoding() const
{
    return encodeRun && !encodeRun->released;
}

void PictureView::cancelEncoding()
{
    if (!encoding())
        return;
    encodeRun->stop->store(true);
    if (jobs.inlineJobs())
        return;
    // libwebp looks at the stop flag only between the stages of an encoding, and one stage of a slow
    // lossless encoding can run for seconds: the window does not wait for it.
    QTimer::singleShot(kCancelGrace, this, [this, stop = encodeRun->stop] {
        if (encodeRun && encodeRun->stop == stop && !encodeRun->released)
            releaseEncoding();
    });
}

void PictureView::releaseEncoding()
{
    encodeRun->released = true;
    encodeRun->poll.reset();
    Q_EMIT progressChanged(0);
    Q_EMIT progressShown(false);
    Q_EMIT failed(problem(Failure::Cancelled, "nothing was written to " + displayName(encodeRun->target)));
}

bool PictureView::refusedWhileEncoding(MethodId id)
{
    if (!encodeRun)
        return false;
    // A cancelled encoding still ending on its worker holds only what it encodes.
    const bool released = encodeRun->released;
    switch (id) {
    case MethodId::OpenWebP:
    case MethodId::Load:
    case MethodId::OpenDirectory:
    case MethodId::LoadDirectory:
        if (released)
            return false; // the cancelled encoding's picture is then dropped when it comes back
        break;
    case MethodId::SavePicture:
    case MethodId::EncodePicture:
    case MethodId::SaveAnimation:
        break;
    case MethodId::ShowImported:
        if (encodeRun->holdsImport)
            break;
        return false;
    default:
        return false;
    }
    Q_EMIT failed(problem(Failure::Busy, released ? "the one cancelled is still stopping; try again in a moment"
                                                  : "wait for it to end, or cancel it"));
    return true;
}

} // namespace quorvanta
