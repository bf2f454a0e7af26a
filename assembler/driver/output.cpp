#include "output.h"

#include "arguments.h"
#include "files.h"

#include <climits>

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
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        program.clear();
    } else if (program.size() - (program.find_last_of('/') + 1) > NAME_MAX) {
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
