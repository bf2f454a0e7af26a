@ demo.asm - paints a colour gradient over the whole screen, then waits.
@
@ Assemble it with:   tarnwick demo.asm demo.gba
@ and run the image in an emulator, for example:   /usr/games/mgba demo.gba
@
@ The handheld starts running at the first byte of the cartridge
@ (address 0x08000000) in ARM state. The first 192 bytes of the cartridge
@ are its header, which is data, so the one instruction that fits at the
@ very start is a branch over the rest of the header.

        .syntax unified         @ one instruction syntax for ARM and Thumb
        .arm                    @ 32-bit ARM instructions from here on
        .text

header:
        b       start           @ 0x00: jump past the header to our code

        @ 0x04..0x9F: the boot logo. We leave it blank (zeros); the
        @ emulator does not mind, and tarnwick does not fill it in.
        .org    0xA0
        .ascii  "TARNWICKDEMO"  @ 0xA0..0xAB: game title, 12 characters

        @ Everything else up to 0xBF stays zero. tarnwick fills in the two
        @ bytes the boot check insists on (0xB2 and the checksum at 0xBD).
        .org    0xC0

@ ---------------------------------------------------------------------
@ Program code starts at 0xC0.

start:
        @ Display control register: mode 3 (one 16-bit colour per pixel,
        @ straight from video memory) plus bit 10 to show background 2,
        @ which is the layer mode 3 draws in.  0x0400 | 3 = 0x0403.
        mov     r0, #0x04000000 @ r0 = address of the display control register
        ldr     r1, =0x0403
        strh    r1, [r0]        @ store the low 16 bits of r1 there

        @ The fill loop is Thumb code (16-bit instructions): the cartridge
        @ bus is 16 bits wide, so Thumb runs faster from it than ARM does.
        @ "bx" with the lowest address bit set switches the CPU to Thumb.
        adr     r0, fill + 1
        bx      r0

        .thumb                  @ 16-bit Thumb instructions from here on
        .thumb_func
fill:
        @ Video memory holds 160 rows of 240 pixels, one halfword each,
        @ row after row. A colour is 0bBBBBBGGGGGRRRRR (5 bits each).
        @ We make red grow to the right (x / 8) and blue grow downwards
        @ (y / 8), so the top-left is black and the bottom-right purple.
        movs    r0, #6
        lsls    r0, r0, #24     @ r0 = 0x06000000, start of video memory
        movs    r2, #0          @ r2 = y, the row number
row:
        movs    r3, #0          @ r3 = x, the column number
        lsrs    r5, r2, #3      @ r5 = y / 8: blue
        lsls    r5, r5, #10     @ move blue into bits 10..14
column:
        lsrs    r4, r3, #3      @ r4 = x / 8: red, bits 0..4
        orrs    r4, r4, r5      @ add the blue of this row
        strh    r4, [r0]        @ write the pixel
        adds    r0, r0, #2      @ next pixel is 2 bytes further on
        adds    r3, r3, #1
        cmp     r3, #240
        blt     column          @ until the row is full
        adds    r2, r2, #1
        cmp     r2, #160
        blt     row             @ until all rows are drawn

        @ The picture is finished. Spin here forever; a debugger can set a
        @ breakpoint on "done" to look at the result.
        .thumb_func
done:
        b       done

        .pool                   @ constants loaded with "ldr rX, =..." go here
