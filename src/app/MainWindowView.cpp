// The main window's View menu, "Open recent", the status bar, the frame slider's clicks and the
// window's size for a picture.

#include "app/MainWindow.h"
#include "app/Stores.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <cmath>

namespace quorvanta {

namespace {

constexpr QSize kComfortableArea(400, 300);

QString decoded(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString zoomText(const ViewChoice& choice, double zoom)
{
    if (choice.scaling == Scaling::Stretch)
        return QStringLiteral("stretched");
    const double percent = zoom * 100;
    const bool whole = std::abs(percent - std::round(percent)) < 0.05 || percent >= 10;
    return QString::number(percent, 'f', whole ? 0 : 1) + QStringLiteral(" %");
}

QString kindText(const PictureInfo& info)
{
    QStringList parts;
    if (info.mode == Mode::Still || info.mode == Mode::Animated) {
        switch (info.coding) {
        case WebPCoding::Lossy: parts << QStringLiteral("WebP lossy"); break;
        case WebPCoding::Lossless: parts << QStringLiteral("WebP lossless"); break;
        case WebPCoding::Mixed: parts << QStringLiteral("WebP lossy and lossless"); break;
        case WebPCoding::Unknown: parts << QStringLiteral("WebP"); break;
        }
    } else {
        parts << (info.format.empty() ? QStringLiteral("picture") : QString::fromStdString(info.format));
    }
    if (info.alpha)
        parts << QStringLiteral("alpha");
    if (info.mode == Mode::Animated)
        parts << QStringLiteral("animated, %1 frames").arg(info.frameCount);
    return parts.join(QStringLiteral(", "));
}

QString secondsText(std::int64_t milliseconds)
{
    return QString::number(static_cast<double>(milliseconds) / 1000, 'f', 2) + QStringLiteral(" s");
}

} // namespace

StatusTexts statusTexts(const PictureInfo& info, const ViewChoice& choice, double zoom)
{
    const QString path = decoded(info.path);
    const QString name = QFileInfo(path).fileName();
    const QString separator = QStringLiteral("  |  ");
    StatusTexts texts;
    texts.picture = QStringList{name.isEmpty() ? path : name, QStringLiteral("%1 × %2").arg(info.width).arg(info.height),
                                kindText(info), QLocale::c().formattedDataSize(static_cast<qint64>(info.fileSize), 1),
                                zoomText(choice, zoom)}
                        .join(separator);
    if (info.frameCount > 0)
        texts.frame = QStringLiteral("frame %1 / %2").arg(info.frame).arg(info.frameCount) + separator +
                      secondsText(info.frameStartMs) + QStringLiteral(", ") + QString::number(info.frameDurationMs) +
                      QStringLiteral(" ms");
    return texts;
}

void FrameSlider::mousePressEvent(QMouseEvent* event)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (event->button() == Qt::LeftButton && !handle.contains(event->position().toPoint())) {
        // The handle goes to the frame under the pointer, and the press then drags it from there.
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
        const bool across = orientation() == Qt::Horizontal;
        const int length = across ? handle.width() : handle.height();
        const int start = across ? groove.x() : groove.y();
        const int span = (across ? groove.width() : groove.height()) - length;
        const int at = (across ? event->position().x() : event->position().y()) - start - length / 2;
        setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), at, span, option.upsideDown));
    }
    QSlider::mousePressEvent(event);
}

