#include "pictureview/ScaledPicture.h"

namespace quorvanta {

const QImage* ScaledPicture::cover(const QImage& source, std::uint64_t generation, QSize scaledSize,
                                   Sampling sampling, QRect needed)
{
    const QRect whole(QPoint(0, 0), scaledSize);
    needed &= whole;
    if (valid && generation == generationMade && scaledSize == size && sampling == sampledWith &&
        covered.contains(needed))
        return &image;

    const QImage* from = &source;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32_Premultiplied) {
        if (converted.isNull() || convertedGeneration != generation) {
            converted = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            convertedGeneration = generation;
        }
        from = &converted;
    }
    // Whole when that is not too much to hold; otherwise what is seen and half as much again on each
    // side, so that a little panning needs no new scaling.
    if (std::int64_t{scaledSize.width()} * scaledSize.height() <= kWholeLimit)
        covered = whole;
    else
        covered = needed.adjusted(-needed.width() / 2, -needed.height() / 2, needed.width() / 2, needed.height() / 2) &
                  whole;
    valid = false;
    if (sampling == Sampling::Smooth && covered == whole && scaledSize.width() <= from->width() &&
        scaledSize.height() <= from->height()) {
        // A whole picture reduced smoothly is left to Qt, whose area averaging gives the same picture
        // in a third of the time (vector code, and both cores for a large one): a 4K picture's first
        // paint waits on it.
        image = from->scaled(scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (image.isNull())
            return nullptr;
    } else {
        if (image.size() != covered.size() || image.format() != from->format())
            image = QImage(covered.size(), from->format());
        if (image.isNull() || from->isNull())
            return nullptr;
        const PixelRows rows{reinterpret_cast<const std::uint32_t*>(from->constBits()), from->width(),
                             from->height(), from->bytesPerLine() / 4};
        if (!resampler.scale(rows, scaledSize.width(), scaledSize.height(),
                             {covered.x(), covered.y(), covered.width(), covered.height()}, sampling,
                             reinterpret_cast<std::uint32_t*>(image.bits()), image.bytesPerLine() / 4))
            return nullptr;
    }
    valid = true;
    generationMade = generation;
    size = scaledSize;
    sampledWith = sampling;
    ++made;
    return &image;
}

void ScaledPicture::release()
{
    image = QImage();
    converted = QImage();
    valid = false;
}

} // namespace quorvanta
