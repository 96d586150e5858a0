"""Just enough PNG reading for the page's tests: 8-bit RGB or RGBA, not
interlaced (what the program's screenshots and the browser's encoder write).
Pixels come back as RGB bytes, rows packed."""

import struct
import zlib


def read_png(path):
    """(width, height, rgb bytes) of the PNG file at path."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(path + ": not a PNG file")
    at = 8
    idat = b""
    header = None
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        at += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise ValueError("%s: PNG depth %d, colour type %d, interlace %d not read here"
                         % (path, depth, colour, interlace))
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows = []
    previous = bytearray(stride)
    at = 0
    for _ in range(height):
        kind = raw[at]
        line = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        unfilter(kind, line, previous, channels)
        rows.append(line)
        previous = line
    pixels = b"".join(bytes(r) for r in rows)
    if channels == 4:
        pixels = rgba_to_rgb(pixels)
    return width, height, pixels


def unfilter(kind, line, previous, bpp):
    if kind == 0:
        return
    n = len(line)
    if kind == 1:
        for i in range(bpp, n):
            line[i] = (line[i] + line[i - bpp]) & 0xFF
    elif kind == 2:
        for i in range(n):
            line[i] = (line[i] + previous[i]) & 0xFF
    elif kind == 3:
        for i in range(n):
            left = line[i - bpp] if i >= bpp else 0
            line[i] = (line[i] + ((left + previous[i]) >> 1)) & 0xFF
    elif kind == 4:
        for i in range(n):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            predictor = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
            line[i] = (line[i] + predictor) & 0xFF
    else:
        raise ValueError("PNG filter %d" % kind)


def rgba_to_rgb(pixels):
    out = bytearray(len(pixels) // 4 * 3)
    out[0::3] = pixels[0::4]
    out[1::3] = pixels[1::4]
    out[2::3] = pixels[2::4]
    return bytes(out)
