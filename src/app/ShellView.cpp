// The shell's part of viewing: the View menu's choices (kept in the stores), "Open recent", next and
// previous picture of the folder, the folder the file dialogs start in, and the encoding preview.

#include "app/Application.h"

#include "app/MainWindow.h"
#include "app/PictureFolder.h"
#include "app/SettingsWindow.h"
#include "pictureview/PictureView.h"

#include <QAction>
#include <QCoreApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>

namespace quorvanta {

namespace {

QString decoded(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string encoded(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

void Shell::installViewCommands()
{
    MainWindow* window = main.get();
    PictureView* view = pictureView();
    const ViewItems& v = window->viewItems;
    choiceStored = storedViewChoice(store);
    view->setViewChoice(choiceStored);
    auto choose = [view](auto change) {
        ViewChoice choice = view->viewChoice();
        change(choice);
        view->setViewChoice(choice);
    };
    connect(v.fit, &QAction::triggered, view, [choose] { choose([](ViewChoice& c) { c.scaling = Scaling::Fit; }); });
    connect(v.actualSize, &QAction::triggered, view, [choose] {
        choose([](ViewChoice& c) {
            c.scaling = Scaling::Zoom;
            c.zoom = 1.0;
        });
    });
    connect(v.stretch, &QAction::triggered, view,
            [choose] { choose([](ViewChoice& c) { c.scaling = Scaling::Stretch; }); });
    connect(v.zoomIn, &QAction::triggered, view, &PictureView::zoomIn);
    connect(v.zoomOut, &QAction::triggered, view, &PictureView::zoomOut);
    connect(v.enlargeSmall, &QAction::toggled, view,
            [choose](bool on) { choose([on](ViewChoice& c) { c.enlargeSmall = on; }); });
    connect(v.backgroundColour, &QAction::triggered, view,
            [choose] { choose([](ViewChoice& c) { c.checkerboard = false; }); });
    connect(v.checkerboard, &QAction::triggered, view,
            [choose] { choose([](ViewChoice& c) { c.checkerboard = true; }); });
    {
        const QSignalBlocker quiet(v.colourManagement);
        v.colourManagement->setChecked(storedColourManagement(store));
    }
    view->setColourManaged(v.colourManagement->isChecked());
    connect(v.colourManagement, &QAction::toggled, view, [this, view](bool on) {
        view->setColourManaged(on);
        storeColourManagement(store, on);
    });
    // Kept as it changes; a zoom that follows the window's size is no change of choice.
    connect(view, &PictureView::viewChanged, this, [this](const ViewChoice& choice, double) {
        if (choice == choiceStored)
            return;
        choiceStored = choice;
        storeViewChoice(store, choice);
    });

    connect(v.nextPicture, &QAction::triggered, this, [this] { stepPicture(+1); });
    connect(v.previousPicture, &QAction::triggered, this, [this] { stepPicture(-1); });
    connect(window, &MainWindow::recentChosen, this, &Shell::openRecent);
    window->setRecentPaths(recentPaths(store));
    connect(view, &PictureView::pathChanged, this, [this](const std::string& path) {
        stepFrom = path;
        requester->setSource(path);
        rememberRecentPath(store, decoded(path));
        main->setRecentPaths(recentPaths(store));
    });

    // The encoding preview: the button turns it on and off, and every edit of a setting that changes the
    // encoded still is told to the picture object, which starts it again when it is on.
    connect(window->previewButton, &QPushButton::toggled, view, &PictureView::setPreview);
    const SettingsWindow* s = settings.get();
    const auto settingChanged = [view] { view->encodeSettingsChanged(); };
    connect(s->losslessCheck, &QCheckBox::toggled, view, settingChanged);
    for (QLineEdit* field : {s->qualityField, s->speedField, s->filterStrengthField, s->filterSharpnessField, s->targetSizeField})
        connect(field, &QLineEdit::textChanged, view, settingChanged);
    connect(s->keepMetadataBox, &QComboBox::currentIndexChanged, view, settingChanged);
    connect(s, &SettingsWindow::restored, view, settingChanged);
    // A preview still encoding is told to stop before the program waits for its workers at the end.
    connect(qApp, &QCoreApplication::aboutToQuit, view, [view] { view->setPreview(false); });

    requester->setLastFolder(encoded(storedLastFolder(store)));
    requester->setFolderListener([this](const std::string& folder) { storeLastFolder(store, decoded(folder)); });
}

void Shell::stepPicture(int step)
{
    // An image directory is stepped through by its frames, not here.
    if (pictureView()->mode() == Mode::Directory || stepFrom.empty())
        return;
    const std::optional<std::string> next = neighbourPicture(stepFrom, step);
    if (!next)
        return;
    // A file that turns out to be no picture is passed over by the next step.
    stepFrom = *next;
    pictureView()->send(MethodId::Load, *next);
}

void Shell::openRecent(const QString& path)
{
    const MethodId command = QFileInfo(path).isDir() ? MethodId::LoadDirectory : MethodId::Load;
    pictureView()->send(command, encoded(path));
}

} // namespace quorvanta
