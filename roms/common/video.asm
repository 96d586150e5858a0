; Video helpers for both boards. The including program defines vcPage (a RAM
; byte: the video control bits besides the write enables: the TIA-MC-1 tile
; page or the TIA-MC-2 character bank) and numBuf (6 bytes of RAM).

; A = TIA-MC-1 write enables (bits 0-4); the rest comes from vcPage.
setVideo:
    push bc
    ld b,a
    ld a,(vcPage)
    or b
    out (PORT_VIDEO),a
    pop bc
    ret

; Writes the zero-terminated text at DE to the tiles from window address HL,
; adding B to every code.
printAt:
    ld a,VC_TILES
    call setVideo
paChar:
    ld a,(de)
    or a
    jr z,paDone
    add a,b
    ld (hl),a
    inc hl
    inc de
    jr paChar
paDone:
    ld a,VC_NONE
    jp setVideo

; Writes DE as five decimal digits at window address HL, adding B to codes.
printNum5:
    push bc
    push hl
    ex de,hl
    ld de,numBuf
    ld bc,-10000
    call pnDigit
    ld bc,-1000
    call pnDigit
    ld bc,-100
    call pnDigit
    ld bc,-10
    call pnDigit
    ld a,l
    add a,'0'
    ld (de),a
    inc de
    xor a
    ld (de),a
    pop hl
    pop bc
    ld de,numBuf
    jr printAt
pnDigit:
    ld a,'0'-1
pnCount:
    inc a
    add hl,bc
    jr c,pnCount
    sbc hl,bc
    ld (de),a
    inc de
    ret

; Fills BC tiles from window address HL with code A.
fillTiles:
    push af
    ld a,VC_TILES
    call setVideo
    pop af
    ld e,a
ftNext:
    ld (hl),e
    inc hl
    dec bc
    ld a,b
    or c
    jr nz,ftNext
    ld a,VC_NONE
    jp setVideo

; Sets the 16 palette registers from the board colour bytes at HL.
setPalette:
    ld bc,0x1000+PORT_PALETTE
spNext:
    ld a,(hl)
    out (c),a
    inc hl
    inc c
    djnz spNext
    ret
