"""PNG pictures for the window and browser tests, standard library only.

read(path) -> (w, h, rgb): an 8-bit non-interlaced grey, grey+alpha, RGB or
RGBA PNG (any of the five row filters) as packed RGB bytes; alpha is dropped.
write(path, w, h, rgb): an 8-bit RGB PNG.
compare(a, b) -> (count, first): a and b are (w, h, rgb); count is the number
of differing pixels, first is None or (x, y, rgb_a, rgb_b) of the first one.
A size mismatch raises ValueError.
"""

import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"
# Colour type -> channels per pixel.
CHANNELS = {0: 1, 2: 3, 4: 2, 6: 4}


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(raw, w, h, bpp):
    stride = w * bpp
    out = bytearray(stride * h)
    prev = bytearray(stride)
    pos = 0
    for y in range(h):
        ftype = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        if len(line) != stride:
            raise ValueError("PNG data ends early")
        if ftype == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 0xFF
        elif ftype == 2:
            for i in range(stride):
                line[i] = (line[i] + prev[i]) & 0xFF
        elif ftype == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 0xFF
        elif ftype == 4:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                upleft = prev[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + _paeth(left, prev[i], upleft)) & 0xFF
        elif ftype != 0:
            raise ValueError("unknown PNG row filter %d" % ftype)
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return out


def decode(data):
    """Decodes PNG bytes into (w, h, rgb)."""
    if data[:8] != SIGNATURE:
        raise ValueError("not a PNG file")
    pos = 8
    header = None
    idat = []
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if len(body) != length:
            raise ValueError("PNG chunk ends early")
        if zlib.crc32(kind + body) != struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]:
            raise ValueError("PNG chunk %r has a bad CRC" % kind)
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
    if header is None:
        raise ValueError("PNG has no header")
    w, h, depth, ctype, _, _, interlace = header
    if depth != 8 or ctype not in CHANNELS or interlace != 0:
        raise ValueError("PNG kind not read here: depth %d, colour type %d, interlace %d"
                         % (depth, ctype, interlace))
    bpp = CHANNELS[ctype]
    pixels = _unfilter(zlib.decompress(b"".join(idat)), w, h, bpp)
    if ctype == 2:
        return w, h, bytes(pixels)
    rgb = bytearray(w * h * 3)
    if ctype == 6:
        rgb[0::3], rgb[1::3], rgb[2::3] = pixels[0::4], pixels[1::4], pixels[2::4]
    else:
        grey = pixels[0::bpp]
        rgb[0::3] = rgb[1::3] = rgb[2::3] = grey
    return w, h, bytes(rgb)


def read(path):
    with open(path, "rb") as f:
        return decode(f.read())


def chunk(kind, body):
    """One PNG chunk: length, kind, body, CRC."""
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def encode(w, h, rgb, filter_type=0):
    """Encodes packed RGB bytes as PNG bytes, every row with one filter (0-4)."""
    if len(rgb) != w * h * 3:
        raise ValueError("%d bytes for a %dx%d picture" % (len(rgb), w, h))
    stride = w * 3
    raw = bytearray()
    prev = bytes(stride)
    for y in range(h):
        line = rgb[y * stride:(y + 1) * stride]
        out = bytearray(stride)
        for i in range(stride):
            left = line[i - 3] if i >= 3 else 0
            upleft = prev[i - 3] if i >= 3 else 0
            pred = (0, left, prev[i], (left + prev[i]) >> 1,
                    _paeth(left, prev[i], upleft))[filter_type]
            out[i] = (line[i] - pred) & 0xFF
        raw.append(filter_type)
        raw += out
        prev = line

    return (SIGNATURE + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))


def write(path, w, h, rgb, filter_type=0):
    with open(path, "wb") as f:
        f.write(encode(w, h, rgb, filter_type))


def compare(a, b):
    (wa, ha, pa), (wb, hb, pb) = a, b
    if (wa, ha) != (wb, hb):
        raise ValueError("sizes differ: %dx%d and %dx%d" % (wa, ha, wb, hb))
    if pa == pb:
        return 0, None
    count = 0
    first = None
    stride = wa * 3
    for y in range(ha):
        ra, rb = pa[y * stride:(y + 1) * stride], pb[y * stride:(y + 1) * stride]
        if ra == rb:
            continue
        for i in range(0, stride, 3):
            if ra[i:i + 3] != rb[i:i + 3]:
                if first is None:
                    first = (i // 3, y, tuple(ra[i:i + 3]), tuple(rb[i:i + 3]))
                count += 1
    return count, first


def pixel(picture, x, y):
    """The (r, g, b) of one pixel of a (w, h, rgb) picture."""
    w, _, rgb = picture
    i = (y * w + x) * 3
    return tuple(rgb[i:i + 3])
