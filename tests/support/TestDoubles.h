#pragma once
// Stand-ins for what the shell gives the picture object: settings with fixed values and a requester
// that answers from a script.

#include "pictureview/Requesters.h"
#include "pictureview/SettingsSource.h"

#include <QString>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace quorvanta {

class FixedSettings : public SettingsSource {
public:
    bool losslessValue = false;
    int qualityValue = 50;
    int speedValue = 0;
    std::array<std::uint32_t, 3> color{0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    QString durationText = QStringLiteral("1000");
    int loops = 0;
    int strength = 0;
    int sharpness = 0;
    bool mixedValue = false;
    bool orientationValue = true;
    KeepMetadata keep = KeepMetadata::ColourProfile;
    int targetKB = 0;

    bool lossless() const override { return losslessValue; }
    int quality() const override { return qualityValue; }
    int speed() const override { return speedValue; }
    std::array<std::uint32_t, 3> backgroundColor() const override { return color; }
    QString frameDurationText() const override { return durationText; }
    int frameDuration() const override { return readFieldInteger(durationText); }
    int loopCount() const override { return loops; }
    int filterStrength() const override { return strength; }
    int filterSharpness() const override { return sharpness; }
    bool mixed() const override { return mixedValue; }
    bool applyOrientation() const override { return orientationValue; }
    KeepMetadata keepMetadata() const override { return keep; }
    int targetSize() const override { return targetKB; }
};

// Answers every requester with the next scripted answer and remembers what was asked.
class ScriptedBackend : public RequesterBackend {
public:
    ScriptedBackend(std::deque<RequestAnswer>& answers, std::vector<RequestOptions>& asked)
        : answers(answers), asked(asked) {}
    // The next answer of the script; a cancel once it has run out.
    RequestAnswer ask(const RequestOptions& options) override
    {
        asked.push_back(options);
        if (answers.empty())
            return {};
        RequestAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

private:
    std::deque<RequestAnswer>& answers;
    std::vector<RequestOptions>& asked;
};

inline RequestAnswer chosen(std::string drawer, std::string file)
{
    return {RequestAnswer::Outcome::Chosen, std::move(drawer), std::move(file)};
}

// The answer of a user who chose `path`.
inline RequestAnswer chosen(const QString& path)
{
    const int slash = int(path.lastIndexOf(u'/'));
    return {RequestAnswer::Outcome::Chosen, path.left(slash).toStdString(), path.mid(slash + 1).toStdString()};
}

} // namespace quorvanta
