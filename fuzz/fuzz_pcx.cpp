// Fuzzes the PCX reader on its own.

#include "FuzzReader.h"
#include "import/PcxReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quorvanta::fuzz::decodeAndTouch(data, size, quorvanta::DecodePcx);
}
