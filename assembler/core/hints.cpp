#include "hints.h"

#include "diagnostics.h"

#include "sourcetext.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace Tarnwick {

namespace {

// What must hold besides the message's words for a row to fit.
enum class Needs {
    Nothing,
    // The message's line lies in ARM code, or in Thumb code, by the directives before it.
    ArmCode,
    ThumbCode,
    // The syntax in force at the message's line: `.syntax unified`, or the divided syntax
    // that as starts in.
    UnifiedSyntax,
    DividedSyntax,
    // The line is in Thumb code, in a routine whose label follows the `.thumb` in force, is
    // not marked as a Thumb function, begins a routine, and holds a statement that only ARM
    // code has.
    ArmRoutineInThumb,
    // The message's first capture is an offset that is not a multiple of 4, and the
    // statement's last operand is a label of the file.
    UnalignedLabel,
    // The message's line lies inside a `.macro` … `.endm` of its file.
    InMacro,
    // A `.rept`, `.irp` or `.irpc` of the file has no `.endr`: the note goes to its line.
    OpenRepeat,
    // The line holds a `#` after something that no immediate follows: meant as a comment.
    HashComment,
    // The line's statement holds a byte outside ASCII.
    NonAscii,
    // What the message quotes follows a ';' on its line: the ';' was meant as a comment.
    // Said once for each file.
    Semicolon,
    // One of the program's sources defines the subject, but not as a global symbol.
    LocalDefinition,
    // One of the program's sources defines a name that differs from the subject by a typo.
    CloseName,
    // A build description of the project names the subject (a file).
    BuildMention,
};

struct Hint
{
    Needs needs;
    // The message after its place and its kind ("Error: "); each * captures, and '|'
    // separates alternatives.
    std::string_view message;
    // The statement the message is about, the one it quotes or else its line's first, as as
    // quotes statements: lower case, without blanks but the one after the mnemonic. {cc}
    // stands for a condition code, {reg} for a register, * for anything, '|' separates
    // alternatives; empty for any statement.
    std::string_view statement;
    // What the note says: {1}, {2}, ... are the message's captures, {name} the name found.
    std::string_view note;
    // The capture that the facts are asked about.
    std::size_t subject = 1;
};

constexpr std::string_view ThumbConditionalReach
    = "a Thumb conditional branch reaches ±256 bytes: branch on the opposite condition over a "
      "`b` (±2 KiB)";
constexpr std::string_view ThumbBranchReach
    = "a Thumb `b` reaches ±2 KiB: use `bl` (±4 MiB; it overwrites lr), or `bx` to the address "
      "+ 1";
constexpr std::string_view ThumbCallReach
    = "a Thumb `bl` reaches ±4 MiB: `ldr r3, =label + 1`, then `bl` a nearby `bx r3`";
constexpr std::string_view ArmBranchReach
    = "an ARM branch reaches ±32 MiB: `ldr pc, =label` reaches anywhere (after `mov lr, pc` to "
      "call)";
constexpr std::string_view ThumbPool = "Thumb `ldr rN, =` reads a pool up to 1020 bytes on: "
                                       "put `.ltorg` after a branch or return there";
constexpr std::string_view NoThumb2 = "the ARM7TDMI has no 32-bit Thumb-2: drop the `.w`, keep to "
                                      "r0–r7 and small values, or use ARM code";
constexpr std::string_view LowRegisters
    = "this Thumb form takes only r0–r7: work in a low register, then copy (`movs r0, #1`, `mov "
      "r8, r0`)";
constexpr std::string_view PushPopLists
    = "Thumb `push` takes r0–r7 and lr, `pop` r0–r7 and pc: copy a high register to a low one "
      "first";
constexpr std::string_view NoWriteBack
    = "Thumb `ldr` and `str` have no write-back (`[rN, #4]!`, `[rN], #4`): use `[rN]`, then "
      "`adds rN, #4`";
constexpr std::string_view SpForms = "the Thumb SP forms are `add sp, #n` and `sub sp, #n`, "
                                     "0–508 in steps of 4, without `s`";
constexpr std::string_view Unaligned
    = "Thumb `ldr rN, label` and `adr` need `{label}` (line {labelline}) aligned:"
      " `.balign 4` before it";
constexpr std::string_view NotMadeYet
    = "{1} is made by the project's own build, which names it here: run that build first";

// The rows, the first that fits giving the note: a row that needs more than the message
// comes before a row for the same message that needs less.
constexpr Hint Hints[] = {
    { Needs::Semicolon, "*", "",
        "GNU as reads `;` as the end of a statement, not a comment: start comments with `@` "
        "(`//` with cpp)" },
    { Needs::NonAscii, "*", "",
        "the statement holds {char}, which as cannot read: delete it, or type it again in plain "
        "ASCII" },
    { Needs::HashComment,
        "garbage following instruction -- `*'|junk at end of line, first unrecognized character "
        "is `#'",
        "", "`#` starts a comment only at the start of a line: start comments with `@`" },
    { Needs::ArmRoutineInThumb,
        "cannot honor width suffix -- `*'|thumb conditional instruction should be in IT block -- "
        "`*'|selected processor does not support `*' in Thumb mode|Thumb does not support this "
        "addressing mode -- `*'|unshifted register required -- `*'|Thumb does not support "
        "conditional execution|lo register required -- `*'|instruction not supported in "
        "Thumb16 mode -- `*'|bad instruction `*'",
        "",
        "`.thumb` from line {stateline} still holds for `{routine}`, which is ARM code: put "
        "`.arm` before it" },

    // Unified and divided syntax.
    { Needs::DividedSyntax, "bad instruction `*'", "*s{cc} *",
        "`{mnemonic}` is spelt for `.syntax unified`: without it, write `{respelt}`, or add "
        "`.syntax unified`" },
    { Needs::UnifiedSyntax, "conditional infixes are deprecated in unified syntax", "",
        "under `.syntax unified` the condition comes last: write `{respelt}`" },

    // Immediates and literal pools.
    { Needs::Nothing, "invalid constant (*) after fixup", "adr *",
        "`adr` reaches only what an ARM immediate holds (8 bits, rotated): use `ldr rN, =label`" },
    { Needs::Nothing, "invalid constant (*) after fixup", "",
        "an ARM immediate is 8 bits rotated by an even amount; this one is not: load it with "
        "`ldr rN, =value`" },
    { Needs::Nothing, "invalid immediate: * is out of range", "",
        "Thumb immediates here are 0–255: load {1} with `ldr rN, ={1}` instead" },
    { Needs::Nothing, "invalid literal constant: pool needs to be closer", "",
        "`ldr rN, =` reads its value from a pool within 4 KiB: put `.ltorg` after a branch or "
        "return in reach" },
    { Needs::Nothing, "invalid offset, value too big (*)|value of * too large for field of *",
        "ldr *,=*", ThumbPool },

    // Branches.
    { Needs::ThumbCode, "branch out of range", "b{cc} *", ThumbConditionalReach },
    { Needs::ThumbCode, "branch out of range", "b *", ThumbBranchReach },
    { Needs::ThumbCode, "branch out of range", "bl *", ThumbCallReach },
    { Needs::ArmCode, "branch out of range", "", ArmBranchReach },
    { Needs::Nothing, "branch out of range", "",
        "branches reach: Thumb `bCC` ±256 bytes, Thumb `b` ±2 KiB, Thumb `bl` ±4 MiB, ARM ±32 "
        "MiB" },
    { Needs::Nothing, "relocation truncated to fit: R_ARM_THM_JUMP8 *", "", ThumbConditionalReach },
    { Needs::Nothing, "relocation truncated to fit: R_ARM_THM_JUMP11 *", "", ThumbBranchReach },
    { Needs::Nothing, "relocation truncated to fit: R_ARM_THM_CALL *", "", ThumbCallReach },
    { Needs::Nothing,
        "relocation truncated to fit: R_ARM_CALL *|relocation truncated to fit: R_ARM_JUMP24 "
        "*|relocation truncated to fit: R_ARM_PC24 *",
        "", ArmBranchReach },

    // Instructions of later processors.
    { Needs::Nothing, "selected processor does not support `*' in *", "cbz *",
        "the ARM7TDMI (ARMv4T) has no `cbz`: write `cmp rN, #0`, then `beq label`" },
    { Needs::Nothing, "selected processor does not support `*' in *", "cbnz *",
        "the ARM7TDMI (ARMv4T) has no `cbnz`: write `cmp rN, #0`, then `bne label`" },
    { Needs::Nothing, "selected processor does not support `*' in *", "it*",
        "the ARM7TDMI has no `it` blocks: branch around the instructions instead (`bne 1f` … "
        "`1:`)" },
    { Needs::Nothing, "selected processor does not support `*' in *", "movw *|movt *",
        "the ARM7TDMI has no `movw` or `movt`: load the whole value with `ldr rN, =value`" },
    { Needs::Nothing, "selected processor does not support `*' in ARM mode", "blx {reg}",
        "the ARM7TDMI has no `blx`: write `mov lr, pc`, then `bx rN`" },
    { Needs::Nothing, "selected processor does not support `*' in Thumb mode", "blx {reg}",
        "the ARM7TDMI has no `blx`: `bl` a nearby `bx rN`, which returns to you through lr" },
    { Needs::Nothing, "selected processor does not support `*' in *", "blx *",
        "the ARM7TDMI has no `blx`: call with `bl`, and mark a Thumb routine `.thumb_func` to "
        "switch state" },
    { Needs::Nothing, "selected processor does not support `*' in *", "clz *",
        "the ARM7TDMI has no `clz` (ARMv5): count in a loop, shifting left until the top bit is "
        "set" },
    { Needs::Nothing, "selected processor does not support `*' in *", "ldrd *|strd *",
        "the ARM7TDMI has no `ldrd`/`strd` (ARMv5): use two `ldr`/`str`, or `ldmia`/`stmia` of two "
        "registers" },
    { Needs::Nothing, "selected processor does not support `*' in *", "uxtb *|uxth *|sxtb *|sxth *",
        "the ARM7TDMI has no `uxtb`, `sxth` and their kin (ARMv6): shift left, then `lsr` or "
        "`asr` back" },
    { Needs::Nothing, "selected processor does not support `*' in *", "sdiv *|udiv *",
        "the ARM7TDMI cannot divide: with the numbers in r0 and r1, `bl __aeabi_idiv` (or "
        "`__aeabi_uidiv`)" },
    { Needs::Nothing, "selected processor does not support `*' in Thumb-2 mode", "", NoThumb2 },
    { Needs::Nothing, "selected processor does not support `*' in *", "",
        "the handheld's ARM7TDMI is an ARMv4T: it has no instructions of ARMv5 and later, nor "
        "Thumb-2's" },
    { Needs::Nothing, "bad instruction `*.w *'", "", NoThumb2 },
    { Needs::Nothing, "bad instruction `*.n *'", "",
        "drop the `.n`: without `.syntax unified` every Thumb instruction is 16 bits anyway" },
    { Needs::DividedSyntax, "instruction not supported in Thumb16 mode -- `*'",
        "adds *|subs *|movs *|lsls *|lsrs *|asrs *|rors *|ands *|orrs *|eors *|bics *|mvns "
        "*|muls *|negs *|adcs *|sbcs *",
        "in the divided syntax, Thumb's `{plain}` sets the flags: write `{plain}`, or add "
        "`.syntax unified`" },
    { Needs::UnifiedSyntax,
        "instruction not supported in Thumb16 mode -- `*'|immediate value out of range",
        "adds *,*,#*|subs *,*,#*",
        "Thumb `adds rD, rN, #` takes 0–7; with rD the same as rN, `adds rD, #` takes 0–255" },
    { Needs::Nothing, "instruction not supported in Thumb16 mode -- `*'", "adds *,#*|subs *,#*",
        "Thumb `adds rD, #` and `subs rD, #` take 0–255: load a larger value with `ldr rN, "
        "=value`" },
    { Needs::Nothing, "instruction not supported in Thumb16 mode -- `*'",
        "lsls *|lsrs *|asrs *|lsl *|lsr *|asr *",
        "a Thumb shift by an immediate takes 0–31 (`lsrs` and `asrs` also 32)" },
    { Needs::Nothing, "instruction not supported in Thumb16 mode -- `*'", "",
        "this form would need 32-bit Thumb-2, which the ARM7TDMI lacks: use r0–r7 and smaller "
        "values" },
    // The 16-bit Thumb form that the statement needs does not exist: one message for
    // several causes, told apart by the statement.
    { Needs::Nothing, "cannot honor width suffix -- `*'", "pop *lr*",
        "Thumb `pop` takes r0–r7 and pc, not lr: to return to ARM code, `pop {r3}`, then `bx r3`" },
    { Needs::Nothing, "cannot honor width suffix -- `*'", "push *|pop *", PushPopLists },
    { Needs::Nothing, "cannot honor width suffix -- `*'", "ldr*]!|str*]!|ldr*],*|str*],*",
        NoWriteBack },
    { Needs::Nothing, "cannot honor width suffix -- `*'",
        "adds sp,*|subs sp,*|adds *,sp,*|subs *,sp,*", SpForms },
    { Needs::Nothing, "cannot honor width suffix -- `*'",
        "ldmia {reg},*|stmia {reg},*|ldm {reg},*|stm {reg},*",
        "Thumb `ldmia` and `stmia` always write the base register back: write `ldmia rN!, {…}`" },
    { Needs::Nothing, "cannot honor width suffix -- `*'", "*,lsl*|*,lsr*|*,asr*|*,ror*|*,rrx",
        "Thumb has no shifted operands: shift first (`lsls r3, r3, #2`), then use the register" },
    { Needs::Nothing, "cannot honor width suffix -- `*'",
        "*s r8,*|*s r9,*|*s r10,*|*s r11,*|*s r12,*|*s lr,*|*s ip,*|*s fp,*", LowRegisters },
    { Needs::Nothing, "cannot honor width suffix -- `*'",
        "mov *|add *|sub *|and *|orr *|eor *|bic *|mvn *|adc *|sbc *|neg *|mul *|lsl *|lsr "
        "*|asr *|ror *",
        "under `.syntax unified`, 16-bit Thumb forms set the flags: write `{mnemonic}s` with "
        "r0–r7" },
    { Needs::Nothing, "cannot honor width suffix -- `*'", "",
        "the ARM7TDMI has only 16-bit Thumb forms, and this statement has none: see Thumb's "
        "`{mnemonic}`" },
    { Needs::Nothing, "thumb conditional instruction should be in IT block -- `*'", "",
        "the ARM7TDMI's Thumb code has no `it` and no conditions but on `b`: branch around "
        "instead" },

    // Registers.
    { Needs::Nothing, "only lo regs allowed with immediate -- `*'|lo register required -- `*'", "",
        LowRegisters },
    { Needs::Nothing, "invalid register list to push/pop instruction -- `*'", "pop *lr*",
        "Thumb `pop` takes r0–r7 and pc, not lr: to return to ARM code, `pop {r3}`, then `bx r3`" },
    { Needs::Nothing,
        "invalid register list to push/pop instruction -- `*'|PC not allowed in "
        "register list -- `*'",
        "", PushPopLists },
    { Needs::Nothing, "Thumb does not support this addressing mode -- `*'",
        "ldr*]!|str*]!|ldr*],*|str*],*", NoWriteBack },
    { Needs::Nothing, "Rd and Rm should be different in mul", "",
        "the ARM7TDMI's `mul` needs its destination apart from its first source: swap them, "
        "`{swapped}`" },
    { Needs::Nothing, "register range not in ascending order", "",
        "`ldm`/`stm` move registers in number order, lowest at the lowest address, whatever the "
        "written order" },

    // Offsets.
    { Needs::UnalignedLabel,
        "invalid offset, target not word aligned (*)|invalid offset, value too big "
        "(*)|invalid immediate for address calculation (value = *)",
        "ldr *|adr *", Unaligned },
    { Needs::Nothing,
        "symbol * is in a different section|address calculation needs a strongly defined nearby "
        "symbol",
        "adr *",
        "`adr` reaches only labels in its own section: load the address with `ldr rN, =label`" },
    { Needs::Nothing, "bad immediate value for offset (*)", "",
        "ARM `ldr`, `str`, `ldrb` and `strb` reach ±4095 bytes: compute the address first (`add "
        "rN, rM, #…`)" },
    { Needs::Nothing, "bad immediate value for 8-bit offset (*)", "",
        "ARM `ldrh`, `strh`, `ldrsb` and `ldrsh` reach ±255 bytes: compute the address first" },
    { Needs::Nothing, "invalid offset, value too big (*)", "ldr *,[sp*|str *,[sp*|ldr *,[pc*",
        "Thumb `ldr` and `str` from sp or pc reach 0–1020 in steps of 4: compute the address "
        "first" },
    { Needs::Nothing, "invalid offset, value too big (*)", "ldrh *|strh *",
        "Thumb `ldrh` and `strh` reach 0–62 in steps of 2: compute the address first (`adds rN, "
        "#…`)" },
    { Needs::Nothing, "invalid offset, value too big (*)", "ldrb *|strb *",
        "Thumb `ldrb` and `strb` reach 0–31: compute the address first (`adds rN, #…`)" },
    { Needs::Nothing, "invalid offset, value too big (*)", "ldr *,[*|str *,[*",
        "Thumb `ldr` and `str` reach 0–124 in steps of 4: compute the address first (`adds rN, "
        "#…`)" },
    { Needs::Nothing, "invalid offset, value too big (*)", "ldr *",
        "Thumb `ldr rN, label` reaches 0–1020 bytes forward: put the data nearer, after a branch "
        "or return" },
    { Needs::Nothing, "invalid immediate for address calculation (value = *)", "",
        "Thumb `add rD, pc, #` and `add rD, sp, #` take 0–1020 in steps of 4" },
    { Needs::Nothing,
        "invalid immediate for stack address calculation|immediate value out of range",
        "add sp,*|sub sp,*|adds sp,*|subs sp,*", SpForms },
    { Needs::Nothing, "invalid immediate for stack address calculation", "",
        "Thumb `add sp, #` and `sub sp, #` take 0–508 in steps of 4: move sp in several steps" },

    { Needs::ThumbCode, "invalid swi expression|value of * too large for field of 2 bytes*",
        "swi *|svc *",
        "Thumb `swi` takes the function's number itself, 0–255 (`swi 0x05`); ARM takes it in bits "
        "16–23" },

    // Macros and blocks.
    { Needs::InMacro, "symbol `*' is already defined", "",
        "`{1}` is defined in a macro used more than once: name it `{1}\\@` (one per use), or use "
        "`1:`, `1b`" },
    { Needs::Nothing, "unexpected end of file in macro `*' definition", "",
        "the macro `{1}` begun here has no end: add `.endm` after its last line" },
    { Needs::Nothing, "here is the start of the unterminated conditional", "",
        "the `.if` begun here has no end: add `.endif` after its last line" },
    { Needs::OpenRepeat, "REPT without ENDR|unexpected end of file in irp or irpc|IRP without ENDR",
        "", "the `{mnemonic}` begun here has no end: add `.endr` after its last line" },

    // Symbols, includes and entry into Thumb code.
    { Needs::LocalDefinition, "undefined reference to `*'", "",
        "`{1}` is defined here without `.global`, so other files cannot use it: add `.global "
        "{1}`" },
    { Needs::CloseName, "undefined reference to `*'", "",
        "did you mean `{name}`? It is defined here" },
    { Needs::LocalDefinition, "*defines no global `*`*", "",
        "`{2}` is defined here, but not global: add `.global {2}` before it", 2 },
    { Needs::BuildMention,
        "can't open * for reading: No such file or directory|file not found: *|*: No such file "
        "or directory",
        "", NotMadeYet },
    { Needs::Nothing,
        "ARM code enters the Thumb code at `*` through `bx` with an address from "
        "`adr`*",
        "", "write `adr rN, {1} + 1`, so that `bx` enters it in Thumb state" },
    { Needs::Nothing, "ARM code branches to the Thumb code at `*`, which lacks `.thumb_func`*", "",
        "put `.thumb_func` on the line before `{1}:`, so that the linker makes the call change "
        "state" },
    { Needs::Nothing, "ARM `swi *` asks the firmware for function 0*", "",
        "in ARM code write the number shifted into bits 16–23, `swi {1}0000`; Thumb's `swi` "
        "takes it as it is" },
    { Needs::Nothing, "`*` is set again to another value, which holds from here on: line *", "",
        "give each value a name of its own, or keep one `.equ {1}`" },
    { Needs::Nothing, "the code from `*` stores bytes into *", "",
        "store halfwords there (`strh`): read the halfword, change its byte, and write it back" },
    { Needs::Nothing, "`*` is not at a multiple of 4, and the code loads a word from it*", "",
        "put `.balign 4` on the line before `{1}:`" },
    { Needs::Nothing, "`*` is at an odd address, and the code loads a halfword from it*", "",
        "put `.balign 2` on the line before `{1}:`" },
    { Needs::Nothing, "section `*` has contents but no flags*", "",
        "write `.section {1}, \"ax\", %progbits` (`\"aw\"` for data), so that it is linked in" },
    { Needs::Nothing, "the code from `*` runs on from its last instruction into data*", "",
        "end it with a return (`bx lr`) or a branch, or `b .` to stay there; put data after that" },
    { Needs::Nothing, "ARM code enters the Thumb code at `*` through `bx`*", "",
        "put `.thumb_func` on the line before `{1}:`, or load `{1} + 1`, so that `bx` enters "
        "Thumb state" },
};

constexpr std::string_view IncludeTraces[] = { "In file included from ", "                 from " };
constexpr std::string_view Kinds[]
    = { "Error: ", "Warning: ", "fatal error: ", "error: ", "warning: " };
constexpr std::string_view ConditionCodes[] = { "eq", "ne", "cs", "hs", "cc", "lo", "mi", "pl",
    "vs", "vc", "hi", "ls", "ge", "lt", "gt", "le", "al" };
constexpr std::string_view Registers[] = { "r10", "r11", "r12", "r13", "r14", "r15", "r0", "r1",
    "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9", "sp", "lr", "pc", "ip", "fp", "sl", "sb" };

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Where a message is, and what it says after its place and kind.
struct Place
{
    std::string file;
    unsigned line = 0;
};

struct Message
{
    Place place;
    std::string_view text;
};

// The line of an element that is its message: the first one that is no include trace.
std::string_view messageLine(std::string_view element)
{
    while (true) {
        const std::string_view line = element.substr(0, element.find('\n'));
        const bool trace = std::any_of(std::begin(IncludeTraces), std::end(IncludeTraces),
            [line](std::string_view lead) { return startsWith(line, lead); });
        if (!trace || line.size() == element.size())
            return line;
        element.remove_prefix(line.size() + 1);
    }
}

// "FILE:LINE:" (with a column, or ld's section offset, after it) or "FILE: " at the start.
bool readMessage(std::string_view line, Message *message)
{
    const MessagePlace place = messagePlace(line);
    if (place.line != 0) {
        message->place = { std::string(place.file), place.line };
        message->text = line.substr(place.end + 1);
    }
    if (message->place.line == 0) {
        const std::size_t separator = line.find(": ");
        if (separator == std::string_view::npos || separator == 0)
            return false;
        // ld places what it cannot put on a line as "FILE:(SECTION+OFFSET): ".
        std::string_view file = line.substr(0, separator);
        const std::size_t section = file.rfind(":(");
        if (section != std::string_view::npos && file.back() == ')')
            file = file.substr(0, section);
        message->place.file = std::string(file);
        message->text = line.substr(separator + 1);
    }
    while (!message->text.empty() && isBlank(message->text.front()))
        message->text.remove_prefix(1);
    for (const std::string_view kind : Kinds) {
        if (startsWith(message->text, kind)) {
            message->text.remove_prefix(kind.size());
            break;
        }
    }
    // ld's place in a section, "(.text+0x8): ", says nothing a person reads.
    const std::size_t offset = message->text.find("): ");
    if (startsWith(message->text, "(") && offset != std::string_view::npos
        && message->text.substr(0, offset).find('+') != std::string_view::npos)
        message->text.remove_prefix(offset + 3);
    return true;
}

// A pattern of the table against a text, with its captures; alternatives are tried in turn.
bool matchesOne(std::string_view pattern, std::string_view text, std::vector<std::string> *captures)
{
    if (pattern.empty())
        return text.empty();
    if (pattern.front() == '*') {
        for (std::size_t length = 0; length <= text.size(); ++length) {
            captures->emplace_back(text.substr(0, length));
            if (matchesOne(pattern.substr(1), text.substr(length), captures))
                return true;
            captures->pop_back();
        }
        return false;
    }
    const auto oneOf = [&](std::string_view token, const auto &words, bool *matched) {
        if (!startsWith(pattern, token))
            return false;
        *matched = std::any_of(std::begin(words), std::end(words), [&](std::string_view word) {
            return startsWith(text, word)
                && matchesOne(pattern.substr(token.size()), text.substr(word.size()), captures);
        });
        return true;
    };
    bool matched = false;
    if (oneOf("{cc}", ConditionCodes, &matched) || oneOf("{reg}", Registers, &matched))
        return matched;
    return !text.empty() && pattern.front() == text.front()
        && matchesOne(pattern.substr(1), text.substr(1), captures);
}

bool matches(std::string_view pattern, std::string_view text, std::vector<std::string> *captures)
{
    while (true) {
        const std::size_t bar = pattern.find('|');
        captures->clear();
        if (matchesOne(pattern.substr(0, bar), text, captures))
            return true;
        if (bar == std::string_view::npos)
            return false;
        pattern.remove_prefix(bar + 1);
    }
}

// The line of a text, counted from 1; empty past its end.
std::string_view lineOf(std::string_view text, unsigned line)
{
    std::size_t start = 0;
    for (unsigned at = 1; at < line && start != std::string_view::npos; ++at) {
        start = text.find('\n', start);
        if (start != std::string_view::npos)
            ++start;
    }
    if (line == 0 || start == std::string_view::npos || start >= text.size())
        return {};
    return text.substr(start, text.find('\n', start) - start);
}

// The line without its comment: from an '@' or "//" outside a string to its end.
std::string_view withoutComment(std::string_view line)
{
    bool inString = false;
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] == '"' && (at == 0 || line[at - 1] != '\\'))
            inString = !inString;
        if (!inString && (line[at] == '@' || line.substr(at, 2) == "//"))
            return line.substr(0, at);
    }
    return line;
}

