// Fuzzes the whole import: content recognition, our readers and Qt's, as ImportPictureFile uses them.

#include "FuzzReader.h"
#include "import/DecodePicture.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt finds its image plugins through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quorvanta::fuzz::decodeAndTouch(
        data, size, [](std::span<const std::uint8_t> bytes) { return quorvanta::DecodePicture(bytes); });
}
