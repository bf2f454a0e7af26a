@ idivmod.s - signed 32-bit division, as the ARM run-time ABI defines it:
@   __aeabi_idivmod(n, d)  quotient in r0, remainder in r1
@   __aeabi_idiv(n, d)     quotient in r0 (the same routine; r1 is left with the remainder)
@ The quotient is rounded toward zero and the remainder takes the dividend's sign, so
@ q * d + r == n; INT_MIN / -1 gives INT_MIN and 0, the quotient wrapping as in two's
@ complement. Division by zero returns what __aeabi_idiv0 returns as the quotient, and the
@ dividend as the remainder.
@
@ Linked only into an image that calls it, like uidivmod.s, whose routine does the
@ dividing on the magnitudes; ARM code typed as a function, so Thumb callers get a veneer.

        .syntax unified
        .arm
        .text
        .global __aeabi_idivmod
        .global __aeabi_idiv
        .type   __aeabi_idivmod, %function
        .type   __aeabi_idiv, %function
__aeabi_idivmod:
__aeabi_idiv:
        cmp     r1, #0
        beq     by_zero
        push    {r4, lr}
        @ r4: bit 31 set for a negative quotient, bit 0 for a negative dividend.
        eor     r4, r0, r1
        and     r4, r4, #0x80000000
        orr     r4, r4, r0, lsr #31
        @ The magnitudes, unsigned: INT_MIN's is 0x80000000, which negating leaves as it is.
        cmp     r0, #0
        rsblt   r0, r0, #0
        cmp     r1, #0
        rsblt   r1, r1, #0
        bl      __aeabi_uidivmod
        tst     r4, #0x80000000
        rsbne   r0, r0, #0
        tst     r4, #1
        rsbne   r1, r1, #0
        pop     {r4, lr}
        bx      lr

        @ __aeabi_idiv0 is handed the quotient a saturating division would give (INT_MAX
        @ for a positive dividend, INT_MIN for a negative one, 0 for 0) and returns the
        @ quotient.
by_zero:
        push    {r0, lr}                @ the dividend, kept for the remainder
        cmp     r0, #0
        mvngt   r0, #0x80000000
        movlt   r0, #0x80000000
        bl      __aeabi_idiv0
        pop     {r1, lr}
        bx      lr
        .size   __aeabi_idivmod, . - __aeabi_idivmod
        .size   __aeabi_idiv, . - __aeabi_idiv
