// The picture area: the picture drawn at the scaling chosen, scroll bars and dragging while it is
// larger than the area, the mouse wheel with Ctrl zooming about the pointer.

#include "pictureview/PictureView.h"

#include "pictureview/DisplayReduction.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>

#include <cmath>

namespace quorvanta {

namespace {

constexpr int kWheelStep = 120; // one notch of a wheel, in eighths of a degree
constexpr int kCheckerSquare = 8;

QSize toDevice(QSize logical, qreal ratio)
{
    return {static_cast<int>(std::lround(logical.width() * ratio)), static_cast<int>(std::lround(logical.height() * ratio))};
}

// Light and dark grey squares, in device pixels.
QBrush checkerboard(qreal ratio)
{
    const int square = std::max(1, static_cast<int>(std::lround(kCheckerSquare * ratio)));
    QImage tile(2 * square, 2 * square, QImage::Format_RGB32);
    tile.fill(QColor(204, 204, 204));
    QPainter painter(&tile);
    painter.fillRect(0, 0, square, square, QColor(153, 153, 153));
    painter.fillRect(square, square, square, square, QColor(153, 153, 153));
    return QBrush(tile);
}

} // namespace

void PictureView::setViewChoice(const ViewChoice& choice)
{
    viewport.setChoice(choice);
    layoutArea();
    update();
    viewMoved();
}

void PictureView::zoomIn()
{
    viewport.zoomAtCentre(Viewport::zoomInStep(viewport.zoom()));
    layoutArea();
    update();
    viewMoved();
}

void PictureView::zoomOut()
{
    viewport.zoomAtCentre(Viewport::zoomOutStep(viewport.zoom()));
    layoutArea();
    update();
    viewMoved();
}

void PictureView::layoutArea()
{
    const qreal ratio = devicePixelRatioF();
    areaLaidOutFor = size();
    ratioLaidOutFor = ratio;
    const int thickness = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // A bar takes room from the area, which may then call for the other bar too.
    bool acrossShown = false, downShown = false;
    for (int pass = 0; pass < 3; ++pass) {
        const QSize area(std::max(0, width() - (downShown ? thickness : 0)),
                         std::max(0, height() - (acrossShown ? thickness : 0)));
        viewport.setArea(toDevice(area, ratio));
        const QPoint most = viewport.maxPan();
        if ((most.x() > 0) == acrossShown && (most.y() > 0) == downShown)
            break;
        acrossShown = most.x() > 0;
        downShown = most.y() > 0;
    }
    const QSize area = viewport.areaSize();
    const QPoint most = viewport.maxPan();
    const QSignalBlocker quietAcross(across);
    const QSignalBlocker quietDown(down);
    across->setVisible(acrossShown);
    down->setVisible(downShown);
    across->setGeometry(0, height() - thickness, width() - (downShown ? thickness : 0), thickness);
    down->setGeometry(width() - thickness, 0, thickness, height() - (acrossShown ? thickness : 0));
    across->setRange(0, most.x());
    down->setRange(0, most.y());
    across->setPageStep(area.width());
    down->setPageStep(area.height());
    across->setSingleStep(static_cast<int>(20 * ratio));
    down->setSingleStep(static_cast<int>(20 * ratio));
    across->setValue(viewport.pan().x());
    down->setValue(viewport.pan().y());
    setCursor(viewport.pannable() ? (dragging ? Qt::ClosedHandCursor : Qt::OpenHandCursor) : Qt::ArrowCursor);
}

void PictureView::viewMoved()
{
    const double zoom = viewport.zoom();
    if (viewport.choice() == choiceTold && zoom == zoomTold)
        return;
    choiceTold = viewport.choice();
    zoomTold = zoom;
    Q_EMIT viewChanged(choiceTold, zoom);
}

void PictureView::drawPicture(QPainter& painter, const QImage& image)
{
    const qreal ratio = devicePixelRatioF();
    if (size() != areaLaidOutFor || ratio != ratioLaidOutFor)
        layoutArea(); // resized while hidden, or the screen's scale changed
    const QRect picture = viewport.pictureRect();
    const QRect visible = picture & QRect(QPoint(0, 0), viewport.areaSize());
    if (visible.isEmpty())
        return;
    // From here on in device pixels, so that nothing is scaled twice.
    painter.scale(1 / ratio, 1 / ratio);
    if (!drawnOpaque(d.pixelFormat)) {
        if (viewport.choice().checkerboard) {
            painter.setBrushOrigin(picture.topLeft());
            painter.fillRect(visible, checkerboard(ratio));
        } else {
            painter.fillRect(visible, QColor::fromRgba(d.backgroundColor));
        }
    }
    // A buffer holding fewer rows than the picture is drawn at the picture's scale, the rest left empty.
    // A picture too large to draw as it is comes as a copy reduced by a whole factor.
    const std::int64_t rowsHeld = std::int64_t{image.height()} * drawnReduction(d.width, d.height);
    const QRect drawn(picture.topLeft(),
                      QSize(picture.width(), static_cast<int>(std::min<std::int64_t>(
                                                 picture.height(), std::int64_t{picture.height()} * rowsHeld /
                                                                       std::max<std::uint32_t>(d.height, 1)))));
    const QRect part = visible & drawn;
    if (part.isEmpty())
        return;
    if (drawn.size() == image.size()) {
        scaled.release();
        painter.drawImage(part.topLeft(), image, part.translated(-drawn.topLeft()));
        return;
    }
    const QRect needed = part.translated(-drawn.topLeft());
    if (const QImage* piece = scaled.cover(image, generation, drawn.size(), viewport.sampling(), needed))
        painter.drawImage(part.topLeft(), *piece, needed.translated(-scaled.origin()));
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutArea();
    viewMoved();
}

void PictureView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        wheelAngle += event->angleDelta().y();
        const QPointF anchor = event->position() * devicePixelRatioF();
        for (; wheelAngle >= kWheelStep; wheelAngle -= kWheelStep)
            viewport.zoomTo(Viewport::zoomInStep(viewport.zoom()), anchor);
        for (; wheelAngle <= -kWheelStep; wheelAngle += kWheelStep)
            viewport.zoomTo(Viewport::zoomOutStep(viewport.zoom()), anchor);
    } else if (viewport.pannable()) {
        viewport.panBy(event->angleDelta() * devicePixelRatioF() / 2);
    } else {
        event->ignore();
        return;
    }
    layoutArea();
    update();
    viewMoved();
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !viewport.pannable()) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging = true;
    dragFrom = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    viewport.panBy((at - dragFrom) * devicePixelRatioF());
    dragFrom = at;
    layoutArea();
    update();
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    layoutArea();
}

} // namespace quorvanta
