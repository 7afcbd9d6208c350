#include "pictureview/PictureView.h"

#include "core/PlayableAnimation.h"
#include "encoding/DirectoryShow.h"
#include "pictureview/BusyPointer.h"
#include "pictureview/DisplayReduction.h"
#include "viewing/AnimationState.h"
#include "viewing/NativePixels.h"
#include "viewing/WebPFile.h"

#include <QHideEvent>
#include <QPainter>
#include <QScrollBar>
#include <QShowEvent>

#include <QMetaMethod>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quorvanta {

namespace {

std::uint32_t sizeOrDefault(std::int64_t requested, std::int64_t maximum)
{
    return requested >= 1 && requested <= maximum ? static_cast<std::uint32_t>(requested)
                                                  : PictureView::kDefaultSize;
}

// A,R,G,B bytes into Qt's premultiplied 32-bit pixels (the layout of native words).
void premultiplyArgbBytes(const std::uint8_t* in, QRgb* out, std::uint32_t width)
{
    premultiplyToNative(in, out, width);
}

// R,G,B bytes into Qt's opaque 32-bit pixels, which scaled drawing takes without converting them.
void packRgbBytes(const std::uint8_t* in, QRgb* out, std::uint32_t width)
{
    for (std::uint32_t x = 0; x < width; ++x)
        out[x] = 0xFF000000u | (std::uint32_t{in[3 * x]} << 16) | (std::uint32_t{in[3 * x + 1]} << 8) | in[3 * x + 2];
}

} // namespace

Controls controlsFor(Mode mode)
{
    switch (mode) {
    case Mode::Imported: return {true, false, false};
    case Mode::Still: return {false, false, false};
    case Mode::Animated: return {false, true, true};
    case Mode::Directory: return {false, true, true};
    }
    return {};
}

