"""The korvalo window program in a real X display (Xvfb with openbox).

Keys are real key events to the window by X keycode; pictures are captured
from the window and compared pixel for pixel with golden pictures and with
screenshots of the same state taken by the headless program.

    window_test.py KORVALO XTOOL ROM_DIR SOURCE_DIR
"""

import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time
import unittest

KORVALO, XTOOL, ROM_DIR, SOURCE_DIR = (pathlib.Path(a) for a in sys.argv[1:5])
sys.path.insert(0, str(SOURCE_DIR / "tests" / "support"))
import pngio  # noqa: E402
from xsession import KEYCODES, XSession  # noqa: E402

VERSION = os.environ["KORVALO_VERSION"]
TITLE = "Korvalo v" + VERSION
SCREEN = (1280, 1024)
DEMO = ROM_DIR / "KorvaloDemo1.tia"
GOLDEN = SOURCE_DIR / "tests" / "e2e" / "golden"
# The demo's own script up to its pause (frame 482): preset 1, a still
# picture from then on.
DEMO_KEYS = SOURCE_DIR / "tests" / "e2e" / "scripts" / "Demo1.keys"
PAUSED_BY = 482
# The window reads no key before it has the focus, which a loaded machine
# may be slow to give: a screenshot at this frame, before the first scripted
# event, tells whether the focus came in time.
FOCUS_BY = 100
ENV = {"SDL_AUDIODRIVER": "dummy"}
# Frames a second the board runs at on a display that names no rate or 60 Hz:
# loose enough for a busy machine, far below what presents that do not wait
# give (hundreds a second).
FRAME_RATES = (30, 90)


def read_png(path):
    w, h, rgb = pngio.read(str(path))[:3]
    return w, h, bytes(rgb)


def crop(picture, width, height, left=0, top=0):
    w, _, rgb = picture
    rows = [rgb[((top + y) * w + left) * 3:((top + y) * w + left + width) * 3]
            for y in range(height)]
    return width, height, b"".join(rows)


def shows(expected):
    """True for a window picture whose top rows are the expected picture and
    whose one extra row below it is black."""
    ew, eh, _ = expected

    def check(picture):
        w, h, _ = picture
        if (w, h) != (ew, eh + 1):
            return False
        return (crop(picture, ew, eh) == expected and
                crop(picture, ew, 1, 0, eh)[2] == bytes(ew * 3))
    return check


class WindowProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="korvalo-window-")
        cls.dir = pathlib.Path(cls.work.name)
        cls.keys = cls.dir / "paused.keys"
        lines = [l for l in DEMO_KEYS.read_text().splitlines()
                 if l[:1].isdigit() and int(l.split(":")[0]) <= PAUSED_BY]
        cls.keys.write_text("\n".join(lines) + "\n")
        cls.expected = cls.headless_pictures()
        cls.x = XSession(*SCREEN, wm=True, xtool=str(XTOOL))
        cls.x.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.x.__exit__(None, None, None)
        if os.environ.get("KORVALO_KEEP_WINDOW_TEST"):
            print("kept", cls.dir)
        else:
            cls.work.cleanup()

    @classmethod
    def headless_pictures(cls):
        """The paused demo at every preset and look, as the headless program
        shows it: the order the window test steps through them."""
        steps = [("12 black", "Delete"), ("12 smooth", "LCtrl+Delete"),
                 ("12 double", "LCtrl+Delete"), ("12 black again", "LCtrl+Delete"),
                 ("3", "Delete"), ("1", "Delete")]
        events, shots, frame = [], [], 600
        for _, keys in steps:
            if keys.startswith("LCtrl+"):
                events += ["%d:down:LCtrl" % frame]
            events += ["%d:down:Delete" % (frame + 1), "%d:up:Delete" % (frame + 2),
                       "%d:up:LCtrl" % (frame + 3) if keys.startswith("LCtrl+") else None]
            shots.append(frame + 10)
            frame += 20
        folder = cls.dir / "headless"
        folder.mkdir()
        subprocess.run([str(KORVALO), "--headless", "--frames", str(frame), "--keys-file",
                        str(cls.keys), "--keys", ",".join(e for e in events if e),
                        "--screenshot", ",".join(map(str, shots)), str(DEMO)],
                       cwd=folder, check=True, timeout=60, capture_output=True)
        return [(name, keys, read_png(folder / ("ScreenShot_%03d.png" % i)))
                for i, (name, keys) in enumerate(steps)]

    def start(self, *args):
        """The program with the window focused before frame FOCUS_BY (the
        screenshot there, ScreenShot_000.png, not yet taken); four tries."""
        for _ in range(4):
            folder = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
            program = self.x.run_program([KORVALO, "--screenshot", FOCUS_BY] + list(args),
                                         cwd=folder, env=ENV)
            self.addCleanup(program.stop)
            win = self.x.find_window(TITLE, timeout=20)
            self.x.focus(win)
            if not (folder / "ScreenShot_000.png").exists():
                program.wait_for_line("Saving ScreenShot_000.png", timeout=20)
                return program, win, folder
            program.stop()
            self.x.wait_window_gone(win)
        self.fail("the window did not get the focus within %d frames" % FOCUS_BY)

    def wait_picture(self, win, expected, what):
        try:
            return self.x.wait_capture(win, shows(expected), timeout=15)
        except TimeoutError as e:
            kept = self.dir / ("failed %s.png" % what)
            pngio.write(str(kept), *e.picture)
            self.fail("%s: the window shows %dx%d, not the %dx%d picture wanted (kept in %s)"
                      % (what, e.picture[0], e.picture[1], expected[0], expected[1] + 1, kept))

    def press_with(self, win, modifier, key):
        self.x.key_down(win, KEYCODES[modifier])
        self.x.tap(win, KEYCODES[key])
        self.x.key_up(win, KEYCODES[modifier])

    def test_demo_in_the_window(self):
        program, win, folder = self.start("--keys-file", self.keys, DEMO)
        golden = read_png(GOLDEN / "demo1_preset1_paused.png")
        self.wait_picture(win, golden, "paused demo, preset 1")
        out = program.output()
        lines = out.splitlines()
        self.assertEqual(lines[0], "Korvalo %s (TIA-MC-Mode)" % VERSION)
        self.assertEqual(lines[1], "Screen size: %dx%d" % SCREEN)
        for line in ("Sound: 48000Hz, 16bit, 2 channels", "Audiobuffer size: 0xBB80",
                     "CPU Mode: Pure", "Model: TIA-MC-1"):
            self.assertIn(line, lines)

        # Every preset and scanline look through real key presses.
        for name, keys, expected in self.expected:
            if keys == "Delete":
                self.x.tap(win, KEYCODES["Delete"])
            else:
                self.press_with(win, "Control_L", "Delete")
            self.wait_picture(win, expected, "preset " + name)
        placed = self.x.geometry(win)
        self.assertEqual(placed[2:], (512, 513))

        # Left Shift + Print Screen: the file is the picture in the window.
        self.press_with(win, "Shift_L", "Print")
        program.wait_for_line("Saving ScreenShot_001.png", timeout=10)
        shot = read_png(folder / "ScreenShot_001.png")
        self.assertTrue(shows(shot)(self.x.capture(win)))
        self.assertEqual(shot, self.expected[-1][2])

        # Left Shift held while another window takes the focus and let go
        # there: back in the window, Print Screen alone takes no screenshot.
        other = self.x.run_program(["xmessage", "-name", "other", "-geometry", "+0+0", "other"])
        other_win = self.x.find_window("other", timeout=10)
        self.x.key_down(win, KEYCODES["Shift_L"])
        self.x.focus(other_win)
        self.x.key_up(other_win, KEYCODES["Shift_L"])
        self.x.focus(win)
        self.x.tap(win, KEYCODES["Print"])
        time.sleep(1.0)
        self.press_with(win, "Shift_L", "Print")
        program.wait_for_line("Saving ScreenShot_002.png", timeout=10)
        self.assertEqual(program.output().count("Saving"), 3, "Left Shift stayed down")
        other.stop()

        # Full screen and back, by F11 and by Left Windows + F.
        for toggle in (("F11",), ("Super_L", "f")):
            self.full_screen(win, toggle)
            self.assertEqual(self.x.geometry(win), (0, 0) + SCREEN)
            picture = self.x.capture(win)
            left, top = (SCREEN[0] - 512) // 2, (SCREEN[1] - 512) // 2
            self.assertEqual(crop(picture, 512, 512, left, top), self.expected[-1][2])
            self.assertEqual(crop(picture, SCREEN[0], top)[2], bytes(SCREEN[0] * top * 3))
            self.full_screen(win, toggle)
            self.assertEqual(self.x.geometry(win), placed)
            self.wait_picture(win, self.expected[-1][2], "back in the window")

        # A path that cannot be opened: the game goes on.
        self.x.drop(win, self.dir / "no such set.tia")
        program.wait_for_line("Can't open file!", timeout=10)
        self.wait_picture(win, self.expected[-1][2], "after a bad drop")
        # A ROM set dropped onto the window runs; Delete back to preset 3.
        self.x.drop(win, ROM_DIR / "KorvaloSelfTest.tia")
        program.wait_for_line("Drag & Drop file", timeout=10)
        self.x.tap(win, KEYCODES["Delete"])
        self.x.tap(win, KEYCODES["Delete"])
        self.wait_picture(win, read_png(GOLDEN / "selftest_preset3_black.png"),
                          "the dropped self-test")

        # Closing the window ends the program with exit code 0, the frames
        # having come on the steady clock (Xvfb names no rate).
        self.x.close(win)
        self.assertEqual(program.wait(timeout=10), 0)
        self.assertNotIn("System Error", program.output("stderr"))
        self.assertIn("Frames paced at 60.000Hz on the steady clock", program.output())
        self.check_frame_rate(program.output())

    def test_recording_replays_exactly(self):
        """The demo played with real key presses and a set dropped onto the
        window, recorded: the replay, headless and in the window, shows the
        window's picture in every frame, whatever the timing the keys came
        with."""
        program, win, folder = self.start("--record", "window.kvr", "--picture-hashes",
                                          "window.hashes", DEMO)
        for key, seconds in (("Return", 0.1), ("Left", 0.4), ("space", 0.2), ("Right", 0.5),
                             ("Control_L", 0.1), ("Up", 0.3)):
            self.x.key_down(win, KEYCODES[key])
            time.sleep(seconds)
            self.x.key_up(win, KEYCODES[key])
        self.x.drop(win, ROM_DIR / "KorvaloDemo2.tia")
        program.wait_for_line("Model: TIA-MC-2", timeout=10)
        for key in ("Return", "Down", "space"):
            self.x.key_down(win, KEYCODES[key])
            time.sleep(0.2)
        for key in ("Return", "Down", "space"):
            self.x.key_up(win, KEYCODES[key])
        time.sleep(0.3)
        self.x.close(win)
        self.assertEqual(program.wait(timeout=10), 0)
        shown = (folder / "window.hashes").read_text().splitlines()
        frames = str(len(shown))

        def headless(hashes, *args):
            subprocess.run([str(KORVALO), "--headless", "--frames", frames, "--picture-hashes",
                            hashes] + list(args) + [str(DEMO)], cwd=folder, check=True,
                           timeout=60, capture_output=True)
            return (folder / hashes).read_text().splitlines()

        replayed = headless("replayed.hashes", "--replay", "window.kvr")
        self.assertEqual(len(replayed), len(shown))
        for window_line, replay_line in zip(shown, replayed):
            self.assertEqual(replay_line, window_line, "the replay differs from the window")
        self.assertNotEqual(headless("untouched.hashes"), shown, "the keys changed nothing")

        # Replayed in the window, keys pressed meanwhile change nothing.
        program = self.x.run_program([KORVALO, "--replay", "window.kvr", "--picture-hashes",
                                      "again.hashes", "--frames", len(shown) + 30, DEMO],
                                     cwd=folder, env=ENV)
        self.addCleanup(program.stop)
        win = self.x.find_window(TITLE, timeout=20)
        self.x.focus(win)
        program.wait_for_line("Replaying %s frames" % frames, timeout=10)
        for key in ("Return", "Left", "space", "Return"):
            self.x.tap(win, KEYCODES[key])
            time.sleep(0.2)
        self.assertEqual(program.wait(timeout=60), 0)
        self.assertIn("Replay ended at frame %s\n" % frames, program.output())
        again = (folder / "again.hashes").read_text().splitlines()
        self.assertEqual(again[:len(shown)], shown, "the replay in the window differs")

    def check_frame_rate(self, output):
        rate = float(re.search(r"frames shown in [\d.]+ s, ([\d.]+) per second", output).group(1))
        self.assertGreaterEqual(rate, FRAME_RATES[0], output)
        self.assertLessEqual(rate, FRAME_RATES[1], output)

    def test_frame_rate_on_a_display_that_names_one(self):
        """A display that names 60 Hz: the renderers claim to wait for it.
        SDL's software renderer returns at once all the same: the check after
        the window is shown finds that out and the steady clock paces. The
        accelerated one (Mesa's software OpenGL under Xvfb) runs at the
        display's rate whichever way its check goes."""
        with self.x.refresh_rate(60):
            for way in ("software", "accelerated"):
                folder = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
                program = self.x.run_program([KORVALO, "--present", way, "--frames", 240, DEMO],
                                             cwd=folder, env=ENV)
                self.addCleanup(program.stop)
                self.assertEqual(program.wait(timeout=60), 0)
                out = program.output()
                sys.stderr.write("--present %s: %s\n" % (way, "; ".join(re.findall(
                    r"^(?:Presents|Frames|\d+ frames) .*$", out, re.M))))
                self.assertIn("Monitor frequency - 60Hz", out)
                self.check_frame_rate(out)
                if way == "software":
                    self.assertIn("Presents do not wait for the display", out)
                    self.assertIn("Frames paced at 60.000Hz on the steady clock", out)

    def full_screen(self, win, keys):
        before = self.x.geometry(win)
        if len(keys) == 1:
            self.x.tap(win, KEYCODES[keys[0]])
        else:
            self.press_with(win, *keys)
        deadline = time.monotonic() + 10
        while self.x.geometry(win) == before:
            self.assertLess(time.monotonic(), deadline, "%s: the window stayed at %s" % ("+".join(keys), before))
            time.sleep(0.05)
        time.sleep(0.3)  # the window manager settles the frame

    def test_monitor_holds_the_machine_in_a_live_window(self):
        """--monitor: the machine is held before its first instruction while
        the window stays responsive (F11 into full screen and back); commands
        typed on the terminal step it and let it run; F9 stops it again once
        frames run; q ends the program."""
        folder = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
        program = self.x.run_program([KORVALO, "--monitor", DEMO], cwd=folder, env=ENV,
                                     stdin=subprocess.PIPE)
        self.addCleanup(program.stop)

        def send(line):
            program.proc.stdin.write((line + "\n").encode())
            program.proc.stdin.flush()

        win = self.x.find_window(TITLE, timeout=20)
        program.wait_for_line("Monitor: stopped", timeout=20)
        self.x.focus(win)
        windowed = self.x.geometry(win)
        self.full_screen(win, ["F11"])
        self.assertNotEqual(self.x.geometry(win), windowed)
        self.full_screen(win, ["F11"])
        send("s 3")
        send("r")
        program.wait_for_line("Frame 1, T-state", timeout=10)
        self.assertIn("> s 3\n", program.output())
        self.assertRegex(program.output(), r"PC=(?!0000)[0-9A-F]{4}\n")
        def wait_until(count, text, what):
            deadline = time.monotonic() + 10
            while program.output().count(text) < count:
                self.assertLess(time.monotonic(), deadline, what)
                time.sleep(0.05)

        send("c")
        time.sleep(0.5)  # frames run: the key is seen at a frame's start
        self.x.tap(win, KEYCODES["F9"])
        wait_until(2, "Monitor: stopped", "F9 did not stop the game")
        send("r")
        wait_until(2, "T-state", "no registers after F9")
        frames = [int(f) for f in re.findall(r"^Frame (\d+),", program.output(), re.M)]
        self.assertGreater(frames[-1], 10)
        send("q")
        self.assertEqual(program.wait(timeout=10), 0)

    def find_named(self, name, timeout):
        """A window of that exact name anywhere in the tree (xdotool's search
        misses SDL's message box)."""
        deadline = time.monotonic() + timeout
        while True:
            tree = self.x.run(["xwininfo", "-root", "-tree"]).stdout.decode()
            for line in tree.splitlines():
                if ('"%s":' % name) in line:
                    return int(line.split()[0], 16)
            self.assertLess(time.monotonic(), deadline, "no window named %r" % name)
            time.sleep(0.1)

    def test_fatal_errors(self):
        """A ROM set that cannot be opened: a "System Error!" box, the message
        on the standard error, exit code 1. Without a display: no box."""
        folder = pathlib.Path(tempfile.mkdtemp(dir=self.dir))
        program = self.x.run_program([KORVALO, "missing.tia"], cwd=folder, env=ENV)
        self.addCleanup(program.stop)
        box = self.find_named("System Error!", timeout=20)
        self.assertIsNone(program.proc.poll(), "the program did not wait for the box")
        self.x.close(box)
        self.assertEqual(program.wait(timeout=10), 1)
        self.assertIn("System Error! Can't open file!", program.output("stderr"))
        self.assertEqual(program.output().splitlines()[0], "Korvalo %s (TIA-MC-Mode)" % VERSION)

        env = dict(ENV, DISPLAY=None, WAYLAND_DISPLAY=None, SDL_VIDEODRIVER="x11")
        program = self.x.run_program([KORVALO, DEMO], cwd=folder, env=env)
        self.addCleanup(program.stop)
        self.assertEqual(program.wait(timeout=20), 1)
        self.assertIn("System Error! Can't open the display!", program.output("stderr"))

    def test_game_pad_drives_the_cabinet(self):
        """A virtual pad: Start, the stick left, X pause the game exactly as
        Enter, Left and T do on the keyboard (the headless run's picture)."""
        pad = ",".join((
            "50:attach", "110:down:Start", "112:up:Start", "130:stick:-32768:0",
            "150:stick:0:0", "160:down:Left", "175:up:Left", "200:down:X", "202:up:X"))
        keys = ",".join((
            "110:down:Enter", "112:up:Enter", "130:down:Left", "150:up:Left", "160:down:Left",
            "175:up:Left", "200:down:T", "202:up:T"))
        folder = self.dir / "pad"
        folder.mkdir()
        for script in (keys, "1:down:Space,2:up:Space"):
            subprocess.run([str(KORVALO), "--headless", "--frames", "300", "--keys",
                            script, "--screenshot", "300", str(DEMO)], cwd=folder, check=True,
                           timeout=60, capture_output=True)
        by_keys = read_png(folder / "ScreenShot_000.png")
        untouched = read_png(folder / "ScreenShot_001.png")
        self.assertNotEqual(by_keys, untouched)
        program, win, _ = self.start("--virtual-pad", pad, DEMO)
        program.wait_for_line("Game pad: Korvalo virtual pad", timeout=10)
        self.wait_picture(win, by_keys, "the game driven by the pad")
        self.x.close(win)
        self.assertEqual(program.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
