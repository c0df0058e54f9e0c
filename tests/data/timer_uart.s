; A software UART on Timer_A built as the chips' own loaders build theirs: unit 0 captures the start
; bit's falling edge on CCI0B (the receive pin), then compares at the middle of each bit and reads CCI;
; it sends each bit back through TA0's output unit on the transmit pin (set or reset at the next
; compare), one bit later: an echo of each character, 8E1, at the bit time in cycles stored at 0x0200
; (and half of it at 0x0202).

        .equ P1DIR, 0x0022
        .equ P1SEL, 0x0026
        .equ TACTL, 0x0160
        .equ CCTL0, 0x0162
        .equ CCR0, 0x0172

        .org 0x0240
start:  mov #0x0220, &TACTL             ; SMCLK, continuous
next:   mov #0x9904, &CCTL0             ; capture a falling edge of CCI0B; output mode 0, high
        bis.b #2, &P1SEL                ; P1.1 carries TA0's output (from the first character on)
        bis.b #2, &P1DIR
wcap:   bit #1, &CCTL0
        jz wcap
        add &0x0202, &CCR0              ; the middle of the start bit
        mov #0x1004, &CCTL0             ; compare; the output stays high
        mov #11, r12                    ; start, eight data bits, parity, stop
rbit:   bit #1, &CCTL0
        jz rbit
        add &0x0200, &CCR0
        mov #0x1020, r15                ; output mode 1: set at the next compare
        bit #8, &CCTL0                  ; CCI: the line
        jc tset
        mov #0x10a0, r15                ; output mode 5: reset at the next compare
tset:   mov r15, &CCTL0
        dec r12
        jnz rbit
wstop:  bit #1, &CCTL0                  ; the echo's stop bit begins
        jz wstop
        jmp next
