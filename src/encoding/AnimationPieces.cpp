#include "encoding/AnimationPieces.h"

#include "core/DecodeBudget.h"
#include "encoding/AnimationSplice.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace quorvanta {

namespace {

// Fewer pictures than this in a piece and the lead-in costs more than the piece gains.
constexpr std::size_t kMinPicturesPerPiece = 8;
// How far past its cut a piece looks for a picture to start on.
constexpr std::size_t kStartSearch = 4;
// What a piece holds at most, in canvases: libwebp's encoder keeps about five, the imports ahead three.
constexpr std::uint64_t kCanvasesPerPiece = 8;

bool coversCanvasOpaque(const PictureRecord& record, std::uint32_t width, std::uint32_t height)
{
    if (record.width != width || record.height != height || !record.pixels)
        return false;
    const std::uint32_t* pixel = record.pixels.get();
    const std::uint32_t* end = pixel + std::uint64_t(width) * height;
    std::uint32_t all = 0xFF000000u;
    for (; pixel != end; ++pixel)
        all &= *pixel;
    return (all & 0xFF000000u) == 0xFF000000u;
}

FramePixels framePixels(const PictureRecord& record)
{
    return {record.pixels.get(), record.width, record.height, std::size_t(record.width) * 4, PixelOrder::Argb32};
}

struct Piece {
    std::size_t nominalBegin = 0;
    std::size_t nominalEnd = 0;
    // Set by the piece's worker once known: its first picture, or nominalEnd when it holds none.
    std::size_t begin = 0;
    bool published = false;

    EncodedPiece encoded;
    std::vector<std::string> leftOut;
    int frames = 0; // without the lead-in
    bool cancelled = false;
    std::string error;
};

class PieceEncoding {
public:
    PieceEncoding(const std::vector<std::string>& pictures, std::uint32_t width, std::uint32_t height,
                  const AnimationSettings& settings, int durationMs, const PictureImporter& importer,
                  const std::atomic<bool>* cancel, unsigned count)
        : pictures(pictures), width(width), height(height), settings(settings), durationMs(durationMs),
          importer(importer), cancel(cancel), pieces(count)
    {
        const std::size_t n = pictures.size();
        for (unsigned p = 0; p < count; ++p) {
            pieces[p].nominalBegin = n * p / count;
            pieces[p].nominalEnd = n * (p + 1) / count;
        }
    }

    // Runs every piece on a thread of its own; `progress` is called here as pictures are done.
    void run(const AnimationProgress& progress)
    {
        std::vector<std::thread> workers;
        workers.reserve(pieces.size());
        for (std::size_t p = 0; p < pieces.size(); ++p)
            workers.emplace_back([this, p] { encodePiece(p); });
        int reported = 0;
        for (;;) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return done != reported || finished == pieces.size(); });
            const int now = done;
            const bool all = finished == pieces.size();
            lock.unlock();
            if (now != reported && progress)
                progress(now, static_cast<int>(pictures.size()));
            reported = now;
            if (all)
                break;
        }
        for (auto& worker : workers)
            worker.join();
    }

    FilesEncoded result() const
    {
        FilesEncoded out;
        std::vector<EncodedPiece> encoded;
        for (const Piece& piece : pieces) {
            out.leftOut.insert(out.leftOut.end(), piece.leftOut.begin(), piece.leftOut.end());
            out.result.framesEncoded += piece.frames;
            out.result.cancelled = out.result.cancelled || piece.cancelled;
            if (out.result.error.empty())
                out.result.error = piece.error;
            if (!piece.encoded.bytes.empty())
                encoded.push_back(piece.encoded);
        }
        if (out.result.cancelled || !out.result.error.empty())
            return out;
        if (out.result.framesEncoded == 0) {
            out.result.error = "no picture to encode";
            return out;
        }
        const AnimationLayout layout{width, height, settings.loopCount, settings.backgroundColor};
        std::string error;
        if (encoded.size() == 1 && !encoded.front().leadIn)
            out.result.bytes = encoded.front().bytes;
        else
            out.result.bytes = SpliceAnimation(encoded, layout, error);
        out.joined = !out.result.bytes.empty();
        return out;
    }

