#include "desktophandler.h"

#include <gio/gio.h>

#include <cstdio>

namespace Tarnwick {

namespace {

// Enough of a file for the MIME database's tests of content.
constexpr std::size_t SniffedBytes = 4096;

} // namespace

DesktopHandler::DesktopHandler(const std::string &path)
    : m_path(path)
{
    // GLib goes by the name alone when the name decides, and reads the bytes only
    // otherwise: a .gba image is a cartridge image, a .asm source plain text.
    unsigned char start[SniffedBytes];
    std::size_t length = 0;
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        length = std::fread(start, 1, sizeof start, file);
        std::fclose(file);
    }
    gchar *type = g_content_type_guess(path.c_str(), start, length, nullptr);
    m_application = g_app_info_get_default_for_type(type, FALSE);
    g_free(type);
}

DesktopHandler::~DesktopHandler()
{
    if (m_application)
        g_object_unref(m_application);
}

bool DesktopHandler::open() const
{
    if (!m_application)
        return false;
    GFile *file = g_file_new_for_path(m_path.c_str());
    GList files {};
    files.data = file;
    GError *error = nullptr;
    const bool started = g_app_info_launch(m_application, &files, nullptr, &error);
    if (error)
        g_error_free(error);
    g_object_unref(file);
    return started;
}

} // namespace Tarnwick
