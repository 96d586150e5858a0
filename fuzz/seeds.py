#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/<harness>/.

Usage: seeds.py [BUILD/roms]  -- with a build's roms folder, the demo ROM sets
built there become seeds of fuzz_romset too (KorvaloDemo1.tia dropping
KorvaloDemo2.tia, and the reverse).

Run from anywhere; files are rewritten only when their contents change. The
seeds are small structured inputs that reach every branch the harnesses know
of quickly; libFuzzer finds the rest.
"""
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def write(harness, name, data):
    folder = os.path.join(HERE, "corpus", harness)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, name)
    if os.path.exists(path) and open(path, "rb").read() == data:
        return
    with open(path, "wb") as f:
        f.write(data)


def present_seeds():
    white = b"\xff\xff\xff\x00"
    black = b"\x00\x00\x00\x00"
    stripes = white * 4 + black * 4
    rng = random.Random(7)
    noise = bytes(rng.randrange(256) for _ in range(1024))
    # surface, preset choice (0: 3, 1: 1, 2: 12, 3: raw byte), scanline byte
    for surface in range(6):
        for preset, scan in ((0, 0), (1, 0), (2, 0), (2, 1), (2, 2), (2, 200), (0xFF, 9)):
            pixels = (white, stripes, noise)[(surface + preset + scan) % 3]
            write("fuzz_present", "s%d-p%d-m%d" % (surface, preset, scan),
                  bytes([surface, preset, scan]) + pixels)


def assemble(source):
    """Assembles Z80 source with pasmo into a flat binary from address 0."""
    with tempfile.TemporaryDirectory() as tmp:
        asm, out = os.path.join(tmp, "p.asm"), os.path.join(tmp, "p.bin")
        with open(asm, "w") as f:
            f.write(source)
        subprocess.run(["pasmo", asm, out], check=True, capture_output=True)
        return open(out, "rb").read()


def core_header(iff=0, im=0, i_reg=0, sp=0x8000, pc=0, tile=False, count=999,
                schedule=b"\x00" * 8, im_override=None, grant=0xFF):
    h = bytearray(48)
    h[0], h[1] = 0x12, 0x45
    for at, w in ((2, 0x4000), (4, 0x5000), (6, 0x0203), (8, sp), (10, pc), (12, 0x6000),
                  (14, 0x7000), (16, 0xFFD7), (18, 0x1111), (20, 0x2222), (22, 0x3333), (30, grant)):
        h[at], h[at + 1] = w & 0xFF, w >> 8
    h[26], h[27], h[28] = i_reg, iff, im
    h[32] = 1 if tile else 0
    h[33], h[34] = count & 0xFF, count >> 8
    if im_override is not None:
        h[35], h[36] = 1, im_override
    h[40:48] = schedule
    return bytes(h)


def core_seeds():
    every8 = b"\x01" * 8
    tables = {
        "base": b"".join(bytes([op, 0x12, 0x34]) for op in range(256) if op not in (0x76,)),
        "cb": b"".join(bytes([0xCB, op]) for op in range(256)),
        "ed": b"".join(bytes([0xED, op, 0x34, 0x12]) for op in range(256)),
        "dd": b"".join(bytes([0xDD, op, 0x05, 0x77]) for op in range(256)),
        "fd": b"".join(bytes([0xFD, op, 0xFB, 0x01]) for op in range(256)),
        "ddcb": b"".join(bytes([0xDD, 0xCB, 0x03, op]) for op in range(256)),
        "fdcb": b"".join(bytes([0xFD, 0xCB, 0xFE, op]) for op in range(256)),
    }
    for name, body in tables.items():
        write("fuzz_core", "table-" + name, core_header(iff=6, im=2, schedule=every8) + body)
    halt_loop = assemble("""
        org 0
        ld sp,0x8000
        ld a,0x20
        ld i,a
        im 2
        ei
    wait: halt
        jr wait
        org 0x38
        ei
        reti
        org 0x20FF
        defw 0x0038
    """)
    write("fuzz_core", "im2-halt", core_header(im=3, schedule=b"\xff" * 8) + halt_loop)
    write("fuzz_core", "im1-halt", core_header(im=2, schedule=b"\x11" * 8) + halt_loop)
    write("fuzz_core", "prefix-chain",
          core_header(iff=6, schedule=every8, grant=3) + b"\xdd\xfd" * 300 + b"\x00\xfb\x18\xfe")
    write("fuzz_core", "prefix-only", core_header(iff=6, tile=True, schedule=every8) + b"\xdd\xfd")
    # Instructions behind redundant prefixes, longer than six machine cycles,
    # in grants short enough that the budget runs out inside them.
    write("fuzz_core", "prefixed-ops",
          core_header(iff=6, tile=True, schedule=every8, grant=0) + b"\xdd\xdd\xed\x43\x00\x20" +
          b"\xdd\xdd\xdd\xe3" + b"\xfd" * 6 + b"\x21\x34\x12")
    write("fuzz_core", "block-ops", core_header(iff=6, im=3, i_reg=0xFF, schedule=b"\x80" * 8) +
          assemble("""
        org 0
        ld hl,0x100
        ld de,0x9000
        ld bc,0x200
        ldir
        ld bc,0x10FE
        inir
        otdr
        cpir
        ld hl,0xFFFF
        ex (sp),hl
        jp (hl)
    """))
    rng = random.Random(11)
    noise = bytes(rng.randrange(256) for _ in range(512))
    write("fuzz_core", "noise-tiled", core_header(iff=6, tile=True, schedule=b"\x05" * 8) + noise)
    write("fuzz_core", "pc-wrap", core_header(pc=0xFFFE, sp=0x0001) + b"\x00" * 2)


TIA_MC1_PROGRAM = """
        org 0
        jp start
        org 0x38
        push af
        ld a,(0xC001)
        inc a
        ld (0xC001),a
        out (0x51),a
        pop af
        ei
        reti
        org 0x100
