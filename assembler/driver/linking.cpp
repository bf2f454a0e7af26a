#include "linking.h"

#include "cartridgeheader.h"
#include "embedded.h"
#include "sourcetext.h"
#include "toolprocess.h"

#include <memory>

namespace Tarnwick {

namespace {

constexpr auto RomBase = "0x08000000";

// The sections a debugger reads the program's lines, frames and names from.
constexpr std::string_view DebugSections[] = { ".debug_aranges", ".debug_info", ".debug_abbrev",
    ".debug_line", ".debug_line_str", ".debug_frame", ".debug_str", ".debug_str_offsets",
    ".debug_loc", ".debug_loclists", ".debug_ranges", ".debug_rnglists", ".debug_addr" };

// The script with the debug sections kept before its first /DISCARD/, which takes
// whatever no earlier statement took: a project's `/DISCARD/ : { *(*) }` would leave the
// program without its line table. They are not loaded, so the image stays the same.
std::string keepingDebugSections(std::string_view script)
{
    const std::size_t discard = script.find("/DISCARD/");
    if (discard == std::string_view::npos)
        return std::string(script);
    std::string kept;
    for (const std::string_view section : DebugSections) {
        if (SourceText::findWord(script, section) == std::string_view::npos)
            kept += std::string(section) + " 0 : { *(" + std::string(section) + ") }\n    ";
    }
    return std::string(script.substr(0, discard)) + kept + std::string(script.substr(discard));
}

} // namespace

std::optional<LinkedProgram> link(const Toolchain &tools, std::string_view script,
    StartupKind startupKind, const Unit &entry, const std::vector<LinkObject> &objects,
    std::vector<std::string> *messages)
{
    const std::unique_ptr<MemoryFile> scriptFile
        = makeWorkFile("cartridge.ld", keepingDebugSections(script), "the linker script", messages);
    const std::unique_ptr<MemoryFile> program = makeWorkFile("program.elf", messages);
    // ld takes from the archive only the routines the program calls, after the objects.
    const std::unique_ptr<MemoryFile> runtime
        = makeWorkFile("runtime.a", Embedded::RuntimeArchive, "the run-time routines", messages);
    std::unique_ptr<MemoryFile> startup;
    if (startupKind == StartupKind::Ours) {
        startup = makeWorkFile("startup.o", Embedded::StartupObject, "the start-up", messages);
        if (!startup)
            return std::nullopt;
    }
    if (!scriptFile || !program || !runtime)
        return std::nullopt;

    ToolFiles files;
    std::vector<std::string> arguments
        = { "-T", files.pass(*scriptFile), "-o", files.pass(*program) };
    // The image starts at the start of ROM; a project's own script names its own entry.
    if (startupKind != StartupKind::Project)
        arguments.insert(arguments.end(), { "-e", RomBase });
    if (startup)
        arguments.push_back(files.pass(*startup));
    DiagnosticRewriter rewriter(entry.asGiven, entry.asPassed, inheritedFilesFolder());
    std::vector<std::unique_ptr<MemoryFile>> objectFiles;
    for (const LinkObject &object : objects) {
        const Bytes &bytes = object.changed.empty() ? object.unit->object.bytes() : object.changed;
        objectFiles.push_back(makeWorkFile("unit.o",
            std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()),
            "an assembled object", messages));
        if (!objectFiles.back())
            return std::nullopt;
        const std::string path = files.pass(*objectFiles.back());
        arguments.push_back(path);
        if (object.unit != &entry)
            rewriter.addSource(object.unit->asGiven, object.unit->asPassed, path);
    }
    arguments.push_back(files.pass(*runtime));
    if (!runTool(tools, tools.linker(), arguments, files, rewriter, messages))
        return std::nullopt;

    // ld's ELF program is read here rather than handed to objcopy: the flat image is the
    // loaded sections at their load addresses, and one more program start would cost
    // more than all of tarnwick's own work.
    LinkedProgram linked;
    Bytes bytes;
    std::string problem;
    if (!program->read(&bytes, &problem)
        || !(problem = linked.program.read(std::move(bytes))).empty()) {
        messages->push_back("tarnwick: cannot read the linked program: " + problem);
        return std::nullopt;
    }
    linked.image = linked.program.flatImage(CartridgeHeader::MaxImageSize);
    return linked;
}

} // namespace Tarnwick
