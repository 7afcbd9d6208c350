// Colour management on display: converting a picture's display buffer from Display P3 into sRGB, as a
// picture with that profile costs when it is put on show (once per picture, once per frame), against
// Qt converting a QImage of the same size in place, and against the copy of the picture into the
// display buffer that every install makes anyway.
//
//   bench_colour         result rows on stdout (pictures made in memory, no corpus needed)

#include "harness.h"
#include "pictures.h"

#include "core/DisplayBuffer.h"
#include "import/ColourProfile.h"

#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>

using namespace bench;
using namespace quorvanta;

namespace {

void conversion(int width, int height)
{
    const QImage source = noisyGradient(width, height, QImage::Format_ARGB32, 3);
    PictureRecord record;
    record.width = std::uint32_t(width);
    record.height = std::uint32_t(height);
    record.size = std::uint64_t(width) * std::uint64_t(height) * 4;
    record.pixels = allocZeroed<std::uint32_t>(record.size / 4);
    std::memcpy(record.pixels.get(), source.constBits(), record.size);
    DisplayBuffer buffer;
    copyRecordToDisplay(record, buffer);

    const QByteArray icc = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    const auto transform = DisplayTransform({reinterpret_cast<const std::uint8_t*>(icc.constData()),
                                             std::size_t(icc.size())},
                                            QColorSpace(QColorSpace::SRgb));
    QImage byQt = source;
    byQt.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const auto times = interleaved(
        {[&] {
             ConvertDisplayColours(buffer.data.get(), record.width, record.height, record.width * 4, PixelFormat::ARGB,
                                   *transform);
         },
         [&] {
             byQt.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
             byQt.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
         },
         [&] { copyRecordToDisplay(record, buffer); }},
        Budget{5, 15, 3000});
    const std::string label = std::to_string(width) + "x" + std::to_string(height) + " Display P3 to sRGB";
    Row row("colour: display conversion", label, median(times[0]), "QImage::convertToColorSpace in place",
            median(times[1]));
    row.note = "once per picture or frame; the install's copy into the display buffer takes " +
               formatNumber(median(times[2])) + " ms";
    emit(row);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    conversion(1920, 1080);
    conversion(3840, 2160);
    return 0;
}
