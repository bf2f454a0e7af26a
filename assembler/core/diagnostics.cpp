#include "diagnostics.h"

#include "sourcetext.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string_view>

namespace Tarnwick {

namespace {

// The memory regions that the linker scripts name, in the words of the handheld.
struct Region
{
    std::string_view name;
    std::string_view memory;
};

constexpr Region Regions[] = {
    { "rom", "cartridge ROM" },
    { "iwram", "internal RAM" },
    { "ewram", "external RAM" },
};

// cpp's trace of the includes that led to the message after it.
constexpr std::string_view IncludedFrom = "In file included from ";
constexpr std::string_view AlsoFrom = "                 from ";

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string trimmed(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first]))
        ++first;
    while (last > first && isBlank(text[last - 1]))
        --last;
    return std::string(text.substr(first, last - first));
}

bool isNoise(const std::string &line)
{
    // as announces each file before its messages, and ld names the function before an
    // unresolved reference ("...: in function `start':"); the lines that follow say it all.
    if (trimmed(line).empty() || endsWith(line, "Assembler messages:")
        || line == "compilation terminated.")
        return true;
    for (std::size_t at = line.find(": in function "); at != std::string::npos;
         at = line.find(": in function ", at + 1)) {
        const std::size_t quote = at + std::string_view(": in function ").size();
        if (quote >= line.size() || (line[quote] != '`' && line[quote] != '\''))
            continue;
        std::string_view rest = std::string_view(line).substr(quote + 1);
        if (endsWith(rest, ":"))
            rest.remove_suffix(1);
        if (endsWith(rest, "'"))
            return true;
    }
    return false;
}

// "file:123:" at the start of the line, the file not starting with a blank or a colon.
bool startsWithFileAndLine(const std::string &line)
{
    return !line.empty() && !isBlank(line[0]) && line[0] != ':' && messagePlace(line).line != 0;
}

bool isIncludeTrace(std::string_view line)
{
    return startsWith(line, IncludedFrom) || startsWith(line, AlsoFrom);
}

// as's "FILE:LINE:  Info: macro invoked from here" and cpp's "FILE:LINE:COLUMN: note: ..."
// explain the message before them.
bool explainsPrevious(std::string_view line)
{
    const MessagePlace place = messagePlace(line);
    if (place.line == 0)
        return false;
    const std::string message = trimmed(line.substr(place.end + 1));
    return startsWith(message, "Info: ") || startsWith(message, "note: ");
}

void replaceAll(std::string *text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text->find(from); at != std::string::npos;
         at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

std::string stripToolPrefix(const std::string &line, const std::string &toolProgram)
{
    if (toolProgram.empty())
        return line;
    const std::string baseName = toolProgram.substr(toolProgram.find_last_of('/') + 1);
    for (const std::string &name : { toolProgram, baseName }) {
        const std::string prefix = name + ':';
        if (startsWith(line, prefix))
            return trimmed(std::string_view(line).substr(prefix.size()));
    }
    return line;
}

std::string describeRegion(std::string_view name)
{
    const std::string quotedName = "region `" + std::string(name) + '\'';
    for (const Region &region : Regions) {
        if (region.name == name)
            return std::string(region.memory) + " (" + quotedName + ')';
    }
    return quotedName;
}

// The text between the backquote at `from` and the next closing quote, or nothing.
bool quotedWord(std::string_view text, std::size_t from, std::string_view *word)
{
    if (from >= text.size() || text[from] != '`')
        return false;
    const std::size_t close = text.find('\'', from + 1);
    if (close == std::string_view::npos)
        return false;
    *word = text.substr(from + 1, close - from - 1);
    return true;
}

// ld's "section `S' will not fit in region `R'" and "region `R' overflowed by N bytes",
// already placed at the source, as errors that name the memory. Anything else: empty.
std::string rewriteRegionMessage(const std::string &location, std::string_view message)
{
    constexpr std::string_view SectionWord = "section ";
    constexpr std::string_view WillNotFit = " will not fit in region ";
    constexpr std::string_view RegionWord = "region ";
    constexpr std::string_view OverflowedBy = " overflowed by ";
    std::string_view section;
    std::string_view region;
    if (startsWith(message, SectionWord) && quotedWord(message, SectionWord.size(), &section)) {
        const std::size_t afterSection = SectionWord.size() + section.size() + 2;
        if (message.substr(afterSection, WillNotFit.size()) == WillNotFit
            && quotedWord(message, afterSection + WillNotFit.size(), &region)
            && afterSection + WillNotFit.size() + region.size() + 2 == message.size()) {
            return location + ": Error: section `" + std::string(section) + "' does not fit into "
                + describeRegion(region);
        }
    }
    if (startsWith(message, RegionWord) && quotedWord(message, RegionWord.size(), &region)) {
        const std::size_t afterRegion = RegionWord.size() + region.size() + 2;
        if (message.substr(afterRegion, OverflowedBy.size()) == OverflowedBy) {
            return location + ": Error: the program does not fit into " + describeRegion(region)
                + ": " + std::string(message.substr(afterRegion + OverflowedBy.size()))
                + " too many";
        }
    }
    return {};
}

} // namespace

