#include "output.h"

#include "sourcetext.h"

#include "arguments.h"
#include "outputfiles.h"
#include "paths.h"

#include <climits>

#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr std::string_view ImageEnding = ".gba";
constexpr std::string_view ProgramEnding = ".elf";

// Whether path is one of the program's files, saying so in *messages.
bool isInput(const std::string &path, const std::vector<ProgramFiles::Input> &inputs,
    std::vector<std::string> *messages)
{
    if (fileKind(path) == FileKind::Missing)
        return false;
    for (const ProgramFiles::Input &input : inputs) {
        if (sameFile(path, input.path)) {
            messages->push_back("tarnwick: the output " + Arguments::quoted(path) + " is "
                + input.description + "; choose another output name");
            return true;
        }
    }
    return false;
}

} // namespace

std::string programFileFor(const std::string &output)
{
    const std::size_t name = output.find_last_of('/') + 1;
    if (output.size() > name + ImageEnding.size()
        && output.compare(output.size() - ImageEnding.size(), ImageEnding.size(), ImageEnding) == 0)
        return output.substr(0, output.size() - ImageEnding.size()) + std::string(ProgramEnding);
    return output + std::string(ProgramEnding);
}

// Whether the path reaches its file through the process's descriptors (/dev/stdout,
// /dev/fd/1, /proc/self/fd/1): the file may be a regular one, but the folder the path
// names is no folder of the person's to put another file in.
bool throughDescriptor(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        const std::string folder = resolvedPath(SourceText::folderPart(path) + '.');
        if (folder.rfind("/proc/", 0) == 0)
            return true;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), target, sizeof target - 1);
        if (length <= 0)
            return false;
        const std::string next(target, std::size_t(length));
        if (next.rfind("/proc/", 0) == 0)
            return true;
        path = next.front() == '/' ? next : SourceText::folderPart(path) + next;
    }
    return false;
}

bool writeOutput(const std::string &output, const Cartridge &cartridge,
    const std::vector<ProgramFiles::Input> &inputs, std::string *written,
    std::vector<std::string> *messages)
{
    written->clear();
    std::vector<FileContents> files = { { output, &cartridge.image } };
    // Nothing is kept beside a device or a pipe (/dev/null, to check a source): it is no file
    // to debug, and its folder is not the person's.
    const FileKind kind = fileKind(output);
    std::string program = programFileFor(output);
    if ((kind != FileKind::Missing && kind != FileKind::Regular) || throughDescriptor(output)) {
        program.clear();
    } else if (SourceText::fileNamePart(program).size() > NAME_MAX) {
        messages->push_back("tarnwick: warning: no linked program is kept beside "
            + Arguments::quoted(output) + ": its name would be longer than a file name may be");
        program.clear();
    } else {
        files.push_back({ program, &cartridge.program });
    }

    if (isInput(output, inputs, messages)
        || (!program.empty() && isInput(program, inputs, messages)))
        return false;
    if (!program.empty() && sameFile(program, output)) {
        messages->push_back("tarnwick: " + Arguments::quoted(program)
            + ", where the linked "
              "program goes, is the output "
            + Arguments::quoted(output)
            + " itself; choose another "
              "output name");
        return false;
    }
    std::size_t failed = 0;
    std::string problem;
    if (!writeImages(files, &failed, &problem)) {
        messages->push_back(
            "tarnwick: cannot write " + Arguments::quoted(files[failed].path) + ": " + problem);
        return false;
    }
    *written = program;
    return true;
}

} // namespace Tarnwick
