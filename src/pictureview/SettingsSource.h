#pragma once
// Read access to the settings gadgets. Every reader asks at the moment it needs a value, so a change
// in the settings window is in effect at once, saved or not.

#include "encoding/EncodeStillWebP.h"
#include "encoding/WebPMetadata.h"

#include <QString>

#include <array>
#include <cstdint>

namespace quorvanta {

class SettingsSource {
public:
    virtual ~SettingsSource() = default;

    virtual bool lossless() const = 0;
    virtual int quality() const = 0;
    virtual int speed() const = 0;
    // The colour editor's three 32-bit components (red, green, blue), white is 0xFFFFFFFF each.
    virtual std::array<std::uint32_t, 3> backgroundColor() const = 0;
    virtual QString frameDurationText() const = 0;
    virtual int frameDuration() const = 0;
    virtual int loopCount() const = 0;
    virtual int filterStrength() const = 0;
    virtual int filterSharpness() const = 0;
    // Each frame of an animation lossy or lossless, whichever is smaller; only where lossless is off.
    virtual bool mixed() const = 0;
    // Imported pictures and WebP stills are turned upright as their EXIF orientation says.
    virtual bool applyOrientation() const { return true; }
    // What an encoding keeps of its source's colour profile, EXIF and XMP.
    virtual KeepMetadata keepMetadata() const { return KeepMetadata::ColourProfile; }
    // The size "Encode picture" aims at, in KB of 1000 bytes; 0 for none.
    virtual int targetSize() const { return 0; }
};

// The encoder settings in force; the defaults when there is no settings source.
EncodeSettings readEncodeSettings(const SettingsSource* settings);

// The integer reading of a text field: leading blanks, an optional sign, then decimal digits up to the
// first non-digit; no digits reads as 0. Values beyond 32 bits saturate.
int readFieldInteger(const QString& text);

} // namespace quorvanta
