#include "app/MainWindow.h"

#include "pictureview/PictureView.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <optional>

namespace quorvanta {

namespace {

QGroupBox* panel(const char* name, QLayout* layout, bool hidden)
{
    auto* group = new QGroupBox;
    group->setObjectName(QString::fromLatin1(name));
    group->setLayout(layout);
    // Only hidden: shown while it has no parent yet, the panel would be a window of its own, made
    // and mapped on the screen before it goes into the main window.
    if (hidden)
        group->hide();
    return group;
}

// A button that shows an image of the style (given by MainWindow::giveImages when first shown).
QPushButton* imageButton(const char* name)
{
    auto* button = new QPushButton;
    button->setObjectName(QString::fromLatin1(name));
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

// The message bar's colours, light for either kind, with dark text whatever the style's palette.
constexpr auto kMessageBarStyle =
    "QFrame#messageBar { border-radius: 3px; }"
    "QFrame#messageBar[kind=\"failure\"] { background-color: #fdecea; border: 1px solid #e0a39e; }"
    "QFrame#messageBar[kind=\"news\"] { background-color: #e7f3e8; border: 1px solid #9fcca4; }"
    "QFrame#messageBar QLabel { color: #1f1f1f; background: transparent; border: none; }";

// A problem as the bar says it: as the problem words it, with a capital when no file name leads.
QString sentenceOf(const Problem& problem)
{
    QString text = QString::fromStdString(problem.text());
    if (problem.subject.empty() && !text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

std::optional<std::string> firstLocalPath(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return std::nullopt;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            return QFile::encodeName(url.toLocalFile()).toStdString();
    }
    return std::nullopt;
}

// The menu table: type, label, command key, user data.
enum class EntryType { Title, Item, Bar };
struct MenuEntry {
    EntryType type;
    const char* label;
    QKeyCombination key;
    int userData;
};

const MenuEntry kMenuTable[] = {
    {EntryType::Title, "Project", {}, 0},
    {EntryType::Item, "Open ...", Qt::CTRL | Qt::Key_O, MenuOpen},
    {EntryType::Item, "Open directory...", Qt::CTRL | Qt::Key_D, MenuOpenDirectory},
    {EntryType::Item, "About...", Qt::CTRL | Qt::Key_I, MenuAbout},
    {EntryType::Item, "About Qt...", Qt::CTRL | Qt::Key_Period, MenuAboutToolkit},
    {EntryType::Bar, nullptr, {}, 0},
    {EntryType::Item, "Quit...", Qt::CTRL | Qt::Key_Q, MenuQuit},
    {EntryType::Title, "Settings", {}, 0},
    {EntryType::Item, "Qt...", {}, MenuToolkitSettings},
    {EntryType::Item, "Program...", {}, MenuProgramSettings},
};

} // namespace

void openWindow(QWidget* window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

MainWindow::MainWindow(PictureView* view, QWidget* parent) : QMainWindow(parent), pictureView(view)
{
    setWindowTitle(QStringLiteral("Quorvanta"));
    setAcceptDrops(true);

    pictureView->setObjectName(QStringLiteral("pictureView"));
    auto* pictureRow = new QHBoxLayout;
    pictureRow->addWidget(pictureView);
    pictureGroup = panel("pictureGroup", pictureRow, false);

    encodePictureButton = new QPushButton(QStringLiteral("Encode picture"));
    encodePictureButton->setObjectName(QStringLiteral("encodePictureButton"));
    previewButton = new QPushButton(QStringLiteral("&Preview"));
    previewButton->setObjectName(QStringLiteral("previewButton"));
    previewButton->setCheckable(true);
    previewButton->setToolTip(QStringLiteral("Show the picture as the encoder settings make it, beside the source"));
    auto* encodePictureRow = new QHBoxLayout;
    encodePictureRow->addWidget(encodePictureButton, 1);
    encodePictureRow->addWidget(previewButton);
    encodePicturePanel = panel("encodePicturePanel", encodePictureRow, true);

    frameSlider = new FrameSlider(Qt::Horizontal);
    frameSlider->setObjectName(QStringLiteral("frameSlider"));
    frameSlider->setMinimum(1);
    pauseButton = imageButton("pauseButton");
    pauseButton->setToolTip(QStringLiteral("Pause (Space)"));
    playButton = imageButton("playButton");
    playButton->setToolTip(QStringLiteral("Play (Space)"));
    auto* playbackRow = new QHBoxLayout;
    playbackRow->addWidget(pauseButton);
    playbackRow->addWidget(playButton);
    encodeAnimationButton = new QPushButton(QStringLiteral("Encode animation"));
    encodeAnimationButton->setObjectName(QStringLiteral("encodeAnimationButton"));
    auto* encodeAnimationRow = new QVBoxLayout;
    encodeAnimationRow->addWidget(encodeAnimationButton);
    encodeAnimationPanel = panel("encodeAnimationPanel", encodeAnimationRow, true);
    auto* barColumn = new QVBoxLayout;
    barColumn->addWidget(frameSlider);
    barColumn->addLayout(playbackRow);
    barColumn->addWidget(encodeAnimationPanel);
    animationBar = panel("animationBar", barColumn, true);

    progressGauge = new QProgressBar;
    progressGauge->setObjectName(QStringLiteral("progressGauge"));
    progressGauge->setOrientation(Qt::Horizontal);
    progressGauge->setRange(0, 100);
    progressGauge->setValue(0);
    progressGauge->setVisible(false);
    cancelEncodingButton = new QPushButton(QStringLiteral("Cancel"));
    cancelEncodingButton->setObjectName(QStringLiteral("cancelEncodingButton"));
    cancelEncodingButton->setToolTip(QStringLiteral("Stop the encoding; nothing is written"));
    cancelEncodingButton->setVisible(false);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progressGauge, 1);
    progressRow->addWidget(cancelEncodingButton);
    buildMessageBar();

    auto* root = new QWidget;
    auto* column = new QVBoxLayout(root);
    column->addWidget(pictureGroup, 1);
    column->addWidget(encodePicturePanel);
    column->addWidget(animationBar);
    column->addLayout(progressRow);
    column->addWidget(messageBar);
    setCentralWidget(root);

    buildMenus();
    buildKeys();
    followPictureView();
    buildViewMenu();
    buildStatusBar();
    followPictureInfo();
}

void MainWindow::followPictureView()
{
    connect(pictureView, &PictureView::modeChanged, this, [this](Mode mode) { showControls(controlsFor(mode)); });
    connect(pictureView, &PictureView::pathChanged, this, &MainWindow::showPathInTitle);
    connect(pictureView, &PictureView::frameCountChanged, frameSlider, &QSlider::setMaximum);
    // The clock moves the slider without the slider sending the frame back as a command.
    connect(pictureView, &PictureView::currentFrameChanged, frameSlider, [this](std::int32_t frame) {
        const QSignalBlocker quiet(frameSlider);
        frameSlider->setValue(frame);
    });
    connect(pictureView, &PictureView::progressShown, progressGauge, &QWidget::setVisible);
    connect(pictureView, &PictureView::progressShown, cancelEncodingButton, [this](bool shown) {
        cancelEncodingButton->setText(QStringLiteral("Cancel"));
        cancelEncodingButton->setEnabled(true);
        cancelEncodingButton->setVisible(shown);
    });
    // Pressed once is enough: the encoding ends at its encoder's next report, which a slow lossless
    // encoding makes only every few seconds.
    connect(cancelEncodingButton, &QPushButton::clicked, cancelEncodingButton, [this] {
        cancelEncodingButton->setText(QStringLiteral("Stopping..."));
        cancelEncodingButton->setEnabled(false);
    });
    connect(pictureView, &PictureView::failed, this, [this](const Problem& problem) {
        showMessage(sentenceOf(problem), problem.failure == Failure::Cancelled ? MessageKind::News : MessageKind::Failure);
    });
    connect(pictureView, &PictureView::succeeded, this,
            [this](const QString& text) { showMessage(text, MessageKind::News); });
    connect(pictureView, &PictureView::previewTold, this,
            [this](const QString& text) { showMessage(text, MessageKind::News); });
    connect(pictureView, &PictureView::previewSwitched, previewButton, [this](bool on) {
        const QSignalBlocker quiet(previewButton);
        previewButton->setChecked(on);
        // What the preview said goes with it.
        const QString said = messageText->text();
        if (!on && (said.startsWith(QLatin1String("Preview:")) || said.startsWith(QLatin1String("Encoding the preview"))))
            messageBar->hide();
    });
    // What was said about the last picture does not hang over the next one.
    connect(pictureView, &PictureView::pathChanged, messageBar, &QWidget::hide);
    // Repainted at once: the encoder runs while the event loop waits.
    connect(pictureView, &PictureView::progressChanged, progressGauge, [this](int percent) {
        progressGauge->setValue(percent);
        progressGauge->repaint();
    });
}

void MainWindow::showControls(const Controls& controls)
{
    if (controls.playback)
        giveImages();
    encodePicturePanel->setVisible(controls.encodePicture);
    animationBar->setVisible(controls.playback);
    encodeAnimationPanel->setVisible(controls.encodeAnimation);
}

void MainWindow::buildMessageBar()
{
    messageBar = new QFrame;
    messageBar->setObjectName(QStringLiteral("messageBar"));
    messageBar->setStyleSheet(QLatin1String(kMessageBarStyle));
    messageIcon = new QLabel;
    messageIcon->setObjectName(QStringLiteral("messageIcon"));
    messageText = new QLabel;
    messageText->setObjectName(QStringLiteral("messageText"));
    messageText->setWordWrap(true);
    messageText->setTextFormat(Qt::PlainText);
    messageText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    messageText->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    messageCloseButton = new QToolButton;
    messageCloseButton->setObjectName(QStringLiteral("messageCloseButton"));
    messageCloseButton->setAutoRaise(true);
    messageCloseButton->setToolTip(QStringLiteral("Close the message"));
    auto* row = new QHBoxLayout(messageBar);
    row->setContentsMargins(6, 4, 4, 4);
    row->addWidget(messageIcon, 0, Qt::AlignTop);
    row->addWidget(messageText, 1);
    row->addWidget(messageCloseButton, 0, Qt::AlignTop);
    messageBar->setVisible(false);
    connect(messageCloseButton, &QToolButton::clicked, messageBar, &QWidget::hide);
}

void MainWindow::showMessage(const QString& text, MessageKind kind)
{
    giveImages();
    const bool failure = kind == MessageKind::Failure;
    const int side = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    messageIcon->setPixmap(
        style()->standardIcon(failure ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation)
            .pixmap(side, side));
    messageText->setText(text);
    messageBar->setProperty("kind", failure ? QStringLiteral("failure") : QStringLiteral("news"));
    // The style sheet looks at the property only when the bar is polished again.
    messageBar->style()->unpolish(messageBar);
    messageBar->style()->polish(messageBar);
    messageBar->setAccessibleDescription(text);
    messageBar->show();
}

void MainWindow::giveImages()
{
    // The style's first image costs a look-up of the icon theme: not before the first paint.
    if (imagesGiven)
        return;
    imagesGiven = true;
    pauseButton->setIcon(style()->standardIcon(QStyle::SP_MediaPause));
    playButton->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    messageCloseButton->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
}

void MainWindow::openWithPicture(std::chrono::milliseconds bound)
{
    if (openTimer)
        return;
    openTimer = new QTimer(this);
    openTimer->setSingleShot(true);
    connect(openTimer, &QTimer::timeout, this, &MainWindow::openAwaited);
    // A picture put on show opens the window after it took its size (followPictureInfo, connected
    // first); a load that fails opens it with the message.
    connect(pictureView, &PictureView::pictureShown, openTimer, [this] { openAwaited(); });
    connect(pictureView, &PictureView::failed, openTimer, [this] { openAwaited(); });
    openTimer->start(bound);
}

void MainWindow::openAwaited()
{
    if (!openTimer)
        return;
    // Deleted later: this may run from the timer's own signal.
    openTimer->stop();
    openTimer->deleteLater();
    openTimer = nullptr;
    openWindow(this);
}

void MainWindow::buildMenus()
{
    QMenu* menu = nullptr;
    for (const MenuEntry& entry : kMenuTable) {
        switch (entry.type) {
        case EntryType::Title:
            menu = menuBar()->addMenu(QString::fromUtf8(entry.label));
            break;
        case EntryType::Bar:
            menu->addSeparator();
            break;
        case EntryType::Item: {
            QAction* item = menu->addAction(QString::fromUtf8(entry.label));
            item->setData(entry.userData);
            if (entry.key.key() != Qt::Key_unknown && entry.key.toCombined() != 0)
                item->setShortcut(QKeySequence(entry.key));
            break;
        }
        }
    }
}

void MainWindow::buildKeys()
{
    auto key = [this](const QString& name, Qt::Key k) {
        auto* action = new QAction(name, this);
        action->setShortcut(QKeySequence(k));
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        return action;
    };
    togglePlaybackKey = key(QStringLiteral("Pause or play"), Qt::Key_Space);
    previousFrameKey = key(QStringLiteral("Previous frame"), Qt::Key_Left);
    nextFrameKey = key(QStringLiteral("Next frame"), Qt::Key_Right);
    firstFrameKey = key(QStringLiteral("First frame"), Qt::Key_Home);
    lastFrameKey = key(QStringLiteral("Last frame"), Qt::Key_End);
}

QAction* MainWindow::findMenuItem(int userData) const
{
    if (userData == 0)
        return nullptr;
    for (QAction* title : menuBar()->actions()) {
        if (!title->menu())
            continue;
        for (QAction* item : title->menu()->actions()) {
            if (!item->isSeparator() && item->data().toInt() == userData)
                return item;
        }
    }
    return nullptr;
}

void MainWindow::showPathInTitle(const std::string& path)
{
    const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName();
    const QString shown = name.isEmpty() ? QFile::decodeName(QByteArray::fromStdString(path)) : name;
    setWindowTitle(shown.isEmpty() ? QStringLiteral("Quorvanta") : shown + QStringLiteral(" - Quorvanta"));
}

bool MainWindow::event(QEvent* event)
{
    // Sized for the first picture before its frame was known: once painted, it is, and a window that
    // reaches off the screen with it takes its size again.
    if (event->type() == QEvent::Paint && refitWhenFramed) {
        refitWhenFramed = false;
        QTimer::singleShot(0, this, [this] {
            const QScreen* shownOn = screen();
            if (shownOn && !shownOn->availableGeometry().contains(frameGeometry()))
                adoptDefaultSize(shownOn->availableGeometry());
        });
    }
    return QMainWindow::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The close gadget ends the program through the same teardown as "Quit...".
    event->ignore();
    Q_EMIT closeRequested();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (firstLocalPath(event->mimeData()))
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const auto path = firstLocalPath(event->mimeData());
    if (!path)
        return;
    event->acceptProposedAction();
    Q_EMIT pathDropped(*path);
}

} // namespace quorvanta
