#include "sourcetext.h"

#include <algorithm>
#include <cctype>

namespace Tarnwick::SourceText {

namespace {

constexpr std::string_view Directives[] = { "include", "define", "undef", "if", "ifdef", "ifndef",
    "elif", "else", "endif", "error", "warning", "pragma", "include_next" };

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool isWordCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

bool isDirective(std::string_view line)
{
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at]))
        ++at;
    if (at >= line.size() || line[at] != '#')
        return false;
    const std::string_view rest = line.substr(at + 1);
    for (const std::string_view directive : Directives) {
        if (rest.substr(0, directive.size()) == directive
            && (rest.size() == directive.size() || !isWordCharacter(rest[directive.size()])))
            return true;
    }
    return false;
}

} // namespace

bool usesPreprocessor(std::string_view text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        if (isDirective(text.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

std::vector<std::string> includeFolders(const std::string &absoluteSource)
{
    std::vector<std::string> folders;
    std::string folder = absoluteSource;
    for (std::size_t slash = folder.find_last_of('/'); slash != std::string::npos;
         slash = folder.find_last_of('/')) {
        folder.resize(slash);
        folders.push_back(folder.empty() ? "/" : folder);
        if (folder.empty())
            break;
    }
    return folders;
}

std::string folderPart(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string fileNamePart(const std::string &path)
{
    return path.substr(path.find_last_of('/') + 1);
}

bool isSymbolCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}

std::size_t findWord(std::string_view text, std::string_view word, std::size_t from)
{
    for (std::size_t at = text.find(word, from); !word.empty() && at != std::string_view::npos;
         at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !isSymbolCharacter(text[at - 1]))
            && (end == text.size() || !isSymbolCharacter(text[end])))
            return at;
    }
    return std::string_view::npos;
}

bool isSourceName(std::string_view name)
{
    for (const std::string_view ending :
        { std::string_view(".s"), std::string_view(".S"), std::string_view(".asm") }) {
        if (name.size() > ending.size() && name.substr(name.size() - ending.size()) == ending)
            return true;
    }
    return false;
}

std::vector<std::string> dependencies(std::string_view text)
{
    std::vector<std::string> files;
    std::string word;
    bool inTarget = true;
    const auto endWord = [&] {
        if (!word.empty() && !inTarget)
            files.push_back(word);
        word.clear();
    };
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (c == '\\' && (next == '\n' || (next == '\r' && at + 2 < text.size()))) {
            endWord();
            at += next == '\r' ? 2 : 1;
        } else if (c == '\\' && (next == ' ' || next == '\t' || next == '#')) {
            word += next;
            ++at;
        } else if (c == '$' && next == '$') {
            word += '$';
            ++at;
        } else if (c == ':' && inTarget
            && (next == ' ' || next == '\t' || next == '\n' || next == '\0')) {
            word.clear();
            inTarget = false;
        } else if (c == '\n') {
            endWord();
            inTarget = true;
        } else if (c == ' ' || c == '\t') {
            endWord();
        } else {
            word += c;
        }
    }
    endWord();
    return files;
}

std::vector<std::string> includedNames(std::string_view text)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && isBlank(line.front()))
            line.remove_prefix(1);
        for (const std::string_view directive : { std::string_view(".include"),
                 std::string_view(".incbin"), std::string_view("#include") }) {
            if (line.substr(0, directive.size()) != directive)
                continue;
            std::string_view rest = line.substr(directive.size());
            if (rest.empty() || !isBlank(rest.front()))
                continue;
            while (!rest.empty() && isBlank(rest.front()))
                rest.remove_prefix(1);
            const char close = !rest.empty() && rest.front() == '<' ? '>' : '"';
            if (rest.empty() || (rest.front() != '"' && rest.front() != '<'))
                continue;
            const std::size_t quote = rest.find(close, 1);
            if (quote != std::string_view::npos && quote > 1)
                names.emplace_back(rest.substr(1, quote - 1));
        }
    }
    return names;
}

std::string missingInclude(std::string_view message)
{
    // as: "can't open NAME for reading: ..." and "file not found: NAME"; cpp: "fatal error:
    // NAME: No such file or directory".
    struct Pattern
    {
        std::string_view before;
        std::string_view after;
    };
    constexpr Pattern Patterns[] = {
        { "Error: can't open ", " for reading: No such file or directory" },
        { "Error: file not found: ", "" },
        { "fatal error: ", ": No such file or directory" },
    };
    for (const Pattern &pattern : Patterns) {
        const std::size_t at = message.find(pattern.before);
        if (at == std::string_view::npos)
            continue;
        std::string_view name = message.substr(at + pattern.before.size());
        name = name.substr(0, name.find('\n'));
        if (!pattern.after.empty()) {
            const std::size_t end = name.rfind(pattern.after);
            if (end == std::string_view::npos || end + pattern.after.size() != name.size())
                continue;
            name = name.substr(0, end);
        }
        if (!name.empty())
            return std::string(name);
    }
    return {};
}