// A statement as as quotes it: lower case, without its labels, and without blanks but the
// one after the mnemonic.
std::string asQuoted(std::string_view statement)
{
    while (true) {
        std::size_t at = 0;
        while (at < statement.size() && isBlank(statement[at]))
            ++at;
        std::size_t end = at;
        while (end < statement.size() && SourceText::isSymbolCharacter(statement[end]))
            ++end;
        if (end == at || end >= statement.size() || statement[end] != ':')
            break;
        statement.remove_prefix(end + 1);
    }
    std::string quoted;
    bool afterMnemonic = false;
    for (const char c : statement) {
        if (isBlank(c)) {
            afterMnemonic = afterMnemonic || !quoted.empty();
            continue;
        }
        if (afterMnemonic && quoted.find(' ') == std::string::npos)
            quoted += ' ';
        quoted += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return quoted;
}

std::string withoutBlanks(std::string_view text)
{
    std::string result;
    for (const char c : text) {
        if (!isBlank(c))
            result += char(std::tolower(static_cast<unsigned char>(c)));
    }
    return result;
}

// Whether a statement after a ';' on the line begins with what the message quotes.
bool quotesAfterSemicolon(std::string_view line, std::string_view quoted)
{
    const std::string wanted = withoutBlanks(quoted);
    line = withoutComment(line);
    for (std::size_t semicolon = line.find(';');
         !wanted.empty() && semicolon != std::string_view::npos;
         semicolon = line.find(';', semicolon + 1)) {
        if (startsWith(withoutBlanks(line.substr(semicolon + 1)), wanted))
            return true;
    }
    return false;
}

// The label that begins a line, if any; numeric local labels ("1:") are none.
std::string_view labelOf(std::string_view line)
{
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at]))
        ++at;
    std::size_t end = at;
    while (end < line.size() && SourceText::isSymbolCharacter(line[end]))
        ++end;
    if (end == at || end >= line.size() || line[end] != ':' || isDigit(line[at]))
        return {};
    return line.substr(at, end - at);
}

