// tarnwick-notify: shows one desktop notification on behalf of tarnwick, which starts it at
// the end of a run and waits for it a bounded time. A program of its own, so that the
// assembler itself starts without the toolkit, and so that nothing that goes wrong here
// can change the assembler's outcome.
//
//   tarnwick-notify normal|critical SUMMARY BODY [run|edit FILE [debug TARNWICK]]
//
// With "run" the notification offers to open FILE, an image, with the desktop's handler
// for its type (an emulator); with "edit" to open FILE, a source, likewise (a text editor).
// The offer is made only where it can work: the service shows actions, and the desktop
// has a handler for the type. With "debug" it also offers "Debug", which opens the
// desktop's terminal (xdg-terminal-exec where it exists, else the x-terminal-emulator
// alternative) running TARNWICK --debug FILE; only where there is such a terminal.
//
// The notification is sent from a process of its own, in a session of its own, without
// a terminal, which reports to the notifier how the sending went; the notifier exits on
// that report, so that tarnwick never waits for the person. When the notification carries
// an offer, that process stays on the bus until the offer is taken, the notification is
// closed or DesktopNotifier::OfferBound has passed, then closes the notification and ends.
//
// Exit status 0 when the desktop took the notification, 1 when it did not, 2 on wrong use.

#include "appinfo.h"
#include "desktophandler.h"
#include "notifier.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>

#include <glib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Request
{
    Tarnwick::Notification notification;
    QString offer; // "run" or "edit"; empty for none
    // The file's name as the bytes it has on disk, which need not be UTF-8: only the texts
    // shown are decoded.
    std::string file;
    // tarnwick, to debug the image with; empty for no "Debug" offer.
    std::string debugger;
};

// The desktop's terminal running tarnwick --debug on the image: what xdg-terminal-exec runs
// follows it, x-terminal-emulator takes it after -e, as Debian's policy has every terminal
// take it. Empty where there is no terminal.
std::vector<std::string> debugCommand(const Request &request)
{
    const std::vector<std::string> session { request.debugger, "--debug", request.file };
    std::vector<std::string> command;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-terminal-exec"));
    const QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
    if (!opener.isEmpty())
        command = { QFile::encodeName(opener).toStdString() };
    else if (!terminal.isEmpty())
        command = { QFile::encodeName(terminal).toStdString(), "-e" };
    else
        return {};
    command.insert(command.end(), session.begin(), session.end());
    return command;
}

// Starts the command on its own; whether it started.
bool startDetached(std::vector<std::string> command, const std::string &folder)
{
    std::vector<char *> argv;
    for (std::string &argument : command)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    GError *error = nullptr;
    const bool started = g_spawn_async(
        folder.c_str(), argv.data(), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr, &error);
    if (error)
        g_error_free(error);
    return started;
}

// D-Bus takes nothing but UTF-8; bytes that are not become U+FFFD here, in what is shown.
QString shown(const char *text)
{
    return QString::fromUtf8(text);
}

bool parse(int argc, char *argv[], Request &request)
{
    if ((argc != 4 && argc != 6 && argc != 8)
        || (std::strcmp(argv[1], "normal") != 0 && std::strcmp(argv[1], "critical") != 0))
        return false;
    using Tarnwick::Notification;
    request.notification = { shown(argv[2]), shown(argv[3]),
        std::strcmp(argv[1], "critical") == 0 ? Notification::Urgency::Critical
                                              : Notification::Urgency::Normal,
        {}, {} };
    if (argc >= 6) {
        request.offer = QString::fromLatin1(argv[4]);
        request.file = argv[5];
        if ((request.offer != QLatin1String("run") && request.offer != QLatin1String("edit"))
            || request.file.empty())
            return false;
    }
    if (argc == 8) {
        request.debugger = argv[7];
        if (request.offer != QLatin1String("run") || std::strcmp(argv[6], "debug") != 0
            || request.debugger.empty())
            return false;
    }
    return true;
}

// What the notifying process reports: whether the notification was sent, and whether it
// stays to wait for the answer.
constexpr char NotSent = '0';
constexpr char Sent = '1';
constexpr char SentAndWaiting = '2';

