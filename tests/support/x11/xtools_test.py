#!/usr/bin/env python3
"""The window tests' tools tried on their own: pngio's reader and writer, then
xsession + xtool against xprobe under Xvfb, without and with a window manager
(picture, drops accepted and refused, every key of the keycode table, close)."""

import os
import struct
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import pngio  # noqa: E402
import xsession  # noqa: E402
from xsession import KEYCODES, XSession, XToolError  # noqa: E402

XPROBE = os.environ.get("XPROBE", "xprobe")
# xprobe's four vertical bands, left to right, over its 200 x 120 area.
BANDS = [(0xFF, 0, 0), (0, 0xFF, 0), (0, 0, 0xFF), (0x12, 0x34, 0x56)]
PROBE_W, PROBE_H = 200, 120


def test_picture(w, h):
    """A picture where neighbouring bytes differ, so every row filter matters."""
    return bytes((x * 7 + y * 13 + c * 101 + (x * y) % 17) & 0xFF
                 for y in range(h) for x in range(w) for c in range(3))


class PngioTest(unittest.TestCase):
    def test_every_filter_round_trips(self):
        w, h = 37, 11
        rgb = test_picture(w, h)
        for f in range(5):
            with self.subTest(filter=f):
                self.assertEqual(pngio.decode(pngio.encode(w, h, rgb, f)), (w, h, rgb))

    @staticmethod
    def png_of(w, h, ctype, rows):
        """A PNG around already filtered rows (each led by its filter byte)."""
        return (pngio.SIGNATURE
                + pngio.chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, ctype, 0, 0, 0))
                + pngio.chunk(b"IDAT", zlib.compress(b"".join(rows))) + pngio.chunk(b"IEND", b""))

    def test_each_filter_decodes_as_worked_by_hand(self):
        # Grey 3 x 2: row 0 unfiltered 10 20 30, row 1 the bytes 5 200 7 under
        # each filter; Paeth picks "up" for the first two and "left" for the last.
        for ftype, want in ((0, [5, 200, 7]), (1, [5, 205, 212]), (2, [15, 220, 37]),
                            (3, [10, 215, 129]), (4, [15, 220, 227])):
            png = self.png_of(3, 2, 0, [bytes([0, 10, 20, 30]), bytes([ftype, 5, 200, 7])])
            grey = [10, 20, 30] + want
            with self.subTest(filter=ftype):
                self.assertEqual(pngio.decode(png), (3, 2, bytes(v for g in grey for v in (g, g, g))))

    def test_grey_alpha_and_rgba_read_as_rgb(self):
        w, h = 3, 2
        for ctype, bpp in ((4, 2), (6, 4)):
            data = bytes(range(7, 7 + w * h * bpp))
            want = bytes(data[i + c if bpp == 4 else i] for i in range(0, len(data), bpp)
                         for c in range(3))
            stride = w * bpp
            png = self.png_of(w, h, ctype, [b"\0" + data[y * stride:(y + 1) * stride]
                                            for y in range(h)])
            with self.subTest(colour_type=ctype):
                self.assertEqual(pngio.decode(png), (w, h, want))

    def test_compare_counts_and_finds_first(self):
        w, h = 5, 4
        a = bytearray(test_picture(w, h))
        b = bytearray(a)
        b[(2 * w + 3) * 3 + 1] ^= 1  # pixel (3, 2)
        b[(3 * w + 0) * 3 + 2] ^= 9  # pixel (0, 3)
        self.assertEqual(pngio.compare((w, h, bytes(a)), (w, h, bytes(a))), (0, None))
        count, first = pngio.compare((w, h, bytes(a)), (w, h, bytes(b)))
        self.assertEqual(count, 2)
        self.assertEqual(first[:2], (3, 2))
        self.assertNotEqual(first[2], first[3])
        with self.assertRaises(ValueError):
            pngio.compare((w, h, bytes(a)), (h, w, bytes(a)))

    def test_damaged_file_is_refused(self):
        png = bytearray(pngio.encode(2, 2, bytes(12)))
        png[20] ^= 0xFF  # inside IHDR: its CRC no longer matches
        with self.assertRaises(ValueError):
            pngio.decode(bytes(png))


