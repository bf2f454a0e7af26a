#include "notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QVariantMap>

namespace Tarnwick {

namespace {

constexpr auto Service = "org.freedesktop.Notifications";
constexpr auto Path = "/org/freedesktop/Notifications";
constexpr auto Interface = "org.freedesktop.Notifications";
// Let the server decide how long a notification stays.
constexpr qint32 ServerDefaultTimeout = -1;

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

bool DesktopNotifier::send(const Notification &notification) const
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QDeadlineTimer deadline(Bound);

    const QDBusMessage capabilities = callBy(bus, methodCall("GetCapabilities"), deadline);
    if (capabilities.type() != QDBusMessage::ReplyMessage)
        return false;
    const bool readsMarkup
        = capabilities.arguments().value(0).toStringList().contains(QLatin1String("body-markup"));

    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(quint8(notification.urgency)));
    hints.insert(QStringLiteral("desktop-entry"), m_desktopEntry);
    QDBusMessage notify = methodCall("Notify");
    notify << m_applicationName << quint32(0) << m_icon << notification.summary
           << (readsMarkup ? escapeMarkup(notification.body) : notification.body) << QStringList()
           << hints << ServerDefaultTimeout;
    return callBy(bus, notify, deadline).type() == QDBusMessage::ReplyMessage;
}

} // namespace Tarnwick
