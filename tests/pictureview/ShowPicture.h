#pragma once
// Puts a picture made in the test into the picture object as if it had been imported, and shows it.

#include "pictureview/PictureView.h"

#include <cstdint>
#include <functional>

namespace fixtures {

// Fills the view's imported picture with `argb(x, y)` values and shows it.
inline void showPicture(quorvanta::PictureView& view, std::uint32_t width, std::uint32_t height,
                        const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& argb)
{
    using namespace quorvanta;
    PictureRecord& record = const_cast<PictureRecord&>(view.state().importBuffer);
    record.releasePixels();
    record.pixels = allocZeroed<std::uint32_t>(std::uint64_t{width} * height);
    record.size = std::uint64_t{width} * height * 4;
    record.width = width;
    record.height = height;
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            record.pixels[std::uint64_t{y} * width + x] = argb(x, y);
    view.send(MethodId::ShowImported);
}

} // namespace fixtures
