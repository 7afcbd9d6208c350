#pragma once
// The file and drawer requesters. Both leave their result in pathBuffer(): the chosen path, "0" after a
// cancel, or "-1" when no requester could be shown.

#include <QString>

#include <functional>
#include <memory>
#include <string>

namespace quorvanta {

struct RequestOptions {
    QString title;
    bool saveMode = false;
    QString pattern;       // in the "#?.(a|b)" form; shown as the name filter "*.a *.b"
    QString initialDrawer; // "ram:" is the folder last used, or the temp directory before any
    bool drawersOnly = false;
    QString lastFolder = {};  // the folder last used; empty before the first choice
    QString initialFile = {}; // a save dialog's proposal (a whole path), or empty
};

// What a requester answered: the drawer and file name as the user left them.
struct RequestAnswer {
    enum class Outcome { Chosen, Cancelled, Failed } outcome = Outcome::Cancelled;
    std::string drawer;
    std::string file;
};

// Shows the dialog. The real one is a QFileDialog; tests give a scripted one.
class RequesterBackend {
public:
    virtual ~RequesterBackend() = default;
    virtual RequestAnswer ask(const RequestOptions& options) = 0;
};

// The chosen path is the drawer and file name joined by joinPath (core/Paths.h).
class Requesters {
public:
    explicit Requesters(std::unique_ptr<RequesterBackend> backend);
    ~Requesters();

    // 1 chosen, 0 cancelled, -1 failed.
    int RequestFile(const QString& title, bool saveMode, const QString& pattern, const QString& initialDrawer);
    int RequestDrawer(const QString& title, bool saveMode, const QString& pattern, const QString& initialDrawer);

    const std::string& pathBuffer() const { return buffer; }

    // The picture or directory on show: a save request proposes its name with ".webp", beside it.
    void setSource(std::string path) { source = std::move(path); }
    // The folder the dialogs start in; each choice makes its folder the one last used and tells
    // `folderUsed` (to keep it for the next run).
    void setLastFolder(std::string folder) { lastFolder = std::move(folder); }
    const std::string& lastUsedFolder() const { return lastFolder; }
    void setFolderListener(std::function<void(const std::string&)> listener) { folderUsed = std::move(listener); }

private:
    int request(RequestOptions options);

    std::unique_ptr<RequesterBackend> backend;
    std::string buffer;
    std::string source;
    std::string lastFolder;
    std::function<void(const std::string&)> folderUsed;
};

// The name a save dialog proposes for `source`: its name with ".webp" in place of its extension (a
// directory's name with ".webp" added), in the folder that holds it.
std::string proposedWebPName(const std::string& source);

} // namespace quorvanta
