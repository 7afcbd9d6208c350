#include "app/Stores.h"
#include "core/Messages.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvanta {

namespace {

constexpr auto kFileName = "quorvanta.ini";

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

WindowPlace::WindowPlace(QWidget* window, QString identifier, const Stores& stores)
    : QObject(window), window(window), identifier(std::move(identifier)), stores(stores)
{
    const QVariant stored = stores.value(this->identifier);
    if (stored.typeId() == QMetaType::QByteArray)
        window->restoreGeometry(stored.toByteArray());
    window->installEventFilter(this);
}

void WindowPlace::remember() const
{
    stores.write({{identifier, window->saveGeometry()}}, Stores::Running);
}

bool WindowPlace::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window && event->type() == QEvent::Hide && !event->spontaneous())
        remember();
    return QObject::eventFilter(watched, event);
}

} // namespace quorvanta
