; A bootstrap loader of version 1.50 that runs in RAM, for chips whose ROM loader is older than 1.60.
; The host loads it at 0x0220 and starts it at the address in its first word. It serves the loader's
; frame protocol on the ROM loader's pins (transmit P1.1, receive P2.2, 8E1) with a software UART
; timed from the sync character: every command begins with 0x80, whose start bit and seven zero bits
; are eight bit times low, so the loader needs no calibrated clock. It runs on the basic clock's fastest
; setting (RSEL 7, DCO 7) for its whole life, also after a speed change, which it serves by timing the
; next sync; the flash timing generator gets MCLK divided so that it lies within 257 to 476 kHz. The
; clock registers are 8 bits wide and take byte writes only: a word write sets the low byte alone.
;
; Registers: r4 delay count of one bit, r5 nonzero while locked (after a wrong password), r6 byte,
; r7 checksum (the XOR of the frame's bytes at even offsets in the low byte and at odd offsets in the
; high byte), r8 address, r9 length and the last word written, r10 counter, r11 command and then
; result, r12 and r13 the addresses of txbyte and rxbyte, r14 and r15 scratch. The watchdog stays
; held as the ROM loader left it.

        .equ P1OUT, 0x0021
        .equ P2IN, 0x0028
        .equ DCOCTL, 0x0056
        .equ BCSCTL1, 0x0057
        .equ FCTL1, 0x0128
        .equ FCTL2, 0x012A
        .equ FCTL3, 0x012C
        .equ STACK, 0x0400              ; 0x03E8 to 0x03FF: the stack, above the code
        .equ ACK, 0x90
        .equ NAK, 0xA0
        .equ RXD, 4                     ; P2.2

        .org 0x0220
        .word start                     ; the start address, read back by the host
        .word 0

start:  mov.b #-1, &DCOCTL              ; DCO 7 (MOD has no effect there) and RSEL 7, XT2 off: the
        mov.b #0x87, &BCSCTL1           ; fastest clock, measured by each sync
        mov #0xa500, &FCTL3             ; flash unlocked while the loader runs
        mov #0xa540, &FCTL2             ; MCLK undivided until the first sync measures it
        clr r5                          ; unlocked: only an unlocked ROM loader loads and starts code
        mov #txbyte, r12
        mov #rxbyte, r13

; Every command starts here, with a fresh stack (an abandoned frame leaves nothing behind).
main:   mov #STACK, sp
        mov #0xa540, &FCTL1             ; write mode; an erase sets its own and ends it
sync:   bit.b #RXD, &P2IN
        jnz sync
        mov #-3, r4                     ; a bit loop spends 8 of its cycles outside the delay
low:    inc r4                          ; 24 cycles a count while the line is low: eight bits make
        mov #5, r15                     ; r4 + 3 three-cycle steps a bit
lw:     dec r15
        jnz lw
        bit.b #RXD, &P2IN
        jz low
        ; The flash clock: MCLK / (1 + r4 / 16). At 9600 baud a bit is about 3 * r4 cycles, and 48
        ; cycles of a bit are 460.8 kHz. The first sync comes at 9600 baud; later ones at higher speeds
        ; give smaller dividers for the same clock and leave the first one as it is.
        mov r4, r14
        rra r14
        rra r14
        rra r14
        rra r14
        add #0xa540, r14
        cmp.b &FCTL2, r14
        jlo measured
        mov r14, &FCTL2
measured:
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
        sub #0x10, r11
        jeq password
        decd r11
        jeq write

        call r13                        ; the other commands carry no data: the checksum
        call r13
        cmp #-1, r7
        jne nak
        decd r11                        ; 0x14 to 0x20: the handler, plus one when it needs the password
        cmp #14, r11
        jhs nak
        mov table(r11), r15
        bit #1, r15
        jz go
        tst r5
        jnz nak
go:     br r15
table:  .word read + 1, erase + 1, erase, loadpc + 1, blank + 1, nak, ack

