#pragma once

#include "bytes.h"
#include "programfiles.h"

#include <string>
#include <vector>

namespace Tarnwick {

// Puts the image at the output, in one piece (see writeImage), unless the output is one of
// the files the program was made from: then it is refused, and nothing is changed. False
// after saying why in *messages.
bool writeOutput(const std::string &output, const Bytes &image,
    const std::vector<ProgramFiles::Input> &inputs, std::vector<std::string> *messages);

} // namespace Tarnwick
