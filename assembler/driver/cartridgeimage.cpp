#include "cartridgeimage.h"

#include "cartridgeheader.h"
#include "embedded.h"
#include "linking.h"
#include "linkplan.h"
#include "runningmistakes.h"
#include "thumbentries.h"

#include <algorithm>

namespace Tarnwick {

namespace {

constexpr std::uint32_t RomStart = 0x08000000;
// What startup.ld places in RAM, where the start-up copies or clears it.
constexpr std::string_view StartupRamSections[] = { ".iwram", ".data", ".bss", ".ewram" };
constexpr auto EitherOr = "the source must either reserve the 192-byte header (start with a "
                          "branch past it, for example \"b start\", then .space 188) or define "
                          "a global `main` for tarnwick's start-up to call";

std::string hexadecimal(std::uint32_t value)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 28; shift >= 0; shift -= 4)
        text += Digits[(value >> shift) & 0xF];
    return text;
}

void reportFault(const std::string &source, CartridgeHeader::Fault fault, std::uint64_t size,
    std::vector<std::string> *messages)
{
    const std::string prefix = source + ": Error: ";
    switch (fault) {
    case CartridgeHeader::Fault::TooShort:
        messages->push_back(prefix + "the image is " + std::to_string(size)
            + " bytes, shorter than the cartridge header, and the source defines no global "
              "`main`; "
            + EitherOr);
        break;
    case CartridgeHeader::Fault::NoBranchPastHeader:
        messages->push_back(prefix
            + "the first instruction is not an ARM branch past the 192-byte cartridge header, "
              "and the source defines no global `main`; "
            + EitherOr);
        break;
    case CartridgeHeader::Fault::TooLarge:
        messages->push_back(prefix + "the image is " + std::to_string(size)
            + " bytes, more than the " + std::to_string(CartridgeHeader::MaxImageSize)
            + " bytes a cartridge can hold");
        break;
    case CartridgeHeader::Fault::None:
        break;
    }
}

// The linked program with the completed image's bytes; filled names the sections whose zeros
// the image holds although ld gave them no contents.
bool keepProgram(const LinkedProgram &linked, const std::vector<std::string> &filled,
    Cartridge *cartridge, std::vector<std::string> *messages)
{
    cartridge->program = linked.program.withImage(cartridge->image, linked.image.base, filled);
    if (!cartridge->program.empty())
        return true;
    messages->push_back("tarnwick: cannot put the image's bytes into the linked program");
    return false;
}

// A section that the start-up neither copies nor clears would hold whatever the RAM held;
// ld places such a section (one whose name startup.ld does not know) in RAM of its own
// accord, so it is refused here with a way out.
bool checkStartupPlacement(
    const std::string &source, const ElfFile &program, std::vector<std::string> *messages)
{
    bool placed = true;
    for (const ElfFile::Section &section : program.sections()) {
        if (!section.isAllocated() || section.size == 0 || section.address >= RomStart)
            continue;
        if (std::find(std::begin(StartupRamSections), std::end(StartupRamSections), section.name)
            != std::end(StartupRamSections))
            continue;
        messages->push_back(source + ": Error: section `" + section.name + "' would lie in RAM at "
            + hexadecimal(section.address)
            + " without the start-up copying or clearing it; put its contents into .data, "
              ".bss, .iwram or .ewram sections, or into .text or .rodata for ROM");
        placed = false;
    }
    return placed;
}

