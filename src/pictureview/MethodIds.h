#pragma once
// The picture object's command numbers. Every command that reaches the picture object carries one
// of these; the dispatcher switches on them, so a duplicated number fails to compile.

#include <cstdint>

namespace quorvanta {

enum class MethodId : std::uint32_t {
    // Generic object methods.
    New = 257,
    Dispose = 258,
    Set = 259,
    Get = 260,
    AskMinMax = 0x80423874,
    Draw = 0x80426f3f,
    Setup = 0x80428354,
    Cleanup = 0x8042d985,
    // The program's own methods.
    DecodeStill = 0xfed60105,
    OpenWebP = 0xfed60106,
    Tick = 0xfed60107,
    ShowAnimFrame = 0xfed60108,
    Load = 0xfed6010a,
    SavePicture = 0xfed6010c,
    OpenDirectory = 0xfed6010d,
    SaveAnimation = 0xfed6010e,
    ShowImported = 0xfed6010f,
    Pause = 0xfed60110,
    Play = 0xfed60111,
    GotoFrame = 0xfed60112,
    ShowDirFrame = 0xfed60113,
    SetDelay = 0xfed60114,
    LoadDirectory = 0xfed60115,
    EncodePicture = 0xfed60116,
};

// Attributes given at creation.
enum class AttributeId : std::uint32_t {
    Width = 0xfed60103,
    Height = 0xfed60104,
};

const char* methodName(MethodId id);

} // namespace quorvanta
