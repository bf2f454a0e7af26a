#include "cartridgebuild.h"

#include "arguments.h"
#include "diagnostics.h"
#include "embedded.h"
#include "files.h"
#include "sourcetext.h"
#include "toolprocess.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr std::chrono::milliseconds ToolTimeout { 60 * 1000 };
constexpr auto BinutilsPackage = "binutils-arm-none-eabi";
constexpr auto PreprocessorPackage = "cpp";
// What the usual toolchain's compiler driver tells the preprocessor about this target;
// -undef keeps the host's own names (such as "linux" or "__x86_64__") out of the source.
constexpr const char *PreprocessorOptions[] = { "-x", "assembler-with-cpp", "-undef", "-nostdinc",
    "-fno-diagnostics-show-caret", "-D__arm__", "-D__ARMEL__", "-D__ARM_ARCH_4T__",
    "-D__ARM_ARCH=4", "-D__ARM_EABI__", "-D__thumb_interwork__" };
constexpr auto Cpu = "-mcpu=arm7tdmi";
constexpr auto RomBase = "0x08000000";
constexpr std::uint32_t RomStart = 0x08000000;
// What startup.ld places in RAM, where the start-up copies or clears it.
constexpr std::string_view StartupRamSections[] = { ".iwram", ".data", ".bss", ".ewram" };
constexpr auto EitherOr = "the source must either reserve the 192-byte header (start with a "
                          "branch past it, for example \"b start\", then .space 188) or define "
                          "a global `main` for tarnwick's start-up to call";

std::string hexadecimal(std::uint32_t value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += Digits[(value >> shift) & 0xF];
    return text;
}

std::string baseName(const std::string &path)
{
    return path.substr(path.find_last_of('/') + 1);
}

std::string quotedPath(const std::string &path)
{
    return Arguments::quoted(path);
}

// Whether the word stands in the text with no letter, digit, '_', '.' or '$' next to it.
bool containsWord(std::string_view text, std::string_view word)
{
    const auto isNamePart = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
    };
    for (std::size_t at = text.find(word); at != std::string_view::npos;
         at = text.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || !isNamePart(text[at - 1]))
            && (end == text.size() || !isNamePart(text[end])))
            return true;
    }
    return false;
}

} // namespace

CartridgeBuild::CartridgeBuild(std::string source, std::string output)
    : m_source(std::move(source))
    , m_output(std::move(output))
    , m_sourceAbsolute(absolutePath(m_source))
{
}

void CartridgeBuild::report(const std::string &message)
{
    m_outcome.diagnostics.push_back(message);
}

void CartridgeBuild::report(const std::vector<std::string> &messages)
{
    m_outcome.diagnostics.insert(m_outcome.diagnostics.end(), messages.begin(), messages.end());
}

