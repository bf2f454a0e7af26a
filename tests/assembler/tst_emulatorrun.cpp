// Runs assembled programs in mgba on the X display it is given (CTest runs it under
// tests/gui/private-desktop) and reads back, with mgba's command-line debugger, what they
// drew or left in memory: the example that reserves its own header, and programs linked
// behind tarnwick's start-up; and gdb-multiarch on mgba's GDB stub finds its way from a
// label to the source with the linked program that tarnwick keeps beside the image. The
// emulators run side by side, one session each.

#include "testtools.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <limits>
#include <memory>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestTools;

namespace {

constexpr int ProcessBoundSeconds = 60;
constexpr int SessionMs = 30 * 1000;
constexpr int TermWaitMs = 2 * 1000;
constexpr int KillWaitMs = 5 * 1000;
constexpr quint32 DisplayControl = 0x04000000;
constexpr quint32 VideoMemory = 0x06000000;
constexpr int ScreenWidth = 240;
constexpr int ScreenHeight = 160;
constexpr quint32 StartupLoop = 0xEAFFFFFE; // "b ." in ARM
constexpr quint16 ThumbLoop = 0xE7FE; // "b ." in Thumb
constexpr quint32 InternalRam = 0x03000000;
constexpr quint32 InternalRamBelowStacks = 0x03007B00;
constexpr quint32 ExternalRam = 0x02000000;
constexpr quint32 ExternalRamEnd = 0x02040000;
// Where the test programs leave what they saw, as words: in external RAM, clear of
// everything the start-up copies or clears.
constexpr quint32 Results = 0x0203FF00;

struct Sample
{
    const char *rule;
    int x;
    int y;
};

// Pixels spread over the screen, with the example's colour rule:
// red = x / 8 in bits 0..4, blue = y / 8 in bits 10..14.
constexpr Sample Samples[] = {
    { "top-left pixel is black", 0, 0 },
    { "red grows along the first row", 17, 0 },
    { "top-right pixel is full-width red", ScreenWidth - 1, 0 },
    { "second row starts right after the first", 0, 1 },
    { "blue grows down the first column", 0, 42 },
    { "bottom-left pixel is blue only", 0, ScreenHeight - 1 },
    { "centre pixel mixes red and blue", ScreenWidth / 2, ScreenHeight / 2 },
    { "bottom-right pixel, the last one drawn", ScreenWidth - 1, ScreenHeight - 1 },
};

quint32 pixelAddress(int x, int y)
{
    return VideoMemory + 2 * quint32(y * ScreenWidth + x);
}

quint16 exampleColour(int x, int y)
{
    return quint16((x / 8) | ((y / 8) << 10));
}

QString hex(quint32 value)
{
    return QStringLiteral("0x%1").arg(value, 8, 16, QLatin1Char('0'));
}

quint32 result(int slot)
{
    return Results + 4 * quint32(slot);
}

// ARM main: records that it ran, its mode and the stacks it was given, and returns.
const QByteArray ArmMain = R"(
        .syntax unified
        .equ    Results, 0x0203FF00
        .text
        .arm
        .global main
main:
        ldr     r4, =Results
        ldr     r0, =0xA4A4A4A4
        str     r0, [r4]
        mrs     r1, cpsr
        and     r0, r1, #0x1F
        str     r0, [r4, #4]
        str     sp, [r4, #8]
        bic     r2, r1, #0x1F           @ a look at the IRQ mode's stack
        orr     r2, r2, #0x12
        msr     cpsr_c, r2
        str     sp, [r4, #12]
        msr     cpsr_c, r1
        bx      lr
        .pool
)";

// A program as the usual homebrew build takes it: through the C preprocessor, with a header
// beside it, and with includes written from the project's top folder although the source
// lies in its src/ folder. Files: "path", "contents", ...; the first is the source.
const QStringList PreprocessedProgram = {
    QStringLiteral("project/src/main.S"),
    QStringLiteral(R"(#include "defs.h"
        .include "src/macros.inc"       // from the project's top folder
        .syntax unified
        .text
        .arm
        .global main
main:
        ldr     r4, =RESULTS
        ldr     r0, =ANSWER
        str     r0, [r4]
#if defined(__arm__) && !defined(linux) && !defined(__x86_64__)
        ldr     r0, =0xC0DE
#else
        ldr     r0, =0xBAD
#endif
        str     r0, [r4, #4]
        ldr     r1, =picture
        ldr     r0, [r1]
        str     r0, [r4, #8]
        ldr     r0, =TOP_VALUE
        str     r0, [r4, #12]
        bx      lr
        .pool
        .section .rodata
picture:
        .incbin "gfx/pic.bin"
)"),
    QStringLiteral("project/src/defs.h"),
    QStringLiteral("#define ANSWER 42\n#define RESULTS 0x0203FF00\n"),
    QStringLiteral("project/src/macros.inc"),
    QStringLiteral("        .equ TOP_VALUE, 0x70F\n"),
    QStringLiteral("project/gfx/pic.bin"),
    QStringLiteral("PIC!"),
};

// Programs laid out as projects, each built from its entry file alone (the first file):
// the usual template (src/, data/, include/), a game beside the lib/ that holds its own
// start-up, linker script and headers, a test in a sub-folder of src/ with includes in a
// sibling include/, and an example that reserves its header and uses the names its
// project's linker script defines. Each leaves words at Results and ends in a "b .".
const QStringList TemplateProject = {
    QStringLiteral("template/src/main.s"),
    QStringLiteral(R"(      .include "hw.inc"
        .text
        .global main
main:   ldr     r1, =notesettings
        ldr     r0, [r1]
        ldr     r1, =Results
        str     r0, [r1]
        ldr     r0, =TemplateMagic
        str     r0, [r1, #4]
        bx      lr
        .pool
)"),
    QStringLiteral("template/include/hw.inc"),
    QStringLiteral("        .equ Results, 0x0203FF00\n        .equ TemplateMagic, 0x7E3A\n"),
    QStringLiteral("template/data/notes.s"),
    QStringLiteral("        .data\n        .global notesettings\nnotesettings: .word 0x5E77\n"),
    QStringLiteral("template/Makefile"),
    QStringLiteral("SOURCES := src data\nINCLUDES := include\n"),
};
const QStringList LibProject = {
    QStringLiteral("libgame/game/main.S"),
    QStringLiteral(R"(#include "gba_io.h"
        .text
        .global main
main:   ldr     r1, =RESULTS
        ldr     r0, =__lib_magic    // a name only the lib's linker script defines
        str     r0, [r1]
        bx      lr
        .pool
)"),
    QStringLiteral("libgame/lib/gba_io.h"),
    QStringLiteral("#define RESULTS 0x0203FF00\n"),
    QStringLiteral("libgame/lib/crt0.s"),
    QStringLiteral(R"(      .text
        .global _start
_start: b       reset
        .space  188
reset:  ldr     sp, =0x03007F00
        ldr     r0, =__bss_start
        ldr     r1, =0x0203FF04
        str     r0, [r1]
        bl      main
        b       .
        .pool
)"),
    QStringLiteral("libgame/lib/cart.ld"),
    QStringLiteral(R"(ENTRY(_start)
MEMORY { rom : ORIGIN = 0x08000000, LENGTH = 32M
         iwram : ORIGIN = 0x03000000, LENGTH = 32K }
SECTIONS {
    .text : { *(.text*) } > rom
    .bss (NOLOAD) : { __bss_start = .; *(.bss*) } > iwram
    __lib_magic = 0x11B0;
}
)"),
    QStringLiteral("libgame/game/Makefile"),
    QStringLiteral("sources := . ../lib\n"),
};
const QStringList TestsProject = {
    QStringLiteral("alutests/src/tests/alu/add.S"),
    QStringLiteral(R"(#include "test.h"
        .text
        .global main
main:   mov     r0, #40
        add     r0, r0, #2
        b       report
)"),
    QStringLiteral("alutests/include/test.h"),
    QStringLiteral("#define RESULTS 0x0203FF00\n"),
    QStringLiteral("alutests/src/common/report.S"),
    QStringLiteral(R"(#include "test.h"
        .text
        .global report
report: ldr     r1, =RESULTS
        str     r0, [r1]
        bx      lr
        .pool
)"),
    QStringLiteral("alutests/Makefile"),
    QStringLiteral("all:\n"),
};
const QStringList ExamplesProject = {
    QStringLiteral("scripted/examples/copy.s"),
    QStringLiteral(R"(      .text
        b       reset
        .space  188
reset:  ldr     r0, =__iwram_position_in_rom
        ldr     r1, =__iwram_start
        ldr     r2, =__iwram_end
1:      cmp     r1, r2
        ldrlo   r3, [r0], #4
        strlo   r3, [r1], #4
        blo     1b
        ldr     r4, =0x0203FF00
        ldr     r0, =value
        ldr     r0, [r0]
        str     r0, [r4]
        ldr     r0, =__bss_end
        ldr     r1, =__bss_start
        sub     r0, r0, r1
        str     r0, [r4, #4]
        b       .
        .pool
        .section .iwram, "aw"
value:  .word   0x1234ABCD
        .bss
        .space  16
)"),
    QStringLiteral("scripted/cart.ld"),
    QStringLiteral(R"(MEMORY { rom : ORIGIN = 0x08000000, LENGTH = 32M
         iwram : ORIGIN = 0x03000000, LENGTH = 32K }
SECTIONS {
    .text : { *(.text*) } > rom
    .iwram : { __iwram_start = .; *(.iwram*) . = ALIGN(4); __iwram_end = .; } > iwram AT > rom
    __iwram_position_in_rom = LOADADDR(.iwram);
    .bss (NOLOAD) : { __bss_start = .; *(.bss*) __bss_end = .; } > iwram
}
)"),
};
// A project with a start-up and a script of its own, whose main needs a routine of another
// file but nothing that only the script gives.
const QStringList OwnStartupProject = {
    QStringLiteral("own/main.S"),
    QStringLiteral("        .text\n        .global main\nmain:   b helper\n"),
    QStringLiteral("own/util.s"),
    QStringLiteral("        .global helper\nhelper: bx lr\n"),
    QStringLiteral("own/crt0.s"),
    QStringLiteral("        .global _start\n_start: b reset\n        .space 188\n"
                   "reset:  ldr sp, =0x03007F00\n        bl main\n        ldr r1, =0x0203FF00\n"
                   "        ldr r0, =0xC127\n        str r0, [r1]\n        b .\n        .pool\n"),
    QStringLiteral("own/cart.ld"),
    QStringLiteral("ENTRY(_start)\nSECTIONS { .text 0x08000000 : { *(.text*) } }\n"),
};
// A project whose script discards what it does not place, debug sections among them.
const QStringList DiscardingProject = {
    QStringLiteral("discard/main.s"),
    QStringLiteral("        .text\n        b reset\n        .space 188\n"
                   "reset:  ldr r0, =__magic\n        b reset\n"),
    QStringLiteral("discard/cart.ld"),
    QStringLiteral("SECTIONS { .text 0x08000000 : { *(.text*) } __magic = 7;\n"
                   "    /DISCARD/ : { *(*) } }\n"),
};
// A main whose first instruction is a bl to a routine past the header's size: a main,
// not a source that reserves the header.
const QStringList BranchingMain = {
    QStringLiteral("synth/main.s"),
    QStringLiteral(R"(      .text
        .global main
main:   bl      isrInit
        ldr     r1, =0x0203FF00
        str     r0, [r1]
        b       .                       @ its lr is gone: it stays here
        .pool
        .space  200
isrInit:
        ldr     r0, =0xB1B1
        bx      lr
        .pool
)"),
};

// Thumb main, started twice: the first time it spoils .data, .bss and .ewram and jumps
// back to the cartridge's first instruction, as a soft reset does; the second time it
// records what the start-up left there, writes, calls an ARM routine in .iwram, and
// returns. Without the restart, RAM the emulator cleared would pass for cleared .bss.
const QByteArray ThumbMain = R"(
        .syntax unified
        .equ    Results, 0x0203FF00
        .equ    Restarted, 0x5EC0DD00
        .data
value:  .word   0x600DDA7A
        .bss
buffer: .space  64
        .section .ewram, "aw"
table:  .word   0x7AB1E000, 0x7AB1E001
        .section .iwram, "ax"
        .arm
        .global where                   @ so that ld gives the far call a veneer
where:  sub     r0, pc, #8              @ pc reads two instructions ahead
        bx      lr
        .text
        .thumb
        .global main
        .thumb_func
main:
        push    {r4, lr}
        ldr     r4, =Results
        ldr     r0, [r4]
        ldr     r1, =Restarted
        cmp     r0, r1
        beq     second
        str     r1, [r4]
        ldr     r0, =0xDEADBEEF
        ldr     r1, =value
        str     r0, [r1]
        ldr     r1, =table
        str     r0, [r1]
        ldr     r1, =buffer
        movs    r2, #16
1:      stmia   r1!, {r0}
        subs    r2, r2, #1
        bne     1b
        ldr     r0, =0x08000000
        bx      r0
second:
        ldr     r1, =value
        str     r1, [r4, #36]
        ldr     r0, [r1]
        str     r0, [r4, #8]
        ldr     r0, =0x12345678
        str     r0, [r1]
        ldr     r0, [r1]
        str     r0, [r4, #12]
        ldr     r1, =buffer
        movs    r2, #16
        movs    r3, #0
2:      ldmia   r1!, {r0}
        orrs    r3, r3, r0
        subs    r2, r2, #1
        bne     2b
        str     r3, [r4, #16]
        bl      where
        str     r0, [r4, #20]
        ldr     r0, =0x7E7
        str     r0, [r4, #24]
        ldr     r1, =table
        str     r1, [r4, #40]
        ldr     r0, [r1]
        str     r0, [r4, #28]
        ldr     r0, =0x7AB1E0FF
        str     r0, [r1, #4]
        ldr     r0, [r1, #4]
        str     r0, [r4, #32]
        pop     {r4}
        pop     {r3}
        bx      r3
        .pool
)";

// Thumb main that returns as compiled Thumb code does, with pop into pc, which on the
// ARMv4T keeps the Thumb state: it comes back to the start-up in Thumb state.
const QByteArray ThumbPopMain = R"(
        .syntax unified
        .text
        .thumb
        .global main
        .thumb_func
main:   push    {r4-r6, lr}
        ldr     r4, =0x0203FF00
        ldr     r5, =0x7B0B7B0B
        str     r5, [r4]
        pop     {r4-r6, pc}
        .pool
)";

// Thumb main without .thumb_func: tarnwick marks it, so the start-up enters it in Thumb
// state; in ARM state these halfwords would not store the word.
const QByteArray UnmarkedThumbMain = R"(
        .syntax unified
        .equ    Results, 0x0203FF00
        .text
        .thumb
        .global main
main:
        ldr     r1, =Results
        ldr     r0, =0x7B7B7B7B
        str     r0, [r1]
        bx      lr
        .pool
)";

// ARM main using the usual linker script's names and section names, started twice like
// ThumbMain: it spoils what the start-up copies or clears, restarts, and then records the
// names' values, what lies where they point, and what it finds in the sections.
const QByteArray LinkerNamesMain = R"(
        .syntax unified
        .equ    Results, 0x0203FF00
        .equ    Restarted, 0x5EC0DD01
        .section .data.names, "aw"
initialised:
        .word   0xDA7A0001, 0xDA7A0002
        .section .iwram.names, "aw"
fast:   .word   0x1A1A0001
        .section .ewram.names, "aw"
slow:   .word   0xE1E10001
        .section .bss.names, "aw", %nobits
cleared:
        .space  8
        .section .sbss, "aw", %nobits
cleared_slow:
        .space  16
        .comm   shared, 4, 4

        .section .text.startup, "ax"
        .arm
        .type   first_thing, %function
first_thing:
        ldr     r0, =0x57A27000
        bx      lr
        .pool

        .text
        .arm
        .global main
main:
        push    {r4, lr}
        ldr     r4, =Results
        ldr     r0, [r4]
        ldr     r1, =Restarted
        cmp     r0, r1
        beq     second
        str     r1, [r4]
        mvn     r0, #0
        ldr     r1, =initialised
        str     r0, [r1, #4]
        ldr     r1, =fast
        str     r0, [r1]
        ldr     r1, =slow
        str     r0, [r1]
        ldr     r1, =cleared
        str     r0, [r1]
        str     r0, [r1, #4]
        ldr     r1, =shared
        str     r0, [r1]
        ldr     r1, =cleared_slow
        str     r0, [r1]
        str     r0, [r1, #12]
        ldr     r0, =0x08000000
        bx      r0
second:
        ldr     r0, =__eheap_end
        str     r0, [r4, #4]
        ldr     r0, =__sp_usr
        str     r0, [r4, #8]
        ldr     r0, =__sp_irq
        str     r0, [r4, #12]
        ldr     r0, =__bss_start__
        ldr     r1, =__bss_end__
        sub     r0, r1, r0
        str     r0, [r4, #16]
        ldr     r1, =cleared
        ldmia   r1, {r0, r2}
        orr     r0, r0, r2
        ldr     r1, =shared
        ldr     r2, [r1]
        orr     r0, r0, r2
        str     r0, [r4, #20]
        ldr     r1, =cleared_slow
        ldmia   r1, {r0, r2, r3, ip}
        orr     r0, r0, r2
        orr     r0, r0, r3
        orr     r0, r0, ip
        str     r0, [r4, #24]
        ldr     r0, =__data_start__
        ldr     r1, =__data_end__
        str     r0, [r4, #28]
        sub     r0, r1, r0
        str     r0, [r4, #32]
        ldr     r0, =__data_lma
        ldr     r0, [r0, #4]
        str     r0, [r4, #36]
        ldr     r1, =initialised
        ldr     r0, [r1, #4]
        str     r0, [r4, #40]
        ldr     r0, =__iwram_start__
        ldr     r1, =__iwram_end__
        sub     r0, r1, r0
        str     r0, [r4, #44]
        ldr     r0, =__iwram_lma
        ldr     r0, [r0]
        str     r0, [r4, #48]
        ldr     r1, =fast
        ldr     r0, [r1]
        str     r0, [r4, #52]
        ldr     r0, =__ewram_start
        str     r0, [r4, #56]
        ldr     r1, =__ewram_end
        sub     r0, r1, r0
        str     r0, [r4, #60]
        ldr     r0, =__ewram_lma
        ldr     r0, [r0]
        str     r0, [r4, #64]
        ldr     r1, =slow
        ldr     r0, [r1]
        str     r0, [r4, #68]
        ldr     r0, =__eheap_start
        str     r0, [r4, #72]
        bl      first_thing
        str     r0, [r4, #76]
        pop     {r4, lr}
        bx      lr
        .pool
)";

// Cleared external RAM and nothing else there: the start-up copies its zeros from ROM.
const QByteArray ClearedExternalOnlyMain = R"(
        .syntax unified
        .equ    Results, 0x0203FF00
        .section .sbss.zeros, "aw", %nobits
zeros:  .space  16
        .text
        .arm
        .global main
main:
        ldr     r1, =zeros
        ldmia   r1, {r0, r2, r3, ip}
        orr     r0, r0, r2
        orr     r0, r0, r3
        orr     r0, r0, ip
        ldr     r2, =Results
        str     r0, [r2, #4]
        str     r1, [r2, #8]
        ldr     r0, =0x5B550000
        str     r0, [r2]
        bx      lr
        .pool
)";

// Divides every pair in the table that Operands stands for with the four EABI routines,
// called with bl from ARM code and then from Thumb code (through the veneers ld adds),
// and leaves each pair's results as words at DivisionResults: see divisionResult().
const QByteArray DivisionMain = R"(
        .syntax unified
        .equ    DivisionResults, 0x0203F000
        .text
        .arm
        .global main
main:
        push    {r4, r5, r6, lr}
        ldr     r4, =operands
        ldr     r5, =operands_end
        ldr     r6, =DivisionResults
arm_pair:
        ldmia   r4, {r0, r1}
        bl      __aeabi_idivmod
        str     r0, [r6]
        str     r1, [r6, #4]
        ldmia   r4, {r0, r1}
        bl      __aeabi_uidivmod
        str     r0, [r6, #8]
        str     r1, [r6, #12]
        ldmia   r4, {r0, r1}
        bl      __aeabi_idiv
        str     r0, [r6, #16]
        ldmia   r4, {r0, r1}
        bl      __aeabi_uidiv
        str     r0, [r6, #20]
        add     r4, r4, #8
        add     r6, r6, #32
        cmp     r4, r5
        blo     arm_pair
        ldr     r0, =thumb_pairs
        mov     lr, pc
        bx      r0
        pop     {r4, r5, r6, lr}
        bx      lr
        .pool

        .thumb
        .thumb_func
thumb_pairs:                            @ r5, r6 as the ARM loop left them
        push    {lr}
        ldr     r4, =operands
thumb_pair:
        ldr     r0, [r4]
        ldr     r1, [r4, #4]
        bl      __aeabi_idivmod
        str     r0, [r6]
        str     r1, [r6, #4]
        ldr     r0, [r4]
        ldr     r1, [r4, #4]
        bl      __aeabi_uidivmod
        str     r0, [r6, #8]
        str     r1, [r6, #12]
        ldr     r0, [r4]
        ldr     r1, [r4, #4]
        bl      __aeabi_idiv
        str     r0, [r6, #16]
        ldr     r0, [r4]
        ldr     r1, [r4, #4]
        bl      __aeabi_uidiv
        str     r0, [r6, #20]
        adds    r4, #8
        adds    r6, #32
        cmp     r4, r5
        blo     thumb_pair
        pop     {r0}
        bx      r0
        .pool

        .section .rodata
        .align  2
operands:
Operands
operands_end:
)";

// The same picture twice, packed.png packed with LZ77 and plain.png not: main unpacks the
// packed data with the firmware's routines, to work RAM and (the tiles) to video memory, and
// counts the bytes that differ from the plain data.
const QByteArray UnpackingMain = R"(
        .equ    Results, 0x0203FF00
        .equ    Buffer, 0x02010000
        .text
        .arm
        .global main
main:   push    {r4, lr}
        ldr     r4, =Results
        ldr     r0, =packedTiles
        ldr     r1, =Buffer
        swi     0x110000                @ LZ77UnCompWram
        ldr     r0, =Buffer
        ldr     r1, =plainTiles
        ldr     r2, =plainTilesLen
        bl      differences
        str     r0, [r4]
        ldr     r0, =packedTiles
        ldr     r1, =0x06000000
        swi     0x120000                @ LZ77UnCompVram
        ldr     r0, =0x06000000
        ldr     r1, =plainTiles
        ldr     r2, =plainTilesLen
        bl      differences
        str     r0, [r4, #4]
        ldr     r0, =packedMap
        ldr     r1, =Buffer
        swi     0x110000
        ldr     r0, =Buffer
        ldr     r1, =plainMap
        ldr     r2, =plainMapLen
        bl      differences
        str     r0, [r4, #8]
        ldr     r0, =packedPal
        ldr     r1, =Buffer
        swi     0x110000
        ldr     r0, =Buffer
        ldr     r1, =plainPal
        ldr     r2, =plainPalLen
        bl      differences
        str     r0, [r4, #12]
        ldr     r0, =plainTilesLen
        str     r0, [r4, #16]
        ldr     r0, =packedTilesLen
        str     r0, [r4, #20]
        pop     {r4, lr}
        bx      lr
differences:                            @ r0, r1: data; r2: bytes; gives the count that differ
        push    {r4, r5}
        mov     r3, #0
1:      subs    r2, r2, #1
        blt     2f
        ldrb    r4, [r0, r2]
        ldrb    r5, [r1, r2]
        cmp     r4, r5
        addne   r3, r3, #1
        b       1b
2:      mov     r0, r3
        pop     {r4, r5}
        bx      lr
        .pool
)";

// 64x64 pixels of 200 colours in runs of five, over a block of one colour: runs that a
// packer would copy from the byte just written.
QImage unpackingPicture()
{
    QImage picture(64, 64, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (int i = 0; i < 200; ++i)
        colours << qRgb(i, 255 - i, i * 7 % 256);
    picture.setColorTable(colours);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x)
            picture.setPixel(x, y, y >= 48 ? 7 : (x / 5 + y * y / 7) % 200);
    }
    return picture;
}

// Dividend and divisor, as signed words; the unsigned routines get the same bits.
struct Division
{
    qint32 dividend;
    qint32 divisor;
};

constexpr qint32 IntMin = std::numeric_limits<qint32>::min();
constexpr qint32 IntMax = std::numeric_limits<qint32>::max();

constexpr Division Divisions[] = {
    { 7, 2 },
    { -7, 2 },
    { 7, -2 },
    { -7, -2 },
    { 0, 5 },
    { 0, -5 },
    { 6, 3 },
    { 1, IntMax },
    { 1, -1 },
    { -1, -1 },
    { -1, 16 },
    { 123456789, 1000 },
    { IntMax, 7 },
    { IntMax, IntMin },
    { IntMin, IntMin },
    { IntMin, 3 },
    { IntMin, 1 },
    { IntMin, -1 },
    { 100, 0 },
    { -100, 0 },
    { 0, 0 },
};

// Where DivisionMain leaves the result of one routine for one pair.
enum class DivisionCaller { Arm, Thumb };
enum DivisionSlot {
    SignedQuotient,
    SignedRemainder,
    UnsignedQuotient,
    UnsignedRemainder,
    SignedOnlyQuotient,
    UnsignedOnlyQuotient,
    DivisionSlots
};
constexpr quint32 DivisionResults = 0x0203F000;
constexpr quint32 DivisionStride = 32;

quint32 divisionResult(DivisionCaller caller, std::size_t pair, DivisionSlot slot)
{
    const std::size_t row = (caller == DivisionCaller::Thumb ? std::size(Divisions) : 0) + pair;
    return DivisionResults + quint32(row) * DivisionStride + 4 * quint32(slot);
}

// The quotient rounded toward zero and the remainder with the dividend's sign, so that
// q * d + r == n, as 64-bit division on the host gives them (which also makes
// INT_MIN / -1 wrap to INT_MIN, remainder 0). Division by zero: 0, and the dividend.
QPair<quint32, quint32> signedDivision(qint32 dividend, qint32 divisor)
{
    if (divisor == 0)
        return { 0, quint32(dividend) };
    const qint64 quotient = qint64(dividend) / divisor;
    return { quint32(quotient), quint32(qint64(dividend) - quotient * divisor) };
}

QPair<quint32, quint32> unsignedDivision(quint32 dividend, quint32 divisor)
{
    if (divisor == 0)
        return { 0, dividend };
    return { dividend / divisor, dividend % divisor };
}

QByteArray divisionSource()
{
    QByteArray words;
    for (const Division &division : Divisions) {
        words += "        .word   " + QByteArray::number(division.dividend) + ", "
            + QByteArray::number(division.divisor) + "\n";
    }
    QByteArray source = DivisionMain;
    return source.replace("Operands\n", words);
}

QString findProgram(const QString &name)
{
    const QString onPath = QStandardPaths::findExecutable(name);
    return onPath.isEmpty() ? QStandardPaths::findExecutable(name, { QStringLiteral("/usr/games") })
                            : onPath;
}

// A helper program run under "timeout -s KILL" in a process group of its
// own: if this test dies, timeout still ends it, and on every way out of a
// test the destructor kills the whole group (timeout and its child alike).
class BoundedProcess
{
public:
    explicit BoundedProcess(const QProcessEnvironment &environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
    }
    BoundedProcess(const BoundedProcess &) = delete;
    BoundedProcess &operator=(const BoundedProcess &) = delete;
    ~BoundedProcess() { stop(); }

    bool start(const QString &program, const QStringList &arguments)
    {
        m_process.start(QStringLiteral("timeout"),
            QStringList { QStringLiteral("-s"), QStringLiteral("KILL"),
                QString::number(ProcessBoundSeconds), program }
                + arguments);
        if (!m_process.waitForStarted(KillWaitMs))
            return false;
        m_group = pid_t(m_process.processId());
        return true;
    }

    // Asks first, so that the program can tidy up after itself, then makes
    // sure nothing of the group survives.
    void stop()
    {
        if (m_group <= 0)
            return;
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(-m_group, SIGTERM);
            m_process.waitForFinished(TermWaitMs);
        }
        ::kill(-m_group, SIGKILL);
        m_group = 0;
        if (m_process.state() != QProcess::NotRunning)
            m_process.waitForFinished(KillWaitMs);
    }

    // Collects standard output until the program ends or the time is up.
    bool waitForExit(int timeoutMs)
    {
        m_process.waitForFinished(timeoutMs);
        m_output += m_process.readAllStandardOutput();
        return m_process.state() == QProcess::NotRunning;
    }

    void closeInput() { m_process.closeWriteChannel(); }
    void write(const QString &text) { m_process.write(text.toLatin1()); }
    QString output() const { return QString::fromLocal8Bit(m_output); }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    QProcess m_process;
    pid_t m_group = 0;
    QByteArray m_output;
};

// Where a program ends up idling.
enum class Loop {
    // The start-up's own loop for a main that returns in ARM state: its first "b ." after
    // the header. The start-up comes first in the image, before anything of the source.
    StartupArm,
    // Its loop for a main that returns in Thumb state: the first Thumb "b ." after that.
    StartupThumb,
    // The image's last "b .", a loop of the program's own.
    Program,
};

quint32 loopAddress(const QByteArray &image, Loop loop)
{
    quint32 found = 0;
    int offset = HeaderSize;
    for (; offset + 4 <= image.size() && (loop == Loop::Program || found == 0); offset += 4) {
        if (word(image, offset) == StartupLoop)
            found = RomBase + quint32(offset);
    }
    if (loop != Loop::StartupThumb)
        return found;
    for (; offset + 2 <= image.size(); offset += 2) {
        if (quint16(word(image, offset & ~3) >> (8 * (offset & 2))) == ThumbLoop)
            return RomBase + quint32(offset);
    }
    return 0;
}

// One mgba session: run to a breakpoint, then read memory.
//
// mgba buffers its output when it is not talking to a terminal, so answers only show up
// when it exits. The whole session therefore goes in at once: the debugger takes the
// next line only when it is stopped, so the reads run once the breakpoint is hit, and
// "quit" ends it.
class Session
{
public:
    Session(const QProcessEnvironment &environment, quint32 breakpoint,
        const QList<quint32> &addresses, int width)
        : m_emulator(environment)
        , m_breakpoint(breakpoint)
        , m_addresses(addresses)
        , m_width(width)
    {
    }

    bool start(const QString &mgba, const QString &image)
    {
        QString commands
            = QStringLiteral("break ") + hex(m_breakpoint) + QStringLiteral("\ncontinue\n");
        for (quint32 address : m_addresses) {
            commands += QStringLiteral("r/%1 ").arg(m_width) + hex(address) + QLatin1Char('\n');
        }
        commands += QStringLiteral("quit\n");
        if (!m_emulator.start(mgba, { QStringLiteral("-d"), image }))
            return false;
        m_emulator.write(commands);
        m_emulator.closeInput();
        return true;
    }

    // Waits for the session's end and reads the transcript; on failure says why.
    bool finish(QString *problem)
    {
        if (!m_emulator.waitForExit(SessionMs)) {
            *problem = QStringLiteral("mgba did not finish the session:\n") + m_emulator.output()
                + m_emulator.errors();
            return false;
        }
        const QString transcript = m_emulator.output();
        const QRegularExpression hit(QStringLiteral("Hit breakpoint \\d+ at (0x[0-9A-Fa-f]+)"));
        const QRegularExpressionMatch hitMatch = hit.match(transcript);
        if (!hitMatch.hasMatch()) {
            *problem = QStringLiteral("mgba never reached ") + hex(m_breakpoint)
                + QStringLiteral(":\n") + transcript;
            return false;
        }
        m_hit = hitMatch.captured(1).toUInt(nullptr, 16);

        // Each read answers with a line like " 0x0403", in the order asked.
        const QRegularExpression value(
            QStringLiteral("^\\s*0x([0-9A-Fa-f]{1,8})\\s*$"), QRegularExpression::MultilineOption);
        auto values = value.globalMatch(transcript.mid(hitMatch.capturedEnd()));
        for (quint32 address : m_addresses) {
            if (!values.hasNext()) {
                *problem = QStringLiteral("mgba answered fewer reads than asked:\n") + transcript;
                return false;
            }
            m_memory.insert(address, values.next().captured(1).toUInt(nullptr, 16));
        }
        return true;
    }

    quint32 hit() const { return m_hit; }
    const QMap<quint32, quint32> &memory() const { return m_memory; }

private:
    BoundedProcess m_emulator;
    quint32 m_breakpoint;
    QList<quint32> m_addresses;
    int m_width;
    quint32 m_hit = 0;
    QMap<quint32, quint32> m_memory;
};

// gdb against mgba's GDB stub, which always listens on port 2345: both run in a network of
// their own (unshare), so that suites side by side never reach each other's stub. gdb
// stops at a label of the linked program beside the image and says where it is.
// Arguments: the label, the image, the program.
constexpr auto DebuggerScript = R"(ip link set lo up || exit 1
mgba -g "$2" &
until grep -qs ':0929 [0-9A-F]*:0000 0A' /proc/net/tcp /proc/net/tcp6; do sleep 0.05; done
gdb-multiarch -nx -batch -ex 'target remote :2345' -ex "break $1" -ex continue -ex 'info line' "$3"
kill $!
)";

// Where gdb stopped, as "file:line" (the file relative to folder), from its transcript; empty
// if it said nothing of the kind.
QString debuggerStop(const QString &transcript, const QString &folder)
{
    const QRegularExpressionMatch line
        = QRegularExpression(QStringLiteral("Line (\\d+) of \"([^\"]+)\"")).match(transcript);
    if (!line.hasMatch())
        return {};
    const QString file = line.captured(2);
    return (file.startsWith(folder + u'/') ? file.mid(folder.size() + 1) : file) + QLatin1Char(':')
        + line.captured(1);
}

// A program in two files for tarnwick --debug: a Thumb main that calls an ARM routine of the
// second file, which also holds a table of halfwords. Files: "path", "contents", ...
const QStringList DebuggedProgram = {
    QStringLiteral("debugged/main.s"),
    QStringLiteral(R"(      .syntax unified
        .text
        .thumb
        .global main
        .thumb_func
main:   push    {r4, lr}
        ldr     r0, =garden_colours
        ldrh    r4, [r0, #2]
        ldr     r1, =paint
        bl      call
        movs    r0, r4
        pop     {r4}
        pop     {r3}
        bx      r3
call:   bx      r1
        .pool
)"),
    QStringLiteral("debugged/paint.s"),
    QStringLiteral(R"(      .syntax unified
        .section .iwram, "ax"
        .arm
        .global paint
paint:  mov     r2, #3
        add     r2, r2, #4
        bx      lr
        .section .rodata
        .global garden_colours
garden_colours:
        .hword  0x7EA9, 0x7F5B, 0x03FF, 0x0280, 0x0140, 0x1234
after:  .word   0x11223344, 0x55667788
bytes:  .byte   1, 2, 3
sized:  .hword  7, 8, 9, 10
        .size   sized, 4
one:    .4byte  0xCAFE
)"),
};

// tarnwick --debug in a network of its own, as in DebuggerScript. Arguments: tarnwick, the
// image; then, for a session that finds the stub's port taken, the program that holds it.
constexpr auto DebugSessionScript = R"(ip link set lo up || exit 1
if [ -n "$2" ]; then exec python3 -c "$2" "$0" --debug "$1"; fi
exec "$0" --debug "$1"
)";
constexpr auto HoldStubPort = R"(import os, socket, sys
held = socket.socket()
held.bind(("127.0.0.1", 2345))
held.listen()
held.set_inheritable(True)
os.execv(sys.argv[1], sys.argv[1:])
)";

// A program run on a pseudo-terminal of its own, as a person runs it in a terminal window:
// what it prints is read as it comes, with a bound on every wait.
class Terminal
{
public:
    Terminal() = default;
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;
    ~Terminal()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0)
            ::close(m_master);
    }

    bool start(const QStringList &command, const QProcessEnvironment &environment)
    {
        QList<QByteArray> strings;
        for (const QString &argument : command)
            strings.append(QFile::encodeName(argument));
        const qsizetype arguments = strings.size();
        for (const QString &variable : environment.toStringList())
            strings.append(variable.toLocal8Bit());
        std::vector<char *> argv;
        std::vector<char *> envp;
        for (qsizetype i = 0; i < strings.size(); ++i)
            (i < arguments ? argv : envp).push_back(strings[i].data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        m_pid = ::forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_pid == 0) {
            ::execvpe(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        return m_pid > 0;
    }

    // Reads until what came since the last wait holds text; that part, or empty if it never
    // came.
    QByteArray waitFor(const QByteArray &text, int timeoutMs = SessionMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!m_unread.contains(text) && readSome(deadline)) { }
        const qsizetype end = m_unread.indexOf(text);
        if (end < 0)
            return {};
        const QByteArray said = m_unread.left(end + text.size());
        m_unread.remove(0, said.size());
        return said;
    }

    // A line typed, then what came until the next gdb prompt.
    QByteArray type(const QByteArray &line, const QByteArray &until = "(gdb) ")
    {
        const QByteArray typed = line + '\n';
        if (::write(m_master, typed.constData(), std::size_t(typed.size())) != typed.size())
            return {};
        return waitFor(until);
    }

    // Its exit status once it has ended, or -1.
    int finish(int timeoutMs = SessionMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (readSome(deadline)) { }
        int status = 0;
        while (!deadline.hasExpired()) {
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            QTest::qWait(50);
        }
        return -1;
    }

    QByteArray transcript() const { return m_transcript; }
    // As the terminal's window closing does: the program's session gets SIGHUP.
    void hangUp()
    {
        ::close(m_master);
        m_master = -1;
    }

private:
    // Whether anything came before the deadline; false also once the program has closed
    // the terminal.
    bool readSome(const QDeadlineTimer &deadline)
    {
        pollfd ready { m_master, POLLIN, 0 };
        const qint64 left = deadline.remainingTime();
        if (m_master < 0 || left <= 0 || ::poll(&ready, 1, int(left)) <= 0)
            return false;
        char buffer[4096];
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        m_unread.append(buffer, got);
        m_transcript.append(buffer, got);
        return true;
    }

    pid_t m_pid = 0;
    int m_master = -1;
    QByteArray m_unread;
    QByteArray m_transcript;
};

// Where gdb says it stopped, "file:line", from a line such as "main () at /x/main.s:6".
QString stoppedAt(const QByteArray &said)
{
    const QRegularExpressionMatch at
        = QRegularExpression(QStringLiteral(" at \\S*/([^/\\s]+):(\\d+)"))
              .match(QString::fromLocal8Bit(said));
    return at.hasMatch() ? at.captured(1) + u':' + at.captured(2) : QString::fromLocal8Bit(said);
}

// The programs still running whose command line names folder: "PID COMMAND LINE".
QStringList runningIn(const QString &folder)
{
    QStringList found;
    const QByteArray name = QFile::encodeName(folder);
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QByteArray command = readFile(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (command.contains(name) && pid.toInt() != ::getpid())
            found.append(pid + u' ' + QString::fromLocal8Bit(command.replace('\0', ' ')));
    }
    return found;
}

} // namespace

class TestEmulatorRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stopsAtDone();
    void displayIsBitmapModeWithBackground2();
    void videoMemory_data();
    void videoMemory();

    void mainReturnsIntoTheStartupLoop_data();
    void mainReturnsIntoTheStartupLoop();
    void startupRuns_data();
    void startupRuns();
    void debuggerStops_data();
    void debuggerStops();

private:
    quint32 m_doneAddress = 0;
    quint32 m_breakpointHit = 0;
    QMap<quint32, quint16> m_memory;
    // By program linked with the start-up: where its start-up loops, where the emulator
    // stopped, and what it read there.
    QMap<QString, quint32> m_startupLoop;
    QMap<QString, quint32> m_startupHit;
    QMap<QString, QMap<quint32, quint32>> m_startupMemory;
    // By label: where gdb stopped at it.
    QMap<QString, QString> m_debuggerStop;
};

void TestEmulatorRun::initTestCase()
{
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString mgba = findProgram(QStringLiteral("mgba"));
    QVERIFY2(!display.isEmpty(), "needs an X display: run it under tests/gui/private-desktop");
    QVERIFY2(!mgba.isEmpty(), "needs mgba (Debian package mgba-sdl)");
    QVERIFY2(!findProgram(QStringLiteral("timeout")).isEmpty(), "needs timeout (coreutils)");
    QVERIFY2(!findProgram(QStringLiteral("gdb-multiarch")).isEmpty()
            && !findProgram(QStringLiteral("ip")).isEmpty(),
        "needs gdb-multiarch and ip (iproute2)");

    const QTemporaryDir work;
    QVERIFY(work.isValid());
    const QString image = work.filePath(QStringLiteral("demo.gba"));
    const Result assembled = tarnwick({ exampleSource(), image });
    QVERIFY2(assembled.exitCode == 0, qPrintable(assembled.errors));

    // tarnwick puts the source's .text at the start of ROM, so a label's
    // offset in the object file plus the ROM base is its address.
    QString problem;
    const QString object = work.filePath(QStringLiteral("demo.o"));
    QVERIFY2(assembleObject(exampleSource(), object, &problem), qPrintable(problem));
    const qint64 doneOffset = symbolOffset(object, QStringLiteral("done"));
    QVERIFY2(doneOffset > 0, "the example has no label \"done\"");
    m_doneAddress = RomBase + quint32(doneOffset & ~qint64(1));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    // mgba keeps its settings in the home folder; keep ours out of the user's.
    environment.insert(QStringLiteral("HOME"), work.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));

    QList<quint32> addresses { DisplayControl };
    for (const Sample &sample : Samples)
        addresses.append(pixelAddress(sample.x, sample.y));
    // Nothing may be written past the last pixel.
    addresses.append(pixelAddress(0, ScreenHeight));
    std::vector<std::unique_ptr<Session>> sessions;
    sessions.push_back(std::make_unique<Session>(environment, m_doneAddress, addresses, 2));
    QVERIFY2(sessions.back()->start(mgba, image), "mgba did not start");

    // The programs for the start-up, and the example written for it.
    const QList<quint32> results = { result(0), result(1), result(2), result(3), result(4),
        result(5), result(6), result(7), result(8), result(9), result(10) };
    const QList<quint32> bands = { pixelAddress(0, 0), pixelAddress(ScreenWidth - 1, 39),
        pixelAddress(0, 40), pixelAddress(0, 80), pixelAddress(0, 120),
        pixelAddress(ScreenWidth - 1, ScreenHeight - 1) };
    struct Program
    {
        QString name;
        QString source;
        QList<quint32> addresses;
        int width;
        Loop loop = Loop::StartupArm;
    };
    const QString armSource = work.filePath(QStringLiteral("arm.s"));
    const QString thumbSource = work.filePath(QStringLiteral("thumb.s"));
    const QString unmarkedSource = work.filePath(QStringLiteral("unmarked.s"));
    const QString armPopSource = work.filePath(QStringLiteral("armpop.s"));
    const QString thumbPopSource = work.filePath(QStringLiteral("thumbpop.s"));
    QVERIFY(writeFile(armSource, ArmMain) && writeFile(thumbSource, ThumbMain)
        && writeFile(unmarkedSource, UnmarkedThumbMain)
        && writeFile(armPopSource,
            QByteArray(ArmMain)
                .replace("main:\n", "main:\n        push    {r4, lr}\n")
                .replace("bx      lr", "pop     {r4, pc}"))
        && writeFile(thumbPopSource, ThumbPopMain));
    const QString divisionSourcePath = work.filePath(QStringLiteral("divide.s"));
    const QString namesSource = work.filePath(QStringLiteral("names.s"));
    const QString externalSource = work.filePath(QStringLiteral("external.s"));
    QVERIFY(writeFile(divisionSourcePath, divisionSource())
        && writeFile(namesSource, LinkerNamesMain)
        && writeFile(externalSource, ClearedExternalOnlyMain));
    QList<quint32> nameResults;
    for (int slot = 0; slot < 20; ++slot)
        nameResults.append(result(slot));
    QList<quint32> divisionResults;
    for (const DivisionCaller caller : { DivisionCaller::Arm, DivisionCaller::Thumb }) {
        for (std::size_t pair = 0; pair < std::size(Divisions); ++pair) {
            for (int slot = 0; slot < DivisionSlots; ++slot)
                divisionResults.append(divisionResult(caller, pair, DivisionSlot(slot)));
        }
    }
    for (const QStringList &project : { PreprocessedProgram, TemplateProject, LibProject,
             TestsProject, ExamplesProject, BranchingMain, DiscardingProject, OwnStartupProject }) {
        for (qsizetype i = 0; i + 1 < project.size(); i += 2) {
            const QString file = work.filePath(project[i]);
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            QVERIFY(writeFile(file, project[i + 1].toUtf8()));
        }
    }
    const QString unpackingSource = work.filePath(QStringLiteral("unpacking/main.s"));
    QVERIFY(QDir().mkpath(work.filePath(QStringLiteral("unpacking")))
        && writeFile(unpackingSource, UnpackingMain));
    for (const char *name : { "plain", "packed" }) {
        const QString base = work.filePath(QStringLiteral("unpacking/") + QLatin1String(name));
        QVERIFY(unpackingPicture().save(base + QStringLiteral(".png"))
            && writeFile(base + QStringLiteral(".grit"),
                QByteArray("-gt -gB8 -m -mR! ") + (name[1] == 'a' ? "-Zl" : "")));
    }
    const QList<quint32> garden
        = { pixelAddress(0, 0), pixelAddress(ScreenWidth - 1, 63), pixelAddress(0, 64),
              pixelAddress(0, ScreenHeight - 1), pixelAddress(ScreenWidth - 1, ScreenHeight - 1) };
    const QList<quint32> checker = { pixelAddress(0, 0), pixelAddress(20, 0), pixelAddress(45, 25),
        pixelAddress(25, 25), pixelAddress(ScreenWidth - 1, ScreenHeight - 1) };
    const Program programs[] = {
        { QStringLiteral("arm"), armSource, results, 4 },
        { QStringLiteral("thumb"), thumbSource, results, 4 },
        { QStringLiteral("unmarked"), unmarkedSource, results, 4 },
        { QStringLiteral("armpop"), armPopSource, results, 4 },
        { QStringLiteral("thumbpop"), thumbPopSource, results, 4, Loop::StartupThumb },
        { QStringLiteral("divide"), divisionSourcePath, divisionResults, 4 },
        { QStringLiteral("names"), namesSource, nameResults, 4 },
        { QStringLiteral("external"), externalSource, results, 4 },
        { QStringLiteral("bands"), startupExampleSource(), bands, 2 },
        { QStringLiteral("preprocessed"), work.filePath(PreprocessedProgram.first()), results, 4 },
        { QStringLiteral("template"), work.filePath(TemplateProject.first()), results, 4 },
        { QStringLiteral("lib"), work.filePath(LibProject.first()), results, 4 },
        { QStringLiteral("tests"), work.filePath(TestsProject.first()), results, 4 },
        { QStringLiteral("scripted"), work.filePath(ExamplesProject.first()), results, 4 },
        { QStringLiteral("synth"), work.filePath(BranchingMain.first()), results, 4,
            Loop::Program },
        { QStringLiteral("unpacking"), unpackingSource, results, 4 },
        { QStringLiteral("own"), work.filePath(OwnStartupProject.first()), results, 4,
            Loop::Program },
        { QStringLiteral("checker"), QStringLiteral(TARNWICK_EXAMPLES_DIR "/checker/main.asm"),
            checker, 2 },
        { QStringLiteral("garden"), QStringLiteral(TARNWICK_EXAMPLES_DIR "/garden/src/main.asm"),
            garden, 2 },
        { QStringLiteral("hero"), QStringLiteral(TARNWICK_EXAMPLES_DIR "/hero/src/main.asm"),
            { DisplayControl, 0x05000002, 0x05000208, VideoMemory }, 2 },
    };
    for (const Program &program : programs) {
        const QString programImage = work.filePath(program.name + QStringLiteral(".gba"));
        const Result built = tarnwick({ program.source, programImage });
        QVERIFY2(built.exitCode == 0, qPrintable(program.name + QLatin1Char(' ') + built.errors));
        const quint32 loop = loopAddress(readFile(programImage), program.loop);
        QVERIFY2(loop != 0, qPrintable(program.name + QStringLiteral(": no start-up loop")));
        m_startupLoop.insert(program.name, loop);
        sessions.push_back(
            std::make_unique<Session>(environment, loop, program.addresses, program.width));
        QVERIFY2(sessions.back()->start(mgba, programImage), "mgba did not start");
    }

    // The program in several files, its second file preprocessed: "tests".
    environment.insert(QStringLiteral("PATH"),
        QFileInfo(mgba).path() + u':' + environment.value(QStringLiteral("PATH")));
    BoundedProcess debugger(environment);
    QVERIFY2(debugger.start(QStringLiteral("unshare"),
                 { QStringLiteral("-rn"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QLatin1String(DebuggerScript), QStringLiteral("sh"), QStringLiteral("report"),
                     work.filePath(QStringLiteral("tests.gba")),
                     work.filePath(QStringLiteral("tests.elf")) }),
        "unshare did not start");

    QVERIFY2(debugger.waitForExit(SessionMs), qPrintable(debugger.output() + debugger.errors()));
    const QString stop
        = debuggerStop(debugger.output(), QFileInfo(work.path()).canonicalFilePath());
    m_debuggerStop.insert(
        QStringLiteral("report"), stop.isEmpty() ? debugger.output() + debugger.errors() : stop);
    // The project's own start-up and script make the authors' image, but for the header's
    // fixed byte and complement.
    QStringList objects;
    for (const char *name : { "own/crt0.s", "own/main.S", "own/util.s" }) {
        objects << work.filePath(QLatin1String(name) + QStringLiteral(".o"));
        QVERIFY2(assembleObject(work.filePath(QLatin1String(name)), objects.last(), &problem),
            qPrintable(problem));
    }
    const QString byHand = work.filePath(QStringLiteral("own.hand.elf"));
    QVERIFY(run(QStringLiteral("arm-none-eabi-ld"),
                QStringList { QStringLiteral("-T"), work.filePath(QStringLiteral("own/cart.ld")),
                    QStringLiteral("-o"), byHand }
                    + objects)
                .exitCode
        == 0);
    QByteArray authors = objcopyImage(byHand);
    const QByteArray own = readFile(work.filePath(QStringLiteral("own.gba")));
    QVERIFY(authors.size() == own.size() && own.size() > 0xBD);
    authors[0xB2] = own[0xB2];
    authors[0xBD] = own[0xBD];
    QCOMPARE(own, authors);
    const QString discarding = work.filePath(QStringLiteral("discard.gba"));
    QVERIFY(tarnwick({ work.filePath(DiscardingProject.first()), discarding }).exitCode == 0);
    BoundedProcess reader(environment);
    QVERIFY(reader.start(QStringLiteral("gdb-multiarch"),
        { QStringLiteral("-nx"), QStringLiteral("-batch"), QStringLiteral("-ex"),
            QStringLiteral("info line reset"), work.filePath(QStringLiteral("discard.elf")) }));
    QVERIFY(reader.waitForExit(SessionMs));
    m_debuggerStop.insert(QStringLiteral("reset"),
        debuggerStop(reader.output(), QFileInfo(work.path()).canonicalFilePath()));
    QVERIFY2(sessions.front()->finish(&problem), qPrintable(problem));
    m_breakpointHit = sessions.front()->hit();
    for (auto it = sessions.front()->memory().begin(); it != sessions.front()->memory().end(); ++it)
        m_memory.insert(it.key(), quint16(it.value()));
    for (std::size_t i = 0; i < std::size(programs); ++i) {
        Session &session = *sessions.at(i + 1);
        QVERIFY2(
            session.finish(&problem), qPrintable(programs[i].name + QLatin1Char(' ') + problem));
        m_startupHit.insert(programs[i].name, session.hit());
        m_startupMemory.insert(programs[i].name, session.memory());
    }

    // Once the emulators above are done, on a machine as busy as before them.
    // tarnwick --debug through a pseudo-terminal: a breakpoint at the ARM routine of the
    // second file while the Thumb main runs, a step, and quit.
    for (qsizetype i = 0; i + 1 < DebuggedProgram.size(); i += 2) {
        QVERIFY(QDir().mkpath(QFileInfo(work.filePath(DebuggedProgram[i])).path()));
        QVERIFY(writeFile(work.filePath(DebuggedProgram[i]), DebuggedProgram[i + 1].toUtf8()));
    }
    const QString debugged = work.filePath(QStringLiteral("debugged/game.gba"));
    const Result built = tarnwick({ work.filePath(DebuggedProgram.first()), debugged });
    QVERIFY2(built.exitCode == 0, qPrintable(built.errors));
    environment.insert(QStringLiteral("TERM"), QStringLiteral("dumb"));
    const QStringList session
        = { QStringLiteral("unshare"), QStringLiteral("-rn"), QStringLiteral("sh"),
              QStringLiteral("-c"), QLatin1String(DebugSessionScript), tarnwickPath(), debugged };
    Terminal terminal;
    QVERIFY(terminal.start(session, environment));
    m_debuggerStop.insert(QStringLiteral("first stop"),
        stoppedAt(terminal.waitFor("Temporary breakpoint 1, ") + terminal.waitFor("(gdb) ")));
    terminal.type("break paint");
    m_debuggerStop.insert(QStringLiteral("breakpoint"), stoppedAt(terminal.type("continue")));
    m_debuggerStop.insert(QStringLiteral("next"),
        QString::fromLocal8Bit(terminal.type("next")).section(u'\n', 1, 1).section(u'\t', 0, 0));
    m_debuggerStop.insert(QStringLiteral("print"),
        QString::fromLocal8Bit(terminal.type("print garden_colours"))
            .section(u'\n', 1, 1)
            .trimmed());
    terminal.type("quit", "(y or n) ");
    terminal.type("y", "\n");
    m_debuggerStop.insert(QStringLiteral("exit status"), QString::number(terminal.finish()));
    m_debuggerStop.insert(QStringLiteral("left running"),
        runningIn(work.filePath(QStringLiteral("debugged"))).join(u'\n'));
    const Result taken = run(
        QStringLiteral("unshare"), session.mid(1) << QLatin1String(HoldStubPort), {}, environment);
    m_debuggerStop.insert(QStringLiteral("port taken"),
        QString::number(taken.exitCode) + QStringLiteral(": ") + taken.errors.trimmed());
    // The types of data labels are in the program itself: gdb started by hand, with no target.
    const Result printedByHand = run(QStringLiteral("gdb-multiarch"),
        { QStringLiteral("-nx"), QStringLiteral("-batch"), QStringLiteral("-ex"),
            QStringLiteral("print/x after"), QStringLiteral("-ex"), QStringLiteral("print/d bytes"),
            QStringLiteral("-ex"), QStringLiteral("print sized"), QStringLiteral("-ex"),
            QStringLiteral("print/x one"), work.filePath(QStringLiteral("debugged/game.elf")) });
    for (const QString &line : printedByHand.output.split(u'\n', Qt::SkipEmptyParts))
        m_debuggerStop.insert(
            line.section(QStringLiteral(" = "), 0, 0), line.section(u'=', 1).trimmed());
    // Ended by closing the emulator's window, or the terminal's: how tarnwick ended, whether it
    // said why, and what was left running.
    for (const QString &end : { QStringLiteral("emulator closed"), QStringLiteral("hang up") }) {
        Terminal ending;
        QVERIFY(ending.start(session, environment));
        ending.waitFor("Temporary breakpoint 1, ");
        ending.waitFor("(gdb) ");
        if (end == QLatin1String("hang up"))
            ending.hangUp();
        for (const QString &running : runningIn(work.filePath(QStringLiteral("debugged")))) {
            if (end != QLatin1String("hang up") && running.contains(QLatin1String("mgba")))
                ::kill(running.section(u' ', 0, 0).toInt(), SIGTERM);
        }
        const int status = ending.finish();
        m_debuggerStop.insert(end,
            QString::number(status)
                + (ending.transcript().contains("the emulator was closed")
                        ? QStringLiteral(", said so")
                        : QString())
                + runningIn(work.filePath(QStringLiteral("debugged"))).join(u'\n'));
    }
}

void TestEmulatorRun::stopsAtDone()
{
    QCOMPARE(m_breakpointHit, m_doneAddress);
}

void TestEmulatorRun::displayIsBitmapModeWithBackground2()
{
    QCOMPARE(m_memory.value(DisplayControl), quint16(0x0403));
}

void TestEmulatorRun::videoMemory_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint16>("expected");

    for (const Sample &sample : Samples) {
        QTest::newRow(sample.rule)
            << pixelAddress(sample.x, sample.y) << exampleColour(sample.x, sample.y);
    }
    QTest::newRow("nothing is written past the last pixel")
        << pixelAddress(0, ScreenHeight) << quint16(0);
}

void TestEmulatorRun::videoMemory()
{
    QFETCH(quint32, address);
    QFETCH(quint16, expected);
    QVERIFY2(m_memory.contains(address), qPrintable(hex(address)));
    QCOMPARE(m_memory.value(address), expected);
}

void TestEmulatorRun::mainReturnsIntoTheStartupLoop_data()
{
    QTest::addColumn<QString>("program");

    QTest::newRow("ARM main returns into the start-up's loop") << QStringLiteral("arm");
    QTest::newRow("Thumb main returns into the start-up's loop") << QStringLiteral("thumb");
    QTest::newRow("ARM main returning with pop {..., pc} idles in the start-up's ARM loop")
        << QStringLiteral("armpop");
    QTest::newRow("Thumb main returning with pop {..., pc} idles in the start-up's Thumb loop")
        << QStringLiteral("thumbpop");
    QTest::newRow("Thumb main without .thumb_func returns into the start-up's loop")
        << QStringLiteral("unmarked");
    QTest::newRow("main calling the division routines returns into the start-up's loop")
        << QStringLiteral("divide");
    QTest::newRow("main using the linker names returns into the start-up's loop")
        << QStringLiteral("names");
    QTest::newRow("the start-up example returns into the start-up's loop")
        << QStringLiteral("bands");
    QTest::newRow("the example in three files returns into the start-up's loop")
        << QStringLiteral("checker");
    QTest::newRow("the example laid out as a project returns into the start-up's loop")
        << QStringLiteral("garden");
    QTest::newRow("the example with pictures returns into the start-up's loop")
        << QStringLiteral("hero");
}

void TestEmulatorRun::mainReturnsIntoTheStartupLoop()
{
    QFETCH(QString, program);
    QCOMPARE(m_startupHit.value(program), m_startupLoop.value(program));
}

void TestEmulatorRun::startupRuns_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("low");
    QTest::addColumn<quint32>("high");

    const QString arm = QStringLiteral("arm");
    const QString thumb = QStringLiteral("thumb");
    const QString bands = QStringLiteral("bands");
    const auto exactly
        = [](const QByteArray &rule, const QString &program, quint32 address, quint32 value) {
              QTest::newRow(rule.constData()) << program << address << value << value;
          };
    const auto within
        = [](const char *rule, const QString &program, quint32 address, quint32 low, quint32 high) {
              QTest::newRow(rule) << program << address << low << high - 1;
          };

    exactly("an ARM main is called", arm, result(0), 0xA4A4A4A4);
    exactly("main runs in System mode", arm, result(1), 0x1F);
    exactly("main gets the System stack at 0x03007F00", arm, result(2), 0x03007F00);
    exactly("the IRQ stack is at 0x03007FA0", arm, result(3), 0x03007FA0);
    exactly("a Thumb main is called, again after a restart", thumb, result(0), 0x5EC0DD00);
    exactly("a Thumb main without .thumb_func is entered in Thumb state",
        QStringLiteral("unmarked"), result(0), 0x7B7B7B7B);
    exactly("initialised .data starts at its value, though spoilt before the restart", thumb,
        result(2), 0x600DDA7A);
    exactly("initialised .data can be written", thumb, result(3), 0x12345678);
    within("initialised .data lies in internal RAM", thumb, result(9), InternalRam,
        InternalRamBelowStacks);
    exactly(".bss reads zero, though spoilt before the restart", thumb, result(4), 0);
    within("an .iwram routine runs at an address in internal RAM", thumb, result(5), InternalRam,
        InternalRamBelowStacks);
    exactly("the .iwram routine returns to its Thumb caller", thumb, result(6), 0x7E7);
    exactly(
        "an .ewram table arrives, though spoilt before the restart", thumb, result(7), 0x7AB1E000);
    exactly("the .ewram table can be written", thumb, result(8), 0x7AB1E0FF);
    within("the .ewram table lies in external RAM", thumb, result(10), ExternalRam, ExternalRamEnd);
    const QString names = QStringLiteral("names");
    exactly("names: main is called again after a restart", names, result(0), 0x5EC0DD01);
    exactly("__eheap_end is the end of external RAM", names, result(1), ExternalRamEnd);
    exactly("__sp_usr is the System stack the start-up sets", names, result(2), 0x03007F00);
    exactly("__sp_irq is the IRQ stack the start-up sets", names, result(3), 0x03007FA0);
    exactly("__bss_start__ to __bss_end__ spans .bss.* and COMMON", names, result(4), 12);
    exactly(".bss.* and COMMON read zero, though spoilt before the restart", names, result(5), 0);
    exactly(".sbss reads zero, though spoilt before the restart", names, result(6), 0);
    within("__data_start__ lies in internal RAM", names, result(7), InternalRam,
        InternalRamBelowStacks);
    exactly("__data_start__ to __data_end__ spans .data.*", names, result(8), 8);
    exactly("__data_lma holds .data.* in ROM", names, result(9), 0xDA7A0002);
    exactly(".data.* starts at its value, though spoilt before the restart", names, result(10),
        0xDA7A0002);
    exactly("__iwram_start__ to __iwram_end__ spans .iwram.*", names, result(11), 4);
    exactly("__iwram_lma holds .iwram.* in ROM", names, result(12), 0x1A1A0001);
    exactly(".iwram.* starts at its value, though spoilt before the restart", names, result(13),
        0x1A1A0001);
    exactly("__ewram_start is the start of external RAM", names, result(14), ExternalRam);
    exactly("__ewram_start to __ewram_end spans .ewram.* and .sbss", names, result(15), 20);
    exactly("__ewram_lma holds .ewram.* in ROM", names, result(16), 0xE1E10001);
    exactly(".ewram.* starts at its value, though spoilt before the restart", names, result(17),
        0xE1E10001);
    exactly("__eheap_start follows what the program put in external RAM", names, result(18),
        ExternalRam + 20);
    exactly("a function in .text.startup runs", names, result(19), 0x57A27000);
    const QString external = QStringLiteral("external");
    exactly("external: main is called", external, result(0), 0x5B550000);
    exactly("cleared external RAM alone (.sbss.*) reads zero", external, result(1), 0);
    within("cleared external RAM alone lies in external RAM", external, result(2), ExternalRam,
        ExternalRamEnd);

    // Every pair through every routine, from both states.
    const QString divide = QStringLiteral("divide");
    for (const DivisionCaller caller : { DivisionCaller::Arm, DivisionCaller::Thumb }) {
        const QByteArray state = caller == DivisionCaller::Arm ? "ARM" : "Thumb";
        for (std::size_t pair = 0; pair < std::size(Divisions); ++pair) {
            const Division &division = Divisions[pair];
            const QByteArray operands = "(" + QByteArray::number(division.dividend) + ", "
                + QByteArray::number(division.divisor) + ")";
            const auto [signedQuotient, signedRemainder]
                = signedDivision(division.dividend, division.divisor);
            const auto [unsignedQuotient, unsignedRemainder]
                = unsignedDivision(quint32(division.dividend), quint32(division.divisor));
            const auto row
                = [&](const char *routine, const char *result, DivisionSlot slot, quint32 value) {
                      exactly(state + " calls " + routine + operands + result, divide,
                          divisionResult(caller, pair, slot), value);
                  };
            row("__aeabi_idivmod", ": quotient", SignedQuotient, signedQuotient);
            row("__aeabi_idivmod", ": remainder", SignedRemainder, signedRemainder);
            row("__aeabi_uidivmod", ": quotient", UnsignedQuotient, unsignedQuotient);
            row("__aeabi_uidivmod", ": remainder", UnsignedRemainder, unsignedRemainder);
            row("__aeabi_idiv", "", SignedOnlyQuotient, signedQuotient);
            row("__aeabi_uidiv", "", UnsignedOnlyQuotient, unsignedQuotient);
        }
    }
    exactly("example: the first band is black, the row starts cleared", bands, pixelAddress(0, 0),
        0x0000);
    exactly("example: the first band ends black", bands, pixelAddress(ScreenWidth - 1, 39), 0);
    exactly("example: the second band has the initialised colour, red", bands, pixelAddress(0, 40),
        0x001F);
    exactly("example: the third band mixes in the changed colour, yellow", bands,
        pixelAddress(0, 80), 0x03FF);
    exactly("example: the fourth band is white to the last pixel", bands,
        pixelAddress(ScreenWidth - 1, ScreenHeight - 1), 0x7FFF);
    const QString preprocessed = QStringLiteral("preprocessed");
    exactly("preprocessed: a #define from a header beside the source", preprocessed, result(0), 42);
    exactly("preprocessed: #if sees the handheld, not the machine that assembled it", preprocessed,
        result(1), 0xC0DE);
    exactly(
        "an .incbin written from the project's top folder", preprocessed, result(2), 0x21434950);
    exactly("an .include written from the project's top folder", preprocessed, result(3), 0x70F);
    exactly("template layout: data from data/", QStringLiteral("template"), result(0), 0x5E77);
    exactly("template layout: an .include from include/", QStringLiteral("template"), result(1),
        0x7E3A);
    exactly("a game beside lib/: the lib's script, start-up and header", QStringLiteral("lib"),
        result(0), 0x11B0);
    within("a game beside lib/: its own start-up ran", QStringLiteral("lib"), result(1),
        InternalRam, InternalRamBelowStacks);
    exactly("a project's own start-up and script: its start-up ran and called main",
        QStringLiteral("own"), result(0), 0xC127);
    exactly("a test in src/tests/alu/ with the project's include/ and src/common/",
        QStringLiteral("tests"), result(0), 42);
    exactly("a header-reserving example: its project's script placed .iwram",
        QStringLiteral("scripted"), result(0), 0x1234ABCD);
    exactly("a header-reserving example: and its .bss", QStringLiteral("scripted"), result(1), 16);
    exactly(
        "main: bl past the header gets the start-up", QStringLiteral("synth"), result(0), 0xB1B1);
    const QString garden = QStringLiteral("garden");
    exactly(
        "the template example: the sky from data/ at the top", garden, pixelAddress(0, 0), 0x7EA9);
    exactly("the template example: the second band to its last pixel", garden,
        pixelAddress(ScreenWidth - 1, 63), 0x7F5B);
    exactly("the template example: the flowers", garden, pixelAddress(0, 64), 0x03FF);
    exactly("the template example: dark green at the bottom, to the last pixel", garden,
        pixelAddress(ScreenWidth - 1, ScreenHeight - 1), 0x0140);
    const QString unpacking = QStringLiteral("unpacking");
    exactly("LZ77UnCompWram unpacks packed tiles to the plain ones", unpacking, result(0), 0);
    exactly("LZ77UnCompVram unpacks packed tiles into video memory", unpacking, result(1), 0);
    exactly("LZ77UnCompWram unpacks a packed map", unpacking, result(2), 0);
    exactly("LZ77UnCompWram unpacks a packed palette", unpacking, result(3), 0);
    exactly("unpacked: the picture's 64 tiles of 64 bytes", unpacking, result(4), 4096);
    within("packed: fewer bytes", unpacking, result(5), 8, 4096);
    const QString hero = QStringLiteral("hero");
    exactly("pictures: mode 0 with background 0 and sprites", hero, DisplayControl, 0x1140);
    exactly("pictures: the meadow's sky blue in the background palette", hero, 0x05000002, 0x6145);
    exactly("pictures: the hero's red in the sprite palette", hero, 0x05000208, 0x14B8);
    // The meadow's first tile is the sky: colour 1 in every pixel, unpacked into video memory.
    exactly("pictures: the meadow's tiles unpacked into video memory", hero, VideoMemory, 0x1111);
    const QString checker = QStringLiteral("checker");
    exactly("three files: the first square is white", checker, pixelAddress(0, 0), 0x7FFF);
    exactly("three files: the second square is dark red", checker, pixelAddress(20, 0), 0x0010);
    exactly(
        "three files: the board alternates down the rows", checker, pixelAddress(45, 25), 0x0010);
    exactly("three files: and across them", checker, pixelAddress(25, 25), 0x7FFF);
    exactly("three files: the last square is white to its last pixel", checker,
        pixelAddress(ScreenWidth - 1, ScreenHeight - 1), 0x7FFF);
}

void TestEmulatorRun::startupRuns()
{
    QFETCH(QString, program);
    QFETCH(quint32, address);
    QFETCH(quint32, low);
    QFETCH(quint32, high);

    const QMap<quint32, quint32> memory = m_startupMemory.value(program);
    QVERIFY2(memory.contains(address), qPrintable(hex(address)));
    const quint32 value = memory.value(address);
    QVERIFY2(value >= low && value <= high,
        qPrintable(hex(value) + QStringLiteral(" is not within ") + hex(low) + QStringLiteral("..")
            + hex(high)));
}

void TestEmulatorRun::debuggerStops_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("where");

    QTest::newRow("gdb on mgba's stub stops at a label of a second, preprocessed file, and names "
                  "its file and line")
        << QStringLiteral("report") << QStringLiteral("alutests/src/common/report.S:4");
    QTest::newRow("gdb reads the lines of a program whose project's script discards the rest")
        << QStringLiteral("reset") << QStringLiteral("discard/main.s:4");
    QTest::newRow("tarnwick --debug stops at main, its source line shown")
        << QStringLiteral("first stop") << QStringLiteral("main.s:6");
    QTest::newRow("tarnwick --debug: an ARM label of a second file stops Thumb code")
        << QStringLiteral("breakpoint") << QStringLiteral("paint.s:5");
    QTest::newRow("tarnwick --debug: next steps one source line")
        << QStringLiteral("next") << QStringLiteral("6");
    QTest::newRow("print of a .hword table: its halfwords, up to the next label")
        << QStringLiteral("print") << QStringLiteral("$1 = {32425, 32603, 1023, 640, 320, 4660}");
    QTest::newRow("gdb by hand: a .word table prints as words")
        << QStringLiteral("$1") << QStringLiteral("{0x11223344, 0x55667788}");
    QTest::newRow("gdb by hand: .byte data prints as bytes, numbers with /d")
        << QStringLiteral("$2") << QStringLiteral("{1, 2, 3}");
    QTest::newRow("gdb by hand: a label's .size, not the next label, ends it")
        << QStringLiteral("$3") << QStringLiteral("{7, 8}");
    QTest::newRow("gdb by hand: one .4byte is a word, no array")
        << QStringLiteral("$4") << QStringLiteral("0xcafe");
    QTest::newRow("tarnwick --debug ends with gdb's quit, nothing of it left running")
        << QStringLiteral("exit status") << QStringLiteral("0");
    QTest::newRow("tarnwick --debug leaves no emulator and no gdb running")
        << QStringLiteral("left running") << QString();
    QTest::newRow("tarnwick --debug: the emulator's window closed ends gdb, saying so")
        << QStringLiteral("emulator closed") << QStringLiteral("0, said so");
    QTest::newRow("tarnwick --debug: the terminal closed ends the session, nothing left")
        << QStringLiteral("hang up") << QStringLiteral("129");
    QTest::newRow("tarnwick --debug with the stub's port taken: says so, exit status 1")
        << QStringLiteral("port taken")
        << QStringLiteral("1: tarnwick: error: port 2345 is in use, and the emulator's GDB stub "
                          "takes no other: end what listens there (another debugging session?) "
                          "and try again");
}

void TestEmulatorRun::debuggerStops()
{
    QFETCH(QString, label);
    QFETCH(QString, where);
    QCOMPARE(m_debuggerStop.value(label), where);
}

QTEST_GUILESS_MAIN(TestEmulatorRun)
#include "tst_emulatorrun.moc"