// Whether a statement, as as quotes it, can only be ARM code: a mnemonic that Thumb lacks,
// a condition on anything but a branch, or a shifted operand.
bool onlyArm(std::string_view statement)
{
    constexpr std::string_view ArmOnly[] = { "stmfd", "ldmfd", "stmdb", "ldmdb", "stmib", "ldmib",
        "stmda", "ldmda", "stmed", "ldmed", "stmea", "ldmea", "stmfa", "ldmfa", "mrs", "msr", "swp",
        "swpb", "mla", "umull", "smull", "umlal", "smlal", "rsc", "teq" };
    constexpr std::string_view Conditional[] = { "mov", "mvn", "add", "adc", "sub", "sbc", "rsb",
        "and", "orr", "eor", "bic", "cmp", "cmn", "tst", "ldr", "str", "ldm", "stm", "mul" };
    const std::string_view mnemonic = statement.substr(0, statement.find(' '));
    const std::string_view operands
        = mnemonic.size() < statement.size() ? statement.substr(mnemonic.size() + 1) : "";
    if (std::find(std::begin(ArmOnly), std::end(ArmOnly), mnemonic) != std::end(ArmOnly))
        return true;
    for (const std::string_view shift : { ",lsl", ",lsr", ",asr", ",ror", ",rrx" }) {
        if (operands.find(shift) != std::string_view::npos)
            return true;
    }
    for (const std::string_view base : Conditional) {
        if (!startsWith(mnemonic, base))
            continue;
        std::string_view rest = mnemonic.substr(base.size());
        if (startsWith(rest, "s"))
            rest.remove_prefix(1);
        if (rest.size() >= 2
            && std::find(std::begin(ConditionCodes), std::end(ConditionCodes), rest.substr(0, 2))
                != std::end(ConditionCodes))
            return true;
    }
    return false;
}

