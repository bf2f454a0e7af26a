@ main.asm - paints a garden in five bands of colour over the handheld's screen.
@
@ The program is laid out the way the usual homebrew template lays out a project: this
@ entry file in src/, the colours in data/colours.asm, the screen's numbers in
@ include/screen.inc. Assemble the entry file alone:   tarnwick src/main.asm garden.gba
@ tarnwick finds screen.inc and garden_colours in the project's other folders.

        .include "screen.inc"

        .equ    RowsABand, ScreenHeight / 5

        .text
        .arm
        .global main
main:
        ldr     r0, =DisplayControl
        ldr     r1, =Mode3Background2
        strh    r1, [r0]

        ldr     r0, =VideoMemory        @ r0 = the next pixel
        ldr     r1, =garden_colours     @ r1 = the band's colour, in data/colours.asm
        ldr     r3, =VideoMemory + ScreenWidth * ScreenHeight * 2
next_band:
        ldrh    r2, [r1], #2
        cmp     r2, #0
        bxeq    lr                      @ back to the start-up, which keeps the picture
        orr     r2, r2, r2, lsl #16     @ two pixels a word
        add     r12, r0, #ScreenWidth * RowsABand * 2
fill:
        cmp     r0, r12
        cmplo   r0, r3
        strlo   r2, [r0], #4
        blo     fill
        b       next_band

        .pool
