#pragma once
// The picture object: holds the picture on show and every piece of viewing, playback and encoding
// state, and receives each user command as a method id through one dispatcher. Each command is a short
// hand-off to the subsystem that does the work; the object reaches the shell only through the
// interfaces it declares (requesters, settings) and tells it what changed through its signals.

#include "core/DisplayBuffer.h"
#include "core/Failure.h"
#include "core/PictureRecord.h"
#include "import/SourceMetadata.h"
#include "pictureview/EncodingJob.h"
#include "pictureview/Jobs.h"
#include "pictureview/MethodIds.h"
#include "pictureview/Preview.h"
#include "pictureview/ScaledPicture.h"
#include "pictureview/Viewport.h"
#include "viewing/FramesAhead.h"
#include "viewing/Player.h"
#include "viewing/WebPKind.h"

#include <QColorSpace>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QPainter;
class QScrollBar;

namespace quorvanta {

class AnimationState;
class BusyPointer;
class DirectoryShow;
class PlayableAnimation;
struct LoadedFile;
struct StillPicture;
class Requesters;
class SettingsSource;

// A command for the picture object: the method id and its one argument, if any.
struct Message {
    MethodId id;
    std::int32_t value = 0; // frame number for GotoFrame, ShowAnimFrame, ShowDirFrame
    std::string text;       // path or text argument (bytes as the file system takes them)
};

// What is on show.
enum class Mode : std::int32_t {
    Imported = -1, // a picture of another format, imported
    Still = 0,     // a still WebP
    Animated = 1,  // an animation: an animated WebP, or an animated GIF (or other animation) played
                   // through its reader
    Directory = 2, // an image directory played as an animation
};

// The controls that apply to what is on show; the window shows exactly these.
struct Controls {
    bool encodePicture = false;   // "Encode picture"
    bool playback = false;        // frame slider, pause and play
    bool encodeAnimation = false; // "Encode animation"
    bool operator==(const Controls&) const = default;
};
Controls controlsFor(Mode mode);

// What the window tells about the picture or frame on show.
struct PictureInfo {
    Mode mode = Mode::Still;
    std::string path;          // the file on show; for an image directory, the frame's file
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    WebPCoding coding = WebPCoding::Unknown; // of a WebP file
    std::string format;        // of a picture of another format: its name's extension, in capitals
    bool alpha = false;        // the file has an alpha channel (another format: some pixel is not opaque)
    std::int32_t frame = 0;    // 1..frameCount for an animation or a directory, else 0
    std::int32_t frameCount = 0;
    std::int64_t frameStartMs = 0; // when the frame starts within the animation
    std::int64_t frameDurationMs = 0;
    std::uint64_t fileSize = 0;
};

// The object's instance data. The playback fields (currentFrame, loopsDone, frameCount, frameDelay,
// loopCount, inputHandlerAdded) come from PlaybackState, which the player runs.
struct InstanceData : PlaybackState {
    DisplayBuffer pixels;
    PictureRecord importBuffer;
    std::string path;
    std::uint32_t width = 100;
    std::uint32_t height = 100;
    std::uint32_t bytesPerRow = 0;
    PixelFormat pixelFormat = PixelFormat::RGB;
    std::uint32_t backgroundColor = 0xFFFFFFFF;
    Mode mode = Mode::Still;
    // The WebP file or animation on show, whole; an animation on show shares it (its frames are read
    // from it).
    std::shared_ptr<const std::uint8_t[]> fileData;
    std::uint64_t fileSize = 0;
    std::int32_t importStatus = 0; // 1 while importBuffer holds a picture that can be encoded
};

class PictureView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxWidth = 1280;
    static constexpr int kMaxHeight = 1024;
    static constexpr int kDefaultSize = 100;

    // Creation: requested sizes outside 1..1280 and 1..1024 become 100.
    explicit PictureView(std::int64_t requestedWidth = kDefaultSize,
                         std::int64_t requestedHeight = kDefaultSize, QWidget* parent = nullptr);
    ~PictureView() override;

    // Where the object asks for settings and paths; either may be absent (an object tested alone).
    void setSettings(const SettingsSource* source) { settings = source; }
    void setRequesters(Requesters* requesterSource) { requesters = requesterSource; }
    // Where loading and encoding run: inline unless the shell gives a runner with worker threads.
    void setJobRunner(JobRunner runner) { jobs = runner; }
    const SettingsSource* settingsSource() const { return settings; }
    // Stops the load in flight, if any; its result is dropped.
    void cancelLoading();
    Requesters* requesterSource() const { return requesters; }

    // The one entry for every command.
    void dispatch(const Message& message);
    void send(MethodId id) { dispatch(Message{id, 0, {}}); }
    void send(MethodId id, std::int32_t value) { dispatch(Message{id, value, {}}); }
    void send(MethodId id, std::string text) { dispatch(Message{id, 0, std::move(text)}); }

