#include "output.h"

#include "sourcetext.h"

#include "arguments.h"
#include "descriptor.h"
#include "outputfiles.h"
#include "paths.h"

#include <cerrno>
#include <climits>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr std::string_view ImageEnding = ".gba";
constexpr std::string_view ProgramEnding = ".elf";

// What a linked program of this program's runs starts with: an ELF file of 32 bits, little
// endian, for ARM (EM_ARM, 40, at byte 18).
constexpr std::string_view ElfMagic = "\x7f"
                                      "ELF\x01\x01";
constexpr std::size_t ElfMachineOffset = 18;
constexpr unsigned char ElfMachineArm = 40;

// Why a file found at the linked program's name is left as it is.
enum class Kept { Link, NotRegular, Unreadable, NotOurs };
constexpr std::pair<Kept, std::string_view> KeptReasons[] = {
    { Kept::Link, "it is a symbolic link" },
    { Kept::NotRegular, "it is not a regular file but " },
    { Kept::Unreadable, "it cannot be read: " },
    { Kept::NotOurs,
        "it is not a linked program such as tarnwick writes (an ELF file for ARM) but another "
        "file: one of yours, or an image" },
};

std::string reasonFor(Kept kept)
{
    for (const auto &[key, text] : KeptReasons) {
        if (key == kept)
            return std::string(text);
    }
    return {};
}

// Whether the file at program must stay as it is, and why in *reason: only a name that is
// free or holds an ELF file for ARM, which a run of this program could have written, gets
// the linked program; a person's own file there, an image, a link or anything that is not
// a regular file is never written into or replaced. It is opened without following a link
// or waiting on a pipe, and only its first bytes are read.
bool mustStay(const std::string &program, std::string *reason)
{
    struct stat named
    {
    };
    if (::lstat(program.c_str(), &named) != 0) {
        if (errno == ENOENT)
            return false;
        *reason = reasonFor(Kept::Unreadable) + errorText(errno);
        return true;
    }
    if (S_ISLNK(named.st_mode)) {
        *reason = reasonFor(Kept::Link);
        return true;
    }
    if (!S_ISREG(named.st_mode)) {
        *reason = reasonFor(Kept::NotRegular) + describe(fileKind(program));
        return true;
    }
    const Descriptor file(::open(program.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    unsigned char header[ElfMachineOffset + 1] = {};
    struct stat opened
    {
    };
    ssize_t got = -1;
    if (file.get() >= 0 && ::fstat(file.get(), &opened) == 0 && S_ISREG(opened.st_mode)) {
        while ((got = ::pread(file.get(), header, sizeof header, 0)) < 0 && errno == EINTR) { }
    } else if (file.get() >= 0) {
        errno = EAGAIN;
    }
    if (got < 0) {
        *reason = reasonFor(Kept::Unreadable) + errorText(errno);
        return true;
    }
    const bool ours = std::size_t(got) == sizeof header
        && std::string_view(reinterpret_cast<const char *>(header), ElfMagic.size()) == ElfMagic
        && header[ElfMachineOffset] == ElfMachineArm;
    if (!ours)
        *reason = reasonFor(Kept::NotOurs);
    return !ours;
}

// Whether path is one of the program's files, or would be written where one of them is
// (a link to a file not made yet, say), saying so in *messages.
bool isInput(const std::string &path, const std::vector<ProgramFiles::Input> &inputs,
    std::vector<std::string> *messages)
{
    const std::string target = writtenFile(path);
    const bool exists = fileKind(path) != FileKind::Missing;
    for (const ProgramFiles::Input &input : inputs) {
        if ((exists && sameFile(path, input.path))
            || (!target.empty() && target == writtenFile(input.path))) {
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
    }

    if (isInput(output, inputs, messages)
        || (!program.empty() && isInput(program, inputs, messages)))
        return false;
    // Both written into one file, the image would be lost under the program.
    if (!program.empty()
        && (sameFile(program, output)
            || (!writtenFile(program).empty() && writtenFile(program) == writtenFile(output)))) {
        messages->push_back("tarnwick: " + Arguments::quoted(program)
            + ", where the linked program goes, is the output " + Arguments::quoted(output)
            + " itself; choose another output name");
        return false;
    }
    std::string reason;
    const bool programStays = !program.empty() && mustStay(program, &reason);
    if (!program.empty() && !programStays)
        files.push_back({ program, &cartridge.program });

    std::size_t failed = 0;
    std::string problem;
    if (!writeImages(files, &failed, &problem)) {
        messages->push_back(
            "tarnwick: cannot write " + Arguments::quoted(files[failed].path) + ": " + problem);
        return false;
    }
    if (programStays)
        messages->push_back("tarnwick: warning: " + Arguments::quoted(program)
            + " is left as it is, and no linked program is kept beside " + Arguments::quoted(output)
            + ": " + reason);
    else
        *written = program;
    return true;
}

} // namespace Tarnwick
