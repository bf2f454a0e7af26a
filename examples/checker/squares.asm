@ squares.asm - fill_square, the routine that main.asm calls for each square.

        .syntax unified

        .equ    VideoMemory, 0x06000000
        .equ    Width, 240
        .equ    Side, 20

        .text
        .thumb
@ fill_square: r0 = the square's column, r1 = its row, r2 = its colour.
        .global fill_square
        .thumb_func
fill_square:
        push    {r4-r5}
        movs    r3, #Side * 2           @ the bytes across one square
        muls    r0, r3, r0
        ldr     r3, =Width * 2 * Side   @ the bytes of one row of squares
        muls    r1, r3, r1
        adds    r0, r0, r1
        ldr     r3, =VideoMemory
        adds    r0, r0, r3              @ r0 = the square's top-left pixel
        movs    r4, #Side               @ r4 = the lines still to fill
line:
        movs    r5, #Side
pixel:
        strh    r2, [r0]
        adds    r0, r0, #2
        subs    r5, r5, #1
        bne     pixel
        ldr     r3, =(Width - Side) * 2 @ on to the start of the square's next line
        adds    r0, r0, r3
        subs    r4, r4, #1
        bne     line
        pop     {r4-r5}
        bx      lr

        .pool
