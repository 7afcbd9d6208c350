#include "app/Stores.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QWidget>

#include <unistd.h>

namespace quorvanta {

namespace {

constexpr auto kFileName = "quorvanta.ini";

QString folderFromEnvironment(const char* variable)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QString();
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
        if (!QFile::exists(path))
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
        if (!(which & flag))
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