// The state and syntax in force at a line, by the directives before it, and the routine the
// line is in. Code starts as ARM, in the divided syntax.
struct Mode
{
    bool thumb = false;
    bool unified = false;
    // The line of the directive that set the state; 0 for the start of the file.
    unsigned stateLine = 0;
    // The last label before the line, whether it was marked as a Thumb function, and
    // whether it begins a routine: code does not run into it from the statement before (a
    // branch, a return, a directive), so it is no loop's label inside a routine.
    std::string routine;
    unsigned routineLine = 0;
    bool routineMarked = false;
    bool routineBegins = false;
    // Whether a statement from that label to the line itself can only be ARM code.
    bool armStatements = false;
};

// Whether the statement, as as quotes it, ends the straight line of code.
bool endsFlow(std::string_view statement)
{
    const std::string_view mnemonic = statement.substr(0, statement.find(' '));
    const bool writesPc = statement.find("pc}") != std::string_view::npos
        || statement.find(" pc,") != std::string_view::npos;
    return statement.empty() || statement.front() == '.' || mnemonic == "b" || mnemonic == "bx"
        || ((startsWith(mnemonic, "pop") || startsWith(mnemonic, "ldm")
                || startsWith(mnemonic, "mov") || startsWith(mnemonic, "ldr"))
            && writesPc);
}

