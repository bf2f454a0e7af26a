#pragma once

#include <QObject>
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
    // The label of the one thing the notification offers to do, clicking it or its
    // button; none when empty.
    QString offer;
    // The label of one more thing it offers, a button of its own only; none when empty.
    QString otherOffer;
};

// Shows notifications through the desktop's notification service, the freedesktop
// interface on the session bus. It is never in the way: with no service nothing is shown,
// and a service that does not answer is given up on after Bound. Whether the session has
// a bus at all is for the caller to see first (tarnwick does, before it starts the
// notifier); connecting to a bus that never answers blocks in Qt without a bound, which
// only the process can set (tarnwick-notify ends itself when sending outlasts Bound). It knows
// nothing of assembling; the rest of tarnwick knows nothing of D-Bus.
//
// A notification with an offer is answered on the connection that sent it (GNOME tells
// no other connection that an action was taken), so the sender waits for the answer:
// waitForAnswer().
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    // tarnwick gives the notifier two seconds in all; its calls take most of them.
    static constexpr std::chrono::milliseconds Bound { 1500 };
    // The longest a notification's offer is waited for. Some servers never say that a
    // notification went away (expired unseen, or dropped with a full queue), and nobody
    // comes back to a build after so long.
    static constexpr std::chrono::minutes OfferBound { 10 };

    // The application name, the icon and the desktop entry by which the desktop groups
    // notifications with the program.
    DesktopNotifier(
        const QString &applicationName, const QString &icon, const QString &desktopEntry);

    // Whether the service took the notification. Its offer goes with it only when the
    // service shows actions; offering() tells.
    bool send(const Notification &notification);
    bool offering() const { return m_offering; }
    // Whether the offer taken was the other one.
    bool otherTaken() const { return m_otherTaken; }

    // Waits until the person takes the offer, the notification is closed, the service goes
    // away, the notifier is told to end (SIGTERM, SIGINT, SIGHUP) or bound has passed,
    // whichever comes first; then closes the notification, so that no button is left
    // that does nothing. Whether the offer was taken.
    bool waitForAnswer(std::chrono::milliseconds bound = OfferBound);
    // Withdraws the notification sent.
    void close();

    // Text that a server reading markup in bodies shows as it stands.
    static QString escapeMarkup(const QString &text);

signals:
    void answered();

private slots:
    void actionInvoked(uint id, const QString &action);
    void notificationClosed(uint id, uint reason);
    void serviceGone();

private:
    enum class Answer { Pending, Taken, Over };
    void answer(Answer answer);

    QString m_applicationName;
    QString m_icon;
    QString m_desktopEntry;
    uint m_id = 0;
    bool m_offering = false;
    bool m_otherTaken = false;
    Answer m_answer = Answer::Pending;
};

} // namespace Tarnwick
