#include "pictureview/PictureView.h"

namespace quorvanta {

void PictureView::showAnimFrame(std::int32_t) {}

} // namespace quorvanta
