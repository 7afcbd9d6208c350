#pragma once
// The file and drawer requesters. Both leave their result in pathBuffer(): the chosen path, "0" after a
// cancel, or "-1" when no requester could be shown.

#include <QString>

#include <memory>
#include <string>

namespace quorvanta {

struct RequestOptions {
    QString title;
    bool saveMode = false;
    QString pattern;       // in the "#?.(a|b)" form; shown as the name filter "*.a *.b"
    QString initialDrawer; // "ram:" is the temp directory
    bool drawersOnly = false;
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

private:
    int request(const RequestOptions& options);

    std::unique_ptr<RequesterBackend> backend;
    std::string buffer;
};

} // namespace quorvanta
