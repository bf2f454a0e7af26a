@ main.asm - paints a board of white and dark red squares, 12 across and 8 down.
@
@ The program is split over three files, as larger programs are: this entry file with
@ `main`, the routine that fills one square (squares.asm) and the colours (palette.asm).
@ Assemble the entry file alone:   tarnwick main.asm checker.gba
@ tarnwick sees that `fill_square` and `board_colours` are not defined here, finds the
@ files of this folder that define them and links them in.

        .syntax unified

        .equ    DisplayControl, 0x04000000
        .equ    Mode3Background2, 0x0403   @ one 16-bit colour a pixel, background 2 on
        .equ    Columns, 12
        .equ    Rows, 8

        .text
        .thumb
        .global main
        .thumb_func
main:
        push    {r4-r5, lr}
        ldr     r0, =DisplayControl
        ldr     r1, =Mode3Background2
        strh    r1, [r0]

        movs    r5, #0                  @ r5 = the row of squares
next_row:
        movs    r4, #0                  @ r4 = the column
next_square:
        adds    r0, r4, r5              @ the colour: board_colours[(column + row) & 1]
        movs    r1, #1
        ands    r0, r0, r1
        lsls    r0, r0, #1
        ldr     r1, =board_colours      @ in palette.asm
        ldrh    r2, [r1, r0]
        movs    r0, r4
        movs    r1, r5
        bl      fill_square             @ in squares.asm
        adds    r4, r4, #1
        cmp     r4, #Columns
        bne     next_square
        adds    r5, r5, #1
        cmp     r5, #Rows
        bne     next_row

        pop     {r4-r5}                 @ back to the start-up, which keeps the picture
        pop     {r3}
        bx      r3

        .pool
