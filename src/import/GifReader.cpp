#include "import/GifReader.h"

#include "import/DecodedPicture.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace quorvanta {

namespace {

constexpr int kLongestRow = 65535; // GIF sizes are 16-bit
constexpr int kNoTransparency = -1;
constexpr int kDisposeBackground = 2;
constexpr int kDisposePrevious = 3;
constexpr std::uint32_t kOpaqueBlack = 0xFF000000;

int readInput(GifFileType* gif, GifByteType* out, int wanted)
{
    auto* input = static_cast<GifInput*>(gif->UserData);
    if (wanted <= 0 || input->position >= input->bytes.size())
        return 0;
    const std::size_t count = std::min(std::size_t(wanted), input->bytes.size() - input->position);
    std::memcpy(out, input->bytes.data() + input->position, count);
    input->position += count;
    return int(count);
}

using GifHandle = std::unique_ptr<GifFileType, GifFileCloser>;

// Opens the bytes behind `input` and reads the screen descriptor and the global colour map.
GifHandle openGif(GifInput& input)
{
    int error = 0;
    return GifHandle(DGifOpen(&input, readInput, &error));
}

// What the graphic control extension ahead of an image says about it.
struct FrameControl {
    int delay = 0; // centiseconds
    int disposal = 0;
    int transparent = kNoTransparency;
};

enum class Record { Image, End, Damaged };

// Reads records up to the next image descriptor, taking in the graphic control and looping
// extensions on the way. On Image the descriptor has been read and its pixel data comes next.
Record readToImage(GifFileType* gif, FrameControl& control, int& netscapeLoops)
{
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            return Record::Damaged;
        if (type == TERMINATE_RECORD_TYPE)
            return Record::End;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) == GIF_ERROR)
                return Record::Damaged;
            // giflib keeps a record of every image read; only the current one is of use here.
            GifFreeSavedImages(gif);
            gif->ImageCount = 0;
            return Record::Image;
        }
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
            return Record::Damaged;
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
            control.disposal = (block[1] >> 2) & 7;
            control.delay = block[2] | (block[3] << 8);
            control.transparent = (block[1] & 1) ? block[4] : kNoTransparency;
        } else if (code == APPLICATION_EXT_FUNC_CODE && block && block[0] == 11 &&
                   (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0)) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                return Record::Damaged;
            if (block && block[0] >= 3 && block[1] == 1)
                netscapeLoops = block[2] | (block[3] << 8);
        }
        while (block)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                return Record::Damaged;
    }
}

// Passes over the rest of the current image's pixel data.
bool skipPixelData(GifFileType* gif)
{
    GifByteType* block = nullptr;
    do {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
            return false;
    } while (block);
    return true;
}

// The canvas row of the `index`th row stored of an image `height` rows high.
int rowAt(int index, int height, bool interlaced)
{
    if (!interlaced)
        return index;
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int rows = height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (index < rows)
            return kStart[pass] + index * kStep[pass];
        index -= rows;
    }
    return height;
}

// What a walk through the whole data finds, without decoding pixels.
struct Survey {
    int frames = 0; // images whose data is all there
    int netscapeLoops = -1;
    std::uint32_t firstWidth = 0;
    std::uint32_t firstHeight = 0;
    bool damaged = false;
};

Survey survey(std::span<const std::uint8_t> bytes)
{
    Survey out;
    GifInput input{bytes};
    const GifHandle gif = openGif(input);
    if (!gif) {
        out.damaged = true;
        return out;
    }
    for (;;) {
        FrameControl control;
        const Record record = readToImage(gif.get(), control, out.netscapeLoops);
        if (record == Record::End)
            return out;
        if (record == Record::Damaged || !skipPixelData(gif.get())) {
            out.damaged = true;
            return out;
        }
        if (out.frames == 0) {
            out.firstWidth = std::uint32_t(gif->Image.Width);
            out.firstHeight = std::uint32_t(gif->Image.Height);
        }
        ++out.frames;
    }
}

// gif2webp's reading of the looping extension in WebP terms.
int webpLoops(int netscapeLoops)
{
    if (netscapeLoops < 0)
        return 1;
    if (netscapeLoops == 0 || netscapeLoops >= 65535)
        return netscapeLoops;
    return netscapeLoops + 1;
}

} // namespace

void GifFileCloser::operator()(GifFileType* gif) const noexcept
{
    int error = 0;
    DGifCloseFile(gif, &error);
}

GifAnimationReader::GifAnimationReader(std::span<const std::uint8_t> bytes) : input{bytes}
{
    gif = openGif(input);
    if (!gif)
        return;
    std::uint64_t w = std::uint64_t(gif->SWidth);
    std::uint64_t h = std::uint64_t(gif->SHeight);
    // A few bytes can declare a screen of gigabytes: it is refused before the data is looked at.
    if (w > 0 && h > 0 && !fitsBudget(w, h))
        return;
    const Survey found = survey(bytes);
    broken = found.damaged;
    if (found.frames == 0)
        return;
    if (w == 0 || h == 0) {
        w = found.firstWidth;
        h = found.firstHeight;
        firstAtOrigin = true;
        if (w == 0 || h == 0 || !fitsBudget(w, h))
            return;
    }
    width = std::uint32_t(w);
    height = std::uint32_t(h);
    frames = found.frames;
    loops = webpLoops(found.netscapeLoops);
}

