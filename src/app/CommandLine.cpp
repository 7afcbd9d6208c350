#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace quorvanta {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::optional<std::int32_t> readNumber(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{INT32_MAX} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// The item a word names as keyword, with the value after "=" if the word holds one.
struct KeywordHit {
    std::size_t item;
    std::optional<std::string> inlineValue;
};

bool namesItem(const TemplateItem& item, std::string_view name)
{
    return equalsIgnoringCase(name, item.keyword) ||
           std::any_of(item.aliases.begin(), item.aliases.end(),
                       [name](const std::string& alias) { return equalsIgnoringCase(name, alias); });
}

std::optional<KeywordHit> findKeyword(const std::vector<TemplateItem>& items, const CommandWord& word)
{
    if (word.quoted)
        return std::nullopt;
    const std::string_view text = word.text;
    const auto equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (!namesItem(items[i], name))
            continue;
        if (equals == std::string_view::npos)
            return KeywordHit{i, std::nullopt};
        std::string value(text.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return KeywordHit{i, std::move(value)};
    }
    return std::nullopt;
}

// Stores a value in its slot; on failure, the reason.
std::optional<std::string> store(const TemplateItem& item, ParsedItem& slot, const std::string& value)
{
    if (slot.present)
        return item.keyword + " is given twice";
    if (item.numeric) {
        const auto number = readNumber(value);
        if (!number)
            return "\"" + value + "\" is not a number for " + item.keyword;
        slot.number = *number;
    }
    slot.text = value;
    slot.present = true;
    return std::nullopt;
}

// Words such as "--verbose" or "-x" that ask for an option this program does not have. A value
// such as "-3" is a number.
bool looksLikeOption(const CommandWord& word)
{
    const std::string& text = word.text;
    return !word.quoted && text.size() >= 2 && text[0] == '-' &&
           (text[1] == '-' || std::isalpha(static_cast<unsigned char>(text[1])));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::vector<TemplateItem>> parseTemplate(std::string_view text)
{
    std::vector<TemplateItem> items;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto comma = std::min(text.find(',', start), text.size());
        const std::string_view entry = text.substr(start, comma - start);
        const auto slash = entry.find('/');
        TemplateItem item;
        const std::string_view names = entry.substr(0, slash);
        for (std::size_t from = 0; from <= names.size();) {
            const auto equals = std::min(names.find('=', from), names.size());
            const std::string_view name = names.substr(from, equals - from);
            if (name.empty())
                return std::nullopt;
            (item.keyword.empty() ? item.keyword : item.aliases.emplace_back()) = std::string(name);
            from = equals + 1;
        }
        for (auto i = slash; i != std::string_view::npos && i < entry.size(); i = entry.find('/', i + 1)) {
            if (i + 1 >= entry.size())
                return std::nullopt;
            switch (std::toupper(static_cast<unsigned char>(entry[i + 1]))) {
            case 'A': item.required = true; break;
            case 'N': item.numeric = true; break;
            case 'S': item.toggle = true; break;
            case 'K': item.keyed = true; break;
            default: return std::nullopt;
            }
        }
        items.push_back(std::move(item));
        start = comma + 1;
    }
    return items;
}

std::optional<std::vector<ParsedItem>> matchTemplate(const std::vector<TemplateItem>& items,
                                                     const std::vector<CommandWord>& words, std::string* problem)
{
    const auto fail = [problem](std::string reason) -> std::optional<std::vector<ParsedItem>> {
        if (problem)
            *problem = std::move(reason);
        return std::nullopt;
    };
    std::vector<ParsedItem> result(items.size());
    std::vector<const CommandWord*> positional;
    for (std::size_t w = 0; w < words.size(); ++w) {
        const auto hit = findKeyword(items, words[w]);
        if (!hit) {
            positional.push_back(&words[w]);
            continue;
        }
        const TemplateItem& item = items[hit->item];
        ParsedItem& slot = result[hit->item];
        if (item.toggle) {
            if (hit->inlineValue)
                return fail(item.keyword + " takes no value");
            if (slot.present)
                return fail(item.keyword + " is given twice");
            slot.present = true;
            continue;
        }
        std::string value;
        if (hit->inlineValue) {
            value = *hit->inlineValue;
        } else {
            if (w + 1 >= words.size())
                return fail(item.keyword + " needs a value");
            value = words[++w].text;
        }
        if (auto reason = store(item, slot, value))
            return fail(std::move(*reason));
    }
    // The remaining words fill the open items in template order.
    std::size_t next = 0;
    for (const CommandWord* word : positional) {
        while (next < items.size() && (result[next].present || items[next].toggle || items[next].keyed))
            ++next;
        if (next == items.size())
            return fail("\"" + word->text + "\" is one word too many");
        if (auto reason = store(items[next], result[next], word->text))
            return fail(std::move(*reason));
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].required && !result[i].present)
            return fail(items[i].keyword + " is missing");
    }
    return result;
}

