; A software UART on Timer_A built as the chips' own loaders build theirs: unit 0 captures the start
; bit's falling edge on CCI0B (the receive pin), then compares at the middle of each bit and reads CCI;
; it answers through TA0's output unit on the transmit pin, one output mode per bit (set or reset at the
; next compare). It echoes each byte plus one, 8E1, at the bit time in cycles stored at 0x0200.

        .equ P1DIR, 0x0022
        .equ P1SEL, 0x0026
        .equ TACTL, 0x0160
        .equ CCTL0, 0x0162
        .equ CCR0, 0x0172

        .org 0x0240
start:  mov &0x0200, r10                ; a bit
        mov r10, r11
        rra r11                         ; half a bit
        mov #0x0004, &CCTL0             ; output mode 0, high: the idle line, before the pin is the timer's
        bis.b #2, &P1SEL                ; P1.1 carries TA0's output
        bis.b #2, &P1DIR
        mov #0x0220, &TACTL             ; SMCLK, continuous
next:   mov #0x9904, &CCTL0             ; capture a falling edge of CCI0B; output mode 0, high
wcap:   bit #1, &CCTL0
        jz wcap
        add r10, &CCR0                  ; the middle of data bit 0
        add r11, &CCR0
        mov #0x1004, &CCTL0             ; compare; the output stays high
        mov #10, r12                    ; eight data bits, parity, stop
        clr r13
rbit:   bit #1, &CCTL0
        jz rbit
        bic #1, &CCTL0
        add r10, &CCR0
        bit #8, &CCTL0                  ; CCI: the line
        rrc r13
        dec r12
        jnz rbit
        rra r13                         ; the data from bits 6-13 into the low byte
        rra r13
        rra r13
        rra r13
        rra r13
        rra r13
        and #0xff, r13
        inc.b r13
        mov r13, r15                    ; even parity into bit 8
        clr r9
par:    rra r15
        adc r9
        tst r15
        jnz par
        and #1, r9
        swpb r9
        mov r13, r14
        bis r9, r14
        bis #0x200, r14                 ; the stop bit
        rla r14                         ; the start bit in bit 0
        mov #11, r12
tbit:   mov #0x1020, r15                ; output mode 1: set at the next compare
        rra r14
        jc tset
        mov #0x10a0, r15                ; output mode 5: reset at the next compare
tset:   mov r15, &CCTL0
        add r10, &CCR0
twait:  bit #1, &CCTL0
        jz twait
        dec r12
        jnz tbit
        jmp next