Outcome CartridgeBuild::run()
{
    m_outcome = Outcome();
    m_outcome.exitStatus = ExitFailure;
    if (!checkSource() || !findTools())
        return m_outcome;

    m_workFiles.clear();
    m_workFiles.resize(WorkFileCount);
    m_units.clear();
    m_linked.clear();
    Unit entry;
    entry.asGiven = m_source;
    entry.asPassed = m_sourceAbsolute;
    entry.object = Object;
    m_units.push_back(std::move(entry));
    if (!prepareUnit(&m_units.front()))
        return m_outcome;
    assemble(&m_units.front());
    report(m_units.front().messages);
    if (!m_units.front().assembled)
        return m_outcome;
    m_linked.push_back(0);
    if (!gatherOtherSources())
        return m_outcome;
    const ElfFile &object = m_units.front().elf;

    // A source reserves the header when its image starts with an ARM branch past it,
    // which only linking shows for sure. A source with a global `main` whose first word
    // is plainly no branch goes to the start-up at once.
    const bool definesMain = object.definesGlobal("main");
    const Bytes first = object.firstTextWord();
    const bool mayReserveHeader
        = !definesMain || first.size() < 4 || first[3] == 0xEA || first[3] == 0xEB;

    Bytes image;
    bool reservesHeader = false;
    std::vector<std::string> messages;
    if (mayReserveHeader) {
        std::optional<Linked> linked = link(Embedded::ReservedHeaderScript, false, &messages);
        auto fault = CartridgeHeader::Fault::TooShort;
        if (linked) {
            fault = linked->image.size > CartridgeHeader::MaxImageSize
                ? CartridgeHeader::Fault::TooLarge
                : CartridgeHeader::complete(
                    linked->image.bytes, m_logo.bytes(&m_outcome.diagnostics));
        }
        if (fault == CartridgeHeader::Fault::None) {
            report(messages);
            image = std::move(linked->image.bytes);
            reservesHeader = true;
        } else if (!definesMain) {
            report(messages);
            if (linked)
                reportFault(fault, linked->image.size);
            return m_outcome;
        }
    }
    if (!reservesHeader && !linkWithStartup(object, &image))
        return m_outcome;

    if (!writeOutput(image))
        return m_outcome;
    m_outcome.exitStatus = ExitSuccess;
    m_outcome.image = m_output;
    m_outcome.imageSize = image.size();
    return m_outcome;
}

bool CartridgeBuild::makeWorkFile(std::size_t file, const char *name)
{
    auto made = std::make_unique<MemoryFile>(name);
    if (!made->isValid()) {
        report("tarnwick: cannot make a file in memory: " + made->problem());
        return false;
    }
    // The tools open the files by a /proc path; without /proc they could not.
    const std::string ours = inheritedFilesFolder() + '/' + std::to_string(made->descriptor());
    if (::access(ours.c_str(), F_OK) != 0) {
        report("tarnwick: cannot hand files to binutils through " + inheritedFilesFolder() + ": "
            + errorText(errno) + "; is /proc mounted?");
        return false;
    }
    m_workFiles[file] = std::move(made);
    return true;
}

std::optional<std::size_t> CartridgeBuild::addWorkFile(const char *name)
{
    m_workFiles.emplace_back();
    if (!makeWorkFile(m_workFiles.size() - 1, name)) {
        m_workFiles.pop_back();
        return std::nullopt;
    }
    return m_workFiles.size() - 1;
}

std::string CartridgeBuild::workPath(std::size_t file) const
{
    return inheritedFilePath(file);
}

bool CartridgeBuild::prepareUnit(Unit *unit)
{
    if (unit == &m_units.front()) {
        if (!makeWorkFile(Object, "source.o"))
            return false;
        unit->object = Object;
    } else {
        const std::optional<std::size_t> object = addWorkFile("unit.o");
        if (!object)
            return false;
        unit->object = *object;
    }
    std::string text;
    std::string problem;
    if (!readFile(unit->asPassed, &text, &problem)) {
        report("tarnwick: cannot read source " + quotedPath(unit->asGiven) + ": " + problem);
        return false;
    }
    if (!SourceText::usesPreprocessor(text))
        return true;
    if (m_cpp.empty())
        m_cpp = findExecutable("cpp");
    if (m_cpp.empty()) {
        report(unit->asGiven
            + ": Error: the source uses the C preprocessor (a line such as #include or "
              "#define), and cpp is not on PATH; install the Debian package "
            + PreprocessorPackage + " (sudo apt install " + PreprocessorPackage + ")");
        return false;
    }
    unit->preprocessed = addWorkFile("preprocessed.s");
    return unit->preprocessed.has_value();
}

