#include "output.h"

#include "arguments.h"
#include "files.h"

namespace Tarnwick {

bool writeOutput(const std::string &output, const Bytes &image,
    const std::vector<ProgramFiles::Input> &inputs, std::vector<std::string> *messages)
{
    const std::string named = Arguments::quoted(output);
    if (fileKind(output) != FileKind::Missing) {
        for (const ProgramFiles::Input &input : inputs) {
            if (sameFile(output, input.path)) {
                messages->push_back("tarnwick: the output " + named + " is " + input.description
                    + "; choose another output name");
                return false;
            }
        }
    }
    std::string problem;
    if (writeImage(output, image, &problem))
        return true;
    messages->push_back("tarnwick: cannot write " + named + ": " + problem);
    return false;
}

} // namespace Tarnwick
