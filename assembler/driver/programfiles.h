#pragma once

#include "tools.h"
#include "unit.h"

#include <string>
#include <vector>

namespace Tarnwick {

// The files that make a program: the chosen source, assembled first, and the other sources
// of its folder that define what it still needs, taken the way a linker takes members from
// an archive, again until nothing more is needed. A source that leaves nothing undefined is
// assembled alone, and no other file is read. It assembles; it does not link.
class ProgramFiles
{
public:
    // A file the program is made from, and what it is to the program, for messages.
    struct Input
    {
        std::string path;
        std::string description;
    };

    explicit ProgramFiles(Toolchain *tools);

    // Assembles the chosen source and the other sources it needs, and gathers what their
    // tools said into *messages; false when the program cannot be made of them.
    bool gather(const std::string &source, std::vector<std::string> *messages);

    const Unit &entry() const { return m_units.front(); }
    // The units that go to the linker, in the order they go, the chosen source first.
    std::vector<const Unit *> linked() const;
    // Every file the program is made from: its sources and the files they included.
    std::vector<Input> inputs() const;

private:
    bool gatherOtherSources(std::vector<std::string> *messages);

    Toolchain *m_tools;
    // The first is the chosen source.
    std::vector<Unit> m_units;
    std::vector<std::size_t> m_linked;
};

} // namespace Tarnwick