GifAnimationReader::~GifAnimationReader() = default;

bool GifAnimationReader::fitsBudget(std::uint64_t w, std::uint64_t h)
{
    const std::uint64_t most = std::min(DecodeBudgetBytes(), kMaxPicturePixels * 4 * kBuffersPerCanvas);
    BudgetCheck check = CheckDecodeBudget(w, h, 4, kBuffersPerCanvas, most);
    if (!check)
        refused = std::move(check.message);
    return bool(check);
}

FrameSource::Read GifAnimationReader::next(AnimationFrame& frame)
{
    if (!ok() || stopped || given >= frames)
        return Read::End;
    const auto fail = [this] {
        stopped = true;
        broken = true;
        return given > 0 ? Read::End : Read::Failed;
    };
    FrameControl control;
    int ignored = 0;
    if (readToImage(gif.get(), control, ignored) != Record::Image)
        return fail();
    if (!canvas && !(canvas = allocZeroed<std::uint32_t>(std::uint64_t(width) * height)))
        return fail();
    if (!line && !(line = allocZeroed<std::uint8_t>(kLongestRow)))
        return fail();
    if (!drawFrame(control.disposal, control.transparent))
        return fail();
    auto out = allocCanvas(width, height);
    if (!out)
        return fail();
    std::memcpy(out->get(), canvas.get(), std::size_t(width) * height * 4);
    frame.pixels = std::move(*out);
    frame.width = width;
    frame.height = height;
    frame.durationMs = control.delay <= 1 ? 100 : control.delay * 10;
    ++given;

    // The frame's disposal readies the canvas for the next one.
    const std::size_t span = right - left;
    for (std::uint32_t y = top; span > 0 && y < bottom; ++y) {
        std::uint32_t* row = canvas.get() + std::size_t(y) * width + left;
        if (control.disposal == kDisposeBackground)
            std::fill_n(row, span, 0u);
        else if (control.disposal == kDisposePrevious)
            std::memcpy(row, saved.get() + (y - top) * span, span * 4);
    }
    return Read::Frame;
}

// Decodes the image whose descriptor was just read onto the canvas.
bool GifAnimationReader::drawFrame(int disposal, int transparent)
{
    const GifImageDesc& image = gif->Image;
    const bool atOrigin = firstAtOrigin && given == 0;
    const std::uint64_t x = atOrigin ? 0 : std::uint64_t(image.Left);
    const std::uint64_t y = atOrigin ? 0 : std::uint64_t(image.Top);
    left = std::uint32_t(std::min<std::uint64_t>(x, width));
    top = std::uint32_t(std::min<std::uint64_t>(y, height));
    right = std::uint32_t(std::min<std::uint64_t>(x + std::uint64_t(image.Width), width));
    bottom = std::uint32_t(std::min<std::uint64_t>(y + std::uint64_t(image.Height), height));
    const std::size_t span = right - left;

    if (disposal == kDisposePrevious && span > 0 && bottom > top) {
        if (!saved && !(saved = allocZeroed<std::uint32_t>(std::uint64_t(width) * height)))
            return false;
        for (std::uint32_t row = top; row < bottom; ++row)
            std::memcpy(saved.get() + (row - top) * span, canvas.get() + std::size_t(row) * width + left, span * 4);
    }

    // Colours by index; 0 marks the transparent index, whose pixels leave the canvas as it is.
    std::array<std::uint32_t, 256> colors;
    colors.fill(kOpaqueBlack);
    const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif->SColorMap;
    if (map && map->Colors)
        for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
            colors[std::size_t(i)] = argb(255, map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
    if (transparent != kNoTransparency)
        colors[std::size_t(transparent)] = 0;

    const int rows = image.Height;
    if (image.Width <= 0 || rows <= 0)
        return skipPixelData(gif.get());
    // Rows are decoded in the order they are stored up to the last one that shows; the rest of the
    // data is passed over.
    const int shown = int(bottom > top ? bottom - std::uint32_t(y) : 0);
    int last = span > 0 ? rows - 1 : -1;
    while (last >= 0 && rowAt(last, rows, image.Interlace) >= shown)
        --last;
    for (int index = 0; index <= last; ++index) {
        if (DGifGetLine(gif.get(), line.get(), image.Width) == GIF_ERROR)
            return false;
        const int row = rowAt(index, rows, image.Interlace);
        if (row >= shown)
            continue;
        std::uint32_t* out = canvas.get() + (std::size_t(y) + std::size_t(row)) * width + left;
        for (std::size_t i = 0; i < span; ++i) // left is x here: the frame starts inside the canvas
            if (const std::uint32_t color = colors[line[i]])
                out[i] = color;
    }
    return last == rows - 1 || skipPixelData(gif.get());
}

} // namespace quorvanta
