; A bootstrap loader of version 1.50 that runs in RAM, for chips whose ROM loader is older than 1.60.
; The host loads it at 0x0220 and starts it at the address in its first word. It serves the loader's
; frame protocol on the ROM loader's pins (transmit P1.1, receive P2.2, 8E1) with a software UART
; timed from the sync character: every command begins with 0x80, whose start bit and seven zero bits
; are eight bit times low, so the loader needs no calibrated clock. It runs its own clock fast (RSEL 7)
; and gives the flash timing generator MCLK divided so that it lies within 257 to 476 kHz.
;
; Registers: r4 delay count of one bit, r5 the flash divider's shift (4 at 9600 baud), r6 byte, r7 checksum (the XOR of the frame's
; bytes at even offsets in the low byte and at odd offsets in the high byte), r8 address, r9 length,
; r10 counter, r11 command, r12 and r13 the addresses of txbyte and rxbyte, r14 and r15 scratch.
; Variables live in the RAM below the code, which the ROM loader used as its stack.

        .equ P1OUT, 0x0021
        .equ P1DIR, 0x0022
        .equ P2IN, 0x0028
        .equ DCOCTL, 0x0056
        .equ WDTCTL, 0x0120
        .equ FCTL1, 0x0128
        .equ FCTL2, 0x012A
        .equ FCTL3, 0x012C
        .equ STACK, 0x0A00               ; for now: the draft does not fit below 0x03E8 yet
        .equ HEADER, 0x0200             ; the frame's first eight bytes
        .equ CMD, HEADER + 1
        .equ ADDR, HEADER + 4
        .equ LEN, HEADER + 6
        .equ LOCKED, 0x0208             ; nonzero until the password is right
        .equ ACK, 0x90
        .equ NAK, 0xA0
        .equ RXD, 4                     ; P2.2
        .equ TXD, 2                     ; P1.1

        .org 0x0220
        .word start                     ; the start address, read back by the host
        .word 0

start:  mov #0x5a80, &WDTCTL            ; watchdog held
        mov #0x8760, &DCOCTL            ; DCO 3, RSEL 7: a fast clock of our own, measured by the sync
        mov #0xa500, &FCTL3             ; flash unlocked while the loader runs
        mov #1, &LOCKED
        mov #4, r5                      ; 9600 baud: the flash divider is a bit's count shifted by 4
        mov #txbyte, r12
        mov #rxbyte, r13

; Every command starts here, with a fresh stack (an abandoned frame leaves nothing behind).
main:   mov #STACK, sp
        mov #0xa500, &FCTL1             ; no write or erase mode between commands
sync:   bit.b #RXD, &P2IN
        jnz sync
        clr r4
low:    inc r4                          ; 24 cycles a count while the line is low: eight bits make
        mov #5, r15                     ; r4 three-cycle steps a bit
lw:     dec r15
        jnz lw
        bit.b #RXD, &P2IN
        jz low
        ; The flash clock: MCLK / (1 + r4 >> SHIFT). A bit is 3 * r4 cycles, and 3 * 16 cycles of a
        ; bit at 9600 baud are 460.8 kHz: the divider keeps the clock below that and, for r4 of 21
        ; and more (about 600 kHz and up), above 257 kHz.
        mov r4, r14
        mov r5, r15
divide: rra r14
        dec r15
        jnz divide
        add #0xa540, r14
        mov r14, &FCTL2
        sub #3, r4                      ; a bit loop spends 9 of its cycles outside the delay
        mov.b #ACK, r6
        call r12

        clr r7                          ; the frame: 80 CMD L1 L2 AL AH LL LH data CKL CKH
        call r13
        call r13
        mov r6, r11
        call r13
        mov r6, r10
        sub #4, r10                     ; bytes of data
        call r13
        call #rxword
        mov r14, r8
        call #rxword
        mov r14, r9
        cmp.b #0x10, r11
        jeq password
        cmp.b #0x12, r11
        jeq write

check:  call #checksum                  ; the other commands carry no data
        sub #0x14, r11                  ; 0x14 to 0x20: the handler, plus one when it needs the password
        cmp #14, r11
        jhs nak
        mov table(r11), r15
        bit #1, r15
        jz go
        tst &LOCKED
        jnz nak
go:     br r15
table:  .word read + 1, erase + 1, erase, loadpc + 1, blank + 1, nak, speed

password:
        clr r15
