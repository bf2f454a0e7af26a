#pragma once

#include "cartridgebuild.h"

#include <chrono>
#include <string>

namespace Tarnwick {

// What a run tells the person through the desktop, in plain text, and what it offers to
// open for them with the desktop's handler for the file's type: the image to run, or the
// source that did not assemble.
struct DesktopMessage
{
    enum class Offer { None, Run, Edit };

    bool critical = false;
    std::string summary;
    std::string body;
    Offer offer = Offer::None;
    // The full path of the file offered.
    std::string file;
    // Whether the image offered to run is also offered to debug (tarnwick --debug in the
    // desktop's terminal, where it has one): set where the tools for it are known.
    bool debug = false;
};

// At most this many diagnostics go into a notification; the rest are counted.
static constexpr std::size_t DiagnosticsShown = 5;
// What a person reads in a notification, and what every server takes and the notifier can
// be given at all (one argument holds at most 128 KiB): a summary or a diagnostic (all of
// its lines) is cut to TextBytes, the whole body to BodyBytes, each on a character's
// boundary and marked with "…".
static constexpr std::size_t TextBytes = 400;
static constexpr std::size_t BodyBytes = 4096;
// The whole notification, the notifier's start included, never takes longer.
static constexpr std::chrono::milliseconds NotificationBound { 2000 };

// Whether a run also tells the person through the desktop. TARNWICK_NOTIFY set to
// "always" or "never" decides; otherwise a run notifies when its standard error is no
// terminal, since nobody reads what it prints there (a window started from a menu).
bool shouldNotify(const char *setting, bool errorsGoToTerminal);

// The notification for a run's outcome: on success the image's name, where it is and its
// size, offering to run it; on failure the source's name and the first diagnostics as
// printed, each cut to TextBytes, offering to open the source when there is one to open.
DesktopMessage describeOutcome(const Outcome &outcome, const std::string &source);

// Hands the message to tarnwick-notify, installed with tarnwick, and waits for it within
// NotificationBound. The notifier is a program of its own, with the toolkit and D-Bus
// that tarnwick does without: nothing it does or fails to do reaches tarnwick's exit
// status, its image or what it prints. What waits for the person to take an offer is a
// detached process of the notifier's, never tarnwick.
void notifyDesktop(const DesktopMessage &message);

} // namespace Tarnwick
