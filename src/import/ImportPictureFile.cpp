#include "import/ImportPictureFile.h"

namespace quorvanta {

int ImportPictureFile(const std::string&, PictureRecord&)
{
    return -1;
}

} // namespace quorvanta
