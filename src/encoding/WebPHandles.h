#pragma once
// Owning handles for the libwebp objects the encoders use; each is released on every way out.

#include <webp/encode.h>
#include <webp/mux.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorvanta {

struct MuxDeleter {
    void operator()(WebPMux* mux) const noexcept { WebPMuxDelete(mux); }
};
using MuxHandle = std::unique_ptr<WebPMux, MuxDeleter>;

inline MuxHandle makeMux()
{
    return MuxHandle(WebPMuxNew());
}

// A WebPMemoryWriter that clears itself.
class MemoryWriter {
public:
    MemoryWriter() { WebPMemoryWriterInit(&writer); }
    ~MemoryWriter() { WebPMemoryWriterClear(&writer); }
    MemoryWriter(MemoryWriter&& other) noexcept : writer(other.writer) { WebPMemoryWriterInit(&other.writer); }
    MemoryWriter& operator=(MemoryWriter&& other) noexcept
    {
        if (this != &other) {
            WebPMemoryWriterClear(&writer);
            writer = other.writer;
            WebPMemoryWriterInit(&other.writer);
        }
        return *this;
    }
    MemoryWriter(const MemoryWriter&) = delete;
    MemoryWriter& operator=(const MemoryWriter&) = delete;

    WebPMemoryWriter* get() { return &writer; }
    const std::uint8_t* data() const { return writer.mem; }
    std::size_t size() const { return writer.size; }

private:
    WebPMemoryWriter writer{};
};

// WebPData whose bytes came from libwebp (WebPMuxAssemble, WebPMuxGetFrame).
class OwnedWebPData {
public:
    OwnedWebPData() { WebPDataInit(&data); }
    explicit OwnedWebPData(const WebPData& adopted) : data(adopted) {} // takes over bytes libwebp allocated
    ~OwnedWebPData() { WebPDataClear(&data); }
    OwnedWebPData(const OwnedWebPData&) = delete;
    OwnedWebPData& operator=(const OwnedWebPData&) = delete;

    WebPData* get() { return &data; }
    const WebPData& operator*() const { return data; }

private:
    WebPData data{};
};

} // namespace quorvanta
