@ idiv0.s - __aeabi_idiv0, which the division routines call on a division by zero with
@ a suggested quotient in r0, and whose result in r0 they return as the quotient.
@
@ The ARM run-time ABI lets a program replace it; this one is weak, so a program's own
@ (ARM, or Thumb marked with .thumb_func) takes its place. It gives a quotient of 0, so
@ n / 0 is 0 and n % 0 is n.

        .syntax unified
        .arm
        .text
        .weak   __aeabi_idiv0
        .type   __aeabi_idiv0, %function
__aeabi_idiv0:
        mov     r0, #0
        bx      lr
        .size   __aeabi_idiv0, . - __aeabi_idiv0