MessagePlace messagePlace(std::string_view message)
{
    const auto digitsEnd = [message](std::size_t at) {
        while (at < message.size() && std::isdigit(static_cast<unsigned char>(message[at])))
            ++at;
        return at;
    };
    const auto endsPlace = [message](std::size_t colon) {
        return colon < message.size() && message[colon] == ':'
            && (colon + 1 == message.size() || isBlank(message[colon + 1]));
    };
    // A line number of more digits than any file has lines is no line number.
    constexpr std::size_t LongestLine = 9;
    for (std::size_t colon = message.find(':'); colon != std::string_view::npos;
         colon = message.find(':', colon + 1)) {
        const std::size_t end = digitsEnd(colon + 1);
        if (colon == 0 || end == colon + 1 || end - colon - 1 > LongestLine || end >= message.size()
            || message[end] != ':')
            continue;
        const std::size_t column = digitsEnd(end + 1);
        const std::size_t last = endsPlace(end)     ? end
            : column > end + 1 && endsPlace(column) ? column
                                                    : 0;
        if (last == 0)
            continue;
        unsigned line = 0;
        for (std::size_t at = colon + 1; at < end; ++at)
            line = line * 10 + unsigned(message[at] - '0');
        if (line == 0)
            continue;
        return { message.substr(0, colon), line, last };
    }
    return {};
}

std::string withControlsEscaped(const std::string &name)
{
    std::string result;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            result += "\\n";
        } else if (c == '\t') {
            result += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            static constexpr char Digits[] = "0123456789abcdef";
            result += "\\x";
            result += Digits[byte >> 4];
            result += Digits[byte & 0xF];
        } else {
            result += c;
        }
    }
    return result;
}

std::string withControlsEscapedInMessage(const std::string &message)
{
    std::string result;
    result.reserve(message.size());
    for (const char c : message) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 || byte == 0x7F) && c != '\n' && c != '\t')
            result += withControlsEscaped(std::string(1, c));
        else
            result += c;
    }
    return result;
}

DiagnosticRewriter::DiagnosticRewriter(
    std::string sourceAsGiven, std::string sourceAsPassed, std::string workFolder)
    : m_sourceAsGiven(withControlsEscaped(sourceAsGiven))
    , m_sourceAsPassed(withControlsEscaped(sourceAsPassed))
    , m_workFolder(std::move(workFolder))
    , m_folderAsPassed(SourceText::folderPart(m_sourceAsPassed))
    , m_folderAsGiven(SourceText::folderPart(m_sourceAsGiven))
{
    // Includes come from the source's folder and the folders above it.
    escapeInOutput(sourceAsPassed);
    for (const std::string &folder : SourceText::includeFolders(sourceAsPassed))
        escapeInOutput(folder);
}

void DiagnosticRewriter::addSource(std::string asGiven, std::string asPassed, std::string workFile)
{
    escapeInOutput(asPassed);
    m_others.push_back(
        { withControlsEscaped(asGiven), withControlsEscaped(asPassed), std::move(workFile) });
}

