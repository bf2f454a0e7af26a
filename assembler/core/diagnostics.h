#pragma once

#include <string>
#include <vector>

namespace Tarnwick {

// binutils reports problems against the paths we hand it: the absolute source path and
// files in our temporary folder. The user only knows the path they typed, so every
// message is rewritten to "SOURCE:LINE: message" (or "SOURCE: message" when no line is
// known) with that path. ld's notes that a section or the program does not fit into a
// memory region become errors that say which memory the region is.
class DiagnosticRewriter
{
public:
    DiagnosticRewriter(
        std::string sourceAsGiven, std::string sourceAsPassed, std::string workFolder);

    // toolProgram is the path the tool was started with; some tools prefix
    // their messages with it.
    std::vector<std::string> rewrite(
        const std::string &toolOutput, const std::string &toolProgram) const;

private:
    std::string rewriteLine(std::string line) const;
    std::string replaceWorkFiles(const std::string &line) const;

    std::string m_sourceAsGiven;
    std::string m_sourceAsPassed;
    std::string m_workFolder;
};

} // namespace Tarnwick
