#pragma once

#include "programusage.h"

#include <string>
#include <vector>

namespace Tarnwick {

class ProgramFiles;
class Toolchain;

// How a run ended, in one piece, for whatever tells the person: the exit status, every
// message for standard error in order, and on success the image written.
struct Outcome
{
    int exitStatus = 1;
    std::vector<std::string> diagnostics;
    // The output as the user named it, and the image's size in bytes; set on success.
    std::string image;
    std::size_t imageSize = 0;
    // The linked program's file beside the image, for debugging; empty if none was written.
    std::string program;
    // How much of the cartridge and of each RAM the program takes; set on success.
    ProgramUsage usage;
};

// One run of tarnwick on a source and an output, in steps that each know only what the one
// before made: the source checked and the tools found; the files that make the program
// gathered and assembled (programfiles, unit); the image linked and its header completed
// (cartridgeimage, linking); the image and the linked program written (output). Its messages
// come explained, with what the program it gathered holds (hints, programfacts). It tells
// nobody: that is the caller's, with the Outcome.
class CartridgeBuild
{
public:
    CartridgeBuild(std::string source, std::string output);

    Outcome run();

private:
    void build(Toolchain *tools, ProgramFiles *program, Outcome *outcome) const;
    bool checkSource(std::vector<std::string> *messages) const;

    std::string m_source;
    std::string m_output;
};

} // namespace Tarnwick
