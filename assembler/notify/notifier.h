#pragma once

#include <QString>

#include <chrono>

namespace Tarnwick {

// One desktop notification, in plain text.
struct Notification
{
    enum class Urgency : quint8 { Normal = 1, Critical = 2 };

    QString summary;
    QString body;
    Urgency urgency = Urgency::Normal;
};

// Shows notifications through the desktop's notification service, the freedesktop
// interface on the session bus. It sends and forgets, and it is never in the way: with no
// service nothing is shown, and a service that does not answer is given up on after
// Bound. Whether the session has a bus at all is for the caller to see first (tarnwick
// does, before it starts the notifier). It knows nothing of assembling; the rest of
// tarnwick knows nothing of D-Bus.
class DesktopNotifier
{
public:
    // tarnwick gives the notifier two seconds in all; its calls take most of them.
    static constexpr std::chrono::milliseconds Bound { 1500 };

    // The application name, the icon and the desktop entry by which the desktop groups
    // notifications with the program.
    DesktopNotifier(
        const QString &applicationName, const QString &icon, const QString &desktopEntry);

    // Whether the service took the notification.
    bool send(const Notification &notification) const;

    // Text that a server reading markup in bodies shows as it stands.
    static QString escapeMarkup(const QString &text);

private:
    QString m_applicationName;
    QString m_icon;
    QString m_desktopEntry;
};

} // namespace Tarnwick
