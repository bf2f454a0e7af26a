#include "cartridgebuild.h"

#include "arguments.h"
#include "cartridgeimage.h"
#include "files.h"
#include "output.h"
#include "programfiles.h"
#include "tools.h"

#include <cerrno>

#include <unistd.h>

namespace Tarnwick {

CartridgeBuild::CartridgeBuild(std::string source, std::string output)
    : m_source(std::move(source))
    , m_output(std::move(output))
{
}

Outcome CartridgeBuild::run()
{
    Outcome outcome;
    outcome.exitStatus = ExitFailure;
    std::vector<std::string> *messages = &outcome.diagnostics;
    Toolchain tools;
    if (!checkSource(messages) || !tools.find(messages))
        return outcome;

    ProgramFiles program(&tools);
    KeptLogo logo;
    Cartridge cartridge;
    if (!program.gather(m_source, messages)
        || !makeImage(tools, program, m_output, &logo, &cartridge, messages)
        || !writeOutput(m_output, cartridge, program.inputs(), &outcome.program, messages))
        return outcome;
    outcome.exitStatus = ExitSuccess;
    outcome.image = m_output;
    outcome.imageSize = cartridge.image.size();
    return outcome;
}

bool CartridgeBuild::checkSource(std::vector<std::string> *messages) const
{
    const std::string named = Arguments::quoted(m_source);
    // A named pipe opened for reading waits for a writer and a device can be read without
    // end, so only a regular file (a symbolic link is followed) is ever opened as a source.
    const FileKind kind = fileKind(m_source);
    if (kind == FileKind::Folder) {
        messages->push_back("tarnwick: cannot read source " + named + ": it is a folder");
        return false;
    }
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        messages->push_back("tarnwick: cannot read source " + named
            + ": it is not a regular file but " + describe(kind));
        return false;
    }
    if (::access(m_source.c_str(), R_OK) != 0) {
        messages->push_back("tarnwick: cannot read source " + named + ": " + errorText(errno));
        return false;
    }
    // Writing the image over its own source would destroy the source.
    if (fileKind(m_output) != FileKind::Missing && sameFile(m_output, m_source)) {
        messages->push_back("tarnwick: the output " + Arguments::quoted(m_output)
            + " is the source file itself; choose another output name");
        return false;
    }
    return true;
}

} // namespace Tarnwick
