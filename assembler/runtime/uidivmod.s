@ uidivmod.s - unsigned 32-bit division, as the ARM run-time ABI defines it:
@   __aeabi_uidivmod(n, d)  quotient in r0, remainder in r1
@   __aeabi_uidiv(n, d)     quotient in r0 (the same routine; r1 is left with the remainder)
@ Division by zero returns what __aeabi_idiv0 returns as the quotient, and the dividend as
@ the remainder.
@
@ tarnwick keeps this object in the archive it hands to ld after the program, so it is
@ linked only into an image that calls it. The routine is ARM code typed as a function:
@ ld then gives a Thumb caller's bl a veneer that switches state (bl alone cannot on this
@ processor), and the return through bx lr goes back to the caller's state.

        .syntax unified
        .arm
        .text
        .global __aeabi_uidivmod
        .global __aeabi_uidiv
        .type   __aeabi_uidivmod, %function
        .type   __aeabi_uidiv, %function
__aeabi_uidivmod:
__aeabi_uidiv:
        cmp     r1, #0
        beq     by_zero

        @ Line the divisor up under the dividend's highest bit: r2 is the divisor shifted
        @ left as far as it goes without passing the dividend (or bit 31), r3 its bit.
        mov     r2, r1
        mov     r3, #1
align:
        cmp     r2, #0x80000000
        cmpcc   r2, r0
        movcc   r2, r2, lsl #1
        movcc   r3, r3, lsl #1
        bcc     align

        @ Subtract it wherever it fits, from that bit down to bit 0; r0 keeps what is left.
        mov     ip, #0
subtract:
        cmp     r0, r2
        subcs   r0, r0, r2
        orrcs   ip, ip, r3
        movs    r3, r3, lsr #1
        movne   r2, r2, lsr #1
        bne     subtract

        mov     r1, r0
        mov     r0, ip
        bx      lr

        @ __aeabi_idiv0 is handed the quotient a saturating division would give (the
        @ largest value for a dividend other than 0, else 0) and returns the quotient.
by_zero:
        push    {r0, lr}                @ the dividend, kept for the remainder
        cmp     r0, #0
        mvnne   r0, #0
        bl      __aeabi_idiv0
        pop     {r1, lr}
        bx      lr
        .size   __aeabi_uidivmod, . - __aeabi_uidivmod
        .size   __aeabi_uidiv, . - __aeabi_uidiv
