#pragma once

#include "hints.h"
#include "project.h"
#include "tools.h"
#include "unit.h"

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Tarnwick::Pictures {
class HeaderFolder;
struct Folder;
} // namespace Tarnwick::Pictures

namespace Tarnwick {

// The files that make a program: the chosen source, assembled first; the other sources of
// its folder that define what it still needs, then those of its project's other folders,
// nearest folder first, each taken the way a linker takes members from an archive, again
// until nothing more is needed; includes looked for in the project's folders when the
// source's own and those above it lack them; and the project's own linker script when the
// program needs names that only that script defines; and pictures (hero.png) for the names
// they give (heroTiles, heroPal, ...) that the sources taken so far do not define, looked for
// before more sources; and for a source run through the preprocessor that includes hero.h,
// which none of its folders nor the project's holds, a header of hero.png's lengths, made
// in a private folder that goes with this object. A folder beside the program's whose
// sources define a `main' of their own holds another program: nothing of it is linked or
// reported. A source that leaves nothing undefined and finds its includes is assembled
// alone, and nothing else is read. It assembles; it does not link.
class ProgramFiles
{
public:
    // A file the program is made from, and what it is to the program, for messages.
    struct Input
    {
        std::string path;
        std::string description;
    };

    // A linker script of the project's own.
    struct Script
    {
        std::string asGiven;
        std::string path;
        std::string text;
        // The symbol its ENTRY names; empty if none.
        std::string entry;
    };

    explicit ProgramFiles(Toolchain *tools);
    ~ProgramFiles();
    ProgramFiles(const ProgramFiles &) = delete;
    ProgramFiles &operator=(const ProgramFiles &) = delete;

    // Assembles the chosen source and the other sources it needs, and gathers what their
    // tools said into *messages; false when the program cannot be made of them. A chosen
    // source that neither defines a global `main' nor reserves the header, of a program
    // whose one entry file (of its folder, else of its project) needs it, gathers that
    // program, with a note saying so.
    bool gather(const std::string &source, std::vector<std::string> *messages);
    // A note naming the entry files of the programs the chosen source belongs to, when it
    // is no entry and belongs to several; empty otherwise.
    const std::string &entryNote() const { return m_entryNote; }
    // Whether the unit starts a program: it defines a global `main' or reserves the header.
    static bool startsProgram(const Unit &unit);

    const Unit &entry() const { return m_units.front(); }
    // The units that go to the linker, in the order they go, the chosen source first.
    std::vector<const Unit *> linked() const;
    // Every file the program is made from: its sources, the files they included, and its
    // linker script.
    std::vector<Input> inputs() const;
    // The project's linker script the program is linked with; none for ours.
    const std::optional<Script> &script() const { return m_script; }
    // Every source assembled for the program, linked or not, the chosen source first; none
    // before gather().
    const std::vector<Unit> &units() const { return m_units; }
    // The source's project once a step looked for it; none before, or when it has none.
    const Project *knownProject() const { return m_project ? &*m_project : nullptr; }
    // The known project's build descriptions, read now, each named as messages name files;
    // one that cannot be read (larger than a build description ever is, say) is named in a
    // note in *unread.
    std::vector<ProgramFacts::Document> buildDescriptions(std::vector<std::string> *unread) const;

private:
    // The sources at one distance from the chosen source's folder, assembled only when the
    // program still needs something after the nearer ones.
    struct Group
    {
        std::vector<std::string> paths;
        std::vector<std::size_t> units;
        int distance = 0;
        bool assembled = false;
    };

    const Project *project();
    bool gatherFrom(const std::string &source, std::vector<std::string> *messages);
    // The sources, of the chosen source's folder or else of the nearest of its project's
    // folders that has any, that start a program.
    std::vector<std::string> entryCandidates();
    void addOwnFolderGroup();
    void addProjectGroups();
    std::string spelt(const std::string &folder) const;
    void assemble(const std::vector<std::size_t> &units);
    bool assembleGroup(std::size_t group, std::vector<std::string> *messages);
    bool resolveSymbols(std::vector<std::string> *messages);
    // Converts the pictures that give needed names and adds them to the linked units; how
    // many, or -1 after an error.
    int addPictures(const std::vector<std::string> &needed, std::vector<std::string> *messages);
    // Where pictures are looked for: the project's folders but other programs', or the
    // chosen source's folder alone.
    std::vector<Pictures::Folder> pictureFolders();
    // Makes the headers of pictures (hero.h) that the unit includes and that no folder of
    // its own or of the project holds, and has the preprocessor look for them last; false
    // after an error.
    bool addPictureHeaders(Unit *unit, std::vector<std::string> *messages);
    bool findScript(const std::vector<std::string> &needed, std::vector<std::string> *messages);
    // Takes the project's nearest linker script that names an entry, with the source that
    // defines that entry, when there is one such script and such a source; whether it did.
    bool findStartupScript(std::vector<std::string> *messages);
    // Adds the project's folders to where the unit's includes are looked for; whether any
    // were new.
    bool addProjectIncludes(Unit *unit) const;
    void tellMissingIncludes(Unit *unit);
    // Whether the folder holds another program, or lies below one.
    bool isForeign(const std::string &folder) const;
    // Drops the units of other programs, so that nothing of them is linked or reported.
    void forgetForeign();
    void tellTakenFromOutside(std::vector<std::string> *messages) const;
    void tellCut(
        const std::string &name, const Unit &provider, std::vector<std::string> *messages) const;

    Toolchain *m_tools;
    std::string m_home;
    // The first is the chosen source.
    std::vector<Unit> m_units;
    std::vector<std::size_t> m_linked;
    std::vector<Group> m_groups;
    bool m_projectLooked = false;
    std::optional<Project> m_project;
    std::optional<Script> m_script;
    // The folders of other programs beside this one, absolute and ending in '/'.
    std::set<std::string> m_foreign;
    std::string m_entryNote;
    std::unique_ptr<Pictures::HeaderFolder> m_headers;
};

} // namespace Tarnwick