Mode modeAt(std::string_view text, unsigned line)
{
    Mode mode;
    bool marking = false;
    bool ended = true;
    for (unsigned at = 1; at <= line && !text.empty(); ++at) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view code = withoutComment(text.substr(0, end));
        const std::string statement = asQuoted(code);
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::string_view label = labelOf(code);
        if (!label.empty()) {
            mode.routine = std::string(label);
            mode.routineLine = at;
            mode.routineMarked = marking;
            mode.routineBegins = ended;
            mode.armStatements = false;
            marking = false;
        }
        if (!statement.empty())
            ended = endsFlow(statement);
        if (at == line) {
            mode.armStatements = mode.armStatements || onlyArm(statement);
            break;
        }
        if (statement == ".thumb" || statement == ".force_thumb" || statement == ".code 16") {
            mode.thumb = true;
            mode.stateLine = at;
        } else if (statement == ".thumb_func") {
            mode.thumb = marking = true;
        } else if (statement == ".arm" || statement == ".code 32") {
            mode.thumb = false;
            mode.stateLine = at;
        } else if (statement == ".syntax unified" || statement == ".syntax divided") {
            mode.unified = statement == ".syntax unified";
        } else if (startsWith(statement, ".type ")
            && statement.find("function") != std::string::npos) {
            marking = mode.thumb;
        } else if (!statement.empty() && !startsWith(statement, ".global")
            && !startsWith(statement, ".align") && !startsWith(statement, ".balign")) {
            mode.armStatements = mode.armStatements || onlyArm(statement);
            marking = false;
        }
    }
    return mode;
}