pw:     call r13
        cmp.b @r8+, r6
        jeq pwsame
        mov #1, r15
pwsame: dec r10
        jnz pw
        call #checksum
        mov r15, r11
        mov r15, &LOCKED
        jmp result

; Words are written as they arrive; each is checked when the next has come, the last at the end.
write:  mov #0xa540, &FCTL1
        mov -2(r8), r9                  ; the first check compares a word with itself (r9: the last word)
        clr r11
wloop:  tst r10
        jz wend
        call #rxword
        call #settled
        mov r14, r9
        tst &LOCKED
        jnz wnext                       ; locked: the data is read and dropped
        mov r14, 0(r8)
wnext:  incd r8
        decd r10
        jmp wloop
wend:   call #checksum
        call #settled
        bis &LOCKED, r11
result: tst r11
        jnz nak
ack:    mov.b #ACK, r6
        jmp answer
nak:    mov.b #NAK, r6
answer: call r12
        jmp main

; Waits for the flash, then compares the word before r8 with r9; r11 notes a difference.
settled:
        bit #1, &FCTL3
        jnz settled
        cmp r9, -2(r8)
        jeq same
        mov #1, r11
same:   ret

erase:  mov r9, &FCTL1                  ; 0xa502 segment, 0xa504 main, 0xa506 all
        clr 0(r8)                       ; the dummy write starts it
        call #settled
        jmp ack

blank:  mov.b @r8+, r6
        cmp.b #-1, r6
        jne nak
        dec r9
        jnz blank
        jmp ack

loadpc: mov.b #ACK, r6
        call r12
        br r8

speed:  mov.b #ACK, r6                  ; answered at the old speed
        call r12
        mov r8, &DCOCTL                 ; DCOCTL and BCSCTL1 as the host gives them
        mov #4, r5                      ; 19200 and 38400: half and a quarter of the counts
        sub r9, r5
        jmp main

read:   clr r7
        mov.b #0x80, r6
        call r12
        clr r6
        call r12
        mov.b r9, r6
        call r12
        call r12                        ; the length twice
rd:     mov.b @r8+, r6
        call r12
        dec r9
        jnz rd
        inv r7                          ; the checksum's low byte; sending it leaves the high
        mov.b r7, r6                    ; byte's complement in r7's low byte
        call r12
        mov.b r7, r6
        call r12
        jmp main

; Two bytes, low first, into r14.
rxword: call r13
        mov r6, r14
        call r13
        swpb r6
        bis r6, r14
        ret

; Reads the two checksum bytes; a frame whose XOR does not cancel them is refused.
checksum:
        call r13
        call r13
        cmp #-1, r7
        jne badframe
        ret
badframe:
        incd sp                         ; not back to the command: a NAK
        jmp nak

; One byte into r6 and the checksum; gives up the frame when nothing comes for 65536 looks.
rxbyte: push r10
        clr r15
rwait:  bit.b #RXD, &P2IN
        jz rstart
        dec r15
        jnz rwait
        jmp main
rstart: mov r4, r15                     ; half a bit to the middle of the start bit, then eleven
        rra r15                         ; samples, start bit to stop bit, so that the next look
        mov #11, r10                    ; for a start bit begins in the stop bit
        jmp rdelay
rbit:   mov r4, r15                     ; each bit: 9 cycles and the delay
rdelay: dec r15
        jnz rdelay
        bit.b #RXD, &P2IN
        rrc r6
        dec r10
        jnz rbit
        rla r6                          ; the data bits from bits 6 to 13 into the low byte
        rla r6
        swpb r6
        mov.b r6, r6
        jmp sum

; One byte from r6, 8E1 with two stop bits' time, into the checksum.
txbyte: push r10
        mov r6, r14                     ; start bit, 8 data bits, even parity, stop bits
        mov r6, r15
        mov #8, r10
par:    rrc r15
        jnc par0
        xor #0x100, r14
par0:   dec r10
        jnz par
        bis #0x600, r14
        rla r14                         ; the start bit in bit 1, the pin's place in P1OUT
        rla r14
        mov #12, r10
tbit:   mov r4, r15                     ; each bit: 9 cycles and the delay
tdelay: dec r15
        jnz tdelay
        mov.b r14, &P1OUT               ; P1.1 takes bit 1; the other P1 pins are inputs here
        rra r14
        dec r10
        jnz tbit
sum:    xor r6, r7
        swpb r7
        pop r10
        ret
