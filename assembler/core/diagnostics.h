#pragma once

#include <string>
#include <vector>

namespace Tarnwick {

// binutils reports problems against the paths we hand it: the absolute source path and
// files in our temporary folder. The user only knows the path they typed, so every
// message is rewritten to "SOURCE:LINE: message" (or "SOURCE: message" when no line is
// known) with that path. Files in the source's folder or below it (includes, the other
// sources of a program) are named from the folder as the user spelled it; the assembler
// runs in that folder and calls what it finds there "./name". ld's notes that a section
// or the program does not fit into a memory region become errors that say which memory
// the region is.
class DiagnosticRewriter
{
public:
    DiagnosticRewriter(
        std::string sourceAsGiven, std::string sourceAsPassed, std::string workFolder);

    // toolProgram is the path the tool was started with; some tools prefix
    // their messages with it.
    // Another source of the same program, and the work file that holds its object.
    void addSource(std::string asGiven, std::string asPassed, std::string workFile);

    std::vector<std::string> rewrite(
        const std::string &toolOutput, const std::string &toolProgram) const;

private:
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
};

} // namespace Tarnwick
