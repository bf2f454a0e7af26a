#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Tarnwick {

// What tarnwick reads from a source's text and path before any tool sees it.
namespace SourceText {

// Whether the text has a line that is a C preprocessor directive: "#include", "#define",
// "#if" and their kin, written without a blank after the "#" (blanks before it are
// allowed). A line such as "# the colours" or "# 2 \"file\"" is an assembler comment or
// line marker and does not count, so a plain source is assembled as it always was.
bool usesPreprocessor(std::string_view text);

// The folders where includes are looked for, nearest first: the folder of the source (an
// absolute path) and each folder above it up to the root. A project whose build ran the
// assembler in its top folder writes paths from there; they resolve from any sub-folder.
std::vector<std::string> includeFolders(const std::string &absoluteSource);

// The folder part of a path with its slash ("src/" for "src/main.s"); empty for a bare
// name. Put before a file name, it names that file beside the path's file.
std::string folderPart(const std::string &path);

// The file name part of a path, without its folder ("main.s" for "src/main.s").
std::string fileNamePart(const std::string &path);

// Whether the character may be part of a symbol's name: a letter, a digit, '_', '.' or '$'.
bool isSymbolCharacter(char c);

// Where the word first stands in the text at or after from, with no character of a symbol's
// name next to it; npos if nowhere.
std::size_t findWord(std::string_view text, std::string_view word, std::size_t from = 0);

// Whether the name has one of the endings that assembly sources have: .s, .S or .asm.
bool isSourceName(std::string_view name);

// The files that a dependency list in make's form names ("target: first second \\" and
// continuation lines), as cpp -MD and as --MD write it, with make's escapes ("\\ ", "$$")
// undone; the targets are left out.
std::vector<std::string> dependencies(std::string_view text);

// The files that the text's .include, .incbin and #include lines name, as written between
// their quotes (or angle brackets), in order.
std::vector<std::string> includedNames(std::string_view text);

// The file that a message of as or cpp says it could not find (".include", ".incbin",
// "#include"), as the source wrote it; empty for any other message.
std::string missingInclude(std::string_view message);

// The line (counted from 1) where the text defines the symbol: as a label ("name:", after
// other labels too) or with .set, .equ, .equiv, .thumb_set or "name = value"; 0 if no line
// does, as for a symbol that a macro makes.
unsigned definitionLine(std::string_view text, std::string_view name);

// The line where the label name stands that labels the statement on line (counted from 1),
// which an object's line table gives: that line, or one above it with nothing but labels,
// directives and comments between; line itself if none of them defines the name.
unsigned labelLine(std::string_view text, std::string_view name, unsigned line);

// Whether a linker script assigns a value to the symbol ("NAME = ...", "PROVIDE(NAME = ...)").
bool scriptDefines(std::string_view script, std::string_view name);
// The symbol that a linker script's ENTRY(...) names; empty if it names none.
std::string scriptEntry(std::string_view script);

} // namespace SourceText

} // namespace Tarnwick
