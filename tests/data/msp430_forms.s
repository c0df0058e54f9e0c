; Every operand form of the MSP430's core instructions, written as the CPU model's disassembler writes
; them, each with its cycle count from the family user's guide (format I, II and III tables). The test
; assembles this file at build time, decodes each instruction and compares text and cycles.
        .org 0x4000
        mov r5, r6                   ; 1
        mov r5, r0                   ; 2
        mov r5, 0x0002(r6)           ; 4
        mov r5, 0x0300               ; 4
        mov r5, &0x0200              ; 4
        mov @r5, r6                  ; 2
        mov @r5, 0x0002(r6)          ; 5
        mov @r5+, r6                 ; 2
        mov @r5+, r0                 ; 3
        mov @r5+, &0x0200            ; 5
        mov #0x1234, r6              ; 2
        mov 0x0002(r5), r6           ; 3
        mov 0x0002(r5), 0x0004(r6)   ; 6
        mov 0x0300, r6               ; 3
        mov #0x0004, r6              ; 1
        mov #0xffff, r6              ; 1
        add.b #0x0001, 0x0002(r6)    ; 4
        and r5, 0x0002(r6)           ; 4
        rrc r5                       ; 1
        rra @r5                      ; 3
        swpb @r5+                    ; 3
        sxt 0x0002(r5)               ; 4
        push r5                      ; 3
        push @r5                     ; 4
        push @r5+                    ; 5
        push #0x1234                 ; 4
        push 0x0002(r5)              ; 5
        push.b &0x0200               ; 5
        push #0x0008                 ; 3
        call r5                      ; 4
        call @r5                     ; 4
        call @r5+                    ; 5
        call #0x1234                 ; 5
        call 0x0002(r5)              ; 5
        reti                         ; 5
        jne 0x4000                   ; 2
        jmp 0x4000                   ; 2