std::vector<CommandWord> wordsFromArguments(const std::vector<std::string>& arguments)
{
    std::vector<CommandWord> words;
    words.reserve(arguments.size());
    for (const std::string& argument : arguments) {
        if (argument.size() >= 2 && argument.front() == '"' && argument.back() == '"')
            words.push_back({argument.substr(1, argument.size() - 2), true});
        else
            words.push_back({argument, false});
    }
    return words;
}

std::vector<CommandWord> wordsFromLine(std::string_view line)
{
    std::vector<CommandWord> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
            continue;
        }
        CommandWord word;
        if (line[i] == '"') {
            word.quoted = true;
            const auto close = line.find('"', i + 1);
            word.text = std::string(line.substr(i + 1, close == std::string_view::npos ? close : close - i - 1));
            i = close == std::string_view::npos ? line.size() : close + 1;
        } else {
            // A word runs to the next blank; a quoted part inside it (KEY="a b") keeps its blanks.
            bool inQuotes = false;
            for (; i < line.size() && (inQuotes || (line[i] != ' ' && line[i] != '\t')); ++i) {
                if (line[i] == '"')
                    inQuotes = !inQuotes;
                word.text.push_back(line[i]);
            }
        }
        words.push_back(std::move(word));
    }
    return words;
}

CommandLine parseCommandLine(const std::vector<CommandWord>& words)
{
    CommandLine result;
    for (const CommandWord& word : words) {
        if (!word.quoted && (word.text == "--help" || word.text == "-h"))
            result.helpRequested = true;
        if (!word.quoted && word.text == "--version")
            result.versionRequested = true;
    }
    if (words.size() == 1 && !words[0].quoted && words[0].text == "?")
        result.helpRequested = true;
    if (result.helpRequested || result.versionRequested)
        return result;

    // HEIGHT, the usual spelling, names the same item as the template's HEIGTH.
    static const auto items = parseTemplate("WEBPPATH/A,WIDTH/N,HEIGTH=HEIGHT/N,DIR/S");
    // A word after a keyword that takes a value is that value, whatever it looks like.
    for (std::size_t w = 0; w < words.size(); ++w) {
        if (const auto hit = findKeyword(*items, words[w])) {
            if (!hit->inlineValue && !(*items)[hit->item].toggle)
                ++w;
        } else if (looksLikeOption(words[w])) {
            result.problem = "unknown option \"" + words[w].text + "\" (see --help)";
            return result;
        }
    }
    std::string problem;
    const auto parsed = matchTemplate(*items, words, &problem);
    if (!parsed) {
        // Nothing given at all is a start from the desktop, not a mistake.
        if (!words.empty())
            result.problem = problem + " (see --help)";
        return result;
    }
    ArgumentRecord record;
    record.path = localPathFromArgument((*parsed)[0].text);
    if ((*parsed)[1].present)
        record.width = (*parsed)[1].number;
    if ((*parsed)[2].present)
        record.height = (*parsed)[2].number;
    record.directory = (*parsed)[3].present;
    result.record = std::move(record);
    return result;
}

std::string usageText()
{
    return std::string(kCommandTemplate) +
           "\n"
           "\n"
           "Usage: quorvanta [WEBPPATH] [WIDTH n] [HEIGTH n] [DIR]\n"
           "  WEBPPATH  picture or animation to show (a path or a file: address);\n"
           "            with DIR, a directory of pictures to play as an animation\n"
           "  WIDTH     starting width of the picture area, 1 to 1280 (else 100)\n"
           "  HEIGTH    starting height of the picture area, 1 to 1024 (else 100); HEIGHT works too\n"
           "  DIR       treat WEBPPATH as an image directory\n"
           "Keywords in any case; KEY=value or KEY value; values by position in this order.\n"
           "quorvanta --version prints the version.\n";
}

std::string versionText()
{
    return std::string("Quorvanta ") + QUORVANTA_VERSION + "\n";
}

std::string localPathFromArgument(const std::string& text)
{
    constexpr std::string_view scheme = "file:";
    if (text.size() < scheme.size() || !equalsIgnoringCase(std::string_view(text).substr(0, scheme.size()), scheme))
        return text;
    std::string_view rest = std::string_view(text).substr(scheme.size());
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (slash == std::string_view::npos || !(host.empty() || equalsIgnoringCase(host, "localhost")))
            return text;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/')
        return text;
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 && hexValue(rest[i + 2]) >= 0) {
            const int byte = hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2]);
            if (byte == 0)
                return text; // no file name holds a NUL
            path.push_back(static_cast<char>(byte));
            i += 2;
        } else if (rest[i] == '?' || rest[i] == '#') {
            break;
        } else {
            path.push_back(rest[i]);
        }
    }
    return path;
}

} // namespace quorvanta