// Connecting to the session bus blocks inside Qt and the bus library with no bound of its
// own: a bus that takes connections and never answers (a stopped or wedged daemon, whose
// queue of connections is full) would hold the process for as long as it stays silent.
// For its life the process ends, by SIGALRM left to its default action, unless sending is
// over within bound: there is nothing of its own to clean up, and its report pipe closes
// with it, which the waiting parent reads as "not sent".
class SendingBound
{
public:
    explicit SendingBound(std::chrono::milliseconds bound)
    {
        std::signal(SIGALRM, SIG_DFL);
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        ::sigprocmask(SIG_UNBLOCK, &alarm, nullptr);
        arm(bound);
    }
    ~SendingBound() { arm(std::chrono::milliseconds::zero()); }
    SendingBound(const SendingBound &) = delete;
    SendingBound &operator=(const SendingBound &) = delete;

private:
    static void arm(std::chrono::milliseconds bound)
    {
        itimerval timer {};
        timer.it_value.tv_sec = time_t(bound.count() / 1000);
        timer.it_value.tv_usec = suseconds_t(bound.count() % 1000 * 1000);
        ::setitimer(ITIMER_REAL, &timer, nullptr);
    }
};

// Beyond the notifier's own bound, which its calls keep to once the bus is connected.
constexpr std::chrono::milliseconds SendingGrace { 250 };

// The notification itself, in the detached process; reports on report.
int notify(int argc, char *argv[], Request request, int report)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication application(argc, argv);
    std::unique_ptr<Tarnwick::DesktopHandler> handler;
    if (!request.offer.isEmpty()) {
        handler = std::make_unique<Tarnwick::DesktopHandler>(request.file);
        if (handler->found())
            request.notification.offer = request.offer == QLatin1String("run")
                ? QStringLiteral("Run")
                : QStringLiteral("Open ")
                    + shown(request.file.substr(request.file.find_last_of('/') + 1).c_str());
    }
    const std::vector<std::string> debugging
        = request.debugger.empty() ? std::vector<std::string>() : debugCommand(request);
    if (!debugging.empty())
        request.notification.otherOffer = QStringLiteral("Debug");
    Tarnwick::DesktopNotifier notifier(QStringLiteral("tarnwick"), QLatin1String(AppInfo::IconName),
        QLatin1String(AppInfo::DesktopEntryId));
    bool sent = false;
    {
        const SendingBound bound(Tarnwick::DesktopNotifier::Bound + SendingGrace);
        sent = notifier.send(request.notification);
    }
    const char byte = !sent ? NotSent : notifier.offering() ? SentAndWaiting : Sent;
    ssize_t written = -1;
    do
        written = ::write(report, &byte, 1);
    while (written < 0 && errno == EINTR);
    ::close(report);
    // Nobody heard the report when tarnwick gave up on the notifier: nobody would expect an
    // answer either.
    if (written != 1) {
        notifier.close();
        return 1;
    }
    if (notifier.waitForAnswer()) {
        if (notifier.otherTaken())
            startDetached(debugging, request.file.substr(0, request.file.find_last_of('/') + 1));
        else if (handler)
            handler->open();
    }
    return sent ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Whatever started us may have left descriptors open to us (tarnwick hands on none,
    // another caller may): a pipe of its caller's, held by the process that waits for the
    // answer, would keep that pipe's reader waiting up to OfferBound. None is ours yet.
    if (::close_range(STDERR_FILENO + 1, ~0U, 0) != 0) {
        const long open = ::sysconf(_SC_OPEN_MAX);
        for (int fd = STDERR_FILENO + 1; fd < open; ++fd)
            ::close(fd);
    }
    Request request;
    if (!parse(argc, argv, request))
        return 2;

    // Forked before the toolkit starts any thread, and in a session of its own. A
    // notifying process that does not wait for an answer is reaped here; one that waits is
    // left to the system, which reaps it when it ends.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return 1;
    const pid_t notifying = ::fork();
    if (notifying < 0)
        return 1;
    if (notifying == 0) {
        ::close(report[0]);
        ::setsid();
        // Nothing of our caller's: no terminal, no pipe that tarnwick reads to its end (and
        // none above standard error, closed at the start), only the report.
        const int null = ::open("/dev/null", O_RDWR);
        for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
            ::dup2(null, fd);
        if (null > STDERR_FILENO)
            ::close(null);
        std::exit(notify(argc, argv, request, report[1]));
    }
    ::close(report[1]);
    char reported = NotSent;
    ssize_t got = -1;
    do
        got = ::read(report[0], &reported, 1);
    while (got < 0 && errno == EINTR);
    if (got != 1 || reported != SentAndWaiting) {
        int status = 0;
        while (::waitpid(notifying, &status, 0) < 0 && errno == EINTR) { }
    }
    return got == 1 && reported != NotSent ? 0 : 1;
}
