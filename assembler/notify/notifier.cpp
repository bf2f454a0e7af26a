#include "notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <QVariantMap>

#include <array>
#include <csignal>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace Tarnwick {

namespace {

constexpr auto Service = "org.freedesktop.Notifications";
constexpr auto Path = "/org/freedesktop/Notifications";
constexpr auto Interface = "org.freedesktop.Notifications";
// Let the server decide how long a notification stays.
constexpr qint32 ServerDefaultTimeout = -1;
// The action of a click on the notification itself, and that of its button. Servers show
// "default" as no button of its own (GNOME, KDE), so the offer is both.
constexpr auto DefaultAction = "default";
constexpr auto OfferAction = "offer";
constexpr auto OtherAction = "other";

QDBusMessage methodCall(const char *method)
{
    return QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
        QLatin1String(Interface), QLatin1String(method));
}

// A blocking call that ends by the deadline whether the service answers or not.
QDBusMessage callBy(
    const QDBusConnection &bus, const QDBusMessage &message, const QDeadlineTimer &deadline)
{
    const qint64 remaining = deadline.remainingTime();
    if (remaining <= 0)
        return message.createError(
            QStringLiteral("org.freedesktop.DBus.Error.Timeout"), QStringLiteral("no time left"));
    return bus.call(message, QDBus::Block, int(remaining));
}

// The signals that end a waiting notifier arrive as a byte on this pipe, read in the event
// loop: a signal handler may do little more than write(2).
int signalPipe[2] = { -1, -1 };

void onEndingSignal(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

constexpr std::array<int, 3> EndingSignals { SIGTERM, SIGINT, SIGHUP };

} // namespace

DesktopNotifier::DesktopNotifier(
    const QString &applicationName, const QString &icon, const QString &desktopEntry)
    : m_applicationName(applicationName)
    , m_icon(icon)
    , m_desktopEntry(desktopEntry)
{
}

QString DesktopNotifier::escapeMarkup(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'<')
            escaped += QLatin1String("&lt;");
        else if (c == u'>')
            escaped += QLatin1String("&gt;");
        else if (c == u'&')
            escaped += QLatin1String("&amp;");
        else
            escaped += c;
    }
    return escaped;
}

bool DesktopNotifier::send(const Notification &notification)
{
    // The bound counts from before connecting: the calls get what connecting left.
    const QDeadlineTimer deadline(Bound);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;

    const QDBusMessage capabilities = callBy(bus, methodCall("GetCapabilities"), deadline);
    if (capabilities.type() != QDBusMessage::ReplyMessage)
        return false;
    const QStringList offered = capabilities.arguments().value(0).toStringList();
    const bool readsMarkup = offered.contains(QLatin1String("body-markup"));

    QStringList actions;
    if ((!notification.offer.isEmpty() || !notification.otherOffer.isEmpty())
        && offered.contains(QLatin1String("actions"))) {
        // Listening before the notification is out, so that no answer comes too early.
        const QString service = QLatin1String(Service);
        const QString path = QLatin1String(Path);
        const QString interface = QLatin1String(Interface);
        const bool listening
            = bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)))
            && bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                SLOT(notificationClosed(uint, uint)))
            && bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), this,
                SLOT(serviceGone()));
        if (listening) {
            auto *watcher = new QDBusServiceWatcher(
                service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
            connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                &DesktopNotifier::serviceGone);
            if (!notification.offer.isEmpty())
                actions = QStringList { QLatin1String(DefaultAction), notification.offer,
                    QLatin1String(OfferAction), notification.offer };
            if (!notification.otherOffer.isEmpty())
                actions << QLatin1String(OtherAction) << notification.otherOffer;
        }
    }

    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(quint8(notification.urgency)));
    hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    QDBusMessage notify = methodCall("Notify");
    notify << m_applicationName << quint32(0) << m_icon << notification.summary
           << (readsMarkup ? escapeMarkup(notification.body) : notification.body) << actions
           << hints << ServerDefaultTimeout;
    const QDBusMessage reply = callBy(bus, notify, deadline);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return false;
    m_id = reply.arguments().value(0).toUInt();
    m_offering = !actions.isEmpty();
    return true;
}

bool DesktopNotifier::waitForAnswer(std::chrono::milliseconds bound)
{
    if (!m_offering)
        return false;
    QEventLoop loop;
    connect(this, &DesktopNotifier::answered, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this] { answer(Answer::Over); });
    timer.start(bound);

    std::array<struct sigaction, EndingSignals.size()> before {};
    std::unique_ptr<QSocketNotifier> ending;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        ending = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        connect(ending.get(), &QSocketNotifier::activated, this, [this] { answer(Answer::Over); });
        struct sigaction action
        {
        };
        action.sa_handler = onEndingSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < EndingSignals.size(); ++i)
            ::sigaction(EndingSignals[i], &action, &before[i]);
    }

    if (m_answer == Answer::Pending)
        loop.exec();

    if (ending) {
        for (std::size_t i = 0; i < EndingSignals.size(); ++i)
            ::sigaction(EndingSignals[i], &before[i], nullptr);
        ending.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    close();
    return m_answer == Answer::Taken;
}

void DesktopNotifier::close()
{
    if (!m_offering)
        return;
    m_offering = false;
    QDBusMessage closing = methodCall("CloseNotification");
    closing << m_id;
    // Also when the server closed it already: that answer is an error, and harmless.
    callBy(QDBusConnection::sessionBus(), closing, QDeadlineTimer(Bound));
}

void DesktopNotifier::actionInvoked(uint id, const QString &action)
{
    if (id != m_id)
        return;
    if (action == QLatin1String(OtherAction) && m_answer == Answer::Pending)
        m_otherTaken = true;
    if (action == QLatin1String(DefaultAction) || action == QLatin1String(OfferAction)
        || action == QLatin1String(OtherAction))
        answer(Answer::Taken);
}

void DesktopNotifier::notificationClosed(uint id, uint)
{
    if (id == m_id)
        answer(Answer::Over);
}

void DesktopNotifier::serviceGone()
{
    // Nothing is left to close: a server that goes takes its notifications with it.
    m_offering = false;
    answer(Answer::Over);
}

void DesktopNotifier::answer(Answer answer)
{
    if (m_answer != Answer::Pending)
        return;
    m_answer = answer;
    emit answered();
}

} // namespace Tarnwick
