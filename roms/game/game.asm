; Korvalo demo game: defend the ground against falling crabs and divers.
; Assembled with TIAMC2 = 0 for the TIA-MC-1 (characters made in RAM, the
; title on the second tile page) or 1 for the TIA-MC-2 (characters from ROM,
; the title in character bank 1, the pause in bank 2, game over in bank 3).
; With ANALOG = 1 (TIA-MC-1) it steers through the analog value of port 0xD0
; instead of the Left/Right bits.

    if TIAMC2
    include "tiamc2.inc"
    else
    include "tiamc1.inc"
    endif
    include "ram.inc"

ST_TITLE    equ 0
ST_PLAY     equ 1
ST_DYING    equ 2
ST_OVER     equ 3

TITLE_I     equ 0x3F        ; title IM 2 vector at 0x3FFF
GROUND_Y    equ 216         ; an enemy whose top reaches this row has landed
SPR_PLAYER  equ 0
SPR_BULLET  equ 1
SPR_ENEMY   equ 4
SPR_EXPLODE equ 14
SPR_SAUCER  equ 15
IMG_SHIP    equ 0
IMG_SHOT    equ 2
IMG_CRAB    equ 3
IMG_DIVER   equ 5
IMG_BOOM    equ 6
IMG_SAUCER  equ 9
IMG_STAR    equ 10

CH_STAR     equ 1
CH_BRIGHT   equ 2
CH_GRASS    equ 3
CH_GROUND   equ 4
CH_BAR      equ 5
CH_BLOCK    equ 6
CH_LIFE     equ 7
CH_PLANET   equ 8
CH_BEAD     equ 12
CYCLE_TEXT  equ 0x80        ; + glyph: colour 12, cycled on the title
YELLOW_DIG  equ 0x30        ; + digit: yellow digits
RED_TEXT    equ 0xA0        ; + letter: red letters

    org 0
    di
    ld sp,0
    jp start

    org 0x38
; Frame interrupt in IM 1 (the game).
frameIsr:
    push af
    push hl
    ld a,1
    ld (frameFlag),a
    ld hl,(frameCount)
    inc hl
    ld (frameCount),hl
    pop hl
    pop af
    ei
    reti

    org 0x100
start:
    im 1
    ld a,X_ORIGIN
    out (PORT_X_ORIGIN),a
    ld hl,0xC000
    ld de,0xC001
    ld bc,0x3E00
    ld (hl),0
    ldir
    ld hl,0x4B1D
    ld (seed),hl
    call hideSprites
    call flushSprites
    ld hl,palette
    call setPalette
    if TIAMC2 = 0
    ld hl,charImage
    call loadCharRam
    ld hl,charImage+0x800+0x20*8
    ld de,VRAM+(0x20+CYCLE_TEXT)*8
    ld bc,0x40*8
    ld a,12
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
    call enterTitle

mainLoop:
    call waitFrame
    call readInputs
    call runState
    call flushSprites
    jr mainLoop

runState:
    ld a,(state)
    cp ST_PLAY
    jp z,playFrame
    cp ST_DYING
    jp z,dyingFrame
    cp ST_OVER
    jp z,overFrame
    jp titleFrame

; Sleeps until the frame interrupt, then until the frame-phase bit says the
; first seventh of the frame is over.
waitFrame:
    ei
    halt
    ld a,(frameFlag)
    or a
    jr z,waitFrame
    xor a
    ld (frameFlag),a
wfPhase:
    in a,(PORT_IN2)
    rla
    jr nc,wfPhase
    ret

readInputs:
    in a,(PORT_IN0)
    xor IN0_INVERT
    ld (in0),a
    ld a,(in1)
    cpl
    ld b,a
    in a,(PORT_IN1)
    xor IN1_INVERT
    ld (in1),a
    and b
    ld (new1),a
    ld a,(in2)
    cpl
    ld b,a
    in a,(PORT_IN2)
    xor IN2_INVERT
    and IN2_SPACE+IN2_LCTRL+IN2_ENTER
    ld (in2),a
    and b
    ld (new2),a
    ret

