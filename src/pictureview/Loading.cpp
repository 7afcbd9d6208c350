// Opening a file: a WebP still or animation is kept whole and shown, any other picture is imported.
// The file is read, sorted and decoded by a job off the GUI thread; what it made is put on show only
// when it is still the newest load, so opening another file drops the one in flight.

#include "pictureview/PictureView.h"

#include "core/DecodeBudget.h"
#include "core/FileBytes.h"
#include "core/Messages.h"
#include "import/ColourProfile.h"
#include "import/ImportPictureFile.h"
#include "import/Orientation.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/DisplayReduction.h"
#include "pictureview/Requesters.h"
#include "pictureview/SettingsSource.h"
#include "pictureview/UprightStill.h"
#include "import/AnimationPlayback.h"
#include "viewing/WebPAnimationPlayback.h"
#include "viewing/WebPFile.h"

#include <optional>

namespace quorvanta {

// Everything a load makes: it owns all of it, so the job shares nothing with the picture object.
struct LoadedFile {
    std::string path;
    std::optional<Problem> refused; // why the file can't be shown
    int kind = KindNotWebP;
    std::shared_ptr<const std::uint8_t[]> bytes; // a WebP file or an animation, kept whole
    std::uint64_t size = 0;
    std::unique_ptr<PlayableAnimation> animation;
    std::unique_ptr<StillPicture> still;
    PictureRecord imported;
    int scalePercent = 100;
    std::string reducedBecause; // the budget message of a picture shown reduced
    SourceMetadata metadata;    // of an imported picture, for its encoding
    bool turned = false;        // the imported picture was turned upright
    bool coloursManaged = false; // a WebP still was converted into the screen's colours
};

namespace {

bool stopped(const StopFlag& stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// A decoded WebP still in the screen's colours, when its file carries a profile that asks for it.
void manageStillColours(StillPicture& still, std::span<const std::uint8_t> file, const QColorSpace& screen)
{
    if (const auto transform = DisplayTransform(ReadWebPMetadata(file).icc, screen); transform && still.pixels)
        ConvertDisplayColours(still.pixels.data.get(), still.width, still.height, still.bytesPerRow, still.pixelFormat,
                              *transform);
}

// One read serves the classification and, for WebP and other animations, the file kept in memory.
// `upright`: the picture is turned as its EXIF orientation says. `screen`: the colour space pictures
// are drawn in; a WebP still is converted into it when `manageColours`.
LoadedFile readAndDecode(const std::string& path, const StopFlag& stop, bool upright, const QColorSpace& screen,
                         bool manageColours)
{
    LoadedFile out;
    out.path = path;
    const std::string name = displayName(path);
    FileBytes file = ReadWholeFile(path);
    if (!file.ok()) {
        out.refused = readProblem(file, path);
        return out;
    }
    if (stopped(stop)) {
        out.refused = problemWith(name, Failure::Cancelled);
        return out;
    }
    out.kind = ClassifyFile(file.bytes());
    out.size = file.size;
    out.bytes = std::shared_ptr<const std::uint8_t[]>(std::move(file.data));
    if (out.kind == KindAnimated || out.kind == KindNotWebP) {
        // An animated WebP from its frame table, any other animation (an animated GIF) through its
        // reader. One that can't be played as a whole (no frame, a frame off or larger than the canvas,
        // a canvas over the decode budget) is an unreadable file.
        auto opened = out.kind == KindAnimated ? WebPAnimationPlayback::open(out.bytes, out.size)
                                               : OpenAnimationPlayback(out.bytes, out.size);
        if (opened) {
            out.kind = KindAnimated;
            // Wrapped whenever its profile asks for a conversion: colour management can be turned on
            // while it plays.
            out.animation = ManageAnimationColours(std::move(opened).value(), {out.bytes.get(), std::size_t(out.size)},
                                                   screen);
            return out;
        }
        if (out.kind == KindAnimated || opened.problem().failure != Failure::NotAPicture) {
            out.refused = opened.problem();
            out.refused->subject = name;
            return out;
        }
    }
    if (out.kind == KindNotWebP) {
        ImportReport report;
        const std::span<const std::uint8_t> bytes(out.bytes.get(), static_cast<std::size_t>(out.size));
        if (ImportPictureBytes(bytes, out.imported, &report, kDefaultReducedArea, stop.get()) != 1)
            out.refused = stopped(stop)             ? problemWith(name, Failure::Cancelled)
                          : !report.message.empty() ? problemWith(name, Failure::OverBudget, report.message)
                                                    : problemWith(name, Failure::NotAPicture);
        else {
            out.metadata = ReadSourceMetadata(bytes);
            out.turned = upright && out.metadata.orientation != 1 &&
                         ApplyOrientation(out.imported, out.metadata.orientation);
        }
        out.bytes.reset();
        out.scalePercent = report.scalePercent;
        if (report.scalePercent < 100)
            out.reducedBecause = report.message;
        return out;
    }
    out.still = std::make_unique<StillPicture>(
        DecodeWebPStill({out.bytes.get(), static_cast<std::size_t>(out.size)}));
    const std::span<const std::uint8_t> webp(out.bytes.get(), static_cast<std::size_t>(out.size));
    if (upright)
        TurnStillUpright(*out.still, FileOrientation(webp));
    out.coloursManaged = manageColours;
    if (manageColours)
        manageStillColours(*out.still, webp, screen);
    if (!out.still->refusedBecause.empty())
        out.refused = problemWith(name, Failure::OverBudget, out.still->refusedBecause);
    out.scalePercent = out.still->scalePercent;
    if (out.still->scalePercent < 100)
        out.reducedBecause = CheckDecodeBudget(out.still->fullWidth, out.still->fullHeight, 4).message;
    return out;
}

} // namespace

void PictureView::openWebP()
{
    if (requesters &&
        requesters->RequestFile(QStringLiteral("Open WebP..."), false,
                                QStringLiteral("#?.(webp|iff|bmp|png|jpg|jpeg|tif|tiff|ilbm|gif|pcx|pnm|ppm|pgm|tga)"),
                                QStringLiteral("ram:")) == 1)
        send(MethodId::Load, requesters->pathBuffer());
}

void PictureView::cancelLoading()
{
    if (loadStop)
        loadStop->store(true);
    loadStop.reset();
    ++loadGeneration; // a result still on its way is dropped
    loadingBusy.reset();
}

void PictureView::load(const std::string& path)
{
    cancelLoading();
    const std::uint64_t generation = loadGeneration;
    loadStop = std::make_shared<std::atomic<bool>>(false);
    loadingBusy = std::make_unique<BusyPointer>();
    const bool upright = !settings || settings->applyOrientation();
    jobs.run<LoadedFile>(
        this,
        [path, stop = loadStop, upright, screen = screenColourSpace(), manage = manageColours] {
            return readAndDecode(path, stop, upright, screen, manage);
        },
        [this, generation](LoadedFile loaded) {
            if (generation != loadGeneration)
                return; // another file was opened meanwhile
            const BusyPointer busy;
            loadStop.reset();
            loadingBusy.reset();
            finishLoad(loaded);
        });
}

void PictureView::finishLoad(LoadedFile& loaded)
{
    const std::string& path = loaded.path;
    if (loaded.refused) {
        // What is on show, and encodable, stays as it was.
        printMessage(kCantReadFile);
        if (loaded.kind == KindAnimated || loaded.refused->failure == Failure::OverBudget)
            printDiagnostic(path + ": " + loaded.refused->text());
        Q_EMIT failed(*loaded.refused);
        return;
    }
    setPath(path);
    d.backgroundColor = 0xFFFFFFFF;
    reducedBecause = loaded.reducedBecause;
    if (loaded.kind == KindNotWebP) {
        d.importBuffer = std::move(loaded.imported);
        d.importStatus = 1;
        importMetadata = std::move(loaded.metadata);
        importTurned = loaded.turned;
        importSourceBytes = loaded.size;
        enterMode(Mode::Imported);
        send(MethodId::ShowImported);
        Q_EMIT scaleChanged(loaded.scalePercent);
        return;
    }
    animation = std::move(loaded.animation);
    if (auto* managed = dynamic_cast<ColourManagedAnimation*>(animation.get()))
        managed->setConverting(manageColours);
    d.fileData = loaded.bytes;
    d.fileSize = loaded.size;
    if (loaded.kind == KindStill) {
        // A still converted by a load started before colour management was turned on or off is
        // decoded again.
        if (loaded.coloursManaged == manageColours)
            decodedStill = std::move(loaded.still);
        enterMode(Mode::Still);
        send(MethodId::DecodeStill);
        Q_EMIT scaleChanged(loaded.scalePercent);
    } else {
        d.currentFrame = 1;
        enterMode(Mode::Animated);
        Q_EMIT currentFrameChanged(1);
        play();
        send(MethodId::ShowAnimFrame, 1);
        Q_EMIT scaleChanged(100);
    }
}

void PictureView::decodeStill()
{
    // The old picture's buffer is reused when the new one has the same size; otherwise it goes before
    // the new one is allocated, so that a large new picture finds the memory the old one had.
    DisplayBuffer old = std::move(d.pixels);
    d.pixels.reset();
    pictureChanged();
    // A load has decoded the picture already; a DecodeStill sent on its own decodes the file on show.
    const std::span<const std::uint8_t> file(d.fileData.get(), static_cast<std::size_t>(d.fileData ? d.fileSize : 0));
    const bool decodedByLoad = decodedStill != nullptr;
    StillPicture still = decodedByLoad ? std::move(*decodedStill) : DecodeWebPStill(file, &old);
    decodedStill.reset();
    if (!decodedByLoad && (!settings || settings->applyOrientation()))
        TurnStillUpright(still, FileOrientation(file));
    if (!decodedByLoad && manageColours)
        manageStillColours(still, file, screenColourSpace());
    if (!still.configured)
        return;
    d.width = still.width;
    d.height = still.height;
    d.pixelFormat = still.pixelFormat;
    d.bytesPerRow = still.bytesPerRow;
    d.pixels = std::move(still.pixels);
    // Rebuilt even when the decode failed: the drawn picture must never refer to the released buffer.
    pictureChanged();
}

void PictureView::showImported()
{
    const PictureRecord& record = d.importBuffer;
    d.pixelFormat = PixelFormat::ARGB;
    // The imported picture is the one full-size copy; a picture larger than can ever be drawn is
    // shown from a reduced one.
    if (const std::uint32_t factor = drawnReduction(record.width, record.height); factor > 1) {
        reduceRecordToDisplay(record, factor, d.pixels, d.width, d.height);
    } else {
        d.width = record.width;
        d.height = record.height;
        copyRecordToDisplay(record, d.pixels);
    }
    d.bytesPerRow = d.width * 4;
    convertShownColours(d.mode == Mode::Directory ? dirFrameIcc : importMetadata.icc);
    pictureChanged();
}

} // namespace quorvanta
