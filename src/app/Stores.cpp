#include "app/Stores.h"
#include "core/Messages.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvanta {

namespace {

constexpr auto kFileName = "quorvanta.ini";
constexpr auto kScalingKey = "ViewScaling";
constexpr auto kZoomKey = "ViewZoom";
constexpr auto kEnlargeKey = "ViewEnlargeSmall";
constexpr auto kCheckerboardKey = "ViewCheckerboard";
constexpr auto kColourManagementKey = "ViewColourManagement";
constexpr auto kRecentKey = "RecentPaths";
constexpr auto kLastFolderKey = "LastFolder";

QString folderFromEnvironment(const char* variable)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QString();
}

enum class Found { Nothing, File, Refused };

// What stands where a store's file should be. Only a regular file of its own is a store: a FIFO, a
// socket or a device could block or change on reading, and a link would send a write elsewhere. The
// file is opened as well, without following a link or waiting for a writer, so that what was looked
// at is what is read.
Found inspect(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat named {};
    if (::lstat(name.constData(), &named) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Found::Nothing : Found::Refused;
    if (!S_ISREG(named.st_mode))
        return Found::Refused;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Found::Refused;
    struct stat opened {};
    const bool same = ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_dev == named.st_dev &&
                      opened.st_ino == named.st_ino;
    ::close(fd);
    return same ? Found::File : Found::Refused;
}

} // namespace

Stores::Stores() : Stores(defaultRunningFolder(), defaultPermanentFolder()) {}

Stores::Stores(QString runningFolder, QString permanentFolder)
    : runningPath(QDir(runningFolder).filePath(kFileName)), permanentPath(QDir(permanentFolder).filePath(kFileName))
{
}

