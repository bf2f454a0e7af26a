#include "unit.h"

#include "arguments.h"
#include "inputfiles.h"
#include "paths.h"
#include "sourcetext.h"
#include "toolprocess.h"

#include <algorithm>
#include <cerrno>

namespace Tarnwick {

namespace {

constexpr auto Cpu = "-mcpu=arm7tdmi";
constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
// What the usual toolchain's compiler driver tells the preprocessor about this target;
// -undef keeps the host's own names (such as "linux" or "__x86_64__") out of the source.
constexpr const char *PreprocessorOptions[] = { "-x", "assembler-with-cpp", "-undef", "-nostdinc",
    "-fno-diagnostics-show-caret", "-D__arm__", "-D__ARMEL__", "-D__ARM_ARCH_4T__",
    "-D__ARM_ARCH=4", "-D__ARM_EABI__", "-D__thumb_interwork__" };

std::string quotedPath(const std::string &path)
{
    return Arguments::quoted(path);
}

// The files a tool's dependency list names, made absolute against the folder it ran in
// and resolved; our own work files, the headers made of pictures (in made) and what no
// longer exists are left out.
void addInputs(const MemoryFile &dependencies, const std::string &folder, const std::string &made,
    std::vector<std::string> *inputs)
{
    Bytes bytes;
    std::string problem;
    if (!dependencies.read(&bytes, &problem))
        return;
    const std::string text(bytes.begin(), bytes.end());
    for (const std::string &named : SourceText::dependencies(text)) {
        if (named.rfind(inheritedFilesFolder() + '/', 0) == 0
            || (!made.empty() && named.rfind(made + '/', 0) == 0))
            continue;
        const std::string resolved = resolvedPath(named.front() == '/' ? named : folder + named);
        if (!resolved.empty()
            && std::find(inputs->begin(), inputs->end(), resolved) == inputs->end())
            inputs->push_back(resolved);
    }
}

} // namespace

SourcePlace placeIn(
    const Unit &unit, const LineTable &table, std::size_t section, std::uint32_t offset)
{
    const LineTable::Place place = table.at(section, offset);
    if (place.line == 0 || place.file.empty())
        return {};
    // The tools ran in the unit's folder; the table names files from there, or absolutely.
    const std::string named = place.file.rfind("./", 0) == 0 ? place.file.substr(2) : place.file;
    SourcePlace found { {}, named.front() == '/' ? named : unit.folder + named, place.line };
    const std::string resolved = resolvedPath(found.path);
    if (resolved == unit.asPassed)
        found.shown = unit.shown;
    else if (found.path.rfind(unit.folder, 0) == 0)
        found.shown
            = withControlsEscaped(unit.folderAsGiven + found.path.substr(unit.folder.size()));
    else
        found.shown = withControlsEscaped(found.path);
    return found;
}

SourcePlace labelPlace(const Unit &unit, const LineTable &table, const ElfFile::Symbol &symbol)
{
    // A Thumb function's value carries the Thumb bit; its label stands at the even address.
    constexpr unsigned char SymbolTypeFunction = 2;
    const std::uint32_t offset
        = symbol.type == SymbolTypeFunction ? symbol.value & ~std::uint32_t(1) : symbol.value;
    SourcePlace place = placeIn(unit, table, symbol.sectionIndex, offset);
    std::string text;
    std::string problem;
    if (place.line != 0 && fileKind(place.path) == FileKind::Regular
        && readFile(place.path, &text, &problem))
        place.line = SourceText::labelLine(text, symbol.name, place.line);
    return place;
}

bool makeUnit(const std::string &asGiven, Unit *unit, std::string *problem)
{
    unit->asGiven = asGiven;
    unit->shown = withControlsEscaped(asGiven);
    unit->asPassed = resolvedPath(asGiven);
    if (unit->asPassed.empty()) {
        *problem = errorText(errno);
        return false;
    }
    unit->folder = SourceText::folderPart(unit->asPassed);
    const std::string folderAsGiven = SourceText::folderPart(asGiven);
    std::string spelt = resolvedPath(folderAsGiven.empty() ? std::string(".") : folderAsGiven);
    if (!spelt.empty() && spelt.back() != '/')
        spelt += '/';
    unit->folderAsGiven = spelt == unit->folder ? folderAsGiven : unit->folder;
    unit->includeFolders = SourceText::includeFolders(unit->folder);
    unit->inputs = { unit->asPassed };
    return true;
}

bool prepareUnit(Unit *unit, Toolchain *tools, std::vector<std::string> *messages)
{
    std::string text;
    std::string problem;
    if (!readFile(unit->asPassed, &text, &problem)) {
        messages->push_back(
            "tarnwick: cannot read source " + quotedPath(unit->asGiven) + ": " + problem);
        return false;
    }
    unit->preprocessed = SourceText::usesPreprocessor(text);
    unit->byteOrderMark = text.rfind(ByteOrderMark, 0) == 0;
    // An include that none of the folders holds sends the search into the project before
    // the tools run, rather than after they failed.
    for (const std::string &name : SourceText::includedNames(text)) {
        if (name.front() == '/')
            continue;
        bool found = fileKind(unit->folder + name) != FileKind::Missing;
        for (std::size_t i = 0; i < unit->includeFolders.size() && !found; ++i)
            found = fileKind(unit->includeFolders[i] + '/' + name) != FileKind::Missing;
        unit->lacksInclude = unit->lacksInclude || !found;
    }
    return !unit->preprocessed || tools->findPreprocessor(unit->shown, messages);
}

void assembleUnit(Unit *unit, const Toolchain &tools)
{
    unit->assembled = false;
    unit->messages.clear();
    unit->inputs = { unit->asPassed };
    std::vector<std::string> *messages = &unit->messages;
    DiagnosticRewriter rewriter(unit->asGiven, unit->asPassed, inheritedFilesFolder());
    std::vector<std::string> includes;
    for (const std::string &include : unit->includeFolders) {
        includes.push_back("-I");
        includes.push_back(include);
        rewriter.addFolder(include);
    }
    // The tools list the files they read, so that an output that would overwrite one of
    // them is refused.
    std::unique_ptr<MemoryFile> preprocessed;
    std::unique_ptr<MemoryFile> preprocessorInputs;
    std::string input = unit->asPassed;
    if (unit->preprocessed) {
        preprocessed = makeWorkFile("preprocessed.s", messages);
        preprocessorInputs = makeWorkFile("preprocessed.d", messages);
        if (!preprocessed || !preprocessorInputs)
            return;
        ToolFiles files;
        std::vector<std::string> arguments(
            std::begin(PreprocessorOptions), std::end(PreprocessorOptions));
        arguments.insert(arguments.end(), includes.begin(), includes.end());
        if (!unit->madeHeaders.empty())
            arguments.insert(arguments.end(), { "-I", unit->madeHeaders });
        input = files.pass(*preprocessed);
        arguments.insert(arguments.end(),
            { "-MD", "-MF", files.pass(*preprocessorInputs), "-o", input, unit->asPassed });
        if (!runTool(
                tools, tools.preprocessor(), arguments, files, rewriter, messages, unit->folder))
            return;
        addInputs(*preprocessorInputs, unit->folder, unit->madeHeaders, &unit->inputs);
        for (const std::string &picture : unit->pictureInputs) {
            if (std::find(unit->inputs.begin(), unit->inputs.end(), picture) == unit->inputs.end())
                unit->inputs.push_back(picture);
        }
    }

    // A byte-order mark at the very top is skipped, as other tools do: as gets the text
    // after it, led by a line marker that gives it the source's name and first line, so that
    // messages and the line table name the source itself. A name that the marker cannot
    // spell keeps the mark, which the hints then name.
    std::unique_ptr<MemoryFile> unmarked;
    std::string text;
    std::string unread;
    if (unit->byteOrderMark && !unit->preprocessed
        && unit->asPassed.find_first_of("\"\\\n") == std::string::npos
        && readFile(unit->asPassed, &text, &unread) && text.rfind(ByteOrderMark, 0) == 0) {
        unmarked = makeWorkFile("unmarked.s", messages);
        if (!unmarked)
            return;
        const std::string marked
            = "# 1 \"" + unit->asPassed + "\"\n" + text.substr(ByteOrderMark.size());
        if (!unmarked->write(marked.data(), marked.size(), &unread)) {
            messages->push_back("tarnwick: cannot pass " + quotedPath(unit->asGiven)
                + " to the assembler: " + unread);
            return;
        }
    }

    const std::unique_ptr<MemoryFile> object = makeWorkFile("unit.o", messages);
    const std::unique_ptr<MemoryFile> inputs = makeWorkFile("unit.d", messages);
    if (!object || !inputs)
        return;
    ToolFiles files;
    if (preprocessed)
        input = files.pass(*preprocessed);
    else if (unmarked)
        input = files.pass(*unmarked);
    // as looks for includes in the folder it runs in before its -I folders, and names those
    // it finds there by a relative path ("./near.inc") in the line table; the map makes
    // every file of the line table absolute, as debuggers show it.
    std::string folder = unit->folder;
    if (folder.size() > 1)
        folder.pop_back();
    std::vector<std::string> arguments = { Cpu, "-g", "--debug-prefix-map", ".=" + folder };
    arguments.insert(arguments.end(), includes.begin(), includes.end());
    arguments.insert(
        arguments.end(), { "--MD", files.pass(*inputs), "-o", files.pass(*object), input });
    if (!runTool(tools, tools.assembler(), arguments, files, rewriter, messages, unit->folder))
        return;
    addInputs(*inputs, unit->folder, {}, &unit->inputs);

    Bytes bytes;
    std::string problem;
    if (!object->read(&bytes, &problem)
        || !(problem = unit->object.read(std::move(bytes))).empty()) {
        messages->push_back("tarnwick: cannot read the assembled object of "
            + quotedPath(unit->asGiven) + ": " + problem);
        return;
    }
    // An object too large for as to describe (a .incbin of gigabytes) comes out without
    // its sections; it is as's failure, not a source without code.
    const std::vector<ElfFile::Section> &sections = unit->object.sections();
    if (std::none_of(sections.begin(), sections.end(),
            [](const ElfFile::Section &section) { return section.name == ".text"; })) {
        messages->push_back("tarnwick: " + SourceText::fileNamePart(tools.assembler())
            + " wrote an object without sections for " + quotedPath(unit->asGiven)
            + "; is the source or a file it includes larger than a cartridge?");
        return;
    }
    unit->assembled = true;
}

} // namespace Tarnwick