; A = the byte at HL + A (HL moves there).
tableByte:
    add a,l
    ld l,a
    jr nc,tabSamePage
    inc h
tabSamePage:
    ld a,(hl)
    ret

; Next pseudo-random number in A: eight steps of a 16-bit Galois shift
; register, so every bit of the result is new.
random:
    push bc
    push hl
    ld hl,(seed)
    ld b,8
rndStep:
    add hl,hl
    jr nc,rndKeep
    ld a,l
    xor 0x2D
    ld l,a
rndKeep:
    djnz rndStep
    ld (seed),hl
    ld a,l
    pop hl
    pop bc
    ret

; ---------------------------------------------------------------- sprites

hideSprites:
    ld hl,sprY
    ld b,16
hsNext:
    ld (hl),0
    inc hl
    djnz hsNext
    ld hl,sprAttr
    ld b,16
hsAttr:
    ld (hl),ATTR_HIDE
    inc hl
    djnz hsAttr
    ret

; A = sprite, B = left column, C = top row, D = image, E = attributes.
setSprite:
    push hl
    ld h,sprY/256
    ld l,a
    ld (hl),c
    add a,16
    ld l,a
    ld (hl),b
    add a,16
    ld l,a
    ld (hl),d
    add a,16
    ld l,a
    ld (hl),e
    pop hl
    ret

; A = sprite to hide.
hideSprite:
    ld e,ATTR_HIDE
    ld c,0
    jr setSprite

flushSprites:
    ld hl,sprY
    ld bc,0x1000+PORT_SPR_Y
fsY:
    ld a,(hl)
    neg
    out (c),a
    inc hl
    inc c
    djnz fsY
    ld b,16
fsX:
    ld a,(hl)
    cpl
    out (c),a
    inc hl
    inc c
    djnz fsX
    ld b,16
fsImage:
    ld a,(hl)
    cpl
    out (c),a
    inc hl
    inc c
    djnz fsImage
    ld b,16
fsAttr:
    ld a,(hl)
    out (c),a
    inc hl
    inc c
    djnz fsAttr
    ret

; ---------------------------------------------------------------- title

enterTitle:
    di
    ld a,TITLE_I
    ld i,a
    im 2
    ei
    ld a,ST_TITLE
    ld (state),a
    ld a,PAGE_SHOW1
    ld (vcPage),a
    ld a,VC_NONE
    call setVideo
    ld hl,palette
    call setPalette
    call drawTitlePage
    ld hl,VRAM+PAGE1+15*32+15
    ld de,(hiScore)
    ld b,YELLOW_DIG
    call printNum5
    jp hideSprites

; Two rows of eight sprites drift across the title in opposite directions,
; showing each image plain, mirrored, upside down and both.
titleFrame:
    ld ix,parade
    ld b,0
tfNext:
    ld a,(frameCount)
    bit 0,(ix+1)
    jr z,tfRight
    neg
tfRight:
    add a,(ix+0)
    push bc
    ld c,(ix+1)
    res 0,c
    ld d,(ix+2)
    ld e,(ix+3)
    ld h,a
    ld a,(frameCount)
    and 8
    jr z,tfStill
    ld a,d
    cp IMG_CRAB
    jr nz,tfStill
    inc d
tfStill:
    ld a,b
    ld b,h
    call setSprite
    pop bc
    inc ix
    inc ix
    inc ix
    inc ix
    inc b
    ld a,b
    cp 16
    jr nz,tfNext
    ld a,(new2)
    and IN2_ENTER
    ret z
    jp startGame

