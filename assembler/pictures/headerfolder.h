#pragma once

#include "picturesearch.h"

#include <string>
#include <vector>

namespace Tarnwick::Pictures {

// A private folder of headers made of pictures (hero.h for hero.png), for sources run
// through the preprocessor that include one that none of their folders holds. The folder
// is made on first need, readable by its owner alone, under TMPDIR (or /tmp) with a name
// of its own, so that a folder left by a killed run is never met again; it goes with the
// object, with everything in it. Nothing is written anywhere else.
class HeaderFolder
{
public:
    HeaderFolder() = default;
    ~HeaderFolder();
    HeaderFolder(const HeaderFolder &) = delete;
    HeaderFolder &operator=(const HeaderFolder &) = delete;

    // Writes the header for each included name (NAME.h) whose picture is found in folders,
    // unless written before; a name that is no picture's header, or whose picture none of
    // the folders holds, is left alone. The pictures that the included names' headers were
    // made of go to *inputs, none when no header is theirs. False after an error said in
    // *messages.
    bool make(const std::vector<std::string> &includes, const std::vector<Folder> &folders,
        std::vector<std::string> *inputs, std::vector<std::string> *messages);
    // Absolute, without a slash at the end; empty before a header is written.
    const std::string &path() const { return m_path; }

private:
    std::string m_path;
    // The headers written, with the pictures each was made of.
    struct Header
    {
        std::string name;
        std::vector<std::string> inputs;
    };
    std::vector<Header> m_headers;
};

} // namespace Tarnwick::Pictures
