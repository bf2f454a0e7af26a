#include "cartridgebuild.h"

#include "arguments.h"
#include "cartridgeimage.h"
#include "datalabels.h"
#include "hints.h"
#include "logo.h"
#include "output.h"
#include "paths.h"
#include "programfacts.h"
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
    Toolchain tools;
    ProgramFiles program(&tools);
    build(&tools, &program, &outcome);
    // A clean build has nothing to explain, and reads nothing for it.
    if (!outcome.diagnostics.empty()) {
        GatheredFacts facts(program);
        outcome.diagnostics = explainMessages(std::move(outcome.diagnostics), &facts);
        outcome.diagnostics.insert(
            outcome.diagnostics.end(), facts.unread().begin(), facts.unread().end());
    }
    return outcome;
}

void CartridgeBuild::build(Toolchain *tools, ProgramFiles *program, Outcome *outcome) const
{
    outcome->exitStatus = ExitFailure;
    std::vector<std::string> *messages = &outcome->diagnostics;
    if (!checkSource(messages) || !tools->find(messages))
        return;

    KeptLogo logo;
    Cartridge cartridge;
    if (!program->gather(m_source, messages)
        || !makeImage(*tools, *program, m_output, &logo, &cartridge, messages))
        return;
    // tarnwick's own data is never an output, so that no image takes the logo's place.
    std::vector<ProgramFiles::Input> inputs = program->inputs();
    for (const std::string &file : logoFiles())
        inputs.push_back({ file, "tarnwick's own logo file, " + Arguments::quoted(file) });
    typeDataLabels(*program, &cartridge.program);
    if (!writeOutput(m_output, cartridge, inputs, &outcome->program, messages))
        return;
    outcome->exitStatus = ExitSuccess;
    outcome->image = m_output;
    outcome->imageSize = cartridge.image.size();
    outcome->usage = measureProgram(cartridge.program, cartridge.image.size());
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
