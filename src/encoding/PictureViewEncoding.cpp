#include "pictureview/PictureView.h"

namespace quorvanta {

void PictureView::savePicture() {}
void PictureView::encodePicture(const std::string&) {}

} // namespace quorvanta
