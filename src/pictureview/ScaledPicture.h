#pragma once
// The picture as scaled for the window, kept between paints: made again only for a new picture or
// frame, another scaled size or sampling, or (for a picture enlarged beyond what is worth holding
// whole) when the part seen leaves the part made. The memory is reused while the size stays.

#include "pictureview/Resample.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <cstdint>

namespace quorvanta {

class ScaledPicture {
public:
    // Scaled pictures up to this many pixels are made whole.
    static constexpr std::int64_t kWholeLimit = std::int64_t{4096} * 4096;

    // The part of `source` scaled to `scaledSize` that covers `needed` (a rectangle of the scaled
    // picture); origin() tells where it lies in the scaled picture. `generation` names the picture:
    // the same generation at the same size and sampling is not scaled again. Null when it can't be
    // made (no memory).
    const QImage* cover(const QImage& source, std::uint64_t generation, QSize scaledSize, Sampling sampling,
                        QRect needed);
    QPoint origin() const { return covered.topLeft(); }
    // How many times a picture was scaled (for tests and benchmarks).
    std::uint64_t scalings() const { return made; }
    void release();

private:
    QImage image;
    QImage converted; // the source in a layout the resampler reads, when it came in another one
    std::uint64_t convertedGeneration = 0;
    QRect covered;
    QSize size;
    Sampling sampledWith = Sampling::Smooth;
    std::uint64_t generationMade = 0;
    bool valid = false;
    std::uint64_t made = 0;
    Resampler resampler;
};

} // namespace quorvanta
