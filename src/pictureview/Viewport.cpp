#include "pictureview/Viewport.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace quorvanta {

namespace {

// The usual viewer's steps, each about a third or a half beyond the one before.
constexpr double kLadder[] = {1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4,
                              1.0 / 3,  1.0 / 2,  2.0 / 3,  1.0,      1.5,      2.0,      3.0,
                              4.0,      6.0,      8.0,      12.0,     16.0,     24.0,     32.0};
constexpr double kSameZoom = 1e-9;

int scaledLength(int length, double zoom)
{
    return static_cast<int>(std::clamp(std::llround(length * zoom), 1LL, 1LL << 30));
}

// round(a * b / c) for positive values, in 64 bits.
int mulDivRounded(std::int64_t a, std::int64_t b, std::int64_t c)
{
    return static_cast<int>((2 * a * b + c) / (2 * c));
}

} // namespace

double Viewport::zoomInStep(double zoom)
{
    for (double step : kLadder)
        if (step > zoom * (1 + kSameZoom))
            return step;
    return kMaxZoom;
}

double Viewport::zoomOutStep(double zoom)
{
    for (auto it = std::rbegin(kLadder); it != std::rend(kLadder); ++it)
        if (*it < zoom * (1 - kSameZoom))
            return *it;
    return std::min(zoom, kMinZoom);
}

QSize Viewport::fitted(QSize picture, QSize room, bool enlarge)
{
    if (picture.isEmpty())
        return picture;
    room = room.expandedTo(QSize(1, 1));
    const std::int64_t pw = picture.width(), ph = picture.height(), rw = room.width(), rh = room.height();
    if (!enlarge && pw <= rw && ph <= rh)
        return picture;
    // The side that meets the room first takes its length; the other follows the picture's shape.
    if (rw * ph <= rh * pw)
        return {static_cast<int>(rw), std::clamp(mulDivRounded(ph, rw, pw), 1, static_cast<int>(rh))};
    return {std::clamp(mulDivRounded(pw, rh, ph), 1, static_cast<int>(rw)), static_cast<int>(rh)};
}

void Viewport::setPicture(QSize pixels)
{
    if (pixels == pictureSize)
        return;
    pictureSize = pixels;
    offset = maxPan() / 2;
}

void Viewport::setArea(QSize devicePixels)
{
    // The middle of what is seen stays in the middle.
    const QPoint middle = QPoint(area.width(), area.height()) / 2 - pictureRect().topLeft();
    area = devicePixels;
    offset = middle - QPoint(area.width(), area.height()) / 2;
    clampPan();
}

void Viewport::setChoice(const ViewChoice& choice)
{
    chosen = choice;
    chosen.zoom = std::isfinite(choice.zoom) ? std::clamp(choice.zoom, kMinZoom, kMaxZoom) : 1.0;
    offset = maxPan() / 2;
}

void Viewport::zoomTo(double zoom, QPointF anchor)
{
    if (pictureSize.isEmpty())
        return;
    const QRect before = pictureRect();
    // The picture point under the anchor, in picture pixels.
    const QPointF point((anchor.x() - before.x()) * pictureSize.width() / before.width(),
                        (anchor.y() - before.y()) * pictureSize.height() / before.height());
    const double smallest = std::min(kMinZoom, fitZoom());
    chosen.scaling = Scaling::Zoom;
    chosen.zoom = std::isfinite(zoom) ? std::clamp(zoom, smallest, kMaxZoom) : 1.0;
    const QSize after = scaledSize();
    offset = QPoint(static_cast<int>(std::lround(point.x() * after.width() / pictureSize.width() - anchor.x())),
                    static_cast<int>(std::lround(point.y() * after.height() / pictureSize.height() - anchor.y())));
    clampPan();
}

void Viewport::panBy(QPoint delta)
{
    offset -= delta;
    clampPan();
}

void Viewport::setPan(QPoint place)
{
    offset = place;
    clampPan();
}

double Viewport::fitZoom() const
{
    if (pictureSize.isEmpty())
        return 1.0;
    return static_cast<double>(scaledSizeFor(Scaling::Fit).width()) / pictureSize.width();
}

double Viewport::zoom() const
{
    if (chosen.scaling == Scaling::Zoom)
        return chosen.zoom;
    if (pictureSize.isEmpty())
        return 1.0;
    return static_cast<double>(scaledSize().width()) / pictureSize.width();
}

QSize Viewport::scaledSize() const
{
    return scaledSizeFor(chosen.scaling);
}

QSize Viewport::scaledSizeFor(Scaling scaling) const
{
    if (pictureSize.isEmpty())
        return {0, 0};
    switch (scaling) {
    case Scaling::Fit: return fitted(pictureSize, area, chosen.enlargeSmall);
    case Scaling::Zoom:
        return {scaledLength(pictureSize.width(), chosen.zoom), scaledLength(pictureSize.height(), chosen.zoom)};
    case Scaling::Stretch: return area.expandedTo(QSize(1, 1));
    }
    return pictureSize;
}

QRect Viewport::pictureRect() const
{
    const QSize scaled = scaledSize();
    const int x = scaled.width() <= area.width() ? (area.width() - scaled.width()) / 2 : -offset.x();
    const int y = scaled.height() <= area.height() ? (area.height() - scaled.height()) / 2 : -offset.y();
    return {QPoint(x, y), scaled};
}

QPoint Viewport::maxPan() const
{
    const QSize scaled = scaledSize();
    return {std::max(0, scaled.width() - area.width()), std::max(0, scaled.height() - area.height())};
}

Sampling Viewport::sampling() const
{
    const QSize scaled = scaledSize();
    const bool enlargedPast200 = pictureSize.width() > 0 && pictureSize.height() > 0 &&
                                 scaled.width() > 2 * pictureSize.width() &&
                                 scaled.height() > 2 * pictureSize.height();
    return enlargedPast200 ? Sampling::Nearest : Sampling::Smooth;
}

void Viewport::clampPan()
{
    const QPoint most = maxPan();
    offset = QPoint(std::clamp(offset.x(), 0, most.x()), std::clamp(offset.y(), 0, most.y()));
}

} // namespace quorvanta
