#include "app/Requesters.h"

namespace quorvanta {

std::string joinDrawerAndFile(const std::string& drawer, const std::string& file)
{
    // A volume name ("RAM:") is joined without a separator, and so is a drawer that already ends in
    // one. A colon inside a real directory path ("/tmp/a:/b", "/tmp/x:") is just a character.
    const bool volumeRoot = drawer.ends_with(':') && drawer.find('/') == std::string::npos;
    const bool separator = !volumeRoot && !drawer.ends_with('/');
    return separator ? drawer + "/" + file : drawer + file;
}

Requesters::Requesters(std::unique_ptr<RequesterBackend> backend) : backend(std::move(backend)) {}
Requesters::~Requesters() = default;

int Requesters::RequestFile(const QString& title, bool saveMode, const QString& pattern,
                            const QString& initialDrawer)
{
    return request({title, saveMode, pattern, initialDrawer, false});
}

int Requesters::RequestDrawer(const QString& title, bool saveMode, const QString& pattern,
                              const QString& initialDrawer)
{
    return request({title, saveMode, pattern, initialDrawer, true});
}

int Requesters::request(const RequestOptions& options)
{
    if (!backend) {
        buffer = "-1";
        return -1;
    }
    const RequestAnswer answer = backend->ask(options);
    switch (answer.outcome) {
    case RequestAnswer::Outcome::Failed: buffer = "-1"; return -1;
    case RequestAnswer::Outcome::Cancelled: buffer = "0"; return 0;
    case RequestAnswer::Outcome::Chosen: break;
    }
    buffer = joinDrawerAndFile(answer.drawer, answer.file);
    return 1;
}

} // namespace quorvanta
