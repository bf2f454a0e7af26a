#include "tools.h"

#include "paths.h"
#include "sourcetext.h"

#include "toolprocess.h"

#include <cerrno>
#include <chrono>

#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr std::chrono::milliseconds ToolTimeout { 60 * 1000 };
constexpr auto BinutilsPackage = "binutils-arm-none-eabi";
constexpr auto PreprocessorPackage = "cpp";

std::string installHint(const std::string &package)
{
    return "install the Debian package " + package + " (sudo apt install " + package + ")";
}

} // namespace

bool Toolchain::find(std::vector<std::string> *messages)
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
    if (!missing.empty()) {
        std::string names;
        for (const std::string &name : missing)
            names += (names.empty() ? "" : ", ") + name;
        messages->push_back(
            "tarnwick: cannot find " + names + " on PATH; " + installHint(BinutilsPackage));
        return false;
    }
    // The tools open the work files by a /proc path; without /proc they could not.
    const std::unique_ptr<MemoryFile> probe = makeWorkFile("probe", messages);
    if (!probe)
        return false;
    const std::string ours = inheritedFilesFolder() + '/' + std::to_string(probe->descriptor());
    if (::access(ours.c_str(), F_OK) != 0) {
        messages->push_back("tarnwick: cannot hand files to binutils through "
            + inheritedFilesFolder() + ": " + errorText(errno) + "; is /proc mounted?");
        return false;
    }
    return true;
}

bool Toolchain::findPreprocessor(
    const std::string &sourceAsGiven, std::vector<std::string> *messages)
{
    if (m_cpp.empty())
        m_cpp = findExecutable("cpp");
    if (!m_cpp.empty())
        return true;
    messages->push_back(sourceAsGiven
        + ": Error: the source uses the C preprocessor (a line such as #include or #define), "
          "and cpp is not on PATH; "
        + installHint(PreprocessorPackage));
    return false;
}

std::string Toolchain::packageOf(const std::string &program) const
{
    return program == m_cpp ? PreprocessorPackage : BinutilsPackage;
}

std::string ToolFiles::pass(const MemoryFile &file)
{
    m_descriptors.push_back(file.descriptor());
    return inheritedFilePath(m_descriptors.size() - 1);
}

std::unique_ptr<MemoryFile> makeWorkFile(const char *name, std::vector<std::string> *messages)
{
    auto made = std::make_unique<MemoryFile>(name);
    if (made->isValid())
        return made;
    messages->push_back("tarnwick: cannot make a file in memory: " + made->problem());
    return nullptr;
}

std::unique_ptr<MemoryFile> makeWorkFile(const char *name, std::string_view contents,
    const char *what, std::vector<std::string> *messages)
{
    std::unique_ptr<MemoryFile> made = makeWorkFile(name, messages);
    std::string problem;
    if (made && !made->write(contents.data(), contents.size(), &problem)) {
        messages->push_back(
            std::string("tarnwick: cannot write ") + what + " into memory: " + problem);
        return nullptr;
    }
    return made;
}

bool runTool(const Toolchain &tools, const std::string &program,
    const std::vector<std::string> &arguments, const ToolFiles &files,
    const DiagnosticRewriter &rewriter, std::vector<std::string> *messages,
    const std::string &workingFolder)
{
    const std::string name = SourceText::fileNamePart(program);
    const ToolRun run = Tarnwick::runTool(program, arguments, files.descriptors(), ToolTimeout,
        ToolLocale::Untranslated, workingFolder);
    switch (run.result) {
    case ToolRun::Result::NotStarted:
        // Only a tool that is gone is a matter of installing; any other failure (too many
        // open files, no memory) is told with the system's reason alone.
        messages->push_back("tarnwick: cannot start " + program + ": " + errorText(run.startError)
            + (run.startError == ENOENT ? "; " + installHint(tools.packageOf(program))
                                        : std::string()));
        return false;
    case ToolRun::Result::TimedOut:
        messages->push_back("tarnwick: " + name + " did not finish within "
            + std::to_string(ToolTimeout.count() / 1000) + " seconds and was stopped");
        return false;
    case ToolRun::Result::Finished:
    case ToolRun::Result::Crashed:
        break;
    }

    const std::vector<std::string> rewritten = rewriter.rewrite(run.output, program);
    messages->insert(messages->end(), rewritten.begin(), rewritten.end());

    if (run.result == ToolRun::Result::Crashed) {
        messages->push_back("tarnwick: " + name + " crashed");
        return false;
    }
    if (run.exitCode != 0) {
        if (rewritten.empty())
            messages->push_back(
                "tarnwick: " + name + " failed with exit status " + std::to_string(run.exitCode));
        return false;
    }
    return true;
}

} // namespace Tarnwick