start:  ld sp,0xF000
        im 1
        ld a,0xE1           ; character planes only
        out (0xBE),a
        ld hl,0xB000
        ld bc,0x0300
chars:  ld a,r
        ld (hl),a
        inc hl
        dec bc
        ld a,b
        or c
        jr nz,chars
        ld a,0xFE           ; tile map only
        out (0xBE),a
        ld hl,0xB000
        ld bc,0x0300
tiles:  ld (hl),l
        inc hl
        dec bc
        ld a,b
        or c
        jr nz,tiles
        ld c,0xA0
        ld b,16
palette: ld a,b
        rlca
        rlca
        rlca
        rlca
        or b
        out (c),a
        inc c
        djnz palette
        ld c,0x40
        ld b,64
sprites: ld a,r
        out (c),a
        inc c
        djnz sprites
        ld a,0x1F           ; no writes, first tile page
        out (0xBE),a
        ei
main:   in a,(0xD0)
        ld b,a
        in a,(0xD2)
        or b
        out (0x50),a
        out (0xBD),a
        ld hl,0xC000
        inc (hl)
        halt
        jr main
"""

TIA_MC2_PROGRAM = """
        org 0
        jp start
        org 0x38
        ei
        reti
        org 0x100
start:  ld sp,0xE000
        ld hl,0xF000
        ld bc,0x0400
tiles:  ld (hl),l
        inc hl
        dec bc
        ld a,b
        or c
        jr nz,tiles
        ld c,0xE0
        ld b,16
palette: ld a,b
        add a,a
        add a,a
        out (c),a
        inc c
        djnz palette
        ld c,0x00
        ld b,64
sprites: ld a,r
        out (c),a
        inc c
        djnz sprites
        ld a,0x11
        out (0xF8),a
        im 1
        ei
main:   in a,(0xD1)
        out (0x10),a
        halt
        jr main
