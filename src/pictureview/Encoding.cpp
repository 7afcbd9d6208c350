// Encoding what is on show: an imported picture into a WebP still, an image directory or an
// animation into an animated WebP.

#include "pictureview/PictureView.h"

#include "core/Messages.h"
#include "core/ScopeExit.h"
#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryShow.h"
#include "encoding/EncodeStillWebP.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Requesters.h"
#include "pictureview/SettingsSource.h"

namespace quorvanta {

namespace {

const QString kWebPPattern = QStringLiteral("#?.(webp)");

// The animation settings in force: the encoder's, mixed, the loop count and the background colour.
AnimationSettings readAnimationSettings(const SettingsSource* settings)
{
    const std::array<std::uint32_t, 3> white{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    return makeAnimationSettings(readEncodeSettings(settings), settings && settings->mixed(),
                                 settings ? settings->loopCount() : 0,
                                 packBackgroundColor(settings ? settings->backgroundColor() : white));
}

} // namespace

// While an encoding runs: the busy pointer, and the progress shown from 0 until it ends.
class EncodingProgress {
public:
    explicit EncodingProgress(PictureView& view) : view(view)
    {
        Q_EMIT view.progressChanged(0);
        Q_EMIT view.progressShown(true);
    }
    ~EncodingProgress()
    {
        Q_EMIT view.progressChanged(0);
        Q_EMIT view.progressShown(false);
    }
    EncodingProgress(const EncodingProgress&) = delete;
    EncodingProgress& operator=(const EncodingProgress&) = delete;

    ProgressReport report() const
    {
        return [this](int percent) { Q_EMIT view.progressChanged(percent); };
    }
    // Frames done out of all of them, as a percentage.
    AnimationProgress frames() const
    {
        return [this](int done, int total) {
            Q_EMIT view.progressChanged(total > 0 ? static_cast<int>(std::int64_t{done} * 100 / total) : 0);
        };
    }

private:
    const BusyPointer busy;
    PictureView& view;
};

void PictureView::savePicture()
{
    if (requesters && requesters->RequestFile(QStringLiteral("Save picture as..."), true, kWebPPattern,
                                              QStringLiteral("ram:")) == 1)
        send(MethodId::EncodePicture, requesters->pathBuffer());
}

void PictureView::encodePicture(const std::string& path)
{
    const EncodeSettings values = readEncodeSettings(settings);
    if (d.mode != Mode::Imported) {
        printMessage(kCantEncodeWebPSource);
        return;
    }
    const EncodingProgress progress(*this);
    // The imported picture stays after the encoding, so it can be encoded again with other settings.
    if (d.importStatus != 1 || !d.importBuffer.pixels)
        return;
    const ProgressReport report = progress.report();
    if (EncodeStillWebP(path, d.importBuffer, values, nullptr, 0, &report) != 1)
        printDiagnostic("the picture could not be encoded into " + path);
}

void PictureView::saveAnimation()
{
    const AnimationSettings values = readAnimationSettings(settings);
    const int durationMs = settings ? settings->frameDuration() : 1000;
    const bool animationOnShow = d.mode == Mode::Animated && animation;
    if (!animationOnShow && !(d.mode == Mode::Directory && directory))
        return; // nothing on show is an animation
    if (!requesters ||
        requesters->RequestFile(QStringLiteral("Save animation as..."), true, kWebPPattern, QStringLiteral("ram:")) != 1)
        return;
    const std::string target = requesters->pathBuffer();
    const EncodingProgress progress(*this);
    // The animation on show is encoded again from its file; a directory from its pictures.
    const Status written =
        animationOnShow
            ? EncodeAnimationFile(d.fileData, d.fileSize, values, target, progress.frames())
            : EncodeAnimationFile(directory->files(), values, durationMs, target, progress.frames(), nullptr,
                                  directory->sizes());
    if (!written) {
        printDiagnostic("the animation could not be written to " + target + ": " + written.problem().text());
        Q_EMIT failed(written.problem());
    }
}

} // namespace quorvanta