    // An encoding runs (off the GUI thread when the runner has workers). Cancelling asks it to stop,
    // which it does at the encoder's next report; it then ends as failed(Cancelled), writing nothing.
    // Whether an encoding holds the window (a cancelled one lets go of it within half a second).
    bool encoding() const;
    void cancelEncoding();

    const InstanceData& state() const { return d; }
    Mode mode() const { return d.mode; }
    bool playing() const { return d.inputHandlerAdded; }

    // The playback clock; tests put a hand-driven one in before the window is shown.
    void setClock(std::unique_ptr<PlaybackClock> clock) { player.setClock(std::move(clock)); }
    PlaybackClock* clock() const { return player.clock(); }

    // The picture as drawn: made once from `pixels` for each new picture, when it is first needed
    // (a frame replaced before it was ever painted costs no conversion).
    const QImage& displayImage() const;

    // The picture area asks for little: its minimum is small, and its default size is the picture at
    // the largest zoom up to 100 % that keeps it whole within the room the window can give it.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;
    static constexpr int kMinimumArea = 100;
    void setRoom(QSize logical);

    // How the picture is shown (the View menu).
    void setViewChoice(const ViewChoice& choice);
    const ViewChoice& viewChoice() const { return viewport.choice(); }
    void zoomIn();
    void zoomOut();
    const Viewport& view() const { return viewport; }
    // The scaled picture kept for drawing (tests count how often it is made).
    const ScaledPicture& scaledPicture() const { return scaled; }
    // Colour management (the View menu): a picture with a colour profile is drawn converted into the
    // screen's colour space, once as it is put on show. Changing it shows the picture on show again.
    void setColourManaged(bool on);
    bool colourManaged() const { return manageColours; }