password:                               ; r11 is 0 here and collects the differences
pw:     call r13
        xor.b @r8+, r6                  ; zero where the byte matches the vector table's
        bis r6, r11
        dec r10
        jnz pw
        call r13
        call r13
        cmp #-1, r7
        jne nak
        mov r11, r5
        jmp result

; Words are written as they arrive; each is checked when the next has come, the last at the end.
write:  mov -2(r8), r9                  ; the first check compares a word with itself (r11 is 0)
wloop:  call #rxword
        call #settled
        mov r14, r9
        tst r5
        jnz wnext                       ; locked: the data is read and dropped
        mov r14, 0(r8)
wnext:  incd r8
        decd r10
        jnz wloop
        call r13
        call r13
        cmp #-1, r7
        jne nak
        call #settled
        bis r5, r11
result: tst r11
        jz ack
nak:    mov.b #NAK, r6
answer: call r12
        jmp main

erase:  mov r9, &FCTL1                  ; 0xa502 segment, 0xa504 main, 0xa506 all
        clr 0(r8)                       ; the dummy write starts it
        call #settled
ack:    mov.b #ACK, r6
        jmp answer

; Waits for the flash, then compares the word before r8 with r9; r11 notes a difference.
settled:
        bit #1, &FCTL3
        jnz settled
        xor -2(r8), r9
        bis r9, r11
        ret

blank:  mov.b @r8+, r6
        cmp.b #-1, r6
        jne nak
        dec r9
        jnz blank
        jmp ack

loadpc: mov.b #ACK, r6
        call r12
        br r8

read:   mov.b #0x80, r6                 ; the checksum of the received frame, all ones, starts the
        call r12                        ; sum, so that it ends as the checksum to send
        clr r6
        call r12
        mov.b r9, r6
        call r12
        call r12                        ; the length twice
rd:     mov.b @r8+, r6
        call r12
        dec r9
        jnz rd
        mov.b r7, r6                    ; sending the low byte leaves the high one in r7's low byte
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

; One byte into r6 and the checksum; gives up the frame when nothing comes for 65536 looks. The last
; byte's parity bit may still be on the line: a start bit follows a high line.
rxbyte: clr r15
rhigh:  bit.b #RXD, &P2IN
        jz rhigh
rwait:  bit.b #RXD, &P2IN
        jz rstart
        dec r15
        jnz rwait
        jmp main
rstart: mov r4, r15                     ; half a bit to the middle of the start bit, then ten
        rra r15                         ; samples, start bit to parity bit: the one in bit 9 falls
        mov #0x200, r6                  ; out after the tenth
        jmp rdelay
rbit:   mov r4, r15                     ; each bit: 8 cycles and the delay
rdelay: dec r15
        jnz rdelay
        bit.b #RXD, &P2IN
        rrc r6
        jnc rbit
        rla r6                          ; the data bits from bits 7 to 14 into the low byte
        swpb r6
        mov.b r6, r6
        jmp sum

; One byte from r6, 8E1, into the checksum; it returns at the stop bit's start, which the idle line
; continues, so that the next byte from the host is not missed.
txbyte: mov r6, r14                     ; start bit, 8 data bits, even parity, stop bits
        mov r6, r15
par:    rra r15
        jnc par0
        xor #0x100, r14
par0:   tst r15
        jnz par
        bis #0x200, r14                 ; one stop bit: the line then rests high
        rla r14                         ; the start bit in bit 1, the pin's place in P1OUT
        rla r14
tbit:   mov r4, r15                     ; each bit: 8 cycles and the delay
tdelay: dec r15
        jnz tdelay
        mov.b r14, &P1OUT               ; P1.1 takes bit 1; the other P1 pins are inputs here
        rra r14
        cmp #2, r14                     ; done when only the stop bit's copy in bit 0 is left
        jhs tbit
sum:    xor r6, r7
        swpb r7
        ret
