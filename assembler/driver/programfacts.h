#pragma once

#include "hints.h"
#include "programfiles.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace Tarnwick {

// The facts that the hints ask for, from the program a run gathered, or began to: the
// symbols from the objects the units hold in memory, the text of a file that a message
// names, and the project's build descriptions. A file is read only when a hint asks for it,
// and only if it is one of the program's sources or the files they read, or lies in the
// source's folder or its project; nothing is ever written.
class GatheredFacts : public ProgramFacts
{
public:
    explicit GatheredFacts(const ProgramFiles &program);

    const std::string *text(const std::string &file) override;
    const std::vector<Definition> &definitions() override;
    const std::vector<Document> &buildDescriptions() override;
    // Notes naming the files that were asked for and could not be read.
    const std::vector<std::string> &unread() const { return m_unread; }

private:
    // The path to read for a file as messages name it; empty when it is none of ours.
    std::string pathOf(const std::string &file) const;

    const ProgramFiles &m_program;
    std::map<std::string, std::optional<std::string>> m_texts;
    std::optional<std::vector<Definition>> m_definitions;
    std::optional<std::vector<Document>> m_buildDescriptions;
    std::vector<std::string> m_unread;
};

} // namespace Tarnwick
