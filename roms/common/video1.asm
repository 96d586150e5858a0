; TIA-MC-1 video helpers. The including program defines vcPage (a RAM byte:
; 0 or PAGE_SHOW1) and numBuf (6 bytes of RAM).

; A = write enables (bits 0-4); the displayed page comes from vcPage.
setVideo:
    push bc
    ld b,a
    ld a,(vcPage)
    or b
    out (PORT_VIDEO),a
    pop bc
    ret

; Copies a character RAM image (HL, four planes of 2 KB) into the planes.
loadCharRam:
    ld de,planeEnables
    ld b,4
lcrPlane:
    ld a,(de)
    inc de
    call setVideo
    push de
    push bc
    ld de,VRAM
    ld bc,0x800
    ldir
    pop bc
    pop de
    djnz lcrPlane
    ld a,VC_NONE
    jp setVideo
planeEnables:
    db 0x1D,0x1B,0x17,0x0F

; Copies glyphs drawn in colour 2 to other codes in colour A. HL = their
; plane-1 bytes in the image, DE = window address of the first copy, BC =
; byte count. All planes are cleared together, then the planes of the new
; colour receive the glyph bits in one write each.
recolour:
    push af
    push bc
    push de
    ld a,VC_PLANES
    call setVideo
rcClear:
    xor a
    ld (de),a
    inc de
    dec bc
    ld a,b
    or c
    jr nz,rcClear
    pop de
    pop bc
    pop af
    add a,a
    xor VC_NONE
    call setVideo
    ldir
    ld a,VC_NONE
    jp setVideo

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
