// tarnwick-notify: shows one desktop notification on behalf of tarnwick, which starts it at
// the end of a run and waits for it a bounded time. A program of its own, so that the
// assembler itself starts without the toolkit, and so that nothing that goes wrong here
// can change the assembler's outcome.
//
//   tarnwick-notify normal|critical SUMMARY BODY
//
// Exit status 0 when the desktop took the notification, 1 when it did not, 2 on wrong use.

#include "appinfo.h"
#include "notifier.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() != 3
        || (arguments.at(0) != QLatin1String("normal")
            && arguments.at(0) != QLatin1String("critical")))
        return 2;

    using Tarnwick::Notification;
    const Notification notification { arguments.at(1), arguments.at(2),
        arguments.at(0) == QLatin1String("critical") ? Notification::Urgency::Critical
                                                     : Notification::Urgency::Normal };
    const Tarnwick::DesktopNotifier notifier(QStringLiteral("tarnwick"),
        QLatin1String(AppInfo::IconName), QLatin1String(AppInfo::DesktopEntryId));
    return notifier.send(notification) ? 0 : 1;
}
