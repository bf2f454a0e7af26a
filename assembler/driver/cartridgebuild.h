#pragma once

#include "bytes.h"
#include "cartridgeheader.h"
#include "elffile.h"
#include "files.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// How a run ended, in one piece, for whatever tells the person: the exit status, every
// message for standard error in order, and on success the image written.
struct Outcome
{
    int exitStatus = 1;
    std::vector<std::string> diagnostics;
    // The output as the user named it, and the image's size in bytes; set on success.
    std::string image;
    std::size_t imageSize = 0;
};

// One run of the binutils chain: source -> object -> linked program -> flat cartridge
// image with its header completed, written in one piece. A source that reserves the
// header itself is linked on its own at the start of ROM; one that does not but defines
// a global `main` is linked behind our start-up (startup.s), which provides the header.
// It gathers messages and tells nobody: that is the caller's, with the Outcome.
class CartridgeBuild
{
public:
    CartridgeBuild(std::string source, std::string output);

    Outcome run();

private:
    enum class ToolResult { Finished, Failed };

    struct Linked
    {
        ElfFile program;
        ElfFile::FlatImage image;
    };

    bool checkSource();
    bool findTools();
    // The intermediate files are handed to the tools in this order.
    enum WorkFile : std::size_t { Object, Script, Program, Startup, Runtime, WorkFileCount };
    bool makeWorkFile(WorkFile file, const char *name);
    std::string workPath(WorkFile file) const;
    bool readElf(WorkFile file, const char *what, ElfFile *elf);
    ToolResult runTool(const std::string &program, const std::vector<std::string> &arguments,
        std::vector<std::string> *messages);
    // Links the object (behind the start-up, if given) with the script, and with those
    // run-time routines that it calls; messages get ld's messages, rewritten. Empty if ld
    // or reading its result failed.
    std::optional<Linked> link(
        std::string_view script, bool withStartup, std::vector<std::string> *messages);
    bool linkWithStartup(const ElfFile &object, Bytes *image);
    bool checkStartupPlacement(const ElfFile &program);
    bool writeOutput(const Bytes &image);
    void report(const std::string &message);
    void report(const std::vector<std::string> &messages);
    void reportFault(CartridgeHeader::Fault fault, std::uint64_t size);

    std::string m_source;
    std::string m_output;
    std::string m_sourceAbsolute;
    std::string m_as;
    std::string m_ld;
    std::vector<std::unique_ptr<MemoryFile>> m_workFiles;
    Outcome m_outcome;
};

} // namespace Tarnwick
