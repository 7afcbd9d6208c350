#include "import/AnimationPlayback.h"

#include "core/DecodeBudget.h"
#include "core/PictureRecord.h"
#include "import/AnimationReaders.h"

#include <vector>

namespace quorvanta {

namespace {

class ReaderPlayback final : public PlayableAnimation {
public:
    ReaderPlayback(std::shared_ptr<const std::uint8_t[]> fileBytes, std::uint64_t fileSize,
                   std::unique_ptr<AnimationFileReader> opened)
        : bytes(std::move(fileBytes)), size(fileSize), reader(std::move(opened)),
          width(reader->canvasWidth()), height(reader->canvasHeight()),
          loops(std::uint32_t(reader->loopCount())), frames(reader->frameCount()),
          durations(std::size_t(frames), 0)
    {
        const std::uint64_t share = DecodeBudgetBytes() / kKeptFramesBudgetShare;
        if (CheckDecodeBudget(width, height, 4, std::uint64_t(frames), share))
            kept.resize(std::size_t(frames));
    }

    std::uint32_t canvasWidth() const override { return width; }
    std::uint32_t canvasHeight() const override { return height; }
    std::uint32_t loopCount() const override { return loops; }
    std::uint32_t backgroundColor() const override { return 0xFFFFFFFF; }
    std::int32_t frameCount() const override { return frames; }

    bool show(std::int32_t number, DisplayBuffer& canvas) override
    {
        const PictureRecord* frame = frameAt(number);
        if (!frame)
            return false;
        copyRecordToDisplay(*frame, canvas);
        return bool(canvas);
    }

    std::int32_t frameDuration(std::int32_t number) const override
    {
        return number >= 1 && number <= frames ? durations[std::size_t(number - 1)] : 0;
    }

private:
    bool keeping() const { return !kept.empty(); }

    const PictureRecord* frameAt(std::int32_t number)
    {
        if (number < 1 || number > frames)
            return nullptr;
        if (keeping() && number <= read)
            return &kept[std::size_t(number - 1)];
        if (number == read && current.pixels)
            return &current;
        if (number < read) {
            // The reader only goes forward: it starts again from the first frame.
            reader = std::make_unique<AnimationFileReader>(bytes, std::size_t(size));
            read = 0;
        }
        while (read < number)
            if (!readNext())
                return nullptr;
        if (keeping() && read == frames)
            reader.reset(); // every frame is kept: the reader's canvases can go
        return keeping() ? &kept[std::size_t(number - 1)] : &current;
    }

    bool readNext()
    {
        AnimationFrame frame;
        FrameSource::Read result = FrameSource::Read::Skipped;
        while (result == FrameSource::Read::Skipped)
            result = reader->next(frame);
        if (result != FrameSource::Read::Frame || frame.width != width || frame.height != height) {
            // A damaged file ends at the last frame that could be read whole.
            frames = read;
            current = {};
            return false;
        }
        durations[std::size_t(read)] = frame.durationMs;
        PictureRecord& record = keeping() ? kept[std::size_t(read)] : current;
        record.pixels = std::move(frame.pixels);
        record.size = std::uint64_t(width) * height * 4;
        record.width = width;
        record.height = height;
        ++read;
        return true;
    }

    std::shared_ptr<const std::uint8_t[]> bytes;
    std::uint64_t size = 0;
    std::unique_ptr<AnimationFileReader> reader;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t loops = 0;
    std::int32_t frames = 0;
    std::int32_t read = 0;              // frames the reader has given
    std::vector<std::int32_t> durations; // each frame's, once read
    std::vector<PictureRecord> kept;    // every frame read, when they all fit their share of the budget
    PictureRecord current;              // otherwise the last frame read
};

} // namespace

Result<std::unique_ptr<PlayableAnimation>> OpenAnimationPlayback(std::shared_ptr<const std::uint8_t[]> bytes,
                                                                 std::uint64_t size)
{
    auto reader = std::make_unique<AnimationFileReader>(bytes, std::size_t(size));
    if (!reader->ok()) {
        if (!reader->refusal().empty())
            return problem(Failure::OverBudget, reader->refusal());
        return problem(Failure::NotAPicture, "not an animation");
    }
    return std::unique_ptr<PlayableAnimation>(std::make_unique<ReaderPlayback>(std::move(bytes), size, std::move(reader)));
}

} // namespace quorvanta
