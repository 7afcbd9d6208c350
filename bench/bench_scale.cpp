// Scaling for the window: our resampler (area averaging when reducing, into a kept buffer) against
// Qt's own smooth scaling, and what a paint of a fitted picture costs the first time (the scaling)
// and after (a copy), against drawing it smoothly scaled on every paint.
//
//   bench_scale          result rows on stdout (pictures made in memory, no corpus needed)

#include "harness.h"
#include "pictures.h"

#include "pictureview/PictureView.h"
#include "pictureview/Resample.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

using namespace bench;
using namespace quorvanta;

namespace {

void scaling(QSize from, QSize to)
{
    const QImage source = noisyGradient(from.width(), from.height(), QImage::Format_ARGB32_Premultiplied, 7);
    QImage out(to, QImage::Format_ARGB32_Premultiplied);
    QImage reference;
    Resampler resampler;
    const PixelRows rows{reinterpret_cast<const std::uint32_t*>(source.constBits()), source.width(), source.height(),
                         source.bytesPerLine() / 4};
    const auto times = interleaved(
        {[&] {
             resampler.scale(rows, to.width(), to.height(), {0, 0, to.width(), to.height()}, Sampling::Smooth,
                             reinterpret_cast<std::uint32_t*>(out.bits()), out.bytesPerLine() / 4);
         },
         [&] { reference = source.scaled(to, Qt::IgnoreAspectRatio, Qt::SmoothTransformation); }},
        Budget{5, 15, 3000});
    Row row("scale: smooth", std::to_string(from.width()) + "x" + std::to_string(from.height()) + " to " +
                                 std::to_string(to.width()) + "x" + std::to_string(to.height()),
            median(times[0]), "QImage::scaled, SmoothTransformation", median(times[1]));
    row.note = "ours into a kept buffer, once per picture, frame or zoom";
    emit(row);
}

void paints(QSize from, QSize area)
{
    const QImage source = noisyGradient(from.width(), from.height(), QImage::Format_ARGB32_Premultiplied, 7);
    PictureView view;
    view.resize(area);
    // The view's picture comes from its display buffer: an imported picture of the same pixels.
    PictureRecord& record = const_cast<PictureRecord&>(view.state().importBuffer);
    record.pixels = allocZeroed<std::uint32_t>(std::uint64_t(from.width()) * from.height());
    record.size = std::uint64_t(from.width()) * from.height() * 4;
    record.width = std::uint32_t(from.width());
    record.height = std::uint32_t(from.height());
    std::memcpy(record.pixels.get(), source.constBits(), record.size);
    QImage target(area, QImage::Format_ARGB32_Premultiplied);
    const auto first = repeat([&] {
        view.send(MethodId::ShowImported);
        view.render(&target);
    }, Budget{5, 10, 3000});
    const auto again = repeat([&] { view.render(&target); }, Budget{5, 25, 1500});
    const QImage premultiplied = view.displayImage();
    const auto everyPaint = repeat([&] {
        QPainter painter(&target);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), view.view().pictureRect().size()), premultiplied);
    }, Budget{5, 25, 1500});
    const std::string label = std::to_string(from.width()) + "x" + std::to_string(from.height()) + " fitted into " +
                              std::to_string(area.width()) + "x" + std::to_string(area.height());
    Row repeated("paint: fitted, again", label, median(again), "drawImage smoothly scaled on every paint",
                 median(everyPaint));
    repeated.note = "the scaled picture is kept; " + std::to_string(view.scaledPicture().scalings()) +
                    " scalings for " + std::to_string(first.size() + 1 + again.size()) + " paints";
    emit(repeated);
    Row once("paint: fitted, new picture", label, median(first), "drawImage smoothly scaled on every paint",
             median(everyPaint));
    once.note = "ShowImported (conversion included) and the first paint, which scales";
    emit(once);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    scaling({8000, 6000}, {1000, 750});
    scaling({3840, 2160}, {1280, 720});
    scaling({1920, 1080}, {960, 540});
    scaling({640, 480}, {960, 720});
    paints({3840, 2160}, {1280, 1024});
    paints({1920, 1080}, {800, 600});
    return 0;
}
