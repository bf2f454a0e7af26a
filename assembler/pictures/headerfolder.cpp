#include "headerfolder.h"

#include "diagnostics.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <unistd.h>

namespace Tarnwick::Pictures {

namespace {

enum class Text { NoFolder, NotWritten };

const std::map<Text, const char *> Texts = {
    { Text::NoFolder, "tarnwick: cannot make a private folder for the header %s in %f: " },
    { Text::NotWritten, "tarnwick: cannot write the header %s made of its picture: " },
};

std::string message(Text text, const std::string &header, const std::string &folder = {})
{
    std::string result = Texts.at(text);
    if (const std::size_t at = result.find("%s"); at != std::string::npos)
        result.replace(at, 2, header);
    if (const std::size_t at = result.find("%f"); at != std::string::npos)
        result.replace(at, 2, folder);
    return result + std::strerror(errno);
}

// The picture's name for an included header: "hero" for hero.h; empty for a header no
// picture makes, such as one in a folder ("gfx/hero.h"), so that nothing is written outside
// the private folder.
std::string headerPicture(const std::string &include)
{
    if (include.size() < 3 || include.compare(include.size() - 2, 2, ".h") != 0)
        return {};
    const std::string name = include.substr(0, include.size() - 2);
    const bool named
        = (std::isalpha(static_cast<unsigned char>(name.front())) || name.front() == '_')
        && name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_")
            == std::string::npos;
    return named ? name : std::string();
}

bool writeAll(int fd, const std::string &text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += std::size_t(wrote);
    }
    return true;
}

} // namespace

HeaderFolder::~HeaderFolder()
{
    if (m_path.empty())
        return;
    for (const Header &header : m_headers)
        ::unlink((m_path + '/' + header.name).c_str());
    ::rmdir(m_path.c_str());
}

bool HeaderFolder::make(const std::vector<std::string> &includes,
    const std::vector<Folder> &folders, std::vector<std::string> *inputs,
    std::vector<std::string> *messages)
{
    for (const std::string &include : includes) {
        const std::string name = headerPicture(include);
        if (name.empty())
            continue;
        const auto made = std::find_if(m_headers.begin(), m_headers.end(),
            [&include](const Header &header) { return header.name == include; });
        if (made != m_headers.end()) {
            inputs->insert(inputs->end(), made->inputs.begin(), made->inputs.end());
            continue;
        }
        Header header { include, {} };
        std::string text;
        if (!pictureHeader(name, folders, &text, &header.inputs, messages))
            return false;
        if (text.empty())
            continue;
        if (m_path.empty()) {
            const char *temporary = std::getenv("TMPDIR");
            std::string base = temporary && temporary[0] == '/' ? temporary : "/tmp";
            std::string pattern = base + "/tarnwick-XXXXXX";
            if (!::mkdtemp(pattern.data())) {
                messages->push_back(message(Text::NoFolder, include, withControlsEscaped(base)));
                return false;
            }
            m_path = pattern;
        }
        const std::string path = m_path + '/' + include;
        const int fd
            = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            messages->push_back(message(Text::NotWritten, include));
            return false;
        }
        // Listed before writing, so that a header written in part goes with the folder too.
        m_headers.push_back(header);
        const bool written = writeAll(fd, text);
        const int error = errno;
        if (::close(fd) != 0 || !written) {
            errno = written ? errno : error;
            messages->push_back(message(Text::NotWritten, include));
            return false;
        }
        inputs->insert(inputs->end(), header.inputs.begin(), header.inputs.end());
    }
    return true;
}

} // namespace Tarnwick::Pictures