void CartridgeBuild::assemble(Unit *unit) const
{
    const DiagnosticRewriter rewriter = rewriterFor(*unit);
    const std::string folder = SourceText::folderPart(unit->asPassed);
    std::vector<std::string> includes;
    for (const std::string &include : SourceText::includeFolders(unit->asPassed)) {
        includes.push_back("-I");
        includes.push_back(include);
    }
    std::string input = unit->asPassed;
    if (unit->preprocessed) {
        std::vector<std::string> arguments(
            std::begin(PreprocessorOptions), std::end(PreprocessorOptions));
        arguments.insert(arguments.end(), includes.begin(), includes.end());
        arguments.insert(arguments.end(), { "-o", workPath(*unit->preprocessed), unit->asPassed });
        if (runTool(m_cpp, arguments, rewriter, &unit->messages, folder) != ToolResult::Finished)
            return;
        input = workPath(*unit->preprocessed);
    }
    // as looks for includes in the folder it runs in before its -I folders.
    std::vector<std::string> arguments = { Cpu, "-g" };
    arguments.insert(arguments.end(), includes.begin(), includes.end());
    arguments.insert(arguments.end(), { "-o", workPath(unit->object), input });
    if (runTool(m_as, arguments, rewriter, &unit->messages, folder) != ToolResult::Finished)
        return;
    Bytes bytes;
    std::string problem;
    if (!m_workFiles[unit->object]->read(&bytes, &problem)
        || !(problem = unit->elf.read(std::move(bytes))).empty()) {
        unit->messages.push_back("tarnwick: cannot read the assembled object of "
            + quotedPath(unit->asGiven) + ": " + problem);
        return;
    }
    unit->assembled = true;
}

bool CartridgeBuild::runtimeProvides(const std::string &symbol) const
{
    // The division routines, and the names that the linker scripts give the memory layout.
    return symbol.rfind("__aeabi_", 0) == 0 || containsWord(Embedded::StartupScript, symbol)
        || containsWord(Embedded::ReservedHeaderScript, symbol);
}

bool CartridgeBuild::gatherOtherSources()
{
    std::set<std::string> defined;
    std::map<std::string, std::size_t> neededBy;
    const auto take = [&](std::size_t index) {
        for (const std::string &name : m_units[index].elf.definedGlobals())
            defined.insert(name);
        for (const std::string &name : m_units[index].elf.neededSymbols())
            neededBy.emplace(name, index);
    };
    const auto stillNeeded = [&] {
        std::vector<std::string> names;
        for (const auto &[name, unit] : neededBy) {
            if (!defined.count(name) && !runtimeProvides(name))
                names.push_back(name);
        }
        return names;
    };
    take(0);
    if (stillNeeded().empty())
        return true;

    const std::string folder = SourceText::folderPart(m_sourceAbsolute);
    const std::string folderAsGiven = SourceText::folderPart(m_source);
    for (const std::string &name : folderEntries(folder)) {
        const std::string path = folder + name;
        if (!SourceText::isSourceName(name) || fileKind(path) != FileKind::Regular
            || sameFile(path, m_sourceAbsolute) || ::access(path.c_str(), R_OK) != 0)
            continue;
        Unit unit;
        unit.asGiven = folderAsGiven + name;
        unit.asPassed = path;
        m_units.push_back(std::move(unit));
        if (!prepareUnit(&m_units.back()))
            return false;
    }
    if (m_units.size() == 1)
        return true;

    // Each on its own, on as many processors as there are.
    std::atomic<std::size_t> next { 1 };
    const auto work = [this, &next] {
        for (std::size_t i = next++; i < m_units.size(); i = next++)
            assemble(&m_units[i]);
    };
    const std::size_t workers = std::min<std::size_t>(
        std::max(1U, std::thread::hardware_concurrency()), m_units.size() - 1);
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread &thread : threads)
        thread.join();

    for (std::vector<std::string> needed = stillNeeded(); !needed.empty(); needed = stillNeeded()) {
        std::vector<std::size_t> taken;
        for (const std::string &name : needed) {
            std::vector<std::size_t> providers;
            for (std::size_t i = 1; i < m_units.size(); ++i) {
                if (m_units[i].assembled && m_units[i].elf.definesGlobal(name))
                    providers.push_back(i);
            }
            if (providers.size() > 1) {
                report(m_units[neededBy[name]].asGiven + ": Error: `" + name
                    + "' is defined both in " + m_units[providers[0]].asGiven + " and in "
                    + m_units[providers[1]].asGiven
                    + ", so tarnwick cannot tell which one the program means; rename one of "
                      "them, or move the other program into a folder of its own");
                return false;
            }
            if (providers.size() == 1
                && std::find(taken.begin(), taken.end(), providers[0]) == taken.end())
                taken.push_back(providers[0]);
        }
        if (taken.empty()) {
            // What ld will call undefined might have come from a source that did not
            // assemble and names it: its messages say why it could not.
            for (const Unit &unit : m_units) {
                std::string text;
                std::string problem;
                if (unit.assembled || !readFile(unit.asPassed, &text, &problem))
                    continue;
                if (std::any_of(needed.begin(), needed.end(),
                        [&text](const std::string &name) { return containsWord(text, name); }))
                    report(unit.messages);
            }
            return true;
        }
        for (const std::size_t index : taken) {
            m_linked.push_back(index);
            report(m_units[index].messages);
            take(index);
        }
    }
    return true;
}

