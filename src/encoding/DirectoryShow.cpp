#include "encoding/DirectoryShow.h"

#include "import/ImportPictureFile.h"

namespace quorvanta {

int DirectoryShow::importFrame(std::int32_t number, PictureRecord& record)
{
    std::string name;
    GetDirectoryFileName(list, number, name);
    int result = -1;
    if (ahead.valid()) {
        Imported imported = ahead.get();
        if (!name.empty() && aheadName == name) {
            record = std::move(imported.record);
            result = imported.result;
            name.clear(); // already imported
        }
    }
    if (!name.empty())
        result = ImportPictureFile(name, record);
    return result;
}

void DirectoryShow::importAhead(std::int32_t number)
{
    if (ahead.valid())
        ahead.get(); // an import nobody took
    aheadName.clear();
    GetDirectoryFileName(list, number, aheadName);
    ahead = std::async(std::launch::async, [name = aheadName] {
        Imported imported;
        imported.result = ImportPictureFile(name, imported.record);
        return imported;
    });
}

std::vector<std::string> DirectoryShow::files() const
{
    std::vector<std::string> out = directoryFiles(list);
    if (list.pathIsFile)
        out.push_back(list.directory); // a file given as the directory is its one frame
    return out;
}

} // namespace quorvanta