void DiagnosticRewriter::escapeInOutput(const std::string &path)
{
    const std::string shown = withControlsEscaped(path);
    if (shown == path)
        return;
    m_escapes.emplace_back(path, shown);
    // The longest first, so that a folder does not take the place of the file in it.
    std::stable_sort(m_escapes.begin(), m_escapes.end(),
        [](const auto &one, const auto &other) { return one.first.size() > other.first.size(); });
}

std::vector<std::string> DiagnosticRewriter::rewrite(
    const std::string &toolOutput, const std::string &toolProgram) const
{
    // The tools print a path as it is; a newline in it would end the line there.
    std::string output = toolOutput;
    for (const auto &[path, shown] : m_escapes)
        replaceAll(&output, path, shown);

    std::vector<std::string> result;
    // Trace lines waiting for the message they lead to, each with its newline.
    std::string trace;
    std::size_t start = 0;
    while (start <= output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string line = output.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = stripToolPrefix(line, toolProgram);
        if (isNoise(line))
            continue;
        if (isIncludeTrace(line)) {
            trace += replaceWorkFiles(replaceLocation(line)) + '\n';
            continue;
        }
        std::string message = trace + rewriteLine(line);
        trace.clear();
        if (explainsPrevious(line) && !result.empty())
            result.back() += '\n' + message;
        else
            result.push_back(std::move(message));
    }
    if (!trace.empty()) {
        trace.pop_back();
        result.push_back(trace);
    }
    return result;
}

std::string DiagnosticRewriter::replaceWorkFiles(const std::string &line) const
{
    // Our intermediate files (object, linked program, start-up) mean nothing to the
    // user; they all stand for their source.
    if (m_workFolder.empty())
        return line;
    const std::string folder = m_workFolder + '/';
    std::string result;
    std::size_t from = 0;
    for (std::size_t at = line.find(folder); at != std::string::npos;
         at = line.find(folder, from)) {
        std::size_t end = at + folder.size();
        while (end < line.size() && !isBlank(line[end]) && line[end] != ':' && line[end] != '('
            && line[end] != ')')
            ++end;
        const std::string path = line.substr(at, end - at);
        const auto other = std::find_if(m_others.begin(), m_others.end(),
            [&path](const Source &source) { return source.workFile == path; });
        result += line.substr(from, at - from)
            + (other == m_others.end() ? m_sourceAsGiven : other->asGiven);
        from = end;
    }
    return result + line.substr(from);
}

std::string DiagnosticRewriter::replaceLocation(std::string line) const
{
    std::size_t at = 0;
    for (const std::string_view lead : { IncludedFrom, AlsoFrom }) {
        if (startsWith(line, lead))
            at = lead.size();
    }
    const std::string_view rest = std::string_view(line).substr(at);
    const auto replaceWith = [&](std::size_t length, const std::string &given) {
        line.replace(at, length, given);
        return line;
    };
    if (startsWith(rest, m_sourceAsPassed + ':'))
        return replaceWith(m_sourceAsPassed.size(), m_sourceAsGiven);
    for (const Source &other : m_others) {
        if (startsWith(rest, other.asPassed + ':'))
            return replaceWith(other.asPassed.size(), other.asGiven);
    }
    if (!m_folderAsPassed.empty() && startsWith(rest, m_folderAsPassed))
        return replaceWith(m_folderAsPassed.size(), m_folderAsGiven);
    if (startsWith(rest, "./"))
        return replaceWith(2, m_folderAsGiven);
    return line;
}

std::string DiagnosticRewriter::rewriteLine(std::string line) const
{
    line = replaceWorkFiles(replaceLocation(line));

    if (startsWith(line, m_sourceAsGiven + ':') || startsWithFileAndLine(line))
        return line;
    for (const Source &other : m_others) {
        if (startsWith(line, other.asGiven + ':'))
            return line;
    }
    // "ld: /tmp/.../source.elf section ... will not fit": the file became the subject of
    // the sentence; make it the message's location instead.
    if (startsWith(line, m_sourceAsGiven + ' '))
        line.erase(0, m_sourceAsGiven.size() + 1);
    const std::string region = rewriteRegionMessage(m_sourceAsGiven, line);
    return region.empty() ? m_sourceAsGiven + ": " + line : region;
}

} // namespace Tarnwick
