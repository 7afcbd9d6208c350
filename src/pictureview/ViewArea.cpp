// The picture area: the picture drawn at the scaling chosen, scroll bars and dragging while it is
// larger than the area, the mouse wheel with Ctrl zooming about the pointer.

#include "pictureview/PictureView.h"

#include "pictureview/DisplayReduction.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace quorvanta {

namespace {

constexpr int kWheelStep = 120; // one notch of a wheel, in eighths of a degree
constexpr int kCheckerSquare = 8;
constexpr int kDividerGrab = 6; // how near the divider a press takes it, in logical pixels

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
    const QImage* after = previewImage();
    if (!after) {
        drawScaled(painter, image, scaled, generation, drawn, part);
        return;
    }
    // The picture left of the divider, its preview right of it, both through the same place and scale.
    const int split = dividerAt();
    if (const QRect left = part & QRect(QPoint(0, 0), QPoint(split - 1, part.bottom())); !left.isEmpty())
        drawScaled(painter, image, scaled, generation, drawn, left);
    if (const QRect right = part & QRect(QPoint(split, 0), QPoint(part.right(), part.bottom())); !right.isEmpty())
        drawScaled(painter, *after, previewScaled, previewState.shownGeneration, drawn, right);
    drawDivider(painter, split);
}

void PictureView::drawScaled(QPainter& painter, const QImage& image, ScaledPicture& cache,
                             std::uint64_t imageGeneration, const QRect& drawn, const QRect& part)
{
    if (drawn.size() == image.size()) {
        cache.release();
        painter.drawImage(part.topLeft(), image, part.translated(-drawn.topLeft()));
        return;
    }
    // Reduced by less than half, each pixel drawn takes from at most two in a row or column: the
    // painter's own smooth drawing gives it at once, with no scaled copy to make or hold (a fitted 4K
    // picture would need a second one nearly as large).
    if (viewport.sampling() == Sampling::Smooth && drawn.width() <= image.width() &&
        drawn.height() <= image.height() && 2 * drawn.width() >= image.width() && 2 * drawn.height() >= image.height()) {
        cache.release();
        const double sx = double(image.width()) / drawn.width(), sy = double(image.height()) / drawn.height();
        const QRectF from((part.x() - drawn.x()) * sx, (part.y() - drawn.y()) * sy, part.width() * sx,
                          part.height() * sy);
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(part), image, from);
        painter.restore();
        return;
    }
    const QRect needed = part.translated(-drawn.topLeft());
    if (const QImage* piece = cache.cover(image, imageGeneration, drawn.size(), viewport.sampling(), needed))
        painter.drawImage(part.topLeft(), *piece, needed.translated(-cache.origin()));
}

int PictureView::dividerAt() const
{
    return static_cast<int>(std::lround(viewport.areaSize().width() * previewState.divider));
}

bool PictureView::nearDivider(QPointF logical) const
{
    return previewImage() && std::abs(logical.x() * devicePixelRatioF() - dividerAt()) <= kDividerGrab * devicePixelRatioF();
}

void PictureView::drawDivider(QPainter& painter, int atDevice)
{
    // In logical pixels, so that the line and the labels keep their size on a scaled screen.
    painter.resetTransform();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const qreal ratio = devicePixelRatioF();
    const int x = static_cast<int>(std::lround(atDevice / ratio));
    const int bottom = static_cast<int>(std::lround(viewport.areaSize().height() / ratio));
    painter.fillRect(QRect(x - 2, 0, 4, bottom), QColor(0, 0, 0, 110));
    painter.fillRect(QRect(x - 1, 0, 2, bottom), Qt::white);
    const QFontMetrics metrics(font());
    auto label = [&](const QString& text, bool leftOfDivider) {
        const QRect box = metrics.boundingRect(text).adjusted(-5, -2, 5, 2);
        const QPoint at(leftOfDivider ? x - 8 - box.width() : x + 8, 8);
        const QRect placed(at, box.size());
        painter.fillRect(placed, QColor(0, 0, 0, 150));
        painter.setPen(Qt::white);
        painter.drawText(placed, Qt::AlignCenter, text);
    };
    label(QStringLiteral("Source"), true);
    label(QStringLiteral("Preview"), false);
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
    if (event->button() == Qt::LeftButton && nearDivider(event->position())) {
        previewState.draggingDivider = true;
        return;
    }
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
    if (previewState.draggingDivider) {
        const int area = std::max(1, viewport.areaSize().width());
        previewState.divider = std::clamp(event->position().x() * devicePixelRatioF() / area, 0.0, 1.0);
        update();
        return;
    }
    if (!dragging) {
        // Over the divider the pointer says it can be moved.
        if (previewImage())
            setCursor(nearDivider(event->position()) ? Qt::SplitHCursor
                      : viewport.pannable()          ? Qt::OpenHandCursor
                                                     : Qt::ArrowCursor);
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
    if (previewState.draggingDivider && event->button() == Qt::LeftButton) {
        previewState.draggingDivider = false;
        return;
    }
    if (!dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging = false;
    layoutArea();
}

} // namespace quorvanta