PictureView::PictureView(std::int64_t requestedWidth, std::int64_t requestedHeight, QWidget* parent)
    : QWidget(parent)
{
    qRegisterMetaType<Mode>();
    qRegisterMetaType<Problem>();
    qRegisterMetaType<PictureInfo>();
    qRegisterMetaType<ViewChoice>();
    d.width = sizeOrDefault(requestedWidth, kMaxWidth);
    d.height = sizeOrDefault(requestedHeight, kMaxHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    across = new QScrollBar(Qt::Horizontal, this);
    down = new QScrollBar(Qt::Vertical, this);
    across->hide();
    down->hide();
    const auto scrolled = [this] {
        viewport.setPan(QPoint(across->value(), down->value()));
        update();
    };
    connect(across, &QScrollBar::valueChanged, this, scrolled);
    connect(down, &QScrollBar::valueChanged, this, scrolled);
}

PictureView::~PictureView()
{
    // An encoding still running stops at its next report; its result is not taken.
    cancelEncoding();
    cancelLoading();
}

void PictureView::dispatch(const Message& message)
{
    Q_EMIT methodReceived(message.id, message.value, QString::fromStdString(message.text));
    if (refusedWhileEncoding(message.id))
        return;
    switch (message.id) {
    case MethodId::New:
    case MethodId::Dispose:
    case MethodId::Set:
    case MethodId::Get:
    case MethodId::AskMinMax:
        // Creation, disposal, attributes and layout are the constructor, destructor and size hints.
        break;
    case MethodId::Draw:
        update();
        break;
    case MethodId::Setup: setup(); break;
    case MethodId::Cleanup: cleanup(); break;
    case MethodId::DecodeStill: decodeStill(); break;
    case MethodId::OpenWebP: openWebP(); break;
    case MethodId::Tick: tick(); break;
    case MethodId::ShowAnimFrame: showAnimFrame(message.value); break;
    case MethodId::Load: load(message.text); break;
    case MethodId::SavePicture: savePicture(); break;
    case MethodId::OpenDirectory: openDirectory(); break;
    case MethodId::SaveAnimation: saveAnimation(); break;
    case MethodId::ShowImported: showImported(); break;
    case MethodId::Pause: pause(); break;
    case MethodId::Play: play(); break;
    case MethodId::GotoFrame: gotoFrame(message.value); break;
    case MethodId::ShowDirFrame: showDirFrame(message.value); break;
    case MethodId::SetDelay: setDelay(message.text); break;
    case MethodId::LoadDirectory: loadDirectory(message.text); break;
    case MethodId::EncodePicture: encodePicture(message.text); break;
    }
}

void PictureView::enterMode(Mode mode)
{
    d.mode = mode;
    Q_EMIT modeChanged(mode);
}

void PictureView::setPath(const std::string& path)
{
    d.path = path;
    Q_EMIT pathChanged(path);
}

void PictureView::setFrameCount(std::int32_t frames)
{
    d.frameCount = frames;
    Q_EMIT frameCountChanged(frames);
}

void PictureView::pictureChanged()
{
    // A picture of another size asks the window for a new layout.
    if (sizeHint() != laidOutSize) {
        laidOutSize = sizeHint();
        updateGeometry();
    }
    shownImageStale = true;
    ++generation;
    const QSize pictureSize(static_cast<int>(std::min<std::uint32_t>(d.width, 0x7FFFFFFF)),
                            static_cast<int>(std::min<std::uint32_t>(d.height, 0x7FFFFFFF)));
    if (pictureSize != viewport.picture()) {
        viewport.setPicture(pictureSize);
        layoutArea();
    }
    update();
    if (d.pixels && isSignalConnected(QMetaMethod::fromSignal(&PictureView::pictureShown)))
        Q_EMIT pictureShown(describeShown());
    viewMoved();
}

const QImage& PictureView::displayImage() const
{
    if (!shownImageStale)
        return shownImage;
    shownImageStale = false;
    const std::uint32_t bytesPerPixel = d.pixelFormat == PixelFormat::RGB ? 3 : 4;
    const auto rowBytes = checkedMul(d.width, bytesPerPixel);
    // Never read beyond the buffer: draw only the rows it really holds.
    const std::uint64_t rowsHeld = d.pixels && rowBytes && d.pixels.size >= *rowBytes && d.bytesPerRow > 0
                                       ? 1 + (d.pixels.size - *rowBytes) / d.bytesPerRow
                                       : 0;
    const auto rows = static_cast<std::uint32_t>(std::min<std::uint64_t>(d.height, rowsHeld));
    if (rows == 0 || d.bytesPerRow < *rowBytes || d.width > 0x7FFFFFFF) {
        shownImage = QImage();
        return shownImage;
    }
    const QSize size(static_cast<int>(d.width), static_cast<int>(rows));
    // Pixels already in the layout Qt paints are drawn from the display buffer itself, without a copy;
    // the image is made again only when the buffer moved or the frame's shape changed.
    if (d.pixelFormat == PixelFormat::PremultipliedNative || d.pixelFormat == PixelFormat::OpaqueNative) {
        const QImage::Format native = d.pixelFormat == PixelFormat::OpaqueNative ? QImage::Format_RGB32
                                                                                 : QImage::Format_ARGB32_Premultiplied;
        if (shownImage.constBits() != d.pixels.data.get() || shownImage.size() != size ||
            shownImage.format() != native || shownImage.bytesPerLine() != static_cast<qsizetype>(d.bytesPerRow))
            shownImage = QImage(d.pixels.data.get(), size.width(), size.height(),
                                static_cast<qsizetype>(d.bytesPerRow), native);
        return shownImage;
    }
    // A picture larger than can ever be drawn is drawn from a reduced copy, never a second full one.
    if (const std::uint32_t factor = drawnReduction(d.width, rows); factor > 1) {
        shownImage = reduceDisplayToImage(d.pixels.data.get(), d.width, rows, d.bytesPerRow, bytesPerPixel, factor);
        return shownImage;
    }
    const QImage::Format format =
        d.pixelFormat == PixelFormat::RGB ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    // The memory of the previous picture is reused when the new one has the same size, as every frame
    // of an animation does.
    if (shownImage.size() != size || shownImage.format() != format)
        shownImage = QImage(size, format);
    if (shownImage.isNull())
        return shownImage;
    const auto convertRow = d.pixelFormat == PixelFormat::RGB ? packRgbBytes : premultiplyArgbBytes;
    for (std::uint32_t y = 0; y < rows; ++y)
        convertRow(d.pixels.data.get() + std::uint64_t{y} * d.bytesPerRow,
                   reinterpret_cast<QRgb*>(shownImage.scanLine(static_cast<int>(y))), d.width);
    return shownImage;
}

QSize PictureView::minimumSizeHint() const
{
    const QSize smallest(kMinimumArea, kMinimumArea);
    return room.isValid() ? smallest.boundedTo(room) : smallest;
}

QSize PictureView::sizeHint() const
{
    // In device pixels: at 100 % one picture pixel is one pixel of the screen.
    const qreal ratio = devicePixelRatioF();
    const QSize picture(static_cast<int>(std::min<std::uint32_t>(d.width, 1u << 24)),
                        static_cast<int>(std::min<std::uint32_t>(d.height, 1u << 24)));
    const QSize bound = room.isValid() ? room * ratio : QSize(1 << 24, 1 << 24);
    const QSize shown = Viewport::fitted(picture, bound, false);
    return QSize(static_cast<int>(std::ceil(shown.width() / ratio)), static_cast<int>(std::ceil(shown.height() / ratio)))
        .expandedTo(minimumSizeHint());
}

void PictureView::setRoom(QSize logical)
{
    room = logical;
    updateGeometry();
}

void PictureView::paintEvent(QPaintEvent*)
{
    const QImage& image = displayImage();
    if (image.isNull())
        return;
    QPainter painter(this);
    drawPicture(painter, image);
}

void PictureView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    send(MethodId::Setup);
}

void PictureView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        send(MethodId::Cleanup);
}

} // namespace quorvanta
