// Fuzzes the IFF ILBM and PBM reader on its own.

#include "FuzzReader.h"
#include "import/IlbmReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quorvanta::fuzz::decodeAndTouch(data, size, quorvanta::DecodeIlbm);
}
