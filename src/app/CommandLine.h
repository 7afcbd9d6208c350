#pragma once
// The command line: a small parser for argument templates such as "WEBPPATH/A,WIDTH/N,HEIGTH/N,DIR/S".
//
// Each template item is a keyword with modifiers: /A the value must be given, /N the value is a
// decimal number (signed 32 bits), /S a switch given by its keyword alone, /K the value may only be
// given after its keyword. "KEY=OTHER/N" gives the item a second keyword. Keywords match without regard
// to case; a value follows its keyword after a blank or an equals sign, or is given by position in
// template order. A word in double quotes is never taken as a keyword, so "dir" in quotes is a path.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvanta {

inline constexpr std::string_view kCommandTemplate = "WEBPPATH/A,WIDTH/N,HEIGTH/N,DIR/S";

struct TemplateItem {
    std::string keyword;
    std::vector<std::string> aliases; // further keywords for the same item
    bool required = false; // /A
    bool numeric = false;  // /N
    bool toggle = false;   // /S
    bool keyed = false;    // /K
};

// What one item received. Text values keep the bytes of the command line.
struct ParsedItem {
    bool present = false;
    std::string text;
    std::int32_t number = 0;
};

// One word of a command line. `quoted` words were written in double quotes.
struct CommandWord {
    std::string text;
    bool quoted = false;
};

// Splits a template; none when the template itself is malformed (empty keyword, unknown modifier).
std::optional<std::vector<TemplateItem>> parseTemplate(std::string_view text);

// Matches words against a template. None when the parse fails: a required item missing, a number
// that is not one, a keyword without its value, a value given twice, or more words than the template
// takes; `problem`, when given, then receives one line saying what was not understood.
std::optional<std::vector<ParsedItem>> matchTemplate(const std::vector<TemplateItem>& items,
                                                     const std::vector<CommandWord>& words,
                                                     std::string* problem = nullptr);

// Words as the program receives them from the system: one per argument. Surrounding double quotes
// that survived the shell (as in WEBPPATH="my picture.webp" passed literally) are taken off.
std::vector<CommandWord> wordsFromArguments(const std::vector<std::string>& arguments);

// Splits one line into words at blanks, keeping double-quoted parts (blanks included) together.
std::vector<CommandWord> wordsFromLine(std::string_view line);

// The program's argument record, in template order.
struct ArgumentRecord {
    std::string path;
    std::optional<std::int32_t> width;
    std::optional<std::int32_t> height;
    bool directory = false;
};

struct CommandLine {
    bool helpRequested = false;           // "?", "--help" or "-h": print usage and stop
    bool versionRequested = false;        // "--version": print name and version and stop
    std::optional<ArgumentRecord> record; // none when parsing failed
    // When words were given but did not fit: one line saying what was not understood.
    std::string problem;
};

CommandLine parseCommandLine(const std::vector<CommandWord>& words);

// The template and a few lines of usage, for --help.
std::string usageText();

// The program's name and version on one line, for --version.
std::string versionText();

// A local path for a "file:" address (file:///a%20b.webp, file://localhost/x, file:/x), decoded byte
// for byte; any other text is returned as it is.
std::string localPathFromArgument(const std::string& text);

} // namespace quorvanta