DiagnosticRewriter CartridgeBuild::rewriterFor(const Unit &subject) const
{
    DiagnosticRewriter rewriter(subject.asGiven, subject.asPassed, inheritedFilesFolder());
    for (const Unit &unit : m_units) {
        if (&unit != &subject)
            rewriter.addSource(unit.asGiven, unit.asPassed, workPath(unit.object));
    }
    return rewriter;
}

bool CartridgeBuild::readElf(std::size_t file, const char *what, ElfFile *elf)
{
    Bytes bytes;
    std::string problem;
    if (!m_workFiles[file]->read(&bytes, &problem)
        || !(problem = elf->read(std::move(bytes))).empty()) {
        report(std::string("tarnwick: cannot read the ") + what + ": " + problem);
        return false;
    }
    return true;
}

void CartridgeBuild::reportFault(CartridgeHeader::Fault fault, std::uint64_t size)
{
    const std::string prefix = m_source + ": Error: ";
    switch (fault) {
    case CartridgeHeader::Fault::TooShort:
        report(prefix + "the image is " + std::to_string(size)
            + " bytes, shorter than the cartridge header, and the source defines no global "
              "`main`; "
            + EitherOr);
        break;
    case CartridgeHeader::Fault::NoBranchPastHeader:
        report(prefix
            + "the first instruction is not an ARM branch past the 192-byte cartridge header, "
              "and the source defines no global `main`; "
            + EitherOr);
        break;
    case CartridgeHeader::Fault::TooLarge:
        report(prefix + "the image is " + std::to_string(size) + " bytes, more than the "
            + std::to_string(CartridgeHeader::MaxImageSize) + " bytes a cartridge can hold");
        break;
    case CartridgeHeader::Fault::None:
        break;
    }
}