namespace {

std::string_view withoutBlanksBefore(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

// Whether the statement defines the name, and the statement after a label if it is one.
bool definesIn(std::string_view *statement, std::string_view name)
{
    std::string_view rest = withoutBlanksBefore(*statement);
    std::size_t end = 0;
    while (end < rest.size() && isSymbolCharacter(rest[end]))
        ++end;
    const std::string_view word = rest.substr(0, end);
    const std::string_view after = withoutBlanksBefore(rest.substr(end));
    if (!word.empty() && !after.empty() && after.front() == ':') {
        *statement = after.substr(1);
        return word == name;
    }
    *statement = {};
    if (!word.empty() && !after.empty() && after.front() == '='
        && (after.size() == 1 || after[1] != '='))
        return word == name;
    for (const std::string_view directive : { std::string_view(".set"), std::string_view(".equ"),
             std::string_view(".equiv"), std::string_view(".thumb_set") }) {
        if (word != directive)
            continue;
        std::size_t length = 0;
        while (length < after.size() && isSymbolCharacter(after[length]))
            ++length;
        return after.substr(0, length) == name;
    }
    return false;
}

} // namespace

unsigned definitionLine(std::string_view text, std::string_view name)
{
    unsigned line = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        ++line;
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view statement = text.substr(start, end - start);
        statement = statement.substr(0, std::min(statement.find('@'), statement.find("//")));
        while (!statement.empty()) {
            const std::size_t separator = statement.find(';');
            std::string_view first = statement.substr(0, separator);
            statement = separator == std::string_view::npos ? std::string_view()
                                                            : statement.substr(separator + 1);
            while (!first.empty()) {
                if (definesIn(&first, name))
                    return line;
            }
        }
        start = end + 1;
    }
    return 0;
}

unsigned labelLine(std::string_view text, std::string_view name, unsigned line)
{
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= text.size() && lines.size() < line;) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (std::size_t at = lines.size(); at > 0; --at) {
        if (definitionLine(lines[at - 1], name) == 1)
            return unsigned(at);
        // Only labels, directives, comments and blank lines stand between a label and the
        // statement it labels.
        std::string_view statement = lines[at - 1];
        statement = statement.substr(0, std::min(statement.find('@'), statement.find("//")));
        while (!statement.empty() && std::isspace(static_cast<unsigned char>(statement.back())))
            statement.remove_suffix(1);
        while (!statement.empty() && std::isspace(static_cast<unsigned char>(statement.front())))
            statement.remove_prefix(1);
        if (at < lines.size() && !statement.empty() && statement.back() != ':'
            && statement.front() != '.')
            break;
    }
    return line;
}

namespace {

// The script without its /* comments */, which may mention names they do not define.
std::string withoutComments(std::string_view script)
{
    std::string text;
    for (std::size_t at = 0; at < script.size(); ++at) {
        if (script.substr(at, 2) == "/*") {
            const std::size_t end = script.find("*/", at + 2);
            if (end == std::string_view::npos)
                break;
            text += ' ';
            at = end + 1;
        } else {
            text += script[at];
        }
    }
    return text;
}

} // namespace

bool scriptDefines(std::string_view script, std::string_view name)
{
    const std::string text = withoutComments(script);
    for (std::size_t at = findWord(text, name); at != std::string::npos;
         at = findWord(text, name, at + 1)) {
        std::size_t end = at + name.size();
        while (end < text.size() && std::isspace(static_cast<unsigned char>(text[end])))
            ++end;
        if (end + 1 < text.size() && text[end] == '=' && text[end + 1] != '=')
            return true;
    }
    return false;
}

std::string scriptEntry(std::string_view script)
{
    const std::string text = withoutComments(script);
    for (std::size_t at = findWord(text, "ENTRY"); at != std::string::npos;
         at = findWord(text, "ENTRY", at + 1)) {
        std::size_t open = at + 5;
        while (open < text.size() && std::isspace(static_cast<unsigned char>(text[open])))
            ++open;
        const std::size_t close = text.find(')', open);
        if (open >= text.size() || text[open] != '(' || close == std::string::npos)
            continue;
        std::string name = text.substr(open + 1, close - open - 1);
        const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
        name.erase(name.begin(), std::find_if_not(name.begin(), name.end(), blank));
        name.erase(std::find_if_not(name.rbegin(), name.rend(), blank).base(), name.end());
        return name;
    }
    return {};
}

} // namespace Tarnwick::SourceText
