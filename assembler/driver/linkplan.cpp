#include "linkplan.h"

#include "cartridgeheader.h"
#include "embedded.h"

#include <algorithm>

namespace Tarnwick {

bool planLink(const ProgramFiles &program, LinkPlan *plan, std::vector<std::string> *messages)
{
    plan->objects.clear();
    for (const Unit *unit : program.linked())
        plan->objects.push_back({ unit, {} });
    const ElfFile &entry = program.entry().object;

    if (const std::optional<ProgramFiles::Script> &script = program.script()) {
        // Its start-up, the source that defines the script's entry, goes first.
        plan->way = LinkPlan::Way::ProjectStartup;
        plan->script = script->text;
        plan->startup = StartupKind::Project;
        const auto startup = std::find_if(
            plan->objects.begin(), plan->objects.end(), [&script](const LinkObject &object) {
                return !script->entry.empty() && object.unit->object.definesGlobal(script->entry);
            });
        if (startup != plan->objects.end())
            std::rotate(plan->objects.begin(), startup, startup + 1);
        return true;
    }
    // A global `main` that labels the first instruction is called, not jumped past:
    // `main: b loop` is a main, not a header.
    const bool definesMain = entry.definesGlobal("main");
    if (!definesMain
        || (!entry.labelsFirstInstruction("main") && entry.branchesPast(CartridgeHeader::Size))) {
        plan->way = LinkPlan::Way::ReservedHeader;
        plan->script = Embedded::ReservedHeaderScript;
        plan->startup = StartupKind::None;
        return true;
    }
    plan->way = LinkPlan::Way::OurStartup;
    plan->script = Embedded::StartupScript;
    plan->startup = StartupKind::Ours;
    // A `main` in Thumb code without .thumb_func would be entered in ARM state: the object
    // is handed to ld with `main' marked as a Thumb function, as .thumb_func would mark it.
    if (entry.labelsUnmarkedThumbCode("main")) {
        plan->objects.front().changed = entry.withThumbFunction("main");
        if (plan->objects.front().changed.empty()) {
            messages->push_back(
                "tarnwick: cannot mark `main' as Thumb code in the assembled object");
            return false;
        }
    }
    return true;
}

} // namespace Tarnwick