// Behind our start-up, the image is titled after the output's name.
bool completeWithStartup(LinkedProgram *linked, const ProgramFiles &program,
    const std::string &output, KeptLogo *logo, Cartridge *cartridge,
    std::vector<std::string> *messages)
{
    const Unit &entry = program.entry();
    if (!checkStartupPlacement(entry.shown, linked->program, messages))
        return false;
    // An .ewram section of cleared data alone (.sbss) has no contents in ld's program,
    // yet the start-up copies it from its load address all the same: its zeros belong in
    // the image there, or the copy would bring whatever lies past the image's end.
    std::vector<std::string> filled;
    for (const ElfFile::Section &section : linked->program.sections()) {
        if (section.name != ".ewram" || section.isLoaded() || section.size == 0
            || section.loadAddress < linked->image.base)
            continue;
        filled.push_back(section.name);
        linked->image.size = std::max<std::uint64_t>(linked->image.size,
            std::uint64_t(section.loadAddress - linked->image.base) + section.size);
        if (linked->image.size <= CartridgeHeader::MaxImageSize)
            linked->image.bytes.resize(std::size_t(linked->image.size), 0);
    }
    if (linked->image.size > CartridgeHeader::MaxImageSize) {
        reportFault(entry.shown, CartridgeHeader::Fault::TooLarge, linked->image.size, messages);
        return false;
    }

    Bytes *image = &cartridge->image;
    *image = std::move(linked->image.bytes);
    CartridgeHeader::setTitle(*image, CartridgeHeader::titleFor(output));
    if (CartridgeHeader::complete(*image, logo->bytes(messages)) != CartridgeHeader::Fault::None) {
        messages->push_back("tarnwick: the start-up did not make a valid cartridge header");
        return false;
    }
    return keepProgram(*linked, filled, cartridge, messages);
}

// The project's own linker script links the program as its own build does: its start-up
// (the source that defines the script's entry) goes first, ours not at all; the run-time
// routines stay for a program that calls them.
bool completeWithProjectScript(LinkedProgram *linked, const ProgramFiles &program, KeptLogo *logo,
    Cartridge *cartridge, std::vector<std::string> *messages)
{
    const ProgramFiles::Script &script = *program.script();
    if (linked->image.size > CartridgeHeader::MaxImageSize) {
        reportFault(
            program.entry().shown, CartridgeHeader::Fault::TooLarge, linked->image.size, messages);
        return false;
    }
    cartridge->image = std::move(linked->image.bytes);
    if (CartridgeHeader::complete(cartridge->image, logo->bytes(messages))
        != CartridgeHeader::Fault::None) {
        messages->push_back(program.entry().shown + ": Error: the image that the linker script "
            + script.asGiven
            + " makes does not start with an ARM branch past the 192-byte cartridge header; its "
              "start-up must come first in the image");
        return false;
    }
    return keepProgram(*linked, {}, cartridge, messages);
}

} // namespace

bool makeImage(const Toolchain &tools, const ProgramFiles &program, const std::string &output,
    KeptLogo *logo, Cartridge *cartridge, std::vector<std::string> *messages)
{
    warnOfUnmarkedThumbEntries(program, messages);
    warnOfRunningMistakes(program, messages);
    LinkPlan plan;
    if (!planLink(program, &plan, messages))
        return false;
    std::optional<LinkedProgram> linked
        = link(tools, plan.script, plan.startup, program.entry(), plan.objects, messages);
    if (!linked)
        return false;
    switch (plan.way) {
    case LinkPlan::Way::OurStartup:
        return completeWithStartup(&*linked, program, output, logo, cartridge, messages);
    case LinkPlan::Way::ProjectStartup:
        return completeWithProjectScript(&*linked, program, logo, cartridge, messages);
    case LinkPlan::Way::ReservedHeader:
        break;
    }
    const CartridgeHeader::Fault fault = linked->image.size > CartridgeHeader::MaxImageSize
        ? CartridgeHeader::Fault::TooLarge
        : CartridgeHeader::complete(linked->image.bytes, logo->bytes(messages));
    if (fault != CartridgeHeader::Fault::None) {
        reportFault(program.entry().shown, fault, linked->image.size, messages);
        if (!program.entryNote().empty())
            messages->push_back(program.entryNote());
        return false;
    }
    cartridge->image = std::move(linked->image.bytes);
    return keepProgram(*linked, {}, cartridge, messages);
}

} // namespace Tarnwick