; Per sprite: x phase, top row (odd = drifts left), image, attributes.
parade:
    db 0,138,IMG_CRAB,ATTR_NORMAL
    db 32,138,IMG_CRAB,ATTR_TOPDOWN
    db 64,138,IMG_DIVER,ATTR_UNMIRRORED
    db 96,138,IMG_DIVER,0
    db 128,138,IMG_SAUCER,ATTR_NORMAL
    db 160,138,IMG_STAR,ATTR_NORMAL
    db 192,138,IMG_SHIP,ATTR_NORMAL
    db 224,138,IMG_SHIP,ATTR_UNMIRRORED
    db 0,163,IMG_SAUCER,ATTR_TOPDOWN
    db 32,163,IMG_CRAB,ATTR_TOPDOWN
    db 64,163,IMG_BOOM+1,ATTR_NORMAL
    db 96,163,IMG_CRAB,0
    db 128,163,IMG_STAR,ATTR_UNMIRRORED
    db 160,163,IMG_SAUCER,ATTR_UNMIRRORED
    db 192,163,IMG_SHIP+1,ATTR_NORMAL
    db 224,163,IMG_DIVER,ATTR_NORMAL

; Frame interrupt in IM 2 (the title): also cycles colours 12 and 13.
titleIsr:
    push af
    push hl
    ld a,1
    ld (frameFlag),a
    ld hl,(frameCount)
    inc hl
    ld (frameCount),hl
    ld a,l
    rrca
    rrca
    rrca
    and 7
    ld hl,cycleColours
    call tableByte
    out (PORT_PALETTE+12),a
    inc hl
    ld a,(hl)
    out (PORT_PALETTE+13),a
    pop hl
    pop af
    ei
    reti

; ---------------------------------------------------------------- game

startGame:
    di
    im 1
    ei
    xor a
    ld (vcPage),a
    ld (level),a
    ld (kills),a
    ld (paused),a
    ld h,a
    ld l,a
    ld (score),hl
    ld a,3
    ld (lives),a
    ld (bombs),a
    call drawPlayfield
    call drawHud
    call resetRound
    ld a,ST_PLAY
    ld (state),a
    ret

; Clears the sky of enemies and shots and puts the ship back.
resetRound:
    call hideSprites
    ld hl,bullets
    ld b,NUM_BULLETS*2+NUM_ENEMIES*ENEMY_SIZE+16
rrClear:
    ld (hl),0
    inc hl
    djnz rrClear
    ld a,120
    ld (plX),a
    ld a,200
    ld (plY),a
    ld a,40
    ld (spawnTimer),a
    ld a,200
    ld (scWait),a
    xor a
    ld (scDir),a
    ld (boomTimer),a
    ld (flashTimer),a
    jp setSky

; Palette register 0 is the sky: its colour tells the level. On the
; TIA-MC-2 the game's characters are bank 0.
setSky:
    if TIAMC2
    xor a
    ld (vcPage),a
    call setVideo
    endif
    ld a,(level)
    ld hl,skyColours
    call tableByte
    out (PORT_PALETTE+0),a
    ret

playFrame:
    ld a,(new1)
    and IN1_T
    call nz,togglePause
    ld a,(paused)
    or a
    ret nz
    call movePlayer
    call fireShots
    call throwBomb
    call moveBullets
    call spawnEnemy
    call moveSaucer
    call hitTargets
    call moveEnemies
    call showExplosion
    call showFlash
    ld a,(hudDirty)
    or a
    call nz,drawHud
    ret

; T pauses and resumes; the TIA-MC-2 shows the pause in bank 2, frozen.
togglePause:
    ld a,(paused)
    xor 1
    ld (paused),a
    jr z,tpResume
    if TIAMC2
    ld a,BANK2
    ld (vcPage),a
    call setVideo
    endif
    ld hl,VRAM+12
    ld bc,8
    ld a,' '
    call fillTiles
    ld hl,VRAM+13
    ld de,textPaused
    ld b,RED_TEXT
    jp printAt
tpResume:
    call setSky
    jp drawHud

    if ANALOG
; Left raises the analog value (96 to 208), Right lowers it.
movePlayer:
    in a,(PORT_IN0)
    ld b,a
    ld a,208
    sub b
    add a,a
    add a,8
    ld (plX),a
    jr moveVertical
    else