void MainWindow::buildViewMenu()
{
    // After "Project", before "Settings"; the menu table's own menus stay as they are.
    const QList<QAction*> titles = menuBar()->actions();
    viewMenu = new QMenu(QStringLiteral("View"), this);
    menuBar()->insertMenu(titles.value(1), viewMenu);
    auto item = [this](const char* label, const QList<QKeySequence>& keys = {}, bool checkable = false) {
        QAction* action = viewMenu->addAction(QString::fromUtf8(label));
        action->setShortcuts(keys);
        action->setCheckable(checkable);
        // The keys work while the menu bar is hidden (fullscreen) as well.
        addAction(action);
        return action;
    };
    ViewItems& v = viewItems;
    v.fit = item("Fit to window", {QKeySequence(Qt::Key_F)}, true);
    v.actualSize = item("Actual size", {QKeySequence(Qt::CTRL | Qt::Key_0)}, true);
    v.zoomIn = item("Zoom in", {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    v.zoomOut = item("Zoom out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    v.stretch = item("Stretch to window", {}, true);
    auto* scalings = new QActionGroup(this);
    scalings->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (QAction* action : {v.fit, v.actualSize, v.stretch})
        scalings->addAction(action);
    viewMenu->addSeparator();
    v.fullscreen = item("Fullscreen", {QKeySequence(Qt::Key_F11)}, true);
    v.enlargeSmall = item("Enlarge small pictures", {}, true);
    QMenu* transparency = viewMenu->addMenu(QStringLiteral("Transparency"));
    v.backgroundColour = transparency->addAction(QStringLiteral("Background colour"));
    v.checkerboard = transparency->addAction(QStringLiteral("Checkerboard"));
    auto* backgrounds = new QActionGroup(this);
    for (QAction* action : {v.backgroundColour, v.checkerboard}) {
        action->setCheckable(true);
        backgrounds->addAction(action);
    }
    v.colourManagement = item("Colour management", {}, true);
    v.colourManagement->setChecked(true);
    viewMenu->addSeparator();
    v.nextPicture = item("Next picture", {QKeySequence(Qt::Key_PageDown)});
    v.previousPicture = item("Previous picture", {QKeySequence(Qt::Key_PageUp)});
    v.leaveFullscreen = new QAction(QStringLiteral("Leave fullscreen"), this);
    v.leaveFullscreen->setShortcut(QKeySequence(Qt::Key_Escape));
    v.leaveFullscreen->setEnabled(false);
    addAction(v.leaveFullscreen);
    connect(v.fullscreen, &QAction::toggled, this, &MainWindow::setFullscreen);
    connect(v.leaveFullscreen, &QAction::triggered, this, [this] { setFullscreen(false); });
    showViewChoice(ViewChoice{});

    // The table's own keys work while the menu bar is hidden too.
    for (QAction* title : titles)
        for (QAction* entry : title->menu() ? title->menu()->actions() : QList<QAction*>{})
            if (!entry->shortcut().isEmpty())
                addAction(entry);

    // "Open recent" follows "Open directory..." in the Project menu.
    recentMenu = new QMenu(QStringLiteral("Open recent"), this);
    if (QMenu* project = titles.value(0) ? titles.value(0)->menu() : nullptr)
        project->insertMenu(findMenuItem(MenuAbout), recentMenu);
    setRecentPaths({});
}

void MainWindow::showViewChoice(const ViewChoice& choice)
{
    ViewItems& v = viewItems;
    for (QAction* action : {v.fit, v.actualSize, v.stretch, v.enlargeSmall, v.backgroundColour, v.checkerboard}) {
        const QSignalBlocker quiet(action);
        action->setChecked(false);
    }
    const bool actual = choice.scaling == Scaling::Zoom && choice.zoom == 1.0;
    for (auto [action, on] : {std::pair{v.fit, choice.scaling == Scaling::Fit}, std::pair{v.actualSize, actual},
                              std::pair{v.stretch, choice.scaling == Scaling::Stretch},
                              std::pair{v.enlargeSmall, choice.enlargeSmall},
                              std::pair{v.backgroundColour, !choice.checkerboard},
                              std::pair{v.checkerboard, choice.checkerboard}}) {
        const QSignalBlocker quiet(action);
        action->setChecked(on);
    }
}

void MainWindow::setRecentPaths(const QStringList& paths)
{
    recentMenu->clear();
    for (const QString& path : paths) {
        QAction* entry = recentMenu->addAction(QString(path).replace(QLatin1Char('&'), QStringLiteral("&&")));
        connect(entry, &QAction::triggered, this, [this, path] { Q_EMIT recentChosen(path); });
    }
    recentMenu->setEnabled(!paths.isEmpty());
}

void MainWindow::setFullscreen(bool on)
{
    menuBar()->setVisible(!on);
    statusBar()->setVisible(!on);
    viewItems.leaveFullscreen->setEnabled(on);
    {
        const QSignalBlocker quiet(viewItems.fullscreen);
        viewItems.fullscreen->setChecked(on);
    }
    setWindowState(on ? windowState() | Qt::WindowFullScreen : windowState() & ~Qt::WindowFullScreen);
}

void MainWindow::buildStatusBar()
{
    statusText = new QLabel;
    statusText->setObjectName(QStringLiteral("statusText"));
    // A long line is cut, never widening the window.
    statusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusText->setMinimumWidth(0);
    statusBar()->addWidget(statusText, 1);
    // The frame's place is never cut.
    frameText = new QLabel;
    frameText->setObjectName(QStringLiteral("frameText"));
    statusBar()->addPermanentWidget(frameText);
}

void MainWindow::followPictureInfo()
{
    connect(pictureView, &PictureView::pictureShown, this, [this](const PictureInfo& info) {
        const bool newSize = !shownInfo || shownInfo->width != info.width || shownInfo->height != info.height;
        shownInfo = info;
        showStatus();
        // A window that waits for this picture to open takes its size before it opens.
        if (newSize && sizeForFirstPicture && (isVisible() || awaitsPicture()) &&
            !(windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized))) {
            sizeForFirstPicture = false;
            if (QScreen* shownOn = screen()) {
                adoptDefaultSize(shownOn->availableGeometry());
                // The frame the window manager puts around it is known once it is on screen.
                refitWhenFramed = !isVisible();
            }
        }
    });
    connect(pictureView, &PictureView::viewChanged, this, [this](const ViewChoice& choice, double zoom) {
        shownChoice = choice;
        shownZoom = zoom;
        showViewChoice(choice);
        showStatus();
    });
}

void MainWindow::showStatus()
{
    if (!shownInfo)
        return;
    const StatusTexts texts = statusTexts(*shownInfo, shownChoice, shownZoom);
    statusText->setText(texts.picture);
    frameText->setText(texts.frame);
    frameText->setVisible(!texts.frame.isEmpty());
}

namespace {

// The widgets of a window not yet shown have had no resize events, which lay out what is in them:
// each layout is run here, from the window inwards, at the sizes the one around it gave.
void layOutFrom(QWidget* widget)
{
    if (QLayout* own = widget->layout()) {
        own->invalidate();
        own->activate();
    }
    for (QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow())
            layOutFrom(child);
    }
}

} // namespace

void MainWindow::layOut()
{
    if (isVisible()) {
        if (layout())
            layout()->activate();
        return;
    }
    // Margins and sizes come from the style, which has not looked at the widgets yet.
    ensurePolished();
    layOutFrom(this);
}

void MainWindow::adoptDefaultSize(const QRect& available)
{
    layOut();
    // What the window adds around the picture area: its frame, the menu and status bars, the panels.
    const QSize frame = isVisible() ? frameGeometry().size() - geometry().size() : QSize(0, 0);
    const QSize chrome = size() - pictureView->size();
    const QSize room = available.size() - frame;
    pictureView->setRoom((room - chrome).expandedTo(QSize(1, 1)));
    layOut();
    // A small picture still gets a window whose menus and status line can be read.
    const QSize area = pictureView->sizeHint().expandedTo(kComfortableArea).boundedTo(room - chrome);
    resize((chrome + area).expandedTo(minimumSizeHint()).boundedTo(room));
    const QRect placed(frameGeometry().topLeft(), size() + frame);
    move(pos() + placeOnScreen(placed, available) - placed.topLeft());
}

} // namespace quorvanta
