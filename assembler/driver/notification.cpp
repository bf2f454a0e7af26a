#include "notification.h"

#include "sourcetext.h"

#include "arguments.h"
#include "paths.h"
#include "toolprocess.h"

#include <climits>
#include <cstdlib>
#include <string_view>

#include <unistd.h>

namespace Tarnwick {

namespace {

// text cut to at most bytes, "…" included, never inside a UTF-8 character (bytes that are
// no UTF-8, of a name in Latin-1, are shown as U+FFFD wherever the cut falls).
std::string cut(const std::string &text, std::size_t bytes)
{
    static constexpr std::string_view Mark = "…";
    if (text.size() <= bytes)
        return text;
    std::size_t end = bytes - Mark.size();
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end) + std::string(Mark);
}

// A size as a person reads it: bytes below a KiB, else KiB with one decimal.
std::string sizeText(std::size_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    const std::size_t tenths = (bytes * 10 + 512) / 1024;
    return std::to_string(tenths / 10)
        + (tenths % 10 ? "." + std::to_string(tenths % 10) : std::string()) + " KiB";
}

// Where the program landed: the cartridge's share of header and start-up and of the
// program, and how much of each RAM it takes.
std::string usageText(const ProgramUsage &usage)
{
    if (!usage.known)
        return {};
    return " The cartridge holds " + sizeText(usage.header) + " of header and start-up and "
        + sizeText(usage.program) + " of the program's code and data; it uses "
        + sizeText(usage.internalRam) + " of IWRAM's " + sizeText(InternalRamSize) + " and "
        + sizeText(usage.externalRam) + " of EWRAM's " + sizeText(ExternalRamSize) + ".";
}

std::string ownPath()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return length <= 0 ? std::string() : std::string(self, std::size_t(length));
}

// The notifier's path: as far from tarnwick's own folder as the build put it, which is
// the same in the build tree and in an installed prefix.
std::string notifierPath()
{
    const std::string executable = ownPath();
    if (executable.empty())
        return {};
    return executable.substr(0, executable.find_last_of('/') + 1) + TARNWICK_NOTIFIER_FROM_BINDIR;
}

// The file as the kernel finds it, links and ".." resolved, for the desktop to open: the
// same file the run read or wrote, whatever folder the notifier's handler starts in.
std::string fullPath(const std::string &path)
{
    const std::string resolved = resolvedPath(path);
    return resolved.empty() ? absolutePath(path) : resolved;
}

} // namespace

bool shouldNotify(const char *setting, bool errorsGoToTerminal)
{
    const std::string value = setting ? setting : "";
    if (value == "always")
        return true;
    if (value == "never")
        return false;
    return !errorsGoToTerminal;
}

DesktopMessage describeOutcome(const Outcome &outcome, const std::string &source)
{
    DesktopMessage message;
    if (outcome.exitStatus == ExitSuccess) {
        message.summary = cut(SourceText::fileNamePart(outcome.image) + " is ready", TextBytes);
        message.body = cut("Written to " + fullPath(outcome.image) + ", "
                + std::to_string(outcome.imageSize) + " bytes"
                + (outcome.program.empty() ? std::string()
                                           : "; " + SourceText::fileNamePart(outcome.program)
                            + " beside it is for debugging")
                + "." + usageText(outcome.usage),
            BodyBytes);
        // An image written into a device (/dev/null, to check a source) is nothing to run.
        if (fileKind(outcome.image) == FileKind::Regular) {
            message.offer = DesktopMessage::Offer::Run;
            message.file = fullPath(outcome.image);
        }
        return message;
    }

    message.critical = true;
    message.summary = outcome.exitStatus == ExitWrongUse
        ? std::string("tarnwick was started with the wrong arguments")
        : cut(SourceText::fileNamePart(source) + " did not assemble", TextBytes);
    if (outcome.exitStatus != ExitWrongUse && fileKind(source) == FileKind::Regular) {
        message.offer = DesktopMessage::Offer::Edit;
        message.file = fullPath(source);
    }
    const std::vector<std::string> &diagnostics = outcome.diagnostics;
    for (std::size_t i = 0; i < diagnostics.size() && i < DiagnosticsShown; ++i)
        message.body += (i > 0 ? "\n" : "") + cut(diagnostics[i], TextBytes);
    if (diagnostics.size() > DiagnosticsShown) {
        const std::size_t more = diagnostics.size() - DiagnosticsShown;
        message.body
            += "\n… and " + std::to_string(more) + (more == 1 ? " more message" : " more messages");
    }
    message.body = cut(message.body, BodyBytes);
    return message;
}

void notifyDesktop(const DesktopMessage &message)
{
    // Without a bus that the session announces there is nobody to tell, and the bus
    // library would otherwise try to start a bus of its own through the X server.
    const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if ((!address || !*address)
        && (!runtime || !*runtime || fileKind(std::string(runtime) + "/bus") != FileKind::Socket))
        return;
    const std::string notifier = notifierPath();
    if (notifier.empty() || ::access(notifier.c_str(), X_OK) != 0)
        return;
    std::vector<std::string> arguments { message.critical ? "critical" : "normal", message.summary,
        message.body };
    if (message.offer != DesktopMessage::Offer::None) {
        arguments.emplace_back(message.offer == DesktopMessage::Offer::Run ? "run" : "edit");
        arguments.push_back(message.file);
    }
    // The terminal runs this very tarnwick on the image, whatever PATH it is started with.
    if (message.offer == DesktopMessage::Offer::Run && message.debug && !ownPath().empty())
        arguments.insert(arguments.end(), { "debug", ownPath() });
    // What the notifier prints is gathered and dropped: a notification never changes
    // what tarnwick prints. It runs in our locale and without the tools' bound on memory,
    // which whatever it opens inherits.
    runTool(
        notifier, arguments, {}, NotificationBound, ToolLocale::Ours, {}, ToolMemory::Unbounded);
}

} // namespace Tarnwick