    // The encoding preview (Preview.cpp): the imported picture encoded in memory with the settings in
    // force, as a job, and drawn right of a divider the user drags, the picture itself left of it.
    // While it is on, a change of the encoder settings (encodeSettingsChanged, which the shell calls
    // for every edit) starts it again; opening another picture turns it off.
    void setPreview(bool on);
    bool previewOn() const { return previewState.on; }
    void encodeSettingsChanged();
    // The newest finished preview of the settings in force; null while none is ready.
    const EncodedPreview* preview() const;
    // The divider's place, as a share of the picture area's width.
    double previewDivider() const { return previewState.divider; }

Q_SIGNALS:
    // Emitted by the dispatcher for every command it receives, before the command runs.
    void methodReceived(quorvanta::MethodId id, std::int32_t value, const QString& text);
    // What is on show changed kind; the controls for it apply from now.
    void modeChanged(quorvanta::Mode mode);
    // The file or directory on show (bytes as the file system takes them).
    void pathChanged(const std::string& path);
    // The number of frames of the animation or directory on show (-1 when a frame asked for does
    // not exist).
    void frameCountChanged(std::int32_t frames);
    // The clock moved on to `frame`: the slider follows without sending a command back.
    void currentFrameChanged(std::int32_t frame);
    void playingChanged(bool playing);
    // An encoding runs (`shown`) and how far it is, in percent.
    void progressShown(bool shown);
    void progressChanged(int percent);
    // A command failed for a reason the user can act on.
    void failed(const quorvanta::Problem& problem);
    // A picture or a frame was put on show.
    void pictureShown(const quorvanta::PictureInfo& info);
    // The view choice or the zoom in force changed (a zoom, a resize of a fitted picture).
    void viewChanged(const quorvanta::ViewChoice& choice, double zoom);
    // An encoding wrote its file: "Saved photo.webp, 75.6 KB, 3.2 s".
    void succeeded(const QString& message);
    // The picture put on show is drawn at `percent` of its size (below 100 when it was decoded
    // reduced to fit the decode budget).
    void scaleChanged(int percent);
    // The preview went on or off (refused, or turned off by another picture).
    void previewSwitched(bool on);
    // What the preview has to say: that it is being made, then its size, bits per pixel, PSNR and its
    // size against the source file.
    void previewTold(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend struct PictureViewTestAccess; // tests put instance data in place directly

    // Commands (one file each in pictureview/: Loading, Playback, Encoding, Directory).
    void openWebP();
    void load(const std::string& path);
    void decodeStill();
    void showImported();
    void showAnimFrame(std::int32_t frame);
    void setup();
    void cleanup();
    void tick();
    void gotoFrame(std::int32_t frame);
    void setDelay(const std::string& text);
    void pause();
    void play();
    void savePicture();
    void encodePicture(const std::string& path);
    void openDirectory();
    void loadDirectory(const std::string& path);
    void showDirFrame(std::int32_t frame);
    void saveAnimation();

    void finishLoad(LoadedFile& loaded); // puts what the newest load made on show
    void dirFrameArrived(); // a directory picture imported in the background is ready
    void clockCompleted(); // a request of the clock completed: a tick while playback runs
    void showFrame(std::int32_t frame); // the frame of the animation or directory on show
    void enterMode(Mode mode);
    void setPath(const std::string& path);
    void setFrameCount(std::int32_t frames);
    void pictureChanged(); // drops the drawn image made from the old `pixels` and repaints
    // Encodings: one at a time, as a job; `finished` runs on the GUI thread when it has ended.
    void runEncoding(std::string target, bool holdsImport, EncodeWork work, std::function<void()> finished);
    void finishEncoding(Result<Saved> result);
    void releaseEncoding(); // tells the window a cancelled encoding has ended
    bool refusedWhileEncoding(MethodId id); // a command that would touch what is being encoded

    // The view (ViewArea.cpp): the area left beside the scroll bars, the bars, and what changed.
    void layoutArea();
    void viewMoved();
    void drawPicture(QPainter& painter, const QImage& image);
    PictureInfo describeShown(); // PictureInfo.cpp
    // Colour management (DisplayColour.cpp): the space pictures are drawn in, and the conversion the
    // picture on show asks for, if any.
    QColorSpace screenColourSpace() const;
    void convertShownColours(std::span<const std::uint8_t> icc);
    // The preview (Preview.cpp), and its half of the picture area (ViewArea.cpp).
    void startPreview();
    void finishPreview(std::uint64_t run, Result<EncodedPreview> result);
    const QImage* previewImage() const; // null when no preview is drawn
    void drawScaled(QPainter& painter, const QImage& image, ScaledPicture& cache, std::uint64_t imageGeneration,
                    const QRect& drawn, const QRect& part);
    void drawDivider(QPainter& painter, int atDevice);
    int dividerAt() const; // device pixels from the area's left edge
    bool nearDivider(QPointF logical) const;

    InstanceData d;
    Player player{d};
    const SettingsSource* settings = nullptr;
    Requesters* requesters = nullptr;
    JobRunner jobs;
    std::unique_ptr<PlayableAnimation> animation;
    FramesAhead* framesAhead();        // the animation, its frames composed ahead (Playback.cpp)
    bool frameFromClock = false;      // the frame asked for is due at the clock's deadline
    // The animation frame whose pixels `d.pixels` holds (its own pixels empty meanwhile): given back
    // when the next frame replaces it.
    ComposedFrame frameOnShow;
    std::int32_t frameOwed = 0; // the frame the clock asked for last, not ready at its deadline (0: none)
    void putFrameOnShow(FramesAhead& ahead, ComposedFrame frame);
    void lateFrameKept(std::int32_t number);
    std::unique_ptr<DirectoryShow> directory;
    std::unique_ptr<RunningEncode> encodeRun;
    // Loading: the newest load's number and stop flag, the busy pointer while it runs, the still it
    // decoded for DecodeStill, and why the picture on show is reduced (empty when it is whole).
    std::uint64_t loadGeneration = 0;
    StopFlag loadStop;
    std::unique_ptr<BusyPointer> loadingBusy;
    std::unique_ptr<StillPicture> decodedStill;
    std::string reducedBecause;
    // The colour profile, EXIF and XMP of the imported picture, and whether it was turned upright.
    SourceMetadata importMetadata;
    bool importTurned = false;
    bool manageColours = true;
    std::vector<std::uint8_t> dirFrameIcc; // the colour profile of the directory frame on show
    std::uint64_t importSourceBytes = 0; // the imported picture's file size
    std::int32_t waitingDirFrame = 0; // the directory frame to show when its picture arrives
    mutable QImage shownImage;
    mutable bool shownImageStale = false;
    QSize laidOutSize; // the size hint the window was last asked to lay out

    Viewport viewport;
    ScaledPicture scaled;
    PreviewState previewState;
    ScaledPicture previewScaled;
    std::uint64_t generation = 0; // counts the pictures and frames put on show
    QSize room;                   // the most the window can give; invalid for no bound
    QSize areaLaidOutFor; // the size and scale the area was last laid out for
    qreal ratioLaidOutFor = 0;
    QScrollBar* across = nullptr;
    QScrollBar* down = nullptr;
    QPoint dragFrom;
    bool dragging = false;
    int wheelAngle = 0;
    ViewChoice choiceTold;
    double zoomTold = 0;
    const std::uint8_t* kindOf = nullptr; // the file `kind` describes
    WebPKind kind;
};

} // namespace quorvanta

Q_DECLARE_METATYPE(quorvanta::Mode)
Q_DECLARE_METATYPE(quorvanta::Problem)
Q_DECLARE_METATYPE(quorvanta::PictureInfo)

