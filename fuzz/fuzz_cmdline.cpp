// Fuzzes the command-line parser: the input is taken as one typed line, as the program's arguments
// (split at zero bytes), as an argument template matched against those words, and as a file: address.

#include "app/CommandLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quorvanta;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::vector<CommandWord> lineWords = wordsFromLine(text);
    const CommandLine fromLine = parseCommandLine(lineWords);
    if (fromLine.record && fromLine.helpRequested)
        std::abort(); // help stops the program: it never comes with an argument record

    std::vector<std::string> arguments;
    for (std::size_t start = 0; start <= size;) {
        const std::size_t end = std::min(text.find('\0', start), size);
        arguments.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    const std::vector<CommandWord> argumentWords = wordsFromArguments(arguments);
    (void)parseCommandLine(argumentWords);

    // The first line as a template of its own, the rest as the words to match against it.
    const std::size_t newline = std::min(text.find('\n'), size);
    if (const auto items = parseTemplate(text.substr(0, newline))) {
        const auto matched = matchTemplate(*items, wordsFromLine(text.substr(std::min(newline + 1, size))));
        if (matched && matched->size() != items->size())
            std::abort();
    }

    (void)localPathFromArgument(std::string(text));
    return 0;
}
