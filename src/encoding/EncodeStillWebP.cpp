#include "encoding/EncodeStillWebP.h"

#include "encoding/AtomicFile.h"

#include <climits>

namespace quorvanta {

namespace {

// WebPPictureFree on every way out. The borrowed argb plane is not libwebp's and is never freed by it.
class PictureGuard {
public:
    explicit PictureGuard(WebPPicture& picture) : picture(picture) {}
    ~PictureGuard() { WebPPictureFree(&picture); }
    PictureGuard(const PictureGuard&) = delete;
    PictureGuard& operator=(const PictureGuard&) = delete;

private:
    WebPPicture& picture;
};

bool holdsPicture(const PictureRecord& record)
{
    const auto bytes = checkedMul(record.width, record.height, 4);
    return record.pixels && record.width > 0 && record.height > 0 && bytes && *bytes <= record.size &&
           record.width <= INT_MAX && record.height <= INT_MAX;
}

} // namespace

int ReportEncodeProgress(int percent, const WebPPicture* picture)
{
    if (picture && picture->user_data) {
        const auto* report = static_cast<const ProgressReport*>(picture->user_data);
        if (*report)
            (*report)(percent);
    }
    return 1;
}

int WriteToFile(const std::uint8_t* data, std::size_t dataSize, const WebPPicture* picture)
{
    if (dataSize == 0)
        return 1;
    auto* file = picture ? static_cast<AtomicFile*>(picture->custom_ptr) : nullptr;
    return file && file->write(data, dataSize) ? 1 : 0;
}

int EncodeStillWebP(const std::string& path, PictureRecord& record, int lossless, int method,
                    int filterStrength, int filterSharpness, WebPMemoryWriter* memoryWriter, int toMemory,
                    float quality, const ProgressReport* progress)
{
    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_PHOTO, 50.0f))
        return -1;
    config.quality = quality;
    config.method = method;
    config.filter_strength = filterStrength;
    config.filter_sharpness = filterSharpness;
    config.lossless = lossless;
    // Out-of-range values stop here, before a file is touched; WebPEncode would refuse them as well.
    if (!WebPValidateConfig(&config))
        return -1;
    if (!holdsPicture(record) || (toMemory && !memoryWriter))
        return -1;

    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        return -1;
    const PictureGuard guard(picture);
    picture.use_argb = 1;
    picture.width = static_cast<int>(record.width);
    picture.height = static_cast<int>(record.height);
    picture.argb = record.pixels.get();
    picture.argb_stride = static_cast<int>(record.width);
    picture.progress_hook = ReportEncodeProgress;
    picture.user_data = const_cast<ProgressReport*>(progress);

    AtomicFile file(path);
    if (toMemory) {
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = memoryWriter;
    } else {
        if (!file.open())
            return -1;
        picture.writer = WriteToFile;
        picture.custom_ptr = &file;
    }

    if (!lossless && !WebPPictureARGBToYUVA(&picture, WEBP_YUV420))
        return -1;
    if (!WebPEncode(&config, &picture))
        return -1;
    if (!toMemory && !file.commit())
        return -1;
    return 1;
}

int EncodeStillWebP(const std::string& path, PictureRecord& record, const EncodeSettings& settings,
                    WebPMemoryWriter* memoryWriter, int toMemory, const ProgressReport* progress)
{
    return EncodeStillWebP(path, record, settings.lossless, settings.method, settings.filterStrength,
                           settings.filterSharpness, memoryWriter, toMemory,
                           static_cast<float>(settings.quality), progress);
}

} // namespace quorvanta
