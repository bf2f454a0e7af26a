#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// What a run knows of its program beyond the words of its messages, for the hints that need
// more: the text of a line, the symbols the sources define, the project's build. The driver
// answers from what the build holds in memory and reads a file only when asked for it.
class ProgramFacts
{
public:
    struct Definition
    {
        std::string name;
        // The source that defines it, as messages name that source, or the file it
        // included where the label stands.
        std::string file;
        bool global = false;
        // The line of what its label labels, from the object; 0 when the object does not
        // tell.
        unsigned line = 0;
    };

    // A file as messages name it, and its text.
    struct Document
    {
        std::string file;
        std::string text;
    };

    virtual ~ProgramFacts() = default;

    // The text of a file that a message names, spelt as the message spells it; null when it
    // is none of the program's files or cannot be read.
    virtual const std::string *text(const std::string &file) = 0;
    // The symbols that the program's assembled sources define, global or not, the chosen
    // source's first.
    virtual const std::vector<Definition> &definitions() = 0;
    // The build descriptions of the source's project: makefiles and build scripts.
    virtual const std::vector<Document> &buildDescriptions() = 0;
};

// The messages of a run, explained for someone who is learning the processor: one table
// holds the mistakes that binutils' words leave puzzling, each as the message it gives and
// what else must hold, and the note that says what it means on the handheld's ARM7TDMI and
// what to write instead. A message gets the note of the first row that fits, as a line
// "FILE:LINE: note: ..." (or "FILE: note: ...") after it in its element, where FILE is
// spelt as the message spells it, or the file a definition is in for a note that points
// there; a note said once at one place is not said again. The messages of one file come in
// the order of their lines, those without a line and those of other files staying where
// they are. It reads only what the facts give it and changes no message's own lines.
std::vector<std::string> explainMessages(std::vector<std::string> messages, ProgramFacts *facts);

// Every note the table can give, as written, with its placeholders.
std::vector<std::string_view> hintNotes();

} // namespace Tarnwick
