@ palette.asm - the two colours of the board, read by main.asm.
@ A colour is 0bBBBBBGGGGGRRRRR.

        .section .rodata
        .balign 2
        .global board_colours
board_colours:
        .hword  0x7FFF                  @ white
        .hword  0x0010                  @ dark red
