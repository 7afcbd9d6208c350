#include "pictureview/PictureView.h"

#include "viewing/PlaybackClock.h"

namespace quorvanta {

void PictureView::setClock(std::unique_ptr<PlaybackClock> clock) { playbackClock = std::move(clock); }
void PictureView::setup() {}
void PictureView::cleanup() {}
void PictureView::tick() {}
void PictureView::gotoFrame(std::int32_t) {}
void PictureView::setDelay(const std::string&) {}
void PictureView::pause() { d.inputHandlerAdded = false; }
void PictureView::play() { d.inputHandlerAdded = true; }

} // namespace quorvanta
