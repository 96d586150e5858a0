; Korvalo board self-test: runs each check once after power-on, then shows
; one line per check with PASS or FAIL. Assembled with TIAMC2 = 0 for the
; TIA-MC-1 or 1 for the TIA-MC-2, whose characters come from ROM bank 0 and
; whose window at 0xB000 takes no writes at all.

    if TIAMC2
    include "tiamc2.inc"
    else
    include "tiamc1.inc"
    endif

vcPage      equ 0xC000
irqMark     equ 0xC001  ; 1 = RST 38h handler ran, 2 = IM 2 vector, 3 = wrong vector
value       equ 0xC002  ; 2 bytes: the measured figure of a check, 0xFFFF = none
failures    equ 0xC004
ramProbe    equ 0xC005
numBuf      equ 0xC008
irqHl       equ 0xC00E  ; 2 bytes: HL when the RST 38h handler was entered
irqPc       equ 0xC018  ; 2 bytes: the address the handler returns to
results     equ 0xC010  ; one byte per check, 0 = pass
values      equ 0xC020  ; two bytes per check

VEC_I       equ 0x30    ; IM 2 table: 0x3000-0x31FF, vector at 0x30FF
WRONG_ISR   equ 0x3939  ; where any other pair of table bytes leads
ROW_FIRST   equ 4
COL_VALUE   equ 18
COL_RESULT  equ 26
GREEN_TEXT  equ 0x80
YELLOW_DIG  equ 0x30
RED_TEXT    equ 0xA0

    org 0
    di
    ld sp,0
    jp start

    org 0x38
; Besides marking, it keeps HL and the interrupted address, from which the
; frame length check tells the exact T-state of the interrupt.
rst38Isr:
    ld (irqHl),hl
    ex (sp),hl
    ld (irqPc),hl
    ex (sp),hl
    push af
    ld a,1
    ld (irqMark),a
    pop af
    ei
    reti

    org 0x100
start:
    im 1
    ld hl,0xC000
    ld de,0xC001
    ld bc,0x0FFF
    ld (hl),0
    ldir
    ld a,VC_NONE
    out (PORT_VIDEO),a
    call runChecks
    call drawScreen
    im 1
idle:
    ei
    halt
    jr idle

; Runs every check of the table, keeping its result and figure.
runChecks:
    ld ix,checks
    ld iy,results
    ld hl,values
rcNext:
    ld e,(ix+0)
    ld d,(ix+1)
    ld a,d
    or e
    ret z
    push hl
    ld hl,0xFFFF
    ld (value),hl
    ex de,hl
    call callHl
    di
    ld (iy+0),a
    pop hl
    ld de,(value)
    ld (hl),e
    inc hl
    ld (hl),d
    inc hl
    inc iy
    ld de,4
    add ix,de
    jr rcNext
callHl:
    jp (hl)

; Check routine, label.
checks:
    dw checkRomWrites,textRom
    if TIAMC2 = 0
    dw checkVideoRead,textVideo
    endif
    dw checkInputs,textInputs
    dw checkPhase,textPhase
    dw checkFlips,textFlips
    dw checkFrame,textFrame
    dw checkIm0,textIm0
    dw checkIm1,textIm1
    dw checkIm2,textIm2
    dw 0

; Writes below 0xC000 leave memory as loaded; RAM above keeps what is written.
checkRomWrites:
    ld hl,romProbes
crwNext:
    ld e,(hl)
    inc hl
    ld d,(hl)
    inc hl
    ld a,d
    or e
    jr z,crwRam
    ld a,(de)
    ld b,a
    cpl
    ld (de),a
    ld a,(de)
    cp b
    jr z,crwNext
    jp failed
crwRam:
    ld a,0x5A
    ld (ramProbe),a
    ld a,(ramProbe)
    cp 0x5A
    jp nz,failed
passed:
    xor a
    ret
failed:
    ld a,1
    ret

romProbes:
    dw romByte,0x8000,0xAFFF,0xB000,0xB7FF,0xB800,0xBFFF,0
romByte:
    db 0x5A

; With every video write enable on, writes to the window reach the video RAM
; but reads still give the bytes loaded at those addresses.
checkVideoRead:
    xor a
    out (PORT_VIDEO),a
    ld hl,videoProbes
cvrNext:
    ld e,(hl)
    inc hl
    ld d,(hl)
    inc hl
    ld a,d
    or e
    jr z,cvrDone
    ld a,(de)
    cp (hl)
    inc hl
    jr nz,cvrFail
    cpl
    ld (de),a
    ld a,(de)
    dec hl
    cp (hl)
    inc hl
    jr z,cvrNext
