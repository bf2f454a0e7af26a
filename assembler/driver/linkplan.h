#pragma once

#include "linking.h"
#include "programfiles.h"

#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// How a program is linked, decided once before linking from the objects in memory and the
// project's linker script: which object starts the image, with which script, behind which
// start-up. It links nothing.
struct LinkPlan
{
    enum class Way {
        // The chosen source reserves the header: its first instruction, an ARM b past the
        // header, starts the image. Also the way of a source that defines no global
        // `main`, whose image then shows what it lacks.
        ReservedHeader,
        // The chosen source defines a global `main' and reserves no header: our start-up
        // (startup.s) provides the header and calls it.
        OurStartup,
        // The project's own linker script, with its own start-up first: the way its build
        // links it.
        ProjectStartup,
    };

    Way way = Way::ReservedHeader;
    std::string_view script;
    StartupKind startup = StartupKind::None;
    // The objects in the order ld takes them.
    std::vector<LinkObject> objects;
};

// The plan for the program's objects; false after saying why in *messages when an object
// cannot be handed to ld as the plan needs it.
bool planLink(const ProgramFiles &program, LinkPlan *plan, std::vector<std::string> *messages);

} // namespace Tarnwick
