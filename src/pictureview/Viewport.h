#pragma once
// Where the picture lies in the picture area: the scaling chosen (the whole picture fitted, a zoom,
// stretched to the area), the zoom in force, the part shown when the picture is larger than the
// area, and the sampling that suits the zoom. Sizes and places are in device pixels, so that at
// 100 % one picture pixel is one pixel of the screen whatever the scale factor.

#include "pictureview/Resample.h"

#include <QMetaType>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

namespace quorvanta {

enum class Scaling : int {
    Fit = 0,     // the whole picture in its shape, centred; not enlarged unless asked for
    Zoom = 1,    // a chosen zoom (1 is actual size), centred while it fits, panned when larger
    Stretch = 2, // stretched to the whole area in both directions
};

// What the user chose in the View menu.
struct ViewChoice {
    Scaling scaling = Scaling::Fit;
    double zoom = 1.0;          // in force while scaling is Zoom
    bool enlargeSmall = false;  // Fit enlarges pictures smaller than the area
    bool checkerboard = false;  // transparent parts over a checkerboard instead of the background colour
    bool operator==(const ViewChoice&) const = default;
};

class Viewport {
public:
    static constexpr double kMinZoom = 1.0 / 32;
    static constexpr double kMaxZoom = 32.0;

    // The zoom one step in or out on the ladder from `zoom`.
    static double zoomInStep(double zoom);
    static double zoomOutStep(double zoom);
    // The largest size of the picture's shape within `room`, never larger than the picture itself
    // unless `enlarge`; at least one pixel each way.
    static QSize fitted(QSize picture, QSize room, bool enlarge);

    // A picture of another size is centred anew; the same size (the next frame) keeps the place.
    void setPicture(QSize pixels);
    void setArea(QSize devicePixels);
    void setChoice(const ViewChoice& choice);
    // Zooms to `zoom` (within the ladder's ends) keeping the picture point under `anchor` (a place in
    // the area) where it is.
    void zoomTo(double zoom, QPointF anchor);
    void zoomAtCentre(double zoom) { zoomTo(zoom, QPointF(area.width() / 2.0, area.height() / 2.0)); }
    // Moves the picture by `delta` (dragging); it stops at its edges.
    void panBy(QPoint delta);
    // The part shown: the area's place in the scaled picture, within 0..maxPan().
    void setPan(QPoint offset);

    const ViewChoice& choice() const { return chosen; }
    QSize picture() const { return pictureSize; }
    QSize areaSize() const { return area; }
    // Device pixels per picture pixel (for Stretch, across).
    double zoom() const;
    // The picture at its zoom, and where it lies in the area (partly outside while panned).
    QSize scaledSize() const;
    QRect pictureRect() const;
    QPoint pan() const { return offset; }
    QPoint maxPan() const;
    bool pannable() const { return maxPan() != QPoint(0, 0); }
    // False when the picture is drawn pixel for pixel.
    bool scaled() const { return scaledSize() != pictureSize; }
    // Smooth when reducing and up to 200 %, nearest-neighbour above.
    Sampling sampling() const;

private:
    double fitZoom() const;
    QSize scaledSizeFor(Scaling scaling) const;
    void clampPan();

    ViewChoice chosen;
    QSize pictureSize{0, 0};
    QSize area{0, 0};
    QPoint offset{0, 0};
};

} // namespace quorvanta

Q_DECLARE_METATYPE(quorvanta::ViewChoice)
