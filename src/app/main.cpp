#include "app/Application.h"
#include "app/CommandLine.h"
#include "core/Messages.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const quorvanta::CommandLine commandLine = quorvanta::parseCommandLine(quorvanta::wordsFromArguments(arguments));
    if (commandLine.helpRequested || commandLine.versionRequested) {
        const std::string text = commandLine.helpRequested ? quorvanta::usageText() : quorvanta::versionText();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (!commandLine.problem.empty())
        quorvanta::printDiagnostic(commandLine.problem);
    return quorvanta::RunApplication(argc, argv, commandLine.record ? &*commandLine.record : nullptr);
}
