#include "arguments.h"

#include "diagnostics.h"

#include <string_view>

namespace Tarnwick {

namespace {

constexpr std::size_t ExpectedArguments = 2;
constexpr std::string_view ImageExtension = ".gba";
constexpr std::string_view LogoFrom = "--logo-from";
constexpr std::string_view Debug = "--debug";

} // namespace

std::string Arguments::usage()
{
    return "usage: tarnwick SOURCE OUTPUT   (assembles SOURCE into the cartridge image OUTPUT)";
}

std::string Arguments::help()
{
    return usage()
        + "\n"
          "       tarnwick --logo-from IMAGE   (keeps the handheld's logo from IMAGE for\n"
          "                                     the images made from then on)\n"
          "       tarnwick --debug IMAGE       (debugs IMAGE with gdb-multiarch on the\n"
          "                                     emulator, stopped at main)\n"
          "       tarnwick --help      (prints this help)\n"
          "       tarnwick --version   (prints the version)\n"
          "\n"
          "SOURCE is an ARM assembly source in GNU as syntax. It either reserves the 192-byte\n"
          "cartridge header itself (its first instruction branches past it), or it defines a\n"
          "global main, which tarnwick's own start-up calls. The other sources of its\n"
          "project that define what it needs, and the pictures that give names such as\n"
          "heroTiles, are linked in. Beside OUTPUT goes the linked program, OUTPUT with .elf\n"
          "for .gba, for debuggers. Messages go to standard error as file:line: message.\n"
          "Exit status: 0 done, 1 an error in the source or with a file, 2 wrong use.\n"
          "\n"
          "The handheld itself starts only an image whose header holds its logo, which\n"
          "tarnwick does not ship. --logo-from takes it from a cartridge image of yours and\n"
          "keeps it as $XDG_DATA_HOME/tarnwick/logo (~/.local/share/tarnwick/logo); images\n"
          "get it from there, or from tarnwick/logo in a folder of $XDG_DATA_DIRS.\n"
          "\n"
          "Environment:\n"
          "  TARNWICK_NOTIFY=always|never\n"
          "      whether tarnwick also tells the outcome as a desktop notification. Unset, it\n"
          "      does so when its standard error is not a terminal, as when the window that\n"
          "      starts it was started from the desktop's menu.";
}

std::string Arguments::quoted(const std::string &argument)
{
    std::string result = "\"";
    for (const char c : argument) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            // Escaped as every name in a message is.
            result += withControlsEscaped(std::string(1, c));
        } else {
            result += c;
        }
    }
    return result + '"';
}

Invocation Arguments::parse(const std::vector<std::string> &arguments)
{
    Invocation invocation;
    if (arguments.size() == 1 && (arguments.front() == "--help" || arguments.front() == "-h")) {
        invocation.kind = Invocation::Kind::Help;
        return invocation;
    }
    if (arguments.size() == 1 && arguments.front() == "--version") {
        invocation.kind = Invocation::Kind::Version;
        return invocation;
    }
    if (!arguments.empty() && (arguments.front() == LogoFrom || arguments.front() == Debug)) {
        if (arguments.size() != 2 || arguments[1].empty()) {
            std::string problem = "tarnwick: " + arguments.front() + " takes one image, got";
            for (std::size_t i = 1; i < arguments.size(); ++i)
                problem += ' ' + quoted(arguments[i]);
            invocation.problem = arguments.size() == 1 ? problem + " none" : problem;
            return invocation;
        }
        invocation.kind
            = arguments.front() == Debug ? Invocation::Kind::Debug : Invocation::Kind::KeepLogo;
        invocation.source = arguments[1];
        return invocation;
    }
    if (arguments.size() != ExpectedArguments) {
        std::string problem = "tarnwick: expected " + std::to_string(ExpectedArguments)
            + " arguments, got " + std::to_string(arguments.size());
        for (std::size_t i = 0; i < arguments.size(); ++i)
            problem += (i == 0 ? ": " : " ") + quoted(arguments[i]);
        invocation.problem = problem;
        return invocation;
    }
    for (const std::string &argument : arguments) {
        if (argument.empty()) {
            invocation.problem
                = "tarnwick: empty argument: " + quoted(arguments[0]) + ' ' + quoted(arguments[1]);
            return invocation;
        }
    }
    // The window adds ".gba" to whatever the person typed, also to nothing; a file called
    // ".gba" alone would be hidden from the person's file manager.
    const std::string &output = arguments[1];
    if (output.substr(output.find_last_of('/') + 1) == ImageExtension) {
        invocation.problem = "tarnwick: the output file needs a name before \""
            + std::string(ImageExtension) + "\": " + quoted(output);
        return invocation;
    }
    invocation.kind = Invocation::Kind::Assemble;
    invocation.source = arguments[0];
    invocation.output = arguments[1];
    return invocation;
}

} // namespace Tarnwick
