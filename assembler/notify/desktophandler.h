#pragma once

#include <string>

struct _GAppInfo;

namespace Tarnwick {

// The application that the desktop opens a file with, found as the desktops find it: the
// file's type from its name through the shared MIME database (from its first bytes where
// the name says nothing, as for a source whose ending no type claims), and the handler of
// that type through the default applications (mimeapps.list) and the installed desktop
// entries. GLib's GIO does the looking up and the starting, so that the answer is GNOME's
// own, and the same under a bare window manager where xdg-open would guess differently.
class DesktopHandler
{
public:
    // path is the file's name as the bytes it has on disk, in whatever encoding: GIO takes
    // and hands on file names as bytes, so the handler opens exactly that file.
    explicit DesktopHandler(const std::string &path);
    ~DesktopHandler();
    DesktopHandler(const DesktopHandler &) = delete;
    DesktopHandler &operator=(const DesktopHandler &) = delete;

    bool found() const { return m_application != nullptr; }
    // Starts the handler on the file, given as its full path (or its URI, for a handler
    // that takes those); whether it started.
    bool open() const;

private:
    std::string m_path;
    _GAppInfo *m_application = nullptr;
};

} // namespace Tarnwick
