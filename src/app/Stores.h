#pragma once
// The two settings stores: the running store (this session; $XDG_RUNTIME_DIR/quorvanta/, else a
// private folder in the temp directory) and the permanent store ($XDG_CONFIG_HOME/quorvanta/, else
// ~/.config/quorvanta/). Both are INI files. A value is read from the running store, and from the
// permanent store where the running store does not hold it (as after a reboot, when the running
// store is empty).

#include "pictureview/Viewport.h"

#include <QObject>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

class QWidget;

namespace quorvanta {

class Stores {
public:
    Stores(); // the places named by the environment
    Stores(QString runningFolder, QString permanentFolder);

    static QString defaultRunningFolder();
    static QString defaultPermanentFolder();

    QString runningFile() const { return runningPath; }
    QString permanentFile() const { return permanentPath; }

    // The stored value for a key; invalid when neither store holds it.
    QVariant value(const QString& key) const;

    enum Which { Running = 1, Permanent = 2, Both = Running | Permanent };
    // Writes the values to the named stores. A failed write is not reported (it leaves the old file).
    // A store that is anything but a regular file (a FIFO, socket, device, folder or link) or cannot
    // be read is neither read nor written; that is said once per store on stderr.
    void write(const QVariantHash& values, Which which) const;

private:
    // True when the store at path may be read (absentWillDo false) or written (true).
    bool usable(const QString& path, bool absentWillDo) const;

    QString runningPath;
    QString permanentPath;
    mutable QSet<QString> reported; // the refused stores already named on stderr
};

// The view chosen in the View menu, kept in both stores as it changes.
ViewChoice storedViewChoice(const Stores& stores);
void storeViewChoice(const Stores& stores, const ViewChoice& choice);

// Colour management on display (the View menu), kept in both stores; on unless turned off.
bool storedColourManagement(const Stores& stores);
void storeColourManagement(const Stores& stores, bool on);

// "Open recent": the paths last opened, newest first, at most kRecentCount, kept in both stores.
inline constexpr int kRecentCount = 10;
QStringList recentPaths(const Stores& stores);
void rememberRecentPath(const Stores& stores, const QString& path);

// The folder the file dialogs start in, kept in both stores.
QString storedLastFolder(const Stores& stores);
void storeLastFolder(const Stores& stores, const QString& folder);

// Where a window of `frame` goes so as to lie wholly on `available`, moved the least (its top left
// corner kept on it when it is larger).
QPoint placeOnScreen(const QRect& frame, const QRect& available);

// Keeps a window's place and size under its identifier in the running store: restored when made,
// written each time the window is hidden. A stored size that no longer fits the screen is not used,
// and a window stored off the screen is moved back onto it.
class WindowPlace : public QObject {
    Q_OBJECT

public:
    WindowPlace(QWidget* window, QString identifier, const Stores& stores);
    void remember() const;
    // Moves the window onto its screen if it lies partly off it.
    void keepOnScreen() const;
    // True when the window took the size stored from the last run.
    bool restoredSize() const { return sizeRestored; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window;
    QString identifier;
    const Stores& stores;
    bool placeRestored = false;
    bool sizeRestored = false;
};

} // namespace quorvanta
