#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Tarnwick {

// A file name as messages show it: each control character escaped as Arguments::quoted
// escapes it (\n, \t, \x1b), so that a newline in a name cannot end a message there;
// everything else, blanks and backslashes too, as it is.
std::string withControlsEscaped(const std::string &name);

// A message as it may reach a terminal: what withControlsEscaped escapes, escaped so, but
// the newlines that separate the message's lines and the tabs that the tools indent with;
// a name that the tools printed raw cannot move the cursor or forge a colour.
std::string withControlsEscapedInMessage(const std::string &message);

// The place at the start of a message as the tools write it: "FILE:LINE: ", or with a column
// "FILE:LINE:COLUMN: ", the place followed by a blank or ending the line. The first such
// ":LINE:" is the place, so that a file name that holds ":1:" stays whole. line is 0 and
// end npos when the message has no such place; end is where the place's last colon is.
struct MessagePlace
{
    std::string_view file;
    unsigned line = 0;
    std::size_t end = std::string_view::npos;
};
MessagePlace messagePlace(std::string_view message);

// binutils reports problems against the paths we hand it: the absolute source path and
// files in our temporary folder. The user only knows the path they typed, so every
// message is rewritten to "SOURCE:LINE: message" (or "SOURCE: message" when no line is
// known) with that path. Files in the source's folder or below it (includes, the other
// sources of a program) are named from the folder as the user spelled it; the assembler
// runs in that folder and calls what it finds there "./name". ld's notes that a section
// or the program does not fit into a memory region become errors that say which memory
// the region is. Each message comes with the lines that belong to it, joined by newlines:
// cpp's trace of includes before it, as's macro context and cpp's notes after it. File
// names that the rewriter knows (the sources, their folders) are shown with their control
// characters escaped; names it does not know are left as the tools print them.
class DiagnosticRewriter
{
public:
    DiagnosticRewriter(
        std::string sourceAsGiven, std::string sourceAsPassed, std::string workFolder);

    // Another source of the same program, and the work file that holds its object.
    void addSource(std::string asGiven, std::string asPassed, std::string workFile);
    // A folder where the tools look for includes (a project's, say), whose name they print
    // in front of what they find there.
    void addFolder(const std::string &folder) { escapeInOutput(folder); }

    // One element for each message. toolProgram is the path the tool was started with;
    // some tools prefix their messages with it.
    std::vector<std::string> rewrite(
        const std::string &toolOutput, const std::string &toolProgram) const;

private:
    // Shows path, where the tools print it, with its control characters escaped.
    void escapeInOutput(const std::string &path);
    std::string rewriteLine(std::string line) const;
    std::string replaceWorkFiles(const std::string &line) const;
    // The file at the start of the line (or of cpp's "In file included from") as given.
    std::string replaceLocation(std::string line) const;

    struct Source
    {
        std::string asGiven;
        std::string asPassed;
        std::string workFile;
    };

    std::string m_sourceAsGiven;
    std::string m_sourceAsPassed;
    std::string m_workFolder;
    // The source's folder as passed (absolute) and as given, each empty or ending in '/'.
    std::string m_folderAsPassed;
    std::string m_folderAsGiven;
    std::vector<Source> m_others;
    // Paths as the tools print them and as messages show them, the longest first.
    std::vector<std::pair<std::string, std::string>> m_escapes;
};

} // namespace Tarnwick
