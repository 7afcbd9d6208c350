#include "app/Application.h"
#include "app/CommandLine.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const quorvanta::CommandLine commandLine = quorvanta::parseCommandLine(quorvanta::wordsFromArguments(arguments));
    if (commandLine.helpRequested) {
        const std::string usage = quorvanta::usageText();
        std::fwrite(usage.data(), 1, usage.size(), stdout);
        return 0;
    }
    return quorvanta::RunApplication(argc, argv, commandLine.record ? &*commandLine.record : nullptr);
}
