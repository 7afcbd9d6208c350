#include "pictureview/PictureView.h"

namespace quorvanta {

void PictureView::openWebP() {}
void PictureView::load(const std::string&) {}
void PictureView::decodeStill() {}

} // namespace quorvanta
