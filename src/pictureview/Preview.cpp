// The encoding preview in the picture object: turned on and off, started again when a setting
// changes, and its result taken on the GUI thread when it is still the newest.

#include "pictureview/PictureView.h"

#include "core/DecodeBudget.h"
#include "import/ColourProfile.h"
#include "pictureview/DisplayReduction.h"
#include "pictureview/SettingsSource.h"

namespace quorvanta {

void PictureView::setPreview(bool on)
{
    PreviewState& p = previewState;
    if (on == p.on)
        return;
    if (!on) {
        if (p.stop)
            p.stop->store(true);
        p.on = false;
        p.stop.reset();
        p.source.reset();
        p.result.reset();
        previewScaled.release();
        setMouseTracking(false);
        layoutArea(); // the pointer's shape as it was
        update();
        Q_EMIT previewSwitched(false);
        return;
    }
    std::optional<Problem> refused;
    if (d.mode != Mode::Imported || d.importStatus != 1)
        refused = problem(Failure::NothingToEncode, "open a picture of another format than WebP to preview its encoding");
    else if (!reducedBecause.empty())
        refused = problem(Failure::OverBudget, reducedBecause);
    else if (!d.importBuffer.pixels)
        refused = problem(Failure::Busy, "wait for the encoding to end, or cancel it");
    // The picture, the preview's own copy of it and the decoded preview all fit the budget, or none is made.
    else if (const BudgetCheck room = CheckDecodeBudget(d.importBuffer.width, d.importBuffer.height, 4, 3); !room)
        refused = problem(Failure::OverBudget, "the preview holds the picture three times: " + room.message);
    else if (PictureRecord copy = CopyPicture(d.importBuffer); copy.pixels)
        p.source = std::make_shared<const PictureRecord>(std::move(copy));
    else
        refused = problem(Failure::NoMemory, "no memory for the preview");
    if (refused) {
        Q_EMIT failed(*refused);
        Q_EMIT previewSwitched(false);
        return;
    }
    if (!p.followsLoads) {
        // What is previewed is the picture on show: another one ends the preview.
        p.followsLoads = true;
        connect(this, &PictureView::pathChanged, this, [this] { setPreview(false); });
        connect(this, &PictureView::modeChanged, this, [this] { setPreview(false); });
    }
    p.on = true;
    p.sourceFileBytes = importSourceBytes;
    p.reduction = drawnReduction(d.importBuffer.width, d.importBuffer.height);
    setMouseTracking(true);
    Q_EMIT previewSwitched(true);
    startPreview();
}

void PictureView::encodeSettingsChanged()
{
    // Every edit is told; only one that changes what the encoder makes starts the preview again.
    if (previewState.on && readStillChoice(settings) != previewState.choice)
        startPreview();
}

const EncodedPreview* PictureView::preview() const
{
    const PreviewState& p = previewState;
    return p.on && !p.stop && p.result ? &*p.result : nullptr;
}

void PictureView::startPreview()
{
    PreviewState& p = previewState;
    // The job in flight stops at the encoder's next report; its result is dropped when it comes.
    if (p.stop)
        p.stop->store(true);
    p.stop = std::make_shared<std::atomic<bool>>(false);
    p.choice = readStillChoice(settings);
    const std::uint64_t run = ++p.run;
    Q_EMIT previewTold(QStringLiteral("Encoding the preview..."));
    jobs.run<Result<EncodedPreview>>(
        this,
        [source = p.source, choice = p.choice, kept = SelectMetadata(importMetadata, p.choice.keep, importTurned),
         bytes = p.sourceFileBytes, reduction = p.reduction, stop = p.stop] {
            return MakeEncodedPreview(*source, choice, kept, bytes, reduction, stop.get());
        },
        [this, run](Result<EncodedPreview> result) { finishPreview(run, std::move(result)); });
}

void PictureView::finishPreview(std::uint64_t run, Result<EncodedPreview> result)
{
    PreviewState& p = previewState;
    if (!p.on || run != p.run)
        return; // turned off, or started again since
    p.stop.reset();
    if (!result) {
        // Nothing is drawn that the settings in force would not make.
        p.result.reset();
        update();
        Q_EMIT failed(result.problem());
        return;
    }
    p.result = std::move(result.value());
    // Drawn beside the picture in the same colours: converted as the picture on show is.
    if (manageColours && !p.result->image.isNull())
        if (const auto transform = DisplayTransform(importMetadata.icc, screenColourSpace()))
            p.result->image.applyColorTransform(*transform);
    ++p.shownGeneration;
    update();
    Q_EMIT previewTold(QString::fromStdString(previewText(*p.result, p.choice.targetBytes)));
}

const QImage* PictureView::previewImage() const
{
    const PreviewState& p = previewState;
    return p.on && p.result && !p.result->image.isNull() ? &p.result->image : nullptr;
}

} // namespace quorvanta
