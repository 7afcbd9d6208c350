// Encoding what is on show: an imported picture into a WebP still, an image directory into an
// animated WebP.

#include "pictureview/PictureView.h"

#include "core/Messages.h"
#include "core/ScopeExit.h"
#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryShow.h"
#include "encoding/EncodeStillWebP.h"
#include "import/ImportPictureFile.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Requesters.h"
#include "pictureview/SettingsSource.h"

namespace quorvanta {

namespace {

const QString kWebPPattern = QStringLiteral("#?.(webp)");

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
    // Encoding needs the whole picture: one shown reduced to fit the decode budget is refused.
    if (!reducedBecause.empty()) {
        printDiagnostic(reducedBecause);
        Q_EMIT failed(problem(Failure::OverBudget, reducedBecause));
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
    const int loops = settings ? settings->loopCount() : 0;
    const std::uint32_t background =
        packBackgroundColor(settings ? settings->backgroundColor()
                                     : std::array<std::uint32_t, 3>{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF});
    if (!requesters ||
        requesters->RequestFile(QStringLiteral("Save animation as..."), true, kWebPPattern, QStringLiteral("ram:")) != 1)
        return;
    const std::string target = requesters->pathBuffer();
    const MuxHandle mux = makeMux();
    const EncodingProgress progress(*this);
    if (!mux)
        return;

    FrameSettings frameSettings;
    frameSettings.encode = readEncodeSettings(settings);
    frameSettings.durationMs = settings ? settings->frameDuration() : 1000;
    const std::vector<std::string> files = directory ? directory->files() : std::vector<std::string>{};
    const EncodeOutcome outcome =
        EncodeDirectoryFrames(files, mux.get(), frameSettings, ImportPictureFile, progress.report());
    // Written when at least one frame made it, whatever happened to the last file.
    if (outcome.framesPushed < 1)
        return;
    if (!WriteAnimation(mux.get(), target, loops, background))
        printDiagnostic("the animation could not be written to " + target);
}

} // namespace quorvanta