bool CartridgeBuild::linkWithStartup(const ElfFile &object, Bytes *image)
{
    std::string problem;
    // A `main` in Thumb code without .thumb_func would be entered in ARM state: the object
    // is handed to ld with `main' marked as a Thumb function, as .thumb_func would mark it.
    if (object.labelsUnmarkedThumbCode("main")) {
        const Bytes marked = object.withThumbFunction("main");
        if (marked.empty()) {
            report("tarnwick: cannot mark `main' as Thumb code in the assembled object");
            return false;
        }
        if (!m_workFiles[Object]->write(marked.data(), marked.size(), &problem)) {
            report("tarnwick: cannot write the assembled object into memory: " + problem);
            return false;
        }
    }
    if (!makeWorkFile(Startup, "startup.o"))
        return false;
    if (!m_workFiles[Startup]->write(
            Embedded::StartupObject.data(), Embedded::StartupObject.size(), &problem)) {
        report("tarnwick: cannot write the start-up into memory: " + problem);
        return false;
    }
    std::vector<std::string> messages;
    std::optional<Linked> linked = link(Embedded::StartupScript, true, &messages);
    report(messages);
    if (!linked || !checkStartupPlacement(linked->program))
        return false;
    // An .ewram section of cleared data alone (.sbss) has no contents in ld's program,
    // yet the start-up copies it from its load address all the same: its zeros belong in
    // the image there, or the copy would bring whatever lies past the image's end.
    for (const ElfFile::Section &section : linked->program.sections()) {
        if (section.name != ".ewram" || section.isLoaded() || section.size == 0
            || section.loadAddress < linked->image.base)
            continue;
        linked->image.size = std::max<std::uint64_t>(linked->image.size,
            std::uint64_t(section.loadAddress - linked->image.base) + section.size);
        if (linked->image.size <= CartridgeHeader::MaxImageSize)
            linked->image.bytes.resize(std::size_t(linked->image.size), 0);
    }
    if (linked->image.size > CartridgeHeader::MaxImageSize) {
        reportFault(CartridgeHeader::Fault::TooLarge, linked->image.size);
        return false;
    }

    *image = std::move(linked->image.bytes);
    CartridgeHeader::setTitle(*image, CartridgeHeader::titleFor(m_output));
    if (CartridgeHeader::complete(*image, m_logo.bytes(&m_outcome.diagnostics))
        != CartridgeHeader::Fault::None) {
        report("tarnwick: the start-up did not make a valid cartridge header");
        return false;
    }
    return true;
}

// A section that the start-up neither copies nor clears would hold whatever the RAM held;
// ld places such a section (one whose name startup.ld does not know) in RAM of its own
// accord, so it is refused here with a way out.
bool CartridgeBuild::checkStartupPlacement(const ElfFile &program)
{
    bool placed = true;
    for (const ElfFile::Section &section : program.sections()) {
        if (!section.isAllocated() || section.size == 0 || section.address >= RomStart)
            continue;
        if (std::find(std::begin(StartupRamSections), std::end(StartupRamSections), section.name)
            != std::end(StartupRamSections))
            continue;
        report(m_source + ": Error: section `" + section.name + "' would lie in RAM at "
            + hexadecimal(section.address)
            + " without the start-up copying or clearing it; put its contents into .data, "
              ".bss, .iwram or .ewram sections, or into .text or .rodata for ROM");
        placed = false;
    }
    return placed;
}

std::optional<CartridgeBuild::Linked> CartridgeBuild::link(
    std::string_view script, bool withStartup, std::vector<std::string> *messages)
{
    // Fresh files for each link: ld replaces its output rather than rewriting it.
    std::string problem;
    if (!makeWorkFile(Script, "cartridge.ld") || !makeWorkFile(Program, "source.elf"))
        return std::nullopt;
    if (!m_workFiles[Script]->write(script.data(), script.size(), &problem)) {
        report("tarnwick: cannot write the linker script into memory: " + problem);
        return std::nullopt;
    }
    // ld takes from the archive only the routines the program calls, after the objects.
    if (!m_workFiles[Runtime]) {
        if (!makeWorkFile(Runtime, "runtime.a"))
            return std::nullopt;
        if (!m_workFiles[Runtime]->write(
                Embedded::RuntimeArchive.data(), Embedded::RuntimeArchive.size(), &problem)) {
            report("tarnwick: cannot write the run-time routines into memory: " + problem);
            return std::nullopt;
        }
    }
    std::vector<std::string> arguments
        = { "-T", workPath(Script), "-e", RomBase, "-o", workPath(Program) };
    if (withStartup)
        arguments.push_back(workPath(Startup));
    for (const std::size_t unit : m_linked)
        arguments.push_back(workPath(m_units[unit].object));
    arguments.push_back(workPath(Runtime));
    if (runTool(m_ld, arguments, rewriterFor(m_units.front()), messages) != ToolResult::Finished)
        return std::nullopt;

    // ld's ELF program is read here rather than handed to objcopy: the flat image is the
    // loaded sections at their load addresses, and one more program start would cost
    // more than all of tarnwick's own work.
    Linked linked;
    if (!readElf(Program, "linked program", &linked.program))
        return std::nullopt;
    linked.image = linked.program.flatImage(CartridgeHeader::MaxImageSize);
    return linked;
}