movePlayer:
    ld a,(plX)
    ld b,a
    ld a,(in0)
    and IN0_LEFT
    jr z,mpRight
    ld a,b
    cp 10
    jr c,mpRight
    dec b
    dec b
mpRight:
    ld a,(in0)
    and IN0_RIGHT
    jr z,mpStore
    ld a,b
    cp 231
    jr nc,mpStore
    inc b
    inc b
mpStore:
    ld a,b
    ld (plX),a
    endif
moveVertical:
    ld a,(plY)
    ld b,a
    ld a,(in1)
    and IN1_UP
    jr z,mpDown
    ld a,b
    cp 170
    jr c,mpDown
    dec b
    dec b
mpDown:
    ld a,(in1)
    and IN1_DOWN
    jr z,mpShow
    ld a,b
    cp 214
    jr nc,mpShow
    inc b
    inc b
mpShow:
    ld a,b
    ld (plY),a
    ld c,a
    ld a,(plX)
    ld b,a
    ld a,(frameCount)
    rrca
    rrca
    and 1
    add a,IMG_SHIP
    ld d,a
    ld e,ATTR_NORMAL
    ld a,SPR_PLAYER
    jp setSprite

; Space fires while held, one shot every ten frames, three in the air at most.
fireShots:
    ld a,(cooldown)
    or a
    jr z,fsReady
    dec a
    ld (cooldown),a
    ret
fsReady:
    ld a,(in2)
    and IN2_SPACE
    ret z
    ld hl,bullets+1
    ld b,NUM_BULLETS
fsFind:
    ld a,(hl)
    or a
    jr z,fsLaunch
    inc hl
    inc hl
    djnz fsFind
    ret
fsLaunch:
    ld a,(plY)
    sub 10
    ld (hl),a
    dec hl
    ld a,(plX)
    ld (hl),a
    ld a,10
    ld (cooldown),a
    ret

; Left Ctrl throws a bomb that clears the sky.
throwBomb:
    ld a,(new2)
    and IN2_LCTRL
    ret z
    ld a,(bombs)
    or a
    ret z
    dec a
    ld (bombs),a
    ld a,1
    ld (hudDirty),a
    ld a,8
    ld (flashTimer),a
    ld ix,enemies
    ld b,NUM_ENEMIES
tbNext:
    ld a,(ix+3)
    or a
    jr z,tbSkip
    ld (ix+3),0
    ld a,(ix+0)
    ld (boomX),a
    ld a,(ix+1)
    ld (boomY),a
    ld a,18
    ld (boomTimer),a
    ld de,5
    call addScore
    push bc
    call countKill
    pop bc
tbSkip:
    ld de,ENEMY_SIZE
    add ix,de
    djnz tbNext
    ret

; The sky flashes white while flashTimer runs.
showFlash:
    ld a,(flashTimer)
    or a
    ret z
    dec a
    ld (flashTimer),a
    jp z,setSky
    ld a,0xD3
    out (PORT_PALETTE+0),a
    ret

moveBullets:
    ld hl,bullets
    ld b,0
mbNext:
    ld c,(hl)
    inc hl
    ld a,(hl)
    or a
    jr z,mbHide
    sub 6
    cp 20
    jr nc,mbKeep
    xor a
mbKeep:
    ld (hl),a
    or a
    jr z,mbHide
    push bc
    push hl
    ld d,IMG_SHOT
    ld e,ATTR_NORMAL
    ld a,b
    add a,SPR_BULLET
    ld b,c
    ld c,(hl)
    call setSprite
    pop hl
    pop bc
    jr mbStep
mbHide:
    push bc
    push hl
    ld a,b
    add a,SPR_BULLET
    call hideSprite
    pop hl
    pop bc
mbStep:
    inc hl
    inc b
    ld a,b
    cp NUM_BULLETS
    jr nz,mbNext
    ret

