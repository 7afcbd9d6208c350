// Opening a file: a WebP still or animation is kept whole and shown, any other picture is imported.

#include "pictureview/PictureView.h"

#include "core/FileBytes.h"
#include "core/Messages.h"
#include "import/ImportPictureFile.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Requesters.h"
#include "import/AnimationPlayback.h"
#include "viewing/WebPAnimationPlayback.h"
#include "viewing/WebPFile.h"

namespace quorvanta {

namespace {

// The animation in a file: an animated WebP from its frame table, any other through its reader (an
// animated GIF, say). Null for a still WebP; NotAPicture for a file that is no animation, to be
// imported as a picture.
Result<std::unique_ptr<PlayableAnimation>> openAnimation(int kind, const std::shared_ptr<const std::uint8_t[]>& bytes,
                                                         std::uint64_t size)
{
    if (kind == KindStill)
        return std::unique_ptr<PlayableAnimation>();
    if (kind == KindAnimated)
        return WebPAnimationPlayback::open(bytes, size);
    if (!bytes)
        return problem(Failure::NotAPicture);
    return OpenAnimationPlayback(bytes, size);
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

void PictureView::load(const std::string& path)
{
    const BusyPointer busy;
    // One read serves both the classification and, for WebP, the file kept in memory.
    FileBytes file = ReadWholeFile(path);
    const int kind = file.ok() ? ClassifyFile(file.bytes()) : KindNotWebP;
    std::shared_ptr<const std::uint8_t[]> bytes(std::move(file.data));
    // An animation that can't be played as a whole (no frame, a frame off or larger than the canvas,
    // a canvas over the decode budget) is an unreadable file: what is on show stays.
    auto opened = openAnimation(kind, bytes, file.size);

    if (!opened && opened.problem().failure == Failure::NotAPicture) {
        // Imported aside: a file that is not a picture leaves what is on show, and encodable, as it was.
        PictureRecord imported;
        ImportReport report;
        if (!file.ok() || ImportPictureBytes({bytes.get(), bytes ? file.size : 0}, imported, &report) != 1) {
            printMessage(kCantReadFile);
            Q_EMIT failed(!file.ok() ? readProblem(file, path)
                          : report.message.empty()
                              ? problemWith(displayName(path), Failure::NotAPicture)
                              : problemWith(displayName(path), Failure::OverBudget, report.message));
            return;
        }
        bytes.reset();
        setPath(path);
        d.backgroundColor = 0xFFFFFFFF;
        d.importBuffer = std::move(imported);
        d.importStatus = 1;
        enterMode(Mode::Imported);
        send(MethodId::ShowImported);
        return;
    }
    if (!opened) {
        printMessage(kCantReadFile);
        printDiagnostic(path + ": " + opened.problem().text());
        Problem reason = opened.problem();
        reason.subject = displayName(path);
        Q_EMIT failed(reason);
        return;
    }
    setPath(path);
    d.backgroundColor = 0xFFFFFFFF;
    animation = std::move(opened).value();
    d.fileData = bytes;
    d.fileSize = file.size;
    if (kind == KindStill) {
        enterMode(Mode::Still);
        send(MethodId::DecodeStill);
    } else {
        d.currentFrame = 1;
        enterMode(Mode::Animated);
        Q_EMIT currentFrameChanged(1);
        play();
        send(MethodId::ShowAnimFrame, 1);
    }
}

void PictureView::decodeStill()
{
    // The old picture's buffer is reused when the new one has the same size; otherwise it goes before
    // the new one is allocated, so that a large new picture finds the memory the old one had.
    DisplayBuffer old = std::move(d.pixels);
    d.pixels.reset();
    pictureChanged();
    StillPicture still =
        DecodeWebPStill({d.fileData.get(), static_cast<std::size_t>(d.fileData ? d.fileSize : 0)}, &old);
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
    d.width = record.width;
    d.height = record.height;
    d.pixelFormat = PixelFormat::ARGB;
    d.bytesPerRow = record.width * 4;
    copyRecordToDisplay(record, d.pixels);
    pictureChanged();
}

} // namespace quorvanta
