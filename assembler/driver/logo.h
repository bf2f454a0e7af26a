#pragma once

#include "bytes.h"

#include <string>
#include <vector>

namespace Tarnwick {

struct Outcome;

// Takes the logo from bytes 0x04 to 0x9F of the cartridge image at imagePath and keeps it
// for this user as $XDG_DATA_HOME/tarnwick/logo (~/.local/share/tarnwick/logo), written in
// one piece. Only the handheld's own logo, known by its digest, is kept; an image that
// holds none is refused and nothing is written. The Outcome's diagnostics say where the
// logo went, or why not; it names no image.
Outcome keepLogo(const std::string &imagePath);

// Every file that is or may become a logo that images get, in the order it is looked for:
// tarnwick's own data, which no output may replace, whether it exists yet or not.
std::vector<std::string> logoFiles();

// The logo that images get, looked for where keepLogo() keeps it, then as tarnwick/logo
// in each folder of $XDG_DATA_DIRS (/usr/local/share:/usr/share), where an administrator
// may provide it for every user. The first file found is the one meant: if it is not the
// handheld's logo, a warning names it and images are made without a logo; a later
// folder's file does not stand in for it. Nothing is read until the logo is first asked
// for, so that only a run that completes a header reads it; it is read once.
class KeptLogo
{
public:
    // The logo, or an empty Bytes when none is kept or the file found is not the logo. The
    // first call adds the warning, if any, to *diagnostics.
    const Bytes &bytes(std::vector<std::string> *diagnostics);

private:
    bool m_lookedFor = false;
    Bytes m_bytes;
};

} // namespace Tarnwick
