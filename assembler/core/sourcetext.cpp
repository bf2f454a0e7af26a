#include "sourcetext.h"

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

} // namespace Tarnwick::SourceText
