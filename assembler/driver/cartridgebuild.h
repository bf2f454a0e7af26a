#pragma once

#include "bytes.h"
#include "cartridgeheader.h"
#include "diagnostics.h"
#include "elffile.h"
#include "files.h"
#include "logo.h"

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
// A source that shows a C preprocessor directive goes through cpp first. Includes are
// looked for in the source's folder, then in each folder above it. When the source leaves
// symbols undefined, the other sources of its folder are assembled, each on its own, and
// those that define what the program still needs are linked in, as ld takes members from
// an archive. It gathers messages and tells nobody: that is the caller's, with the Outcome.
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

    // One source assembled on its own: the chosen one, or another of its folder.
    struct Unit
    {
        std::string asGiven;
        // Absolute, so that a name such as "-x.s" is never read as an option.
        std::string asPassed;
        std::size_t object = 0;
        // The work file for cpp's output, if the source goes through it.
        std::optional<std::size_t> preprocessed;
        bool assembled = false;
        ElfFile elf;
        std::vector<std::string> messages;
    };

    bool checkSource();
    bool findTools();
    // The intermediate files are handed to the tools in this order; the other sources'
    // files come after these.
    enum WorkFile : std::size_t { Object, Script, Program, Startup, Runtime, WorkFileCount };
    bool makeWorkFile(std::size_t file, const char *name);
    std::optional<std::size_t> addWorkFile(const char *name);
    std::string workPath(std::size_t file) const;
    bool readElf(std::size_t file, const char *what, ElfFile *elf);
    // Readies a unit's work files; false after reporting why not.
    bool prepareUnit(Unit *unit);
    // Runs cpp (if the unit needs it) and as; safe to run for several units at once.
    void assemble(Unit *unit) const;
    // Links in the other sources of the folder that define what the program still needs.
    bool gatherOtherSources();
    bool runtimeProvides(const std::string &symbol) const;
    DiagnosticRewriter rewriterFor(const Unit &subject) const;
    ToolResult runTool(const std::string &program, const std::vector<std::string> &arguments,
        const DiagnosticRewriter &rewriter, std::vector<std::string> *messages,
        const std::string &workingFolder = {}) const;
    // Links the objects (behind the start-up, if given) with the script, and with those
    // run-time routines that they call; messages get ld's messages, rewritten. Empty if ld
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
    std::string m_cpp;
    std::vector<std::unique_ptr<MemoryFile>> m_workFiles;
    // The first is the chosen source.
    std::vector<Unit> m_units;
    // The units that go to ld, in the order they go, the chosen source first.
    std::vector<std::size_t> m_linked;
    // Put into the header's blank logo area, once the image is there.
    KeptLogo m_logo;
    Outcome m_outcome;
};

} // namespace Tarnwick
