#include "pictureview/Requesters.h"

#include "core/Paths.h"

namespace quorvanta {

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
    buffer = joinPath(answer.drawer, answer.file);
    return 1;
}

} // namespace quorvanta