; A new enemy drops in at a random column when spawnTimer runs out.
spawnEnemy:
    ld hl,spawnTimer
    dec (hl)
    ret nz
    ld a,(level)
    ld hl,spawnDelays
    call tableByte
    ld (spawnTimer),a
    ld ix,enemies
    ld b,NUM_ENEMIES
    ld de,ENEMY_SIZE
seFind:
    ld a,(ix+3)
    or a
    jr z,seFound
    add ix,de
    djnz seFind
    ret
seFound:
    call random
    and 0xBF
    add a,16
    ld (ix+0),a
    ld (ix+1),24
    call random
    ld c,a
    and 3
    ld a,2
    jr z,seKind
    dec a
seKind:
    ld (ix+3),a
    ld (ix+2),0
    cp 2
    ret z
    ld (ix+2),1
    bit 7,c
    ret z
    ld (ix+2),0xFF
    ret

moveEnemies:
    ld ix,enemies
    ld b,0
meNext:
    ld a,(ix+3)
    or a
    jr z,meHide
    call stepEnemy
    ld a,(state)
    cp ST_PLAY
    ret nz
    call showEnemy
    jr meStep
meHide:
    ld a,b
    add a,SPR_ENEMY
    call hideSprite
meStep:
    ld de,ENEMY_SIZE
    add ix,de
    inc b
    ld a,b
    cp NUM_ENEMIES
    jr nz,meNext
    ret

; Moves the enemy at IX; it costs a life when it lands or touches the ship.
stepEnemy:
    ld a,(ix+0)
    add a,(ix+2)
    ld (ix+0),a
    cp 8
    jr c,seTurn
    cp 233
    jr c,seFall
seTurn:
    ld a,(ix+2)
    neg
    ld (ix+2),a
seFall:
    ld a,(frameCount)
    and 1
    ld c,a
    ld a,(ix+3)
    cp 2
    jr nz,seCrab
    ld c,1
seCrab:
    ld a,(ix+1)
    add a,c
    ld (ix+1),a
    cp GROUND_Y
    jp nc,loseLife
    ld c,a
    ld a,(plY)
    ld e,b
    ld b,c
    call absDiff
    ld b,e
    cp 11
    ret nc
    ld a,(plX)
    ld c,(ix+0)
    ld e,b
    ld b,c
    call absDiff
    ld b,e
    cp 11
    ret nc
    jp loseLife

; A = |A - B|.
absDiff:
    sub b
    ret nc
    neg
    ret

; Sprite of enemy B (at IX): crabs walk facing their way, divers fall nose
; down and turn over every few frames.
showEnemy:
    push bc
    ld a,b
    add a,SPR_ENEMY
    ld b,(ix+0)
    ld c,(ix+1)
    ld l,a
    ld a,(ix+3)
    cp 2
    jr z,shDiver
    ld a,(frameCount)
    rrca
    rrca
    rrca
    and 1
    add a,IMG_CRAB
    ld d,a
    ld e,ATTR_NORMAL
    bit 7,(ix+2)
    jr z,shSet
    ld e,ATTR_TOPDOWN
    jr shSet
shDiver:
    ld d,IMG_DIVER
    ld a,(frameCount)
    and 8
    ld e,a
shSet:
    ld a,l
    call setSprite
    pop bc
    ret

; Shots against enemies and the saucer.
hitTargets:
    ld hl,bullets
    ld b,NUM_BULLETS
htShot:
    push bc
    push hl
    inc hl
    ld a,(hl)
    or a
    call nz,hitOneShot
    pop hl
    pop bc
    inc hl
    inc hl
    djnz htShot
    ret

; HL points at the y of a live shot.
hitOneShot:
    ld ix,enemies
    ld b,NUM_ENEMIES
