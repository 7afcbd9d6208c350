#include "pictureview/PictureView.h"

#include "app/Requesters.h"
#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryState.h"
#include "encoding/ScopeExit.h"
#include "import/ImportPictureFile.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Messages.h"
#include "pictureview/SettingsSource.h"

#include <QProgressBar>

#include <algorithm>
#include <climits>

namespace quorvanta {

namespace {

const QString kDirectoryPattern = QStringLiteral("#?.(iff|bmp|png|jpg|jpeg|tif|tiff)");

DirectoryState::Imported importFile(const std::string& name)
{
    DirectoryState::Imported imported;
    imported.result = ImportPictureFile(name, imported.record);
    return imported;
}

} // namespace

void PictureView::openDirectory()
{
    if (!gui.requesters)
        return;
    if (gui.requesters->RequestDrawer(QStringLiteral("Open image directory ..."), true, kDirectoryPattern,
                                      QStringLiteral("ram:")) == 1)
        send(MethodId::LoadDirectory, gui.requesters->pathBuffer());
}

void PictureView::loadDirectory(const std::string& path)
{
    const BusyPointer busy;
    showPanel(gui.encodePicturePanel, false);
    showPanel(gui.encodeAnimationPanel, true);
    showPanel(gui.animationBar, true);
    d.path = path;
    directory.reset(); // waits for an import still running for the previous directory
    directory = std::make_unique<DirectoryState>();
    directory->listing = ListDirectory(path);
    d.frameCount = CountDirectoryFiles(directory->listing);
    setSliderMaximum(d.frameCount);
    d.mode = ModeDirectory;
    d.currentFrame = 1;
    setSliderValueQuietly(1);
    d.loopCount = 0;
    if (gui.settings) {
        const long long delay = static_cast<long long>(readFieldInteger(gui.settings->frameDurationText())) * 1000;
        d.frameDelay = static_cast<std::int32_t>(std::clamp<long long>(delay, INT_MIN, INT_MAX));
    }
    play();
    send(MethodId::ShowDirFrame, 1);
}

void PictureView::showDirFrame(std::int32_t frame)
{
    d.backgroundColor = 0xFFFFFFFF;
    std::string name;
    if (directory)
        GetDirectoryFileName(directory->listing, frame, name);
    d.importBuffer.releasePixels();

    int result = -1;
    if (directory && directory->ahead.valid()) {
        DirectoryState::Imported imported = directory->ahead.get();
        if (!name.empty() && directory->aheadName == name) {
            d.importBuffer = std::move(imported.record);
            result = imported.result;
            name.clear(); // already imported
        }
    }
    if (!name.empty())
        result = ImportPictureFile(name, d.importBuffer);
    if (result == 1)
        send(MethodId::ShowImported);

    // Import the frame that normally follows while this one is on show, so that its tick costs no decode.
    if (directory && d.frameCount > 1 && frame >= 1 && frame <= d.frameCount) {
        directory->aheadName.clear();
        GetDirectoryFileName(directory->listing, frame % d.frameCount + 1, directory->aheadName);
        directory->ahead = std::async(std::launch::async, importFile, directory->aheadName);
    }
}

void PictureView::saveAnimation()
{
    const int loops = gui.settings ? gui.settings->loopCount() : 0;
    const std::uint32_t background =
        packBackgroundColor(gui.settings ? gui.settings->backgroundColor()
                                         : std::array<std::uint32_t, 3>{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF});
    if (!gui.requesters || gui.requesters->RequestFile(QStringLiteral("Save animation as..."), true,
                                                       QStringLiteral("#?.(webp)"), QStringLiteral("ram:")) != 1)
        return;
    const std::string target = gui.requesters->pathBuffer();
    const BusyPointer busy;
    const MuxHandle mux = makeMux();
    setGauge(0);
    showPanel(gui.progressGauge, true);
    const ScopeExit hideGauge([this] {
        setGauge(0);
        showPanel(gui.progressGauge, false);
    });
    if (!mux)
        return;

    FrameSettings settings;
    settings.encode = readEncodeSettings(gui.settings);
    settings.durationMs = gui.settings ? gui.settings->frameDuration() : 1000;
    std::vector<std::string> files;
    if (directory) {
        files = directoryFiles(directory->listing);
        if (directory->listing.pathIsFile)
            files.push_back(directory->listing.directory); // a file given as the directory is its one frame
    }
    const ProgressReport report = [this](int percent) { setGauge(percent); };
    const EncodeOutcome outcome = EncodeDirectoryFrames(files, mux.get(), settings, ImportPictureFile, report);
    // Written when at least one frame made it, whatever happened to the last file.
    if (outcome.framesPushed < 1)
        return;
    if (!WriteAnimation(mux.get(), target, loops, background))
        printDiagnostic("the animation could not be written to " + target);
}

} // namespace quorvanta
