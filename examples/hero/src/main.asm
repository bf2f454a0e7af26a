@ main.asm - shows a meadow as a tiled background and the hero as a sprite in front of it.
@
@ Both are pictures in graphics/: tarnwick converts graphics/meadow.png and
@ graphics/hero.png, as the .grit file beside each says, because this source uses the
@ names they give (meadowTiles, meadowMap, meadowPal, heroTiles, heroPal and each one's
@ length with Len after it). Assemble the entry file alone:   tarnwick src/main.asm hero.gba

        .syntax unified
        .equ    DisplayControl, 0x04000000
        .equ    Background0Control, 0x04000008
        .equ    BackgroundPalette, 0x05000000
        .equ    SpritePalette, 0x05000200
        .equ    BackgroundTiles, 0x06000000     @ character block 0
        .equ    BackgroundMap, 0x0600F800       @ screen block 31
        .equ    SpriteTiles, 0x06010000
        .equ    Sprites, 0x07000000
        @ Mode 0, background 0 and sprites shown, sprite tiles in 1D mapping.
        .equ    Mode0Background0Sprites1D, 0x1140
        @ Background 0: tiles from character block 0, its map in screen block 31, 4 bits a pixel.
        .equ    Background0Setting, 0x1F00
        @ The hero: at (112, 72), square, 16x16 pixels, from tile 0 and palette bank 0.
        .equ    HeroAttributes, 0x40700048
        .equ    HiddenSprite, 0x0200

        .text
        .arm
        .global main
main:
        push    {lr}
        ldr     r0, =meadowTiles        @ packed: unpacked by the firmware into video memory
        ldr     r1, =BackgroundTiles
        swi     0x120000                @ LZ77UnCompVram
        ldr     r0, =meadowMap
        ldr     r1, =BackgroundMap
        ldr     r2, =meadowMapLen
        bl      copy
        ldr     r0, =meadowPal
        ldr     r1, =BackgroundPalette
        ldr     r2, =meadowPalLen
        bl      copy
        ldr     r0, =heroTiles
        ldr     r1, =SpriteTiles
        ldr     r2, =heroTilesLen
        bl      copy
        ldr     r0, =heroPal
        ldr     r1, =SpritePalette
        ldr     r2, =heroPalLen
        bl      copy

        ldr     r0, =Sprites            @ every sprite hidden but the first, the hero
        ldr     r1, =HiddenSprite
        mov     r2, #128
hide:
        subs    r2, r2, #1
        add     r3, r0, r2, lsl #3
        strh    r1, [r3]
        bne     hide
        ldr     r1, =HeroAttributes
        str     r1, [r0]
        mov     r1, #0
        strh    r1, [r0, #4]

        ldr     r0, =Background0Control
        ldr     r1, =Background0Setting
        strh    r1, [r0]
        ldr     r0, =DisplayControl
        ldr     r1, =Mode0Background0Sprites1D
        strh    r1, [r0]
        pop     {lr}
        bx      lr                      @ back to the start-up, which keeps the picture

@ Copies r2 bytes from r0 to r1 a halfword at a time, as video and palette memory take them.
copy:
        subs    r2, r2, #2
        ldrhge  r3, [r0, r2]
        strhge  r3, [r1, r2]
        bgt     copy
        bx      lr
        .pool