QString Stores::defaultRunningFolder()
{
    const QString runtime = folderFromEnvironment("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return runtime + "/quorvanta";
    // The temp directory is shared: the folder carries the user's id and is made private to them.
    return QDir::tempPath() + QStringLiteral("/quorvanta-%1").arg(getuid());
}

QString Stores::defaultPermanentFolder()
{
    const QString config = folderFromEnvironment("XDG_CONFIG_HOME");
    return (config.isEmpty() ? QDir::homePath() + "/.config" : config) + "/quorvanta";
}

QVariant Stores::value(const QString& key) const
{
    for (const QString& path : {runningPath, permanentPath}) {
        if (!usable(path, false))
            continue;
        const QSettings store(path, QSettings::IniFormat);
        if (store.status() == QSettings::NoError && store.contains(key))
            return store.value(key);
    }
    return {};
}

void Stores::write(const QVariantHash& values, Which which) const
{
    for (const auto& [path, flag] : {std::pair{runningPath, Running}, std::pair{permanentPath, Permanent}}) {
        if (!(which & flag) || !usable(path, true))
            continue;
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            continue;
        if (flag == Running)
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSettings store(path, QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            store.setValue(it.key(), it.value());
        store.sync();
    }
}

bool Stores::usable(const QString& path, bool absentWillDo) const
{
    const Found found = inspect(path);
    if (found == Found::Refused && !reported.contains(path)) {
        reported.insert(path);
        printDiagnostic(("the settings store " + QFile::encodeName(path) +
                         " is not a readable regular file; it is left alone and the defaults are used")
                            .toStdString());
    }
    return found == Found::File || (found == Found::Nothing && absentWillDo);
}

ViewChoice storedViewChoice(const Stores& stores)
{
    ViewChoice choice;
    const int scaling = stores.value(QString::fromLatin1(kScalingKey)).toInt();
    if (scaling >= static_cast<int>(Scaling::Fit) && scaling <= static_cast<int>(Scaling::Stretch))
        choice.scaling = static_cast<Scaling>(scaling);
    bool number = false;
    const double zoom = stores.value(QString::fromLatin1(kZoomKey)).toDouble(&number);
    if (number && zoom >= Viewport::kMinZoom && zoom <= Viewport::kMaxZoom)
        choice.zoom = zoom;
    choice.enlargeSmall = stores.value(QString::fromLatin1(kEnlargeKey)).toBool();
    choice.checkerboard = stores.value(QString::fromLatin1(kCheckerboardKey)).toBool();
    return choice;
}

void storeViewChoice(const Stores& stores, const ViewChoice& choice)
{
    stores.write({{QString::fromLatin1(kScalingKey), static_cast<int>(choice.scaling)},
                  {QString::fromLatin1(kZoomKey), choice.zoom},
                  {QString::fromLatin1(kEnlargeKey), choice.enlargeSmall},
                  {QString::fromLatin1(kCheckerboardKey), choice.checkerboard}},
                 Stores::Both);
}

bool storedColourManagement(const Stores& stores)
{
    const QVariant stored = stores.value(QString::fromLatin1(kColourManagementKey));
    return !stored.isValid() || stored.toBool();
}

void storeColourManagement(const Stores& stores, bool on)
{
    stores.write({{QString::fromLatin1(kColourManagementKey), on}}, Stores::Both);
}

QStringList recentPaths(const Stores& stores)
{
    QStringList paths = stores.value(QString::fromLatin1(kRecentKey)).toStringList();
    paths.removeAll(QString());
    return paths.mid(0, kRecentCount);
}

void rememberRecentPath(const Stores& stores, const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    QStringList paths = recentPaths(stores);
    paths.removeAll(cleaned);
    paths.prepend(cleaned);
    stores.write({{QString::fromLatin1(kRecentKey), paths.mid(0, kRecentCount)}}, Stores::Both);
}

QString storedLastFolder(const Stores& stores)
{
    return stores.value(QString::fromLatin1(kLastFolderKey)).toString();
}

void storeLastFolder(const Stores& stores, const QString& folder)
{
    stores.write({{QString::fromLatin1(kLastFolderKey), folder}}, Stores::Both);
}

QPoint placeOnScreen(const QRect& frame, const QRect& available)
{
    const int x = std::clamp(frame.x(), available.left(), std::max(available.left(), available.right() + 1 - frame.width()));
    const int y = std::clamp(frame.y(), available.top(), std::max(available.top(), available.bottom() + 1 - frame.height()));
    return {x, y};
}

WindowPlace::WindowPlace(QWidget* window, QString identifier, const Stores& stores)
    : QObject(window), window(window), identifier(std::move(identifier)), stores(stores)
{
    const QVariant stored = stores.value(this->identifier);
    if (stored.typeId() == QMetaType::QByteArray && window->restoreGeometry(stored.toByteArray())) {
        placeRestored = true;
        const QRect available = window->screen() ? window->screen()->availableGeometry() : QRect();
        const QSize size = stores.value(this->identifier + QStringLiteral("Size")).toSize();
        sizeRestored = available.isEmpty() || !size.isValid() ||
                       (size.width() <= available.width() && size.height() <= available.height());
        // A size that no longer fits the screen gives way to the window's own.
        if (!sizeRestored)
            window->resize(window->sizeHint().boundedTo(available.size()));
        keepOnScreen();
    }
    window->installEventFilter(this);
}

void WindowPlace::keepOnScreen() const
{
    const QRect available = window->screen() ? window->screen()->availableGeometry() : QRect();
    const QRect frame = window->frameGeometry();
    if (!available.isEmpty() && !available.contains(frame))
        window->move(window->pos() + placeOnScreen(frame, available) - frame.topLeft());
}

void WindowPlace::remember() const
{
    stores.write({{identifier, window->saveGeometry()}, {identifier + QStringLiteral("Size"), window->frameGeometry().size()}},
                 Stores::Running);
}

bool WindowPlace::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window && event->type() == QEvent::Hide && !event->spontaneous())
        remember();
    // The frame of a window put back where it was is known once it is shown: it too must lie on the
    // screen.
    if (placeRestored && watched == window && event->type() == QEvent::Show && !event->spontaneous())
        keepOnScreen();
    return QObject::eventFilter(watched, event);
}

} // namespace quorvanta
