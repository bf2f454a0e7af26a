#pragma once

#include <chrono>
#include <string>

namespace Tarnwick {

// One debugging session of an image: the emulator started with its GDB stub, and
// gdb-multiarch on the linked program beside the image, connected to it and stopped where
// the program begins, with its source line shown. The two end together, however the session
// ends: gdb quits, the emulator's window is closed, or tarnwick is told to end (SIGTERM,
// SIGHUP when its terminal goes; Ctrl-C belongs to gdb while it runs). It debugs the image
// as it is: it never builds it, and only warns when the linked program is older than the
// image. gdb takes the terminal; tarnwick prints nothing while gdb runs, but a note when the
// emulator went first.
class DebugSession
{
public:
    // mgba's stub listens on this port and no other.
    static constexpr int StubPort = 2345;
    // How long the stub has to start listening: an emulator and its window on a loaded
    // machine, well beyond the second it usually takes.
    static constexpr std::chrono::seconds StubBound { 30 };
    // How long gdb and the emulator have to end once asked, before they are killed.
    static constexpr std::chrono::seconds EndBound { 5 };

    // Whether gdb-multiarch and an emulator with a GDB stub are installed.
    static bool toolsInstalled();

    explicit DebugSession(std::string image);
    DebugSession(const DebugSession &) = delete;
    DebugSession &operator=(const DebugSession &) = delete;

    // Runs the session to its end; the exit status, gdb's own when it ended by itself. What
    // goes wrong before gdb starts is said on standard error, and ends the session with
    // ExitFailure.
    int run();

private:
    std::string m_image;
};

} // namespace Tarnwick
