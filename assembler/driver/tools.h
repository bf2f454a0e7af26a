#pragma once

#include "diagnostics.h"
#include "inputfiles.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// The programs a run drives: binutils' assembler and linker, found on PATH before any work
// starts, and the C preprocessor, looked for only when a source needs it.
class Toolchain
{
public:
    // Finds as and ld, and sees that the work files in memory can be handed to them; false
    // after saying what to install or what is missing in *messages.
    bool find(std::vector<std::string> *messages);
    // Finds cpp for the source that needs it; false after saying what to install.
    bool findPreprocessor(const std::string &sourceAsGiven, std::vector<std::string> *messages);

    const std::string &assembler() const { return m_as; }
    const std::string &linker() const { return m_ld; }
    const std::string &preprocessor() const { return m_cpp; }

    // The Debian package that brings the program.
    std::string packageOf(const std::string &program) const;

private:
    std::string m_as;
    std::string m_ld;
    std::string m_cpp;
};

// The work files that one tool run is handed, each under the path the tool opens it by; no
// other file of the run reaches the tool, so a run needs a few descriptors however many
// files a program has.
class ToolFiles
{
public:
    // The path by which the tool opens the file.
    std::string pass(const MemoryFile &file);
    const std::vector<int> &descriptors() const { return m_descriptors; }

private:
    std::vector<int> m_descriptors;
};

// A work file made for a tool to write or read; empty after saying why in *messages.
std::unique_ptr<MemoryFile> makeWorkFile(const char *name, std::vector<std::string> *messages);
// The same with its contents written; empty after saying why.
std::unique_ptr<MemoryFile> makeWorkFile(const char *name, std::string_view contents,
    const char *what, std::vector<std::string> *messages);

// Runs one tool to its end, its messages rewritten by the rewriter into *messages, and
// says whether it finished well. A tool that could not start, took too long, crashed or
// failed is told in *messages with the tool's own words where it gave any. Safe to call
// from several threads at once.
bool runTool(const Toolchain &tools, const std::string &program,
    const std::vector<std::string> &arguments, const ToolFiles &files,
    const DiagnosticRewriter &rewriter, std::vector<std::string> *messages,
    const std::string &workingFolder = {});

} // namespace Tarnwick