private:
    void publish(std::size_t p, std::size_t begin)
    {
        {
            const std::lock_guard lock(mutex);
            pieces[p].begin = begin;
            pieces[p].published = true;
        }
        changed.notify_all();
    }

    // Where piece `p` ends: at the first picture of the next piece that holds any.
    std::size_t endOf(std::size_t p)
    {
        std::unique_lock lock(mutex);
        for (std::size_t r = p + 1; r < pieces.size(); ++r) {
            changed.wait(lock, [&] { return pieces[r].published; });
            if (pieces[r].begin < pieces[r].nominalEnd)
                return pieces[r].begin;
        }
        return pictures.size();
    }

    void countDone()
    {
        {
            const std::lock_guard lock(mutex);
            ++done;
        }
        changed.notify_all();
    }

    void encodePiece(std::size_t p)
    {
        encodeFrames(p);
        {
            const std::lock_guard lock(mutex);
            if (!pieces[p].published) {
                pieces[p].begin = pieces[p].nominalEnd; // ended before it found where to start
                pieces[p].published = true;
            }
            ++finished;
        }
        changed.notify_all();
    }

    void encodeFrames(std::size_t p)
    {
        Piece& piece = pieces[p];
        const std::size_t first = p == 0 ? 0 : piece.nominalBegin - 1;
        ImportPipeline imports(pictures, importer, 1, first);
        AnimationAssembler assembler(width, height, settings, cancel);
        if (!assembler.ok()) {
            piece.error = assembler.errorText();
            return;
        }
        const auto add = [&](const PictureRecord& record) {
            if (assembler.add(framePixels(record), durationMs))
                return true;
            piece.cancelled = assembler.cancelled();
            piece.error = piece.cancelled ? std::string() : assembler.errorText();
            return false;
        };

        std::size_t next = 0;
        if (p == 0) {
            publish(p, 0);
        } else {
            // The lead-in and the first picture: both must import, the first must cover the canvas.
            PictureRecord lead;
            bool leadOk = imports.take(first, lead);
            std::size_t start = piece.nominalBegin;
            const std::size_t limit = std::min(piece.nominalEnd, piece.nominalBegin + kStartSearch);
            PictureRecord record;
            bool found = false;
            for (; start < limit; ++start) {
                record = PictureRecord();
                const bool ok = imports.take(start, record);
                if (leadOk && ok && coversCanvasOpaque(record, width, height)) {
                    found = true;
                    break;
                }
                lead = std::move(record);
                leadOk = ok;
            }
            publish(p, found ? start : piece.nominalEnd);
            if (!found)
                return;
            if (!add(lead) || !add(record))
                return;
            piece.encoded.leadIn = true;
            piece.encoded.leadInMs = durationMs;
            ++piece.frames;
            countDone();
            next = start + 1;
        }
        const std::size_t end = endOf(p);
        for (; next < end; ++next) {
            if (assembler.cancelled()) {
                piece.cancelled = true;
                return;
            }
            PictureRecord record;
            if (imports.take(next, record)) {
                if (!add(record))
                    return;
                ++piece.frames;
            } else {
                piece.leftOut.push_back(pictures[next]);
            }
            countDone();
        }
        piece.encoded.keptMs = static_cast<long long>(piece.frames) * durationMs;
        if (piece.frames > 0) {
            piece.encoded.bytes = assembler.finish();
            if (piece.encoded.bytes.empty()) {
                piece.cancelled = assembler.cancelled();
                piece.error = piece.cancelled ? std::string() : assembler.errorText();
            }
        }
    }

    const std::vector<std::string>& pictures;
    const std::uint32_t width;
    const std::uint32_t height;
    const AnimationSettings& settings;
    const int durationMs;
    const PictureImporter& importer;
    const std::atomic<bool>* cancel;
    std::vector<Piece> pieces;

    std::mutex mutex;
    std::condition_variable changed;
    int done = 0;
    std::size_t finished = 0;
};

} // namespace

unsigned pieceCount(std::size_t pictures, unsigned threads, std::uint64_t canvasBytes)
{
    // Each encoder keeps a few canvases of its own and each piece imports ahead: the pieces share the
    // decode budget.
    const std::uint64_t byMemory = DecodeBudgetBytes() / std::max<std::uint64_t>(1, canvasBytes * kCanvasesPerPiece);
    const std::uint64_t count = std::min<std::uint64_t>({threads, pictures / kMinPicturesPerPiece, byMemory});
    return static_cast<unsigned>(std::max<std::uint64_t>(1, count));
}

FilesEncoded EncodeInPieces(const std::vector<std::string>& pictures, std::uint32_t width, std::uint32_t height,
                            const AnimationSettings& settings, int durationMs, const PictureImporter& importer,
                            const AnimationProgress& progress, const std::atomic<bool>* cancel, unsigned pieces)
{
    PieceEncoding encoding(pictures, width, height, settings, durationMs, importer, cancel, pieces);
    encoding.run(progress);
    return encoding.result();
}

} // namespace quorvanta
