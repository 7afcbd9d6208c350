#include "pictureview/Requesters.h"

#include "core/Paths.h"

#include <QFile>

#include <filesystem>

namespace quorvanta {

std::string proposedWebPName(const std::string& source)
{
    std::filesystem::path path(source);
    if (!path.has_filename())
        path = path.parent_path(); // "frames/" names the directory "frames"
    if (path.empty() || !path.has_filename())
        return {};
    std::filesystem::path proposal = path;
    proposal.replace_filename(path.stem().string() + ".webp");
    return proposal.string();
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

int Requesters::request(RequestOptions options)
{
    if (!backend) {
        buffer = "-1";
        return -1;
    }
    options.lastFolder = QFile::decodeName(QByteArray::fromStdString(lastFolder));
    if (options.saveMode && !options.drawersOnly)
        options.initialFile = QFile::decodeName(QByteArray::fromStdString(proposedWebPName(source)));
    const RequestAnswer answer = backend->ask(options);
    switch (answer.outcome) {
    case RequestAnswer::Outcome::Failed: buffer = "-1"; return -1;
    case RequestAnswer::Outcome::Cancelled: buffer = "0"; return 0;
    case RequestAnswer::Outcome::Chosen: break;
    }
    buffer = joinPath(answer.drawer, answer.file);
    // A directory chosen is used from the folder that holds it.
    std::filesystem::path drawer = std::filesystem::path(answer.drawer).lexically_normal();
    if (!drawer.has_filename())
        drawer = drawer.parent_path();
    const std::string used = options.drawersOnly ? drawer.parent_path().string() : answer.drawer;
    if (!used.empty() && used != lastFolder) {
        lastFolder = used;
        if (folderUsed)
            folderUsed(lastFolder);
    }
    return 1;
}

} // namespace quorvanta