hoNext:
    ld a,(ix+3)
    or a
    jr z,hoStep
    ld a,(ix+1)
    ld c,b
    ld b,(hl)
    call absDiff
    ld b,c
    cp 12
    jr nc,hoStep
    dec hl
    ld a,(ix+0)
    ld c,b
    ld b,(hl)
    call absDiff
    ld b,c
    inc hl
    cp 11
    jr nc,hoStep
    ld (hl),0
    ld a,(ix+3)
    ld (ix+3),0
    ld de,10
    cp 2
    jr nz,hoScore
    ld de,20
hoScore:
    call addScore
    ld a,(ix+0)
    ld b,(ix+1)
    call explodeAt
    jp countKill
hoStep:
    ld de,ENEMY_SIZE
    add ix,de
    djnz hoNext
    ld a,(scDir)
    or a
    ret z
    ld a,(hl)
    cp 40
    ret nc
    dec hl
    ld a,(scX)
    ld b,(hl)
    inc hl
    call absDiff
    cp 12
    ret nc
    ld (hl),0
    xor a
    ld (scDir),a
    ld a,(scX)
    ld b,24
    call explodeAt
    ld de,100
    jp addScore

; Every eighth enemy shot or bombed raises the level (seven at most).
countKill:
    ld hl,kills
    inc (hl)
    ld a,(hl)
    and 7
    ret nz
    ld a,(level)
    cp 7
    ret z
    inc a
    ld (level),a
    jp setSky

; A = column, B = row of a new explosion.
explodeAt:
    ld (boomX),a
    ld a,b
    ld (boomY),a
    ld a,18
    ld (boomTimer),a
    ret

showExplosion:
    ld a,(boomTimer)
    or a
    ld a,SPR_EXPLODE
    jp z,hideSprite
    ld hl,boomTimer
    dec (hl)
    ld a,(hl)
    ld e,ATTR_NORMAL
    bit 0,a
    jr z,sxTurn
    ld e,0
sxTurn:
    ld d,IMG_BOOM+2
    cp 6
    jr c,sxShow
    dec d
    cp 12
    jr c,sxShow
    dec d
sxShow:
    ld a,(boomX)
    ld b,a
    ld a,(boomY)
    ld c,a
    ld a,SPR_EXPLODE
    jp setSprite

; The saucer crosses the top now and then, facing its way.
moveSaucer:
    ld a,(scDir)
    or a
    jr nz,msFly
    ld hl,scWait
    dec (hl)
    ld a,SPR_SAUCER
    jp nz,hideSprite
    ld (hl),250
    ld a,(frameCount+1)
    and 1
    ld a,1
    ld b,8
    jr z,msStart
    ld a,0xFF
    ld b,232
msStart:
    ld (scDir),a
    ld a,b
    ld (scX),a
msFly:
    ld a,(scX)
    ld hl,scDir
    add a,(hl)
    ld (scX),a
    cp 4
    jr c,msGone
    cp 236
    jr nc,msGone
    ld b,a
    ld c,24
    ld d,IMG_SAUCER
    ld e,ATTR_NORMAL
    bit 7,(hl)
    jr z,msShow
    ld e,ATTR_TOPDOWN
msShow:
    ld a,SPR_SAUCER
    jp setSprite
msGone:
    ld (hl),0
    ld a,SPR_SAUCER
    jp hideSprite

; DE = points to add.
addScore:
    ld hl,(score)
    add hl,de
    jr nc,asKeep
    ld hl,0xFFFF
asKeep:
    ld (score),hl
    ld a,1
    ld (hudDirty),a
    ret

loseLife:
    ld a,ST_DYING
    ld (state),a
    ld hl,90
    ld (timer),hl
    ld a,0x18
    out (PORT_PALETTE+0),a
    ret

dyingFrame:
    ld hl,(timer)
    dec hl
    ld (timer),hl
    ld a,l
    or h
    jr z,dfDone
    ld a,l
    ld d,IMG_BOOM+2
    cp 30
    jr c,dfShow
    dec d
    cp 60
    jr c,dfShow
    dec d
