// Colour management on display: pictures with a colour profile are converted into the screen's colour
// space as they are put on show (Loading.cpp), and shown again at once when the View menu turns it on
// or off. The pixels kept for encoding are never converted.

#include "pictureview/PictureView.h"

#include "import/ColourProfile.h"
#include "import/SourceMetadata.h"

#include <QWindow>

namespace quorvanta {

QColorSpace PictureView::screenColourSpace() const
{
    // Qt tells a colour space for a window whose surface was made for one; any other screen is sRGB.
    const QWindow* shownIn = window() ? window()->windowHandle() : nullptr;
    const QColorSpace space = shownIn ? shownIn->format().colorSpace() : QColorSpace();
    return space.isValid() ? space : QColorSpace(QColorSpace::SRgb);
}

void PictureView::convertShownColours(std::span<const std::uint8_t> icc)
{
    if (!manageColours || !d.pixels)
        return;
    if (const auto transform = DisplayTransform(icc, screenColourSpace()))
        ConvertDisplayColours(d.pixels.data.get(), d.width, d.height, d.bytesPerRow, d.pixelFormat, *transform);
}

void PictureView::setColourManaged(bool on)
{
    if (on == manageColours)
        return;
    manageColours = on;
    // The picture on show is put on show again from what it was made of, in the colours now asked for.
    switch (d.mode) {
    case Mode::Still:
        if (d.fileData &&
            DisplayTransform(ReadWebPMetadata({d.fileData.get(), std::size_t(d.fileSize)}).icc, screenColourSpace()))
            decodeStill();
        break;
    case Mode::Imported:
    case Mode::Directory:
        // An encoding of the imported picture has it until it ends; the choice applies from the next one.
        if (d.importBuffer.pixels && !encoding() &&
            DisplayTransform(d.mode == Mode::Directory ? dirFrameIcc : importMetadata.icc, screenColourSpace())) {
            showImported();
            if (previewOn())
                startPreview(); // its picture is drawn in the colours now asked for too
        }
        break;
    case Mode::Animated:
        if (FramesAhead* ahead = framesAhead(); ahead && ahead->changeAnimation([on](PlayableAnimation& shown) {
                auto* managed = dynamic_cast<ColourManagedAnimation*>(&shown);
                if (managed)
                    managed->setConverting(on);
                return managed != nullptr;
            }))
            showAnimFrame(d.currentFrame);
        break;
    }
}

} // namespace quorvanta
