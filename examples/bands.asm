@ bands.asm - paints four bands across the screen: black, red, yellow, white.
@
@ Assemble it with:   tarnwick bands.asm bands.gba
@ and run the image in an emulator, for example:   /usr/games/mgba bands.gba
@
@ Unlike demo.asm, this source brings no cartridge header of its own. It defines a
@ global `main` instead, the way most published sources for the handheld do, and
@ tarnwick links it behind its start-up. Before `main` runs, the start-up has put a
@ header in front of it, set up the stacks, copied initialised data (.data) into RAM,
@ where the program can change it, and cleared .bss to zeros.

        .syntax unified         @ one instruction syntax for ARM and Thumb

        .equ    DisplayControl, 0x04000000
        .equ    Mode3Background2, 0x0403   @ one 16-bit colour a pixel, background 2 on
        .equ    VideoMemory, 0x06000000
        .equ    Width, 240
        .equ    BandHeight, 40             @ four bands fill the 160 rows
        .equ    Bands, 4

@ ---------------------------------------------------------------------------------------
@ Initialised data: the start-up copies it from the cartridge into RAM, so `main` can
@ change it. A colour is 0bBBBBBGGGGGRRRRR; each band shifts this one on by five bits:
@ red, then green, then blue.

        .data
colour:
        .hword  0x001F

@ Cleared data: the start-up fills .bss with zeros, so this row of pixels starts black.
@ Each band mixes the next colour into it: black, red, red+green, red+green+blue.

        .bss
        .balign 2
row:
        .space  Width * 2

@ ---------------------------------------------------------------------------------------
@ `main` is Thumb code (16-bit instructions), which runs faster than ARM code from the
@ cartridge's 16-bit bus. .thumb_func marks it as Thumb, so the start-up's "bx" enters
@ it in Thumb state.

        .text
        .thumb
        .global main
        .thumb_func
main:
        push    {r4-r7, lr}
        ldr     r0, =DisplayControl
        ldr     r1, =Mode3Background2
        strh    r1, [r0]

        ldr     r4, =VideoMemory        @ r4 = the next pixel on the screen
        movs    r5, #0                  @ r5 = the band being drawn
band:
        movs    r6, #BandHeight         @ copy the row into the band's rows
copy_row:
        ldr     r0, =row
        movs    r1, #Width
copy_pixel:
        ldrh    r2, [r0]
        strh    r2, [r4]
        adds    r0, r0, #2
        adds    r4, r4, #2
        subs    r1, r1, #1
        bne     copy_pixel
        subs    r6, r6, #1
        bne     copy_row

        adds    r5, r5, #1
        cmp     r5, #Bands
        beq     finished

        ldr     r3, =colour             @ mix the colour into the row...
        ldrh    r2, [r3]
        ldr     r0, =row
        movs    r1, #Width
mix_pixel:
        ldrh    r7, [r0]
        orrs    r7, r7, r2
        strh    r7, [r0]
        adds    r0, r0, #2
        subs    r1, r1, #1
        bne     mix_pixel
        lsls    r2, r2, #5              @ ...and move it on for the next band
        strh    r2, [r3]
        b       band

finished:
        @ Returning from main is allowed: the start-up then keeps the processor in a
        @ loop of its own, and the picture stays on the screen.
        pop     {r4-r7}
        pop     {r3}
        bx      r3

        .pool                           @ constants loaded with "ldr rX, =..." go here