"""


def checksum(data):
    value = 0
    for b in data:
        value = ((value << 1) | (value >> 15)) & 0xFFFF
        value ^= b
    return value


def force_checksum(sprite_rom, target):
    """Sets the bytes at 0x7FFF and 0x7FF7 so the sprite ROM sums to target."""
    sprite_rom[0x7FFF] = sprite_rom[0x7FF7] = 0
    diff = checksum(sprite_rom) ^ target
    sprite_rom[0x7FFF] = diff & 0xFF
    sprite_rom[0x7FF7] = diff >> 8
    assert checksum(sprite_rom) == target


def rom_set(model, rng):
    sprites = bytearray(rng.randrange(256) if i % 3 else 0 for i in range(0x8000))
    if model == "mc2":
        force_checksum(sprites, 0x3E56)
        chars = bytes(rng.randrange(256) for _ in range(0x8000))
        program = assemble(TIA_MC2_PROGRAM).ljust(0x6000, b"\x00")
        return bytes(sprites) + chars + program
    if model == "analog":
        force_checksum(sprites, 0x5422)
    elif checksum(sprites) in (0x3E56, 0x5422):
        sprites[0] ^= 1
    program = assemble(TIA_MC1_PROGRAM).ljust(0xE000, b"\x00")
    return bytes(sprites) + program


def romset_header(preset=0, scan=0, first=None, rest=1, frames=2, drop=0, drop_frame=1,
                  keys=b"", extra=b""):
    """Header of fuzz_romset: the first `first` of `rest` bytes start the run
    (None: all but the last byte or two; the rest, if any, is the drop)."""
    h = bytearray(20)
    h[0], h[1] = preset, scan
    split = 0xFFFF if first is None else -(-first * 65536 // rest)
    assert split < 65536  # the cut lands within rest / 65536 bytes after `first`
    h[2], h[3] = split & 0xFF, split >> 8
    assert frames in (2, 3)
    h[4] = (frames - 2) | drop << 2
    h[5] = drop_frame
    h[6:6 + len(keys)] = keys
    h[14:14 + len(extra)] = extra
    return bytes(h)


def romset_seeds():
    rng = random.Random(5)
    mc1, mc2, analog = rom_set("mc1", rng), rom_set("mc2", rng), rom_set("analog", rng)
    size = len(mc1)
    delete, lctrl, lshift, prtsc, scroll, lwin, key_f, left = (1 << k for k in range(8))

    def seed(name, first, second=b"", **kw):
        data = first + second
        head = romset_header(first=len(first) if second else None, rest=len(data), **kw)
        write("fuzz_romset", name, head + data)

    seed("mc1-preset3", mc1, keys=bytes([0, delete]), frames=3)
    seed("mc1-drop-mc2", mc1, mc2, preset=2, scan=1, drop=1, drop_frame=1, frames=3,
         keys=bytes([delete, lctrl | delete, 0, delete]))
    seed("mc2-preset1-keys", mc2, preset=1, frames=3,
         keys=bytes([lshift | prtsc, lwin | key_f, prtsc | scroll, 0, left]),
         extra=b"\xc5\x39\x1c\xc8\xd0\x14")
    seed("analog-left", analog, frames=3, keys=bytes([left] * 5), extra=b"\xcd" * 6)
    seed("mc1-drop-missing", mc1[:40000], preset=2, scan=2, drop=2, drop_frame=0)
    seed("oversized-drop-short", mc1 + bytes(rng.randrange(256) for _ in range(60000)),
         mc2[:300], drop=1, drop_frame=1, frames=3)
    seed("empty", b"")
    seed("one-byte", b"\x76")
    seed("short-drop-empty", b"\xfb\x76\x18\xfd", b"\x00", drop=1, drop_frame=0)
    assert size == 0x16000


def demo_seeds(roms):
    demo1 = open(os.path.join(roms, "KorvaloDemo1.tia"), "rb").read()
    demo2 = open(os.path.join(roms, "KorvaloDemo2.tia"), "rb").read()
    for name, first, second in (("demo1-drop-demo2", demo1, demo2),
                                ("demo2-drop-demo1", demo2, demo1)):
        data = first + second
        head = romset_header(first=len(first), rest=len(data), drop=1, drop_frame=2, frames=3,
                             keys=bytes([0, 0, 0, 0x80, 0x80]), extra=b"\x39\x1c\x39\x1c\xc8\xd0")
        write("fuzz_romset", name, head + data)


if __name__ == "__main__":
    present_seeds()
    core_seeds()
    romset_seeds()
    if len(sys.argv) > 1:
        demo_seeds(sys.argv[1])