// The line of the last `.rept`, `.irp` or `.irpc` of the text that no `.endr` closes, and
// its directive; 0 when each is closed.
unsigned openRepeat(std::string_view text, std::string *directive)
{
    std::vector<std::pair<unsigned, std::string>> open;
    for (unsigned at = 1; !text.empty(); ++at) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string statement = asQuoted(withoutComment(text.substr(0, end)));
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::string mnemonic = statement.substr(0, statement.find(' '));
        if (mnemonic == ".rept" || mnemonic == ".irp" || mnemonic == ".irpc")
            open.emplace_back(at, mnemonic);
        else if (mnemonic == ".endr" && !open.empty())
            open.pop_back();
    }
    if (open.empty())
        return 0;
    *directive = open.back().second;
    return open.back().first;
}

// Whether the line lies between a `.macro` and its `.endm`.
bool inMacro(std::string_view text, unsigned line)
{
    bool inside = false;
    for (unsigned at = 1; at <= line && !text.empty(); ++at) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string statement = asQuoted(withoutComment(text.substr(0, end)));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (startsWith(statement, ".macro "))
            inside = true;
        else if (statement == ".endm")
            inside = false;
    }
    return inside;
}

// Whether the code holds a '#' that no immediate follows: one after a blank that comes after
// something other than the separators an operand follows.
bool hashAsComment(std::string_view code)
{
    for (std::size_t at = code.find('#'); at != std::string_view::npos;
         at = code.find('#', at + 1)) {
        std::size_t before = at;
        while (before > 0 && isBlank(code[before - 1]))
            --before;
        if (before > 0 && before < at
            && std::string_view(",[{(").find(code[before - 1]) == std::string_view::npos)
            return true;
    }
    return false;
}

// The first character outside ASCII in the statement (not in its comment nor a string), as "U+XXXX"
// with its name where it is one that is easily typed unseen; empty when there is none.
std::string nonAscii(std::string_view code)
{
    bool inString = false;
    const auto at = std::find_if(code.begin(), code.end(), [&inString](char c) {
        inString = inString != (c == '"');
        return !inString && static_cast<unsigned char>(c) >= 0x80;
    });
    if (at == code.end())
        return {};
    const auto byte = [&](std::size_t i) {
        const std::size_t index = std::size_t(at - code.begin()) + i;
        return index < code.size() ? static_cast<unsigned char>(code[index]) & 0x3Fu : 0u;
    };
    const unsigned first = static_cast<unsigned char>(*at);
    unsigned point = first;
    if ((first & 0xE0) == 0xC0)
        point = ((first & 0x1F) << 6) | byte(1);
    else if ((first & 0xF0) == 0xE0)
        point = ((first & 0x0F) << 12) | (byte(1) << 6) | byte(2);
    else if ((first & 0xF8) == 0xF0)
        point = ((first & 0x07) << 18) | (byte(1) << 12) | (byte(2) << 6) | byte(3);
    constexpr std::pair<unsigned, std::string_view> Names[] = { { 0xA0, "a no-break space" },
        { 0x200B, "a zero-width space" }, { 0xFEFF, "a byte-order mark" }, { 0x2013, "an en dash" },
        { 0x2212, "a minus sign" }, { 0x2019, "a curly quote" } };
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", point);
    std::string named(number);
    for (const auto &[code, name] : Names) {
        if (code == point)
            named += std::string(" (") + std::string(name) + ')';
    }
    return named;
}

