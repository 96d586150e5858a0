#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz harnesses into fuzz/corpus/<harness>/.

Run from anywhere; files are rewritten only when their contents change. The
seeds are small structured inputs that reach every branch the harnesses know
of quickly; libFuzzer finds the rest.
"""
import os
import random
import subprocess
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
                schedule=b"\x00" * 8, im_override=None):
    h = bytearray(48)
    h[0], h[1] = 0x12, 0x45
    for at, w in ((2, 0x4000), (4, 0x5000), (6, 0x0203), (8, sp), (10, pc), (12, 0x6000),
                  (14, 0x7000), (16, 0xFFD7), (18, 0x1111), (20, 0x2222), (22, 0x3333), (30, 0)):
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
          core_header(iff=6, schedule=every8) + b"\xdd\xfd" * 300 + b"\x00\xfb\x18\xfe")
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


if __name__ == "__main__":
    present_seeds()
    core_seeds()
