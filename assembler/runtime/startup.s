@ startup.s - the start-up that tarnwick links in front of a source that brings no
@ cartridge header of its own but defines a global `main`.
@
@ tarnwick assembles this file once, when tarnwick itself is built, and keeps the object
@ inside its own executable; startup.ld places it at the very start of the image. The
@ handheld starts executing the first word of the cartridge in ARM state, so the header
@ begins with a branch over itself; tarnwick fills in the title, the fixed byte and the
@ complement after linking. From the reset code on, the start-up gives `main` what the
@ usual start-up file gives it: stacks, initialised data in RAM, cleared .bss.

        .syntax unified
        .arm
        .section .tarnwick_start, "ax", %progbits

@ ---------------------------------------------------------------------------------------
@ The 192-byte cartridge header. Everything but the branch stays zero here: the logo area
@ (0x04..0x9F, checked by real hardware, not by emulators), the title at 0xA0 and the
@ fixed byte at 0xB2 and the complement at 0xBD, which tarnwick writes into the image.
header:
        b       reset
        .space  0xC0 - 4

@ ---------------------------------------------------------------------------------------
@ Reset: the first instruction after the header.

        .equ    ModeIrq, 0x12           @ CPSR mode bits; I and F clear
        .equ    ModeSystem, 0x1F
        .equ    StackIrq, 0x03007FA0    @ the customary places at the top of internal RAM;
        .equ    StackSystem, 0x03007F00 @ startup.ld keeps the sections below the stacks

reset:
        mov     r0, #ModeIrq
        msr     cpsr_fc, r0
        ldr     sp, =StackIrq
        mov     r0, #ModeSystem         @ main runs in System mode: privileged, with the
        msr     cpsr_fc, r0             @ user registers, so it may switch modes itself
        ldr     sp, =StackSystem

        @ Code and initialised data that want RAM are linked at their RAM address and
        @ stored in ROM; copy each in whole words (startup.ld pads them to a word).
        ldr     r0, =__tarnwick_iwram_load
        ldr     r1, =__tarnwick_iwram_start
        ldr     r2, =__tarnwick_iwram_end
        bl      copy_words
        ldr     r0, =__tarnwick_data_load
        ldr     r1, =__tarnwick_data_start
        ldr     r2, =__tarnwick_data_end
        bl      copy_words
        ldr     r0, =__tarnwick_ewram_load
        ldr     r1, =__tarnwick_ewram_start
        ldr     r2, =__tarnwick_ewram_end
        bl      copy_words

        @ .bss and COMMON start out as zero, whatever the RAM held before (a soft reset
        @ that jumps back to the cartridge start comes through here as well).
        ldr     r0, =__tarnwick_bss_start
        ldr     r1, =__tarnwick_bss_end
        mov     r2, #0
clear_words:
        cmp     r0, r1
        strlo   r2, [r0], #4
        blo     clear_words

        @ bx takes the state from bit 0 of the address, which the linker sets for a Thumb
        @ `main` (.thumb_func), so ARM and Thumb `main` are both called right. Reading pc
        @ gives the address two instructions on: the return lands on `stay`.
        ldr     r3, =main
        mov     lr, pc
        bx      r3

        @ main returned: keep the processor here rather than let it run into what
        @ follows. It may come back in either state. An ARM main, and a Thumb main that
        @ returns with `bx lr`, arrive in ARM state; a Thumb main that returns with
        @ `pop {..., pc}` arrives in Thumb state, since on the ARMv4T a load into pc in
        @ Thumb code never changes state. So the word at `stay` reads right both ways: in
        @ ARM it is a `mov` into lr that harms nothing, before ARM's loop (the start-up's
        @ first "b ." after the header); in Thumb its first halfword is a `b` to Thumb's
        @ loop, because lr as the destination (bits 12..15) and no rotation (bits 8..11)
        @ give 0b11100 above the immediate: Thumb's unconditional branch, whose offset in
        @ halfwords from stay + 4 the immediate is.
stay:
        mov     lr, #(stay_thumb - stay - 4) / 2
stay_arm:
        b       stay_arm
        .thumb
stay_thumb:
        b       stay_thumb
        .arm
        .balign 4

@ Copies the words from r0 to r1 until r1 reaches r2. Clobbers r0, r1, r3.
copy_words:
        cmp     r1, r2
        ldrlo   r3, [r0], #4
        strlo   r3, [r1], #4
        blo     copy_words
        bx      lr

        .pool
