#pragma once

#include <string>
#include <vector>

namespace Tarnwick {

static constexpr int ExitSuccess = 0;
static constexpr int ExitFailure = 1;
static constexpr int ExitWrongUse = 2;

// Arguments, paths and messages are byte strings, as the system hands them over: a path
// in any encoding reaches the tools unchanged.
struct Invocation
{
    enum class Kind { Assemble, KeepLogo, Debug, Help, Version, WrongUse };

    Kind kind = Kind::WrongUse;
    // For KeepLogo: the image the logo is taken from; for Debug: the image debugged.
    std::string source;
    std::string output;
    // For WrongUse: what to print after the usage line.
    std::string problem;
};

class Arguments
{
public:
    // arguments excludes the program name.
    static Invocation parse(const std::vector<std::string> &arguments);
    static std::string usage();
    // What --help prints: the usage line, the other ways to call the program, what it takes
    // and its environment.
    static std::string help();
    // The argument as the shell would need it, so that a stray blank or an
    // empty argument shows up in messages.
    static std::string quoted(const std::string &argument);
};

} // namespace Tarnwick
