; TIA-MC-1 character RAM: filled through the video window, plane by plane.

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