// A mnemonic with its flag-setting 's' and its condition in the other syntax's order:
// "movsne" in unified, "movnes" in divided syntax.
std::string respelt(std::string_view mnemonic)
{
    const auto isCondition = [](std::string_view two) {
        return std::find(std::begin(ConditionCodes), std::end(ConditionCodes), two)
            != std::end(ConditionCodes);
    };
    const std::size_t size = mnemonic.size();
    if (size >= 4 && mnemonic[size - 3] == 's' && isCondition(mnemonic.substr(size - 2)))
        return std::string(mnemonic.substr(0, size - 3)) + std::string(mnemonic.substr(size - 2))
            + 's';
    if (size >= 4 && mnemonic.back() == 's' && isCondition(mnemonic.substr(size - 3, 2)))
        return std::string(mnemonic.substr(0, size - 3)) + 's'
            + std::string(mnemonic.substr(size - 3, 2));
    return std::string(mnemonic);
}

// The edit distance of two names, an exchange of two neighbours counting as one edit.
std::size_t distance(std::string_view one, std::string_view other)
{
    std::vector<std::vector<std::size_t>> d(
        one.size() + 1, std::vector<std::size_t>(other.size() + 1));
    for (std::size_t i = 0; i <= one.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= other.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= one.size(); ++i) {
        for (std::size_t j = 1; j <= other.size(); ++j) {
            const std::size_t change = one[i - 1] == other[j - 1] ? 0 : 1;
            d[i][j] = std::min({ d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change });
            if (i > 1 && j > 1 && one[i - 1] == other[j - 2] && one[i - 2] == other[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[one.size()][other.size()];
}

// The first line of the text that names the file, or its base name, as a word of its own.
unsigned mentionLine(std::string_view text, std::string_view file)
{
    const std::string_view base = file.substr(file.find_last_of('/') + 1);
    const auto isNamePart = [](char c) { return SourceText::isSymbolCharacter(c) || c == '-'; };
    for (std::size_t at = text.find(base); !base.empty() && at != std::string_view::npos;
         at = text.find(base, at + 1)) {
        const std::size_t end = at + base.size();
        if ((at == 0 || !isNamePart(text[at - 1]))
            && (end == text.size() || !isNamePart(text[end])))
            return unsigned(std::count(text.begin(), text.begin() + std::ptrdiff_t(at), '\n')) + 1;
    }
    return 0;
}

// What a message is about, looked up once for all the rows.
struct Subject
{
    // The text of the message's file, and its line; null and empty when not known.
    const std::string *text = nullptr;
    std::string_view line;
    // What the message quotes between ` and ', and the statement it is about as as quotes it.
    std::string_view quoted;
    std::string statement;
    // The statement's mnemonic and the rest.
    std::string_view mnemonic;
    std::string_view operands;
};

// A `mul` with its two sources exchanged, in the form a person writes it.
std::string swappedSources(const Subject &about)
{
    std::vector<std::string_view> operands;
    std::string_view rest = about.operands;
    for (std::size_t comma = rest.find(','); !rest.empty(); comma = rest.find(',')) {
        operands.push_back(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (operands.size() != 3)
        return std::string(about.statement);
    return std::string(about.mnemonic) + ' ' + std::string(operands[0]) + ", "
        + std::string(operands[2]) + ", " + std::string(operands[1]);
}

// Finds the note for one message after the other, and where it is to be.
class Explainer
{
public:
    explicit Explainer(ProgramFacts *facts)
        : m_facts(facts)
    {
    }

    // The note line for the message, or nothing.
    std::string noteFor(const Message &message);

private:
    bool fits(const Hint &hint, const Message &message, const Subject &about,
        const std::vector<std::string> &captures, Place *place,
        std::map<std::string, std::string> *values);
    Place definitionPlace(const ProgramFacts::Definition &definition);

    ProgramFacts *m_facts;
    std::set<std::string> m_said;
    std::set<std::string> m_semicolonFiles;
};

Place Explainer::definitionPlace(const ProgramFacts::Definition &definition)
{
    const std::string *text = m_facts->text(definition.file);
    if (definition.line != 0)
        return { definition.file,
            text ? SourceText::labelLine(*text, definition.name, definition.line)
                 : definition.line };
    return { definition.file, text ? SourceText::definitionLine(*text, definition.name) : 0 };
}

bool Explainer::fits(const Hint &hint, const Message &message, const Subject &about,
    const std::vector<std::string> &captures, Place *place,
    std::map<std::string, std::string> *values)
{
    std::vector<std::string> unused;
    if (!hint.statement.empty()
        && (about.statement.empty() || !matches(hint.statement, about.statement, &unused)))
        return false;
    const std::string subject
        = hint.subject <= captures.size() ? captures[hint.subject - 1] : std::string();
    *place = message.place;
    switch (hint.needs) {
    case Needs::Nothing:
        return true;
    case Needs::ArmCode:
    case Needs::ThumbCode:
        return about.text
            && modeAt(*about.text, message.place.line).thumb == (hint.needs == Needs::ThumbCode);
    case Needs::UnifiedSyntax:
    case Needs::DividedSyntax:
        return about.text
            && modeAt(*about.text, message.place.line).unified
            == (hint.needs == Needs::UnifiedSyntax);
    case Needs::ArmRoutineInThumb: {
        if (!about.text)
            return false;
        const Mode mode = modeAt(*about.text, message.place.line);
        if (!mode.thumb || mode.routineMarked || !mode.routineBegins
            || mode.routineLine <= mode.stateLine || !mode.armStatements)
            return false;
        place->line = mode.routineLine;
        (*values)["stateline"] = std::to_string(mode.stateLine);
        (*values)["routine"] = mode.routine;
        return true;
    }
    case Needs::UnalignedLabel: {
        const unsigned long offset = std::strtoul(subject.c_str(), nullptr, 0);
        if ((offset & 3) == 0 || !about.text)
            return false;
        // The label as written in the line, which as quotes in lower case.
        const std::string_view code = withoutComment(about.line);
        std::size_t end = code.size();
        while (end > 0 && !SourceText::isSymbolCharacter(code[end - 1]))
            --end;
        std::size_t begin = end;
        while (begin > 0 && SourceText::isSymbolCharacter(code[begin - 1]))
            --begin;
        const std::string written(code.substr(begin, end - begin));
        const unsigned defined = SourceText::definitionLine(*about.text, written);
        if (defined == 0)
            return false;
        (*values)["label"] = written;
        (*values)["labelline"] = std::to_string(defined);
        return true;
    }
    case Needs::InMacro:
        return about.text && inMacro(*about.text, message.place.line);
    case Needs::OpenRepeat: {
        std::string directive;
        const unsigned line = about.text ? openRepeat(*about.text, &directive) : 0;
        place->line = line;
        (*values)["mnemonic"] = directive;
        return line != 0;
    }
    case Needs::HashComment:
        return hashAsComment(withoutComment(about.line));
    case Needs::NonAscii: {
        const std::string character = nonAscii(withoutComment(about.line));
        (*values)["char"] = character;
        return !character.empty();
    }
    case Needs::Semicolon:
        return quotesAfterSemicolon(about.line, about.quoted)
            && m_semicolonFiles.insert(message.place.file).second;
    case Needs::LocalDefinition:
    case Needs::CloseName: {
        const std::vector<ProgramFacts::Definition> &definitions = m_facts->definitions();
        const ProgramFacts::Definition *best = nullptr;
        std::size_t bestDistance = subject.size() / 3 + 1;
        for (const ProgramFacts::Definition &definition : definitions) {
            if (hint.needs == Needs::LocalDefinition) {
                if (!definition.global && definition.name == subject) {
                    best = &definition;
                    break;
                }
                continue;
            }
            const std::size_t apart = distance(definition.name, subject);
            if (apart > 0 && apart < bestDistance) {
                best = &definition;
                bestDistance = apart;
            }
        }
        if (!best)
            return false;
        *place = definitionPlace(*best);
        (*values)["name"] = best->name;
        return true;
    }
    case Needs::BuildMention:
        for (const ProgramFacts::Document &document : m_facts->buildDescriptions()) {
            const unsigned at = mentionLine(document.text, subject);
            if (at != 0) {
                *place = { document.file, at };
                return true;
            }
        }
        return false;
    }
    return false;
}

std::string Explainer::noteFor(const Message &message)
{
    Subject about;
    about.text = message.place.line ? m_facts->text(message.place.file) : nullptr;
    about.line = about.text ? lineOf(*about.text, message.place.line) : std::string_view();
    const std::size_t open = message.text.find('`');
    const std::size_t close = message.text.rfind('\'');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open)
        about.quoted = message.text.substr(open + 1, close - open - 1);
    const std::string_view code = withoutComment(about.line);
    about.statement
        = asQuoted(about.quoted.empty() ? code.substr(0, code.find(';')) : about.quoted);
    const std::string_view statement = about.statement;
    about.mnemonic = statement.substr(0, statement.find(' '));
    about.operands = about.mnemonic.size() < statement.size()
        ? statement.substr(about.mnemonic.size() + 1)
        : std::string_view();

    std::vector<std::string> captures;
    for (const Hint &hint : Hints) {
        Place place;
        std::map<std::string, std::string> values;
        if (!matches(hint.message, message.text, &captures)
            || !fits(hint, message, about, captures, &place, &values))
            continue;
        const std::string_view mnemonic = about.mnemonic;
        values.try_emplace("mnemonic", mnemonic);
        values["respelt"] = respelt(mnemonic);
        const bool flags = !mnemonic.empty() && mnemonic.back() == 's';
        values["plain"] = mnemonic.substr(0, mnemonic.size() - (flags ? 1 : 0));
        values["swapped"] = swappedSources(about);
        for (std::size_t i = 0; i < captures.size() && i < 9; ++i)
            values[std::to_string(i + 1)] = captures[i];
        std::string note(hint.note);
        // Braces that name no value ("{r3}" in a register list) stay as written.
        for (std::size_t open = note.find('{'); open != std::string::npos;
             open = note.find('{', open + 1)) {
            const std::size_t close = note.find('}', open);
            const auto value = values.find(note.substr(open + 1, close - open - 1));
            if (close == std::string::npos || value == values.end())
                continue;
            note.replace(open, close - open + 1, value->second);
            open += value->second.size() - 1;
        }
        std::string line
            = place.file + (place.line ? ':' + std::to_string(place.line) : "") + ": note: " + note;
        return m_said.insert(line).second ? line : std::string();
    }
    return {};
}

// The positions of each file's messages with a line, their messages put in line order.
void putInLineOrder(std::vector<std::string> *messages, const std::vector<Message> &read)
{
    std::map<std::string, std::vector<std::size_t>> byFile;
    for (std::size_t i = 0; i < read.size(); ++i) {
        if (read[i].place.line != 0)
            byFile[read[i].place.file].push_back(i);
    }
    for (const auto &[file, positions] : byFile) {
        std::vector<std::size_t> ordered = positions;
        std::stable_sort(
            ordered.begin(), ordered.end(), [&read](std::size_t one, std::size_t other) {
                return read[one].place.line < read[other].place.line;
            });
        std::vector<std::string> moved;
        for (const std::size_t from : ordered)
            moved.push_back(std::move((*messages)[from]));
        for (std::size_t i = 0; i < positions.size(); ++i)
            (*messages)[positions[i]] = std::move(moved[i]);
    }
}

} // namespace

std::vector<std::string> explainMessages(std::vector<std::string> messages, ProgramFacts *facts)
{
    std::vector<Message> read(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (!readMessage(messageLine(messages[i]), &read[i]))
            read[i] = Message();
    }
    // Notes are found in line order, so that a note said once comes at its first place.
    putInLineOrder(&messages, read);
    Explainer explainer(facts);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        Message message;
        if (!readMessage(messageLine(messages[i]), &message))
            continue;
        const std::string note = explainer.noteFor(message);
        if (!note.empty())
            messages[i] += '\n' + note;
    }
    return messages;
}

std::vector<std::string_view> hintNotes()
{
    std::vector<std::string_view> notes;
    for (const Hint &hint : Hints)
        notes.push_back(hint.note);
    return notes;
}

} // namespace Tarnwick
