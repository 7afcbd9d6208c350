#include "pictureview/PictureView.h"

#include "app/Requesters.h"
#include "encoding/EncodeStillWebP.h"
#include "encoding/ScopeExit.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/Messages.h"

#include <QProgressBar>

namespace quorvanta {

void PictureView::savePicture()
{
    if (!gui.requesters)
        return;
    if (gui.requesters->RequestFile(QStringLiteral("Save picture as..."), true, QStringLiteral("#?.(webp)"),
                                    QStringLiteral("ram:")) == 1)
        send(MethodId::EncodePicture, gui.requesters->pathBuffer());
}

void PictureView::encodePicture(const std::string& path)
{
    const EncodeSettings settings = readEncodeSettings(gui.settings);
    if (d.mode != ModeImported) {
        printMessage(kCantEncodeWebPSource);
        return;
    }
    const BusyPointer busy;
    setGauge(0);
    showPanel(gui.progressGauge, true);
    const ScopeExit hideGauge([this] {
        setGauge(0);
        showPanel(gui.progressGauge, false);
    });
    // The imported picture stays after the encoding, so it can be encoded again with other settings.
    if (d.importStatus != 1 || !d.importBuffer.pixels)
        return;
    const ProgressReport report = [this](int percent) { setGauge(percent); };
    if (EncodeStillWebP(path, d.importBuffer, settings, nullptr, 0, &report) != 1)
        printDiagnostic("the picture could not be encoded into " + path);
}

} // namespace quorvanta