dfShow:
    ld a,(frameCount)
    and 2
    ld e,a
    ld a,(plX)
    ld b,a
    ld a,(plY)
    ld c,a
    ld a,SPR_PLAYER
    jp setSprite
dfDone:
    ld hl,lives
    dec (hl)
    jr z,enterOver
    call drawHud
    call resetRound
    ld a,ST_PLAY
    ld (state),a
    ret

enterOver:
    call drawHud
    call hideSprites
    call setSky
    if TIAMC2
    ld a,BANK3
    ld (vcPage),a
    ld a,VC_NONE
    call setVideo
    endif
    ld a,ST_OVER
    ld (state),a
    ld hl,300
    ld (timer),hl
    ld hl,(score)
    ld de,(hiScore)
    or a
    sbc hl,de
    jr c,eoText
    ld hl,(score)
    ld (hiScore),hl
    call drawHud
eoText:
    ld hl,VRAM+14*32+11
    ld de,textGameOver
    ld b,RED_TEXT
    call printAt
    ld hl,VRAM+17*32+6
    ld de,textPressEnter
    ld b,0
    jp printAt

; Game over shows for five seconds, or until Enter after the first second.
overFrame:
    ld hl,(timer)
    dec hl
    ld (timer),hl
    ld a,h
    or l
    jp z,enterTitle
    ld de,240
    sbc hl,de
    ret nc
    ld a,(new2)
    and IN2_ENTER
    ret z
    jp enterTitle

; ---------------------------------------------------------------- screens

drawHud:
    xor a
    ld (hudDirty),a
    ld hl,VRAM
    ld bc,32
    ld a,' '
    call fillTiles
    ld hl,VRAM+0
    ld de,textScore
    ld b,0
    call printAt
    ld hl,VRAM+6
    ld de,(score)
    ld b,YELLOW_DIG
    call printNum5
    ld hl,VRAM+12
    ld de,textHi
    ld b,0
    call printAt
    ld hl,VRAM+15
    ld de,(hiScore)
    ld b,YELLOW_DIG
    call printNum5
    ld a,(lives)
    or a
    jr z,dhBombs
    ld c,a
    ld b,0
    ld hl,VRAM+21
    ld a,CH_LIFE
    call fillTiles
dhBombs:
    ld hl,VRAM+25
    ld de,textBomb
    ld b,0
    call printAt
    ld a,(bombs)
    add a,'0'+YELLOW_DIG
    ld (numBuf),a
    xor a
    ld (numBuf+1),a
    ld hl,VRAM+30
    ld de,numBuf
    ld b,0
    jp printAt

; Page 0: score line, starry sky with a planet, ground.
drawPlayfield:
    ld hl,VRAM
    call drawSky
    ld hl,VRAM+32
    ld bc,32
    ld a,CH_BAR
    call fillTiles
    ld hl,VRAM+4*32+24
    call drawPlanet
    ld hl,VRAM+29*32
    ld bc,32
    ld a,CH_GRASS
    call fillTiles
    ld hl,VRAM+30*32
    ld bc,64
    ld a,CH_GROUND
    jp fillTiles

; Page 1: the title with big letters, texts, a bead frame.
drawTitlePage:
    ld hl,VRAM+PAGE1
    call drawSky
    ld hl,VRAM+PAGE1
    ld bc,32
    ld a,CH_BEAD
    call fillTiles
    ld hl,VRAM+PAGE1+31*32
    ld bc,32
    ld a,CH_BEAD
    call fillTiles
    ld hl,VRAM+PAGE1+26*32+26
    call drawPlanet
    ld hl,bigTitle
    ld de,VRAM+PAGE1+3*32+2
    call drawBigText
    ld ix,titleTexts
dtText:
    ld l,(ix+0)
    ld h,(ix+1)
    ld a,h
    or l
    ret z
    ld e,(ix+2)
    ld d,(ix+3)
    ld b,(ix+4)
    call printAt
    ld de,5
    add ix,de
    jr dtText