class WindowToolsTest(unittest.TestCase):
    def run_probe(self, x, title, *flags):
        prog = x.run_program([XPROBE, *flags, title], name=title)
        prog.wait_for_line("ready", timeout=15)
        return prog, x.find_window(title, timeout=15)

    def check_session(self, wm):
        with XSession(640, 480, wm=wm) as x, tempfile.TemporaryDirectory() as tmp:
            prog, win = self.run_probe(x, "xprobe accept")

            # The client area: its size, its bands, the same through PNG and the root.
            gx, gy, gw, gh = x.geometry(win)
            self.assertEqual((gw, gh), (PROBE_W, PROBE_H))
            pic = x.capture(win)
            self.assertEqual(pic[:2], (PROBE_W, PROBE_H))
            for i, colour in enumerate(BANDS):
                for px, py in ((i * 50 + 1, 0), (i * 50 + 25, 60), (i * 50 + 48, 119)):
                    self.assertEqual(pngio.pixel(pic, px, py), colour, (px, py))
            png_path = os.path.join(tmp, "probe.png")
            x.capture_png(win, png_path)
            self.assertEqual(pngio.compare(pngio.read(png_path), pic), (0, None))
            self.assertEqual(pngio.compare(x.capture_root(gx, gy, gw, gh), pic), (0, None))

            # A drop of two files, one with a space in its name; under a
            # window manager aimed at its frame, which holds the window.
            frame = x.frame(win)
            self.assertEqual(frame != win, wm)
            files = [os.path.join(tmp, "one game.tia"), os.path.join(tmp, "two.tia")]
            x.drop(frame, *files)
            prog.wait_for_line("drop file://%s" % files[1], timeout=10)
            drops = [l for l in prog.output().splitlines() if l.startswith("drop ")]
            self.assertEqual(drops, ["drop file://%s/one%%20game.tia" % tmp,
                                     "drop file://%s/two.tia" % tmp])

            # Every key of the table: the keymap agrees, and the window gets
            # each press and release with that keycode, in order.
            for name, code in KEYCODES.items():
                self.assertEqual(x.keycode(name), code, name)
            x.focus(win)
            for code in KEYCODES.values():
                x.tap(win, code)
            x.key_down(win, KEYCODES["Left"])
            x.key_up(win, KEYCODES["Left"])
            prog.wait_for_line("key release %d" % KEYCODES["Left"], timeout=10)
            want = []
            for code in list(KEYCODES.values()) + [KEYCODES["Left"]]:
                want += ["key press %d" % code, "key release %d" % code]
            prog.wait_for_line(want[-1], timeout=5)
            got = [l for l in prog.output().splitlines() if l.startswith("key ")]
            self.assertEqual(got[-len(want):], want)

            # A window that refuses: the tool says so and leaves.
            refusing, rwin = self.run_probe(x, "xprobe refuse", "--refuse")
            with self.assertRaises(XToolError) as caught:
                x.drop(rwin, files[0])
            self.assertEqual(caught.exception.code, xsession.XTOOL_REFUSED)
            refusing.wait_for_line("leave", timeout=10)

            # Closing: both windows take WM_DELETE_WINDOW and end cleanly.
            for p, w in ((prog, frame), (refusing, rwin)):
                x.close(w)
                p.wait_for_line("close", timeout=10)
                self.assertEqual(p.wait(timeout=10), 0)
                x.wait_window_gone(w, timeout=10)
            x.wait_window_gone(win, timeout=10)
            with self.assertRaises(XToolError) as caught:
                x.capture(win)
            self.assertEqual(caught.exception.code, xsession.XTOOL_FAIL)
            display = x.display

        # Everything the session started has ended with it.
        self.assertFalse(os.path.exists("/tmp/.X11-unix/X" + display[1:]))

    def test_bare_display(self):
        self.check_session(wm=False)

    def test_with_window_manager(self):
        self.check_session(wm=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
