#pragma once
// The program's three messages on standard output, and one-line diagnostics on standard error.

#include <string_view>

namespace quorvanta {

inline constexpr std::string_view kCantCreateApp = "I can't create the app!\n";
inline constexpr std::string_view kCantReadFile = "Can't read the file!\n";
inline constexpr std::string_view kCantEncodeWebPSource =
    "Quorvanta can't encode a WebP Image from a WebP Source !\n";

// Writes one of the messages above to standard output and flushes it.
void printMessage(std::string_view message);

// Writes "quorvanta: <text>" as one line to standard error.
void printDiagnostic(std::string_view text);

} // namespace quorvanta
