@ colours.asm - the colours of the garden's bands, from the sky down, read by
@ src/main.asm. A colour is 0bBBBBBGGGGGRRRRR; the list ends with a zero.

        .section .rodata
        .balign 2
        .global garden_colours
garden_colours:
        .hword  0x7EA9                  @ sky blue
        .hword  0x7F5B                  @ pale sky
        .hword  0x03FF                  @ yellow flowers
        .hword  0x0200                  @ green
        .hword  0x0140                  @ dark green
        .hword  0x0000                  @ the end of the list
