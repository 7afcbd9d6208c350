// Image directories: the pictures of a folder played one after another.

#include "pictureview/PictureView.h"

#include "encoding/AnimationEncoder.h"
#include "encoding/DirectoryShow.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Requesters.h"
#include "pictureview/SettingsSource.h"

#include <QPointer>

namespace quorvanta {

void PictureView::openDirectory()
{
    if (requesters &&
        requesters->RequestDrawer(QStringLiteral("Open image directory ..."), true,
                                  QStringLiteral("#?.(iff|bmp|png|jpg|jpeg|tif|tiff)"), QStringLiteral("ram:")) == 1)
        send(MethodId::LoadDirectory, requesters->pathBuffer());
}

void PictureView::loadDirectory(const std::string& path)
{
    const BusyPointer busy;
    cancelLoading(); // a file still loading would replace the directory when it arrives
    setPath(path);
    directory.reset(); // stops an import still running for the previous directory, and waits for it
    reducedBecause.clear();
    waitingDirFrame = 0;
    // With worker threads the pictures are imported in the background, and a frame still being
    // imported is shown when it arrives; inline, each frame is there when it is asked for.
    auto arrived = [view = QPointer<PictureView>(this)] {
        QMetaObject::invokeMethod(
            view, [view] { if (view) view->dirFrameArrived(); }, Qt::QueuedConnection);
    };
    // Pictures are turned upright as the setting says when the directory is opened, for the show and
    // its encoding alike.
    const bool upright = !settings || settings->applyOrientation();
    directory = jobs.inlineJobs()
                    ? std::make_unique<DirectoryShow>(path, DirectoryShow::Imports::Wait, nullptr, upright)
                    : std::make_unique<DirectoryShow>(path, DirectoryShow::Imports::Background, arrived, upright);
    setFrameCount(directory->frameCount());
    enterMode(Mode::Directory);
    d.currentFrame = 1;
    Q_EMIT currentFrameChanged(1);
    d.loopCount = 0;
    if (settings)
        d.frameDelay = millisecondsToDelay(readFieldInteger(settings->frameDurationText()));
    play();
    send(MethodId::ShowDirFrame, 1);
}

void PictureView::dirFrameArrived()
{
    if (waitingDirFrame != 0 && d.mode == Mode::Directory)
        send(MethodId::ShowDirFrame, waitingDirFrame);
}

void PictureView::showDirFrame(std::int32_t frame)
{
    // A picture still being imported never holds up a tick: the frame on show stays until it arrives.
    waitingDirFrame = 0;
    if (directory && !directory->frameReady(frame)) {
        waitingDirFrame = frame;
        return;
    }
    // Transparent parts show the background the written file will carry.
    d.backgroundColor = settings ? packBackgroundColor(settings->backgroundColor()) : 0xFFFFFFFF;
    d.importBuffer.releasePixels();
    if (!directory)
        return;
    const DirectoryShow::Shown shown = directory->showFrame(frame, d.importBuffer);
    // Files that failed to import have left the list: the slider follows, and playback goes on from
    // the frame shown in their place.
    if (shown.listChanged)
        setFrameCount(directory->frameCount());
    if (shown.frame != frame) {
        d.currentFrame = shown.frame;
        Q_EMIT currentFrameChanged(shown.frame);
    }
    dirFrameIcc = std::move(shown.icc);
    if (shown.result == 1)
        send(MethodId::ShowImported);
    // The frame that normally follows is imported while this one is on show, so that its tick costs
    // no decode.
    if (d.frameCount > 1 && shown.frame >= 1 && shown.frame <= d.frameCount)
        directory->importAhead(shown.frame % d.frameCount + 1);
}

} // namespace quorvanta