; Window address, text, code offset.
titleTexts:
    dw VRAM+PAGE1+10*32+7+ANALOG
    dw textDefend
    db 0
    dw VRAM+PAGE1+12*32+6
    dw textPressEnter
    db CYCLE_TEXT
    dw VRAM+PAGE1+15*32+12
    dw textHi
    db 0
    dw VRAM+PAGE1+24*32+2
    dw textHelp1
    db 0
    dw VRAM+PAGE1+26*32+2
    dw textHelp2
    db 0
    dw VRAM+PAGE1+29*32+8
    dw textCopyright
    db CYCLE_TEXT
    dw 0

; Fills a page (window address HL) with sky and a scatter of stars.
drawSky:
    push hl
    ld bc,0x400
    xor a
    call fillTiles
    pop de
    ld a,VC_TILES
    call setVideo
    ld b,60
dsStar:
    call random
    ld l,a
    call random
    and 3
    ld h,a
    add hl,de
    ld a,l
    and 7
    ld a,CH_STAR
    jr nz,dsPut
    ld a,CH_BRIGHT
dsPut:
    ld (hl),a
    djnz dsStar
    ld a,VC_NONE
    jp setVideo

; The 2 x 2 planet at window address HL.
drawPlanet:
    ld a,VC_TILES
    call setVideo
    ld (hl),CH_PLANET
    inc hl
    ld (hl),CH_PLANET+1
    ld de,31
    add hl,de
    ld (hl),CH_PLANET+2
    inc hl
    ld (hl),CH_PLANET+3
    ld a,VC_NONE
    jp setVideo

; Big letters from blocks: HL = a bit picture of 5 rows of 32 columns (4
; bytes each), DE = window address of its top left corner.
drawBigText:
    ld a,VC_TILES
    call setVideo
    ld c,5*4
dbByte:
    ld a,(hl)
    inc hl
    ld b,8
dbBit:
    rla
    jr nc,dbSkip
    push af
    ld a,CH_BLOCK
    ld (de),a
    pop af
dbSkip:
    inc de
    djnz dbBit
    dec c
    jr nz,dbByte
    ld a,VC_NONE
    jp setVideo

; "KORVALO" in 3 x 5 blocks, 28 columns wide.
bigTitle:
    db %10100100, %11001010, %01001000, %01000000
    db %10101010, %10101010, %10101000, %10100000
    db %11001010, %11001010, %11101000, %10100000
    db %10101010, %10101010, %10101000, %10100000
    db %10100100, %10100100, %10101110, %01000000

textScore:      db "SCORE",0
textHi:         db "HI",0
textBomb:       db "BOMB",0
textPaused:     db "PAUSED",0
textGameOver:   db "GAME OVER",0
textPressEnter: db "PRESS ENTER TO START",0
    if ANALOG
textDefend:     db "ANALOG STEERING",0
    else
textDefend:     db "DEFEND THE GROUND",0
    endif
textHelp1:      db "ARROWS MOVE   SPACE FIRE",0
textHelp2:      db "CTRL BOMB     T PAUSE",0
textCopyright:  db "KORVALO 2026",0

; Board colour bytes: blue in bits 6-7, red in 3-5, green in 0-2.
palette:
    db 0x00,0x40,0xFF,0x38,0x3F,0x05,0xC7,0xF8
    db 0x3B,0x9B,0x1A,0xD3,0x3F,0x3B,0xF4,0x00
skyColours:
    db 0x00,0x40,0x41,0x80,0x48,0x08,0x42,0x88
cycleColours:
    db 0x3F,0x3D,0x3B,0xF8,0xC7,0xC5,0x07,0x3E,0x3F
spawnDelays:
    db 60,54,48,42,36,32,28,24

    include "video.asm"
    if TIAMC2 = 0
    include "charram.asm"
    endif

    org TITLE_I*256+0xFF
    dw titleIsr

    if TIAMC2 = 0
    org 0x5000
charImage:
    incbin "demo1_chars.bin"
    endif