bool CartridgeBuild::checkSource()
{
    // A named pipe opened for reading waits for a writer and a device can be read without
    // end, so only a regular file (a symbolic link is followed) is ever opened as a source.
    const FileKind kind = fileKind(m_source);
    if (kind == FileKind::Folder) {
        report("tarnwick: cannot read source " + quotedPath(m_source) + ": it is a folder");
        return false;
    }
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        report("tarnwick: cannot read source " + quotedPath(m_source)
            + ": it is not a regular file but " + describe(kind));
        return false;
    }
    if (::access(m_source.c_str(), R_OK) != 0) {
        report("tarnwick: cannot read source " + quotedPath(m_source) + ": " + errorText(errno));
        return false;
    }
    // Writing the image over its own source would destroy the source.
    if (fileKind(m_output) != FileKind::Missing && sameFile(m_output, m_source)) {
        report("tarnwick: the output " + quotedPath(m_output)
            + " is the source file itself; choose another output name");
        return false;
    }
    return true;
}

bool CartridgeBuild::findTools()
{
    std::vector<std::string> missing;
    const auto find = [&missing](const std::string &name) {
        const std::string path = findExecutable(name);
        if (path.empty())
            missing.push_back(name);
        return path;
    };
    m_as = find("arm-none-eabi-as");
    m_ld = find("arm-none-eabi-ld");
    if (missing.empty())
        return true;
    std::string names;
    for (const std::string &name : missing)
        names += (names.empty() ? "" : ", ") + name;
    report("tarnwick: cannot find " + names + " on PATH; install the Debian package "
        + BinutilsPackage + " (sudo apt install " + BinutilsPackage + ")");
    return false;
}

CartridgeBuild::ToolResult CartridgeBuild::runTool(const std::string &program,
    const std::vector<std::string> &arguments, const DiagnosticRewriter &rewriter,
    std::vector<std::string> *messages, const std::string &workingFolder) const
{
    const std::string name = baseName(program);
    std::vector<int> files;
    for (const std::unique_ptr<MemoryFile> &file : m_workFiles)
        files.push_back(file ? file->descriptor() : -1);
    const ToolRun run = Tarnwick::runTool(
        program, arguments, files, ToolTimeout, ToolLocale::Untranslated, workingFolder);
    switch (run.result) {
    case ToolRun::Result::NotStarted:
        messages->push_back("tarnwick: cannot start " + program + ": " + errorText(run.startError)
            + "; install the Debian package "
            + (program == m_cpp ? PreprocessorPackage : BinutilsPackage));
        return ToolResult::Failed;
    case ToolRun::Result::TimedOut:
        messages->push_back("tarnwick: " + name + " did not finish within "
            + std::to_string(ToolTimeout.count() / 1000) + " seconds and was stopped");
        return ToolResult::Failed;
    case ToolRun::Result::Finished:
    case ToolRun::Result::Crashed:
        break;
    }

    const std::vector<std::string> rewritten = rewriter.rewrite(run.output, program);
    messages->insert(messages->end(), rewritten.begin(), rewritten.end());

    if (run.result == ToolRun::Result::Crashed) {
        messages->push_back("tarnwick: " + name + " crashed");
        return ToolResult::Failed;
    }
    if (run.exitCode != 0) {
        if (rewritten.empty())
            messages->push_back(
                "tarnwick: " + name + " failed with exit status " + std::to_string(run.exitCode));
        return ToolResult::Failed;
    }
    return ToolResult::Finished;
}

bool CartridgeBuild::writeOutput(const Bytes &image)
{
    std::string problem;
    if (writeImage(m_output, image, &problem))
        return true;
    report("tarnwick: cannot write " + quotedPath(m_output) + ": " + problem);
    return false;
}

} // namespace Tarnwick
