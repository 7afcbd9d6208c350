#pragma once
// A decoded WebP still turned upright as the EXIF orientation of its file says.

#include "viewing/WebPFile.h"

namespace quorvanta {

// Turns `still` for EXIF orientation 2 to 8: native 32-bit pixels keep their layout, A,R,G,B and R,G,B
// rows become A,R,G,B rows (an opaque picture gets full alpha); width and height swap for the quarter
// turns. False, with `still` unchanged, when there is nothing to turn, the orientation is 1 or out of
// range, or memory for the turn is short.
bool TurnStillUpright(StillPicture& still, int orientation);

} // namespace quorvanta
