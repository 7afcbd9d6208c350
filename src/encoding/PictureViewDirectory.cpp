#include "pictureview/PictureView.h"

#include "encoding/DirectoryState.h"

namespace quorvanta {

void PictureView::openDirectory() {}
void PictureView::loadDirectory(const std::string&) {}
void PictureView::showDirFrame(std::int32_t) {}
void PictureView::saveAnimation() {}

} // namespace quorvanta
