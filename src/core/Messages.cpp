#include "core/Messages.h"

#include <cstdio>

namespace quorvanta {

void printMessage(std::string_view message)
{
    std::fwrite(message.data(), 1, message.size(), stdout);
    std::fflush(stdout);
}

void printDiagnostic(std::string_view text)
{
    std::fprintf(stderr, "quorvanta: %.*s\n", static_cast<int>(text.size()), text.data());
}

} // namespace quorvanta