cvrFail:
    ld a,VC_NONE
    out (PORT_VIDEO),a
    jp failed
cvrDone:
    ld a,VC_NONE
    out (PORT_VIDEO),a
    jp passed

videoProbes:
    dw 0xB000
    db 0x11
    dw 0xB3FF
    db 0x22
    dw 0xB7FF
    db 0x33
    dw 0

; At rest the TIA-MC-1 inputs read 0 and the TIA-MC-2 ones their inverted
; bits, the frame-phase bit aside.
checkInputs:
    in a,(PORT_IN0)
    cp IN0_INVERT
    jp nz,failed
    in a,(PORT_IN1)
    cp IN1_INVERT
    jp nz,failed
    in a,(PORT_IN2)
    and 0x7F
    cp IN2_INVERT
    jp nz,failed
    jp passed

; Returns just after a frame interrupt.
syncFrame:
    xor a
    ld (irqMark),a
    ei
sfWait:
    halt
    ld a,(irqMark)
    or a
    jr z,sfWait
    ret

; T-states from the frame interrupt to the start of the first read that sees
; the frame-phase bit: 215 before the loop, 33 per pass, the read 6 into a
; pass.
checkPhase:
    call syncFrame
    in a,(PORT_IN2)
    bit 7,a
    jp nz,failed
    ld hl,0
cphLoop:
    inc hl
    in a,(PORT_IN2)
    rla
    jr nc,cphLoop
    ld d,h
    ld e,l
    call times32
    add hl,de
    ld de,188
    add hl,de
    ld (value),hl
    ld de,-4950
    add hl,de
    jp nc,failed
    ld de,-100
    add hl,de
    jp c,failed
    jp passed

; HL = HL * 32.
times32:
    add hl,hl
    add hl,hl
    add hl,hl
    add hl,hl
    add hl,hl
    ret

; Over three frames the bit reads 0 early, sets once, stays set to the end.
checkFlips:
    call syncFrame
    ld c,3
cflFrame:
    in a,(PORT_IN2)
    rla
    jp c,failed
    ld hl,0
cflRise:
    inc hl
    ld a,h
    cp 4
    jp nc,failed
    in a,(PORT_IN2)
    rla
    jr nc,cflRise
    xor a
    ld (irqMark),a
cflHigh:
    in a,(PORT_IN2)
    ld b,a
    ld a,(irqMark)
    or a
    jr nz,cflNext
    bit 7,b
    jp z,failed
    jr cflHigh
cflNext:
    dec c
    jr nz,cflFrame
    jp passed

; T-states between two frame interrupts: 203 before the loop, 35 for each
; finished pass, and the part of the pass before the interrupted
; instruction, which the handler's return address tells.
checkFrame:
    call syncFrame
    xor a
    ld (irqMark),a
    ld hl,0
cfrLoop:
    inc hl
    ld a,(irqMark)
    or a
    jr z,cfrLoop
    ld hl,(irqPc)
    ld de,-cfrLoop
    add hl,de
    ld de,cfrPartPass
    add hl,de
    ld c,(hl)
    ld hl,(irqHl)
    dec hl
    ld d,h
    ld e,l
    call times32
    add hl,de
    add hl,de
    add hl,de
    ld b,0
    add hl,bc
    ld de,203
    add hl,de
    ld (value),hl
    ld de,-34900
    add hl,de
    jr nc,failed2
    ld de,-200
    add hl,de
    jr c,failed2
    xor a
    ret
failed2:
    ld a,1
    ret

; T-states of a pass done when the handler returns to cfrLoop + index.
cfrPartPass:
    db 35,6,0,0,19,23

checkIm0:
    im 0
    ld b,1
    jr checkIrq
checkIm1:
    im 1
    ld b,1
    jr checkIrq
checkIm2:
    ld a,VEC_I
    ld i,a
    im 2
    ld b,2
    call checkIrq
    im 1
    ret

; Waits for one frame interrupt; passes when the handler that ran left B.
checkIrq:
    xor a
    ld (irqMark),a
    ei
    halt
    di
    ld a,(irqMark)
    cp b
    ld a,0
    ret z
    inc a
    ret

vectorIsr:
    push af
    ld a,2
    ld (irqMark),a
    pop af
    ei
    reti

; ---------------------------------------------------------------- screen

