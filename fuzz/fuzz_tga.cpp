// Fuzzes the TGA reader on its own.

#include "FuzzReader.h"
#include "import/TgaReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quorvanta::fuzz::decodeAndTouch(data, size, quorvanta::DecodeTga);
}
