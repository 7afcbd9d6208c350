#include "pictureview/PictureView.h"

#include "app/Requesters.h"
#include "import/ImportPictureFile.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Messages.h"
#include "viewing/AnimationState.h"
#include "viewing/WebPFile.h"

namespace quorvanta {

void PictureView::openWebP()
{
    if (!gui.requesters)
        return;
    const int chosen = gui.requesters->RequestFile(
        QStringLiteral("Open WebP..."), false,
        QStringLiteral("#?.(webp|iff|bmp|png|jpg|jpeg|tif|tiff|ilbm|gif|pcx|pnm|ppm|pgm|tga)"),
        QStringLiteral("ram:"));
    if (chosen == 1)
        send(MethodId::Load, gui.requesters->pathBuffer());
}

void PictureView::load(const std::string& path)
{
    const BusyPointer busy;

    // One read serves both the classification and, for WebP, the file kept in memory.
    FileBytes file = ReadWholeFile(path);
    const int kind = file.ok() ? ClassifyFile(file.bytes()) : KindNotWebP;

    // An animation that can't be played as a whole (no frame, a frame off or larger than the canvas,
    // a canvas over the decode budget) is an unreadable file: what is on show stays.
    std::unique_ptr<AnimationState> opened;
    if (kind == KindAnimated) {
        std::string refusal;
        opened = AnimationState::open(file.data.get(), file.size, &refusal);
        if (!opened) {
            printMessage(kCantReadFile);
            printDiagnostic(path + ": " + (refusal.empty() ? std::string("not a playable animation") : refusal));
            return;
        }
    }

    d.path = path;
    d.backgroundColor = 0xFFFFFFFF;
    if (kind == KindStill || kind == KindAnimated) {
        // The frames of the old file point into its bytes: they go first, then the bytes.
        animation.reset();
        d.fileData.reset();
        d.fileData = std::move(file.data);
        d.fileSize = file.size;
        animation = std::move(opened); // its frames point into the bytes just kept
    }

    if (kind == KindStill) {
        d.mode = ModeStill;
        send(MethodId::DecodeStill);
        showPanel(gui.encodePicturePanel, false);
        showPanel(gui.encodeAnimationPanel, false);
        showPanel(gui.animationBar, false);
    } else if (kind == KindAnimated) {
        d.currentFrame = 1;
        d.mode = ModeAnimated;
        setSliderValueQuietly(1);
        play();
        send(MethodId::ShowAnimFrame, 1);
        showPanel(gui.encodePicturePanel, false);
        showPanel(gui.encodeAnimationPanel, false);
        showPanel(gui.animationBar, true);
    } else {
        d.mode = ModeImported;
        if (d.importBuffer.size != 0) {
            d.importBuffer.releasePixels();
            d.importStatus = 0; // nothing left that could be encoded
        }
        // The import works on the bytes already read; a path that could not be read at all (missing, a
        // directory, a device, a file that changed) has nothing to import.
        const int imported = file.ok() ? ImportPictureBytes(file.bytes(), d.importBuffer) : -1;
        file.data.reset();
        if (imported == 1) {
            send(MethodId::ShowImported);
            showPanel(gui.encodePicturePanel, true);
            showPanel(gui.encodeAnimationPanel, false);
            showPanel(gui.animationBar, false);
            d.importStatus = 1;
        } else {
            d.importBuffer.releasePixels(); // whatever a failed import left behind
            printMessage(kCantReadFile);
        }
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
    d.pixels.reset();
    d.pixels.data = std::move(still.pixels);
    d.pixels.size = still.size;
    // Rebuilt even when the decode failed: the drawn picture must never refer to the released buffer.
    pictureChanged();
}

} // namespace quorvanta
