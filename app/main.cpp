#include "appinfo.h"
#include "form1.h"

#include <QApplication>

#include <cstdio>

namespace {

// Without a display Qt aborts with a message about platform plugins; say plainly what
// is missing instead.
bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY")
            || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
            || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fputs("tarnwick-addon: no display found. Start it from a desktop session, or set "
                   "DISPLAY (X11) or WAYLAND_DISPLAY (Wayland) to reach one.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    // On Wayland this is the window's application id, which the desktop matches with the
    // desktop entry for the window's icon and name in the task list.
    QGuiApplication::setDesktopFileName(QLatin1String(AppInfo::DesktopEntryId));
    Form1 form;
    form.show();
    return app.exec();
}
