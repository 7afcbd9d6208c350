// Fuzzes the whole import: content recognition, our readers and Qt's, as ImportPictureFile uses them.

#include "FuzzReader.h"
#include "core/DecodeBudget.h"
#include "import/DecodePicture.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt finds its image plugins through the application object.
    static QCoreApplication app(*argc, *argv);
    // A smaller decode budget than the program's default lets many more inputs run in a given time;
    // scripts/fuzz.sh sets it, and sets libFuzzer's allocation limit from it.
    if (const char* mib = std::getenv("QUORVANTA_FUZZ_BUDGET_MIB"))
        quorvanta::SetDecodeBudgetMiB(std::strtoull(mib, nullptr, 10));
    // Qt converts and scales large pictures on its global thread pool. Its threads are joined before
    // the leak check at exit runs: a thread still ending then breaks LeakSanitizer's tracer.
    std::atexit([] { QThreadPool::globalInstance()->waitForDone(); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return quorvanta::fuzz::decodeAndTouch(
        data, size, [](std::span<const std::uint8_t> bytes) { return quorvanta::DecodePicture(bytes); });
}
