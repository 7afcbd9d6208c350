#include "encoding/EncodeStillWebP.h"

#include "encoding/AtomicFile.h"

#include <climits>
#include <cstdio>
#include <string>

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

// libwebp's reason for a failed encoding, in the words the window shows.
Problem encoderProblem(const WebPPicture& picture)
{
    switch (picture.error_code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
        return problem(Failure::NoMemory, "the encoder ran out of memory");
    case VP8_ENC_ERROR_BAD_DIMENSION:
        return problem(Failure::EncodeFailed, "WebP pictures are at most 16383 x 16383 pixels");
    case VP8_ENC_ERROR_PARTITION0_OVERFLOW:
    case VP8_ENC_ERROR_PARTITION_OVERFLOW:
        return problem(Failure::EncodeFailed, "the picture is too detailed for lossy coding at this quality");
    case VP8_ENC_ERROR_FILE_TOO_BIG:
        return problem(Failure::EncodeFailed, "the encoded picture would be larger than 4 GiB");
    default:
        return problem(Failure::EncodeFailed, "libwebp error " + std::to_string(int(picture.error_code)));
    }
}

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load();
}

Status checkAllButQuality(const EncodeSettings& settings)
{
    for (const Status& check : {CheckSettingRange("speed", settings.method, 0, 6),
                                CheckSettingRange("filter strength", settings.filterStrength, 0, 100),
                                CheckSettingRange("filter sharpness", settings.filterSharpness, 0, 7)}) {
        if (!check)
            return check;
    }
    return {};
}

Status encodeStill(const std::string& path, PictureRecord& record, const EncodeSettings& settings, float quality,
                   WebPMemoryWriter* memoryWriter, int toMemory, const EncodeHooks& hooks)
{
    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_PHOTO, 50.0f))
        return problem(Failure::EncodeFailed, "this libwebp does not match the one the program was built for");
    config.quality = quality;
    config.method = settings.method;
    config.filter_strength = settings.filterStrength;
    config.filter_sharpness = settings.filterSharpness;
    config.lossless = settings.lossless;
    // Out-of-range values stop here, before a file is touched; WebPEncode would refuse them as well.
    if (!(quality >= 0.0f && quality <= 100.0f)) { // NaN too
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", double(quality));
        return problem(Failure::InvalidSetting, std::string("quality ") + shown + " is outside 0-100");
    }
    if (Status valid = checkAllButQuality(settings); !valid)
        return valid;
    if (!WebPValidateConfig(&config))
        return problem(Failure::InvalidSetting, "libwebp refused the settings");
    if (!holdsPicture(record))
        return problem(Failure::NothingToEncode, "no picture was imported");
    if (toMemory && !memoryWriter)
        return problem(Failure::EncodeFailed, "no memory writer was given");

    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        return problem(Failure::EncodeFailed, "this libwebp does not match the one the program was built for");
    const PictureGuard guard(picture);
    picture.use_argb = 1;
    picture.width = static_cast<int>(record.width);
    picture.height = static_cast<int>(record.height);
    picture.argb = record.pixels.get();
    picture.argb_stride = static_cast<int>(record.width);
    picture.progress_hook = ReportEncodeProgress;
    picture.user_data = const_cast<EncodeHooks*>(&hooks);

    AtomicFile file(path);
    if (toMemory) {
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = memoryWriter;
    } else {
        if (Status opened = file.open(); !opened)
            return opened;
        picture.writer = WriteToFile;
        picture.custom_ptr = &file;
    }

    if (!settings.lossless && !WebPPictureARGBToYUVA(&picture, WEBP_YUV420))
        return problem(Failure::NoMemory, "the picture could not be converted for lossy coding");
    const bool encoded = WebPEncode(&config, &picture);
    // Asked to stop after libwebp's last report: still nothing is written.
    if (stopped(hooks.stop) || picture.error_code == VP8_ENC_ERROR_USER_ABORT)
        return problem(Failure::Cancelled);
    if (!encoded && picture.error_code == VP8_ENC_ERROR_BAD_WRITE && !toMemory)
        return file.commit(); // fails with the write's reason and removes the temporary file
    if (!encoded)
        return encoderProblem(picture);
    return toMemory ? Status{} : file.commit();
}

} // namespace

int ReportEncodeProgress(int percent, const WebPPicture* picture)
{
    const auto* hooks = picture ? static_cast<const EncodeHooks*>(picture->user_data) : nullptr;
    if (!hooks)
        return 1;
    if (hooks->progress && *hooks->progress)
        (*hooks->progress)(percent);
    return stopped(hooks->stop) ? 0 : 1;
}

int WriteToFile(const std::uint8_t* data, std::size_t dataSize, const WebPPicture* picture)
{
    if (dataSize == 0)
        return 1;
    auto* file = picture ? static_cast<AtomicFile*>(picture->custom_ptr) : nullptr;
    return file && file->write(data, dataSize) ? 1 : 0;
}

Status CheckSettingRange(const std::string& name, long long value, long long low, long long high)
{
    if (value >= low && value <= high)
        return {};
    return problem(Failure::InvalidSetting, name + " " + std::to_string(value) + " is outside " +
                                                std::to_string(low) + "-" + std::to_string(high));
}

Status CheckEncodeSettings(const EncodeSettings& settings)
{
    if (Status quality = CheckSettingRange("quality", settings.quality, 0, 100); !quality)
        return quality;
    return checkAllButQuality(settings);
}

Status EncodeStillWebP(const std::string& path, PictureRecord& record, const EncodeSettings& settings,
                       WebPMemoryWriter* memoryWriter, int toMemory, const ProgressReport* progress,
                       const std::atomic<bool>* stop)
{
    return encodeStill(path, record, settings, static_cast<float>(settings.quality), memoryWriter, toMemory,
                       EncodeHooks{progress, stop});
}

int EncodeStillWebP(const std::string& path, PictureRecord& record, int lossless, int method,
                    int filterStrength, int filterSharpness, WebPMemoryWriter* memoryWriter, int toMemory,
                    float quality, const ProgressReport* progress)
{
    const EncodeSettings settings{lossless, 0, method, filterStrength, filterSharpness};
    return encodeStill(path, record, settings, quality, memoryWriter, toMemory, EncodeHooks{progress, nullptr})
               ? 1
               : -1;
}

} // namespace quorvanta