drawScreen:
    ld hl,palette
    call setPalette
    if TIAMC2 = 0
    ld hl,charImage
    call loadCharRam
    ld hl,charImage+0x800+0x20*8
    ld de,VRAM+(0x20+GREEN_TEXT)*8
    ld bc,0x40*8
    ld a,5
    call recolour
    ld hl,charImage+0x800+'0'*8
    ld de,VRAM+('0'+YELLOW_DIG)*8
    ld bc,10*8
    ld a,4
    call recolour
    ld hl,charImage+0x800+'A'*8
    ld de,VRAM+('A'+RED_TEXT)*8
    ld bc,26*8
    ld a,3
    call recolour
    endif
    ld hl,VRAM
    ld bc,0x400
    ld a,' '
    call fillTiles
    ld hl,VRAM+1*32+3
    ld de,textTitle
    ld b,0
    call printAt
    ld hl,VRAM+3*32
    ld bc,32
    ld a,1
    call fillTiles
    ld hl,VRAM+(ROW_FIRST+18)*32
    ld bc,32
    ld a,1
    call fillTiles
    call drawResults
    ld a,(failures)
    or a
    ld hl,VRAM+(ROW_FIRST+20)*32+8
    ld de,textAllPass
    ld b,GREEN_TEXT
    jp z,printAt
    ld hl,VRAM+(ROW_FIRST+20)*32+7
    ld de,textSomeFail
    ld b,RED_TEXT
    jp printAt

; One line per check: label, figure if any, PASS or FAIL.
drawResults:
    ld ix,checks
    ld iy,results
    ld hl,VRAM+ROW_FIRST*32+1
    exx
    ld hl,values
    exx
drNext:
    ld a,(ix+1)
    or a
    ret z
    push hl
    ld e,(ix+2)
    ld d,(ix+3)
    ld b,0
    call printAt
    pop hl
    push hl
    exx
    ld e,(hl)
    inc hl
    ld d,(hl)
    inc hl
    push de
    exx
    pop de
    ld a,d
    and e
    inc a
    jr z,drResult
    ld bc,COL_VALUE-1
    add hl,bc
    ld b,YELLOW_DIG
    call printNum5
drResult:
    pop hl
    push hl
    ld bc,COL_RESULT-1
    add hl,bc
    ld de,textPass
    ld b,GREEN_TEXT
    ld a,(iy+0)
    or a
    jr z,drShow
    ld a,(failures)
    inc a
    ld (failures),a
    ld de,textFail
    ld b,RED_TEXT
drShow:
    call printAt
    pop hl
    ld bc,64
    add hl,bc
    inc iy
    ld bc,4
    add ix,bc
    jr drNext

    if TIAMC2
textTitle:      db "KORVALO SELF TEST TIA-MC-2",0
    else
textTitle:      db "KORVALO SELF TEST TIA-MC-1",0
    endif
textRom:        db "ROM WRITES IGNORED",0
textVideo:      db "VIDEO RAM NOT READ",0
textInputs:     db "INPUTS AT REST",0
textPhase:      db "FRAME PHASE T",0
textFlips:      db "PHASE FLIPS EACH FRAME",0
textFrame:      db "FRAME LENGTH T",0
textIm0:        db "INTERRUPT MODE 0",0
textIm1:        db "INTERRUPT MODE 1",0
textIm2:        db "INTERRUPT MODE 2",0
textPass:       db "PASS",0
textFail:       db "FAIL",0
textAllPass:    db "ALL CHECKS PASSED",0
textSomeFail:   db "SOME CHECKS FAILED",0

palette:
    db 0x40,0x00,0xFF,0x38,0x3F,0x07,0xC7,0xF8
    db 0x3B,0x9B,0x1A,0xD3,0x3F,0x3B,0xF4,0x00

    include "video.asm"
    if TIAMC2 = 0
    include "charram.asm"
    endif

; The IM 2 table: every byte leads to WRONG_ISR except the vector pair read
; at I * 256 + 0xFF.
    org VEC_I*256
    ds 0xFF,WRONG_ISR/256
    dw vectorIsr
    ds 0xFF,WRONG_ISR/256

    org WRONG_ISR
wrongIsr:
    push af
    ld a,3
    ld (irqMark),a
    pop af
    ei
    reti

    if TIAMC2 = 0
    org 0x5000
charImage:
    incbin "selftest_chars.bin"

; Bytes the writes must not change, and the ones reads of the video window
; must give back.
    org 0x8000
    db 0xA5
    org 0xAFFF
    db 0x5B
    org 0xB000
    db 0x11
    org 0xB3FF
    db 0x22
    org 0xB7FF
    db 0x33
    org 0xB800
    db 0xC3
    org 0xBFFF
    db 0x3C
    endif
