#pragma once
// What the benchmarks put around a picture object: settings with fixed values, a file requester that
// answers a scripted path, and reading the object's display buffer back for comparison.

#include "references.h"

#include "pictureview/Requesters.h"
#include "pictureview/PictureView.h"
#include "pictureview/SettingsSource.h"

#include <QString>

#include <array>
#include <memory>
#include <string>

namespace bench {

class FixedSettings : public quorvanta::SettingsSource {
public:
    bool lossless() const override { return encode.lossless; }
    int quality() const override { return encode.quality; }
    int speed() const override { return encode.method; }
    std::array<std::uint32_t, 3> backgroundColor() const override
    {
        return {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    }
    QString frameDurationText() const override { return QString::number(frameDurationMs); }
    int frameDuration() const override { return frameDurationMs; }
    int loopCount() const override { return loops; }
    int filterStrength() const override { return encode.filterStrength; }
    int filterSharpness() const override { return encode.filterSharpness; }
    bool mixed() const override { return false; }

    EncodeSettings encode;
    int frameDurationMs = 1000;
    int loops = 0;
};

// Answers every request with the same path, split into drawer and file as a dialog would.
class ScriptedBackend : public quorvanta::RequesterBackend {
public:
    explicit ScriptedBackend(std::string path) : answerPath(std::move(path)) {}

    quorvanta::RequestAnswer ask(const quorvanta::RequestOptions&) override
    {
        quorvanta::RequestAnswer answer;
        answer.outcome = quorvanta::RequestAnswer::Outcome::Chosen;
        const std::size_t slash = answerPath.rfind('/');
        answer.drawer = slash == std::string::npos ? std::string(".") : answerPath.substr(0, slash);
        answer.file = slash == std::string::npos ? answerPath : answerPath.substr(slash + 1);
        return answer;
    }

private:
    std::string answerPath;
};

inline std::unique_ptr<quorvanta::Requesters> scriptedRequesters(const std::string& path)
{
    return std::make_unique<quorvanta::Requesters>(std::make_unique<ScriptedBackend>(path));
}

// The view's display buffer against an R,G,B,A reference of the picture's size.
inline PixelDifference compareDisplay(const quorvanta::PictureView& view, const std::uint8_t* rgba, int width,
                                      int height)
{
    const quorvanta::InstanceData& d = view.state();
    if (static_cast<int>(d.width) != width || static_cast<int>(d.height) != height) {
        PixelDifference mismatch;
        mismatch.sizeMismatch = true;
        return mismatch;
    }
    return comparePixels(d.pixels.data.get(), d.pixels.size, d.pixelFormat == quorvanta::PixelFormat::ARGB,
                         d.bytesPerRow, rgba, width, height);
}

} // namespace bench
