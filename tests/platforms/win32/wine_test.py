#!/usr/bin/env python3
"""The Windows program korvalo.exe under Wine, in a private Xvfb + openbox
session with a null-sink PulseAudio: its start-up lines, the window's picture
at every scale preset and scanline look against the native program's own
screenshots of the same self-test screen, a Left Shift + Print Screen
screenshot against the window, the state slot keys and their files,
full screen by Left Windows + F and by F11,
a ROM set dropped onto the window, the frame
rate against the display's, and the close that ends the process with code 0;
the monitor, started by --monitor and by F9, with its commands from a pipe
on standard input, the window still answering while it holds the machine.

Environment: KORVALO_EXE (the x86_64 build), KORVALO_NATIVE (the Linux
program, for the reference pictures), KORVALO_ROMS (the ROM sets),
KORVALO_GOLDEN (the golden pictures of the headless tests), WINEPREFIX
(kept between runs: the first run creates it), XTOOL."""

import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
import pngio  # noqa: E402
from xsession import KEYCODES, XSession  # noqa: E402

EXE = os.environ.get("KORVALO_EXE", "")
NATIVE = os.environ.get("KORVALO_NATIVE", "")
ROMS = os.environ.get("KORVALO_ROMS", "")
GOLDEN = os.environ.get("KORVALO_GOLDEN", "")
PREFIX = os.environ.get("WINEPREFIX", "")
VERSION = os.environ["KORVALO_VERSION"]
TITLE = "Korvalo v" + VERSION

# The self-test screen is still once its checks have run, so the window must
# show exactly what the native program saves at the same preset and look.
# (name, keys pressed to get there, console line that confirms it, the
# golden picture of the headless tests where there is one)
STAGES = [
    ("preset 3", [], None, "selftest_preset3_black.png"),
    ("preset 1", [["Delete"]], "Screen X-scale = 1.0", None),
    ("preset 12, black scanlines", [["Delete"]], "Screen X-scale = 1.25", None),
    ("preset 12, smooth scanlines", [["Control_L", "Delete"]], "Smooth scanlines", None),
    ("preset 12, double lines", [["Control_L", "Delete"]], "Double lines",
     "selftest_preset12_double.png"),
]
NATIVE_KEYS = {"Delete": "Delete", "Control_L": "LCtrl"}

# The lines start-up prints, in this order, with the values Wine gives.
START_LINES = [
    r"Korvalo 0\.15f \(TIA-MC-Mode\)",
    r"Screen size: 1280x1024",
    r"",
    r"Sound: 48000Hz, 16bit, 2 channels",
    r"Audiobuffer size: 0xBB80",
    r"Monitor frequency - \d+Hz \(\d+\.\d{3}Hz\)",
    r"Visible/Total scanlines - 1024 / \d+",
    r"Timer Period Min - 1ms",
    r"QPFrequency = \d+Hz",
    r"CPU Mode: Pure",
    r"Model: TIA-MC-1",
]


def reference_pictures(folder):
    """The native program's screenshots of the self-test after each stage."""
    events, shots, frame = [], [], 60
    for _, chord, _, _ in STAGES:
        for keys in chord:
            names = [NATIVE_KEYS[k] for k in keys]
            for i, name in enumerate(names):
                events.append("%d:down:%s" % (frame + i, name))
            for i, name in enumerate(reversed(names)):
                events.append("%d:up:%s" % (frame + len(names) + i, name))
            frame += 10
        shots.append(frame)
        frame += 10
    args = [NATIVE, "--headless", "--frames", str(frame), "--screenshot",
            ",".join(map(str, shots)), os.path.join(ROMS, "KorvaloSelfTest.tia")]
    if events:
        args[2:2] = ["--keys", ",".join(events)]
    subprocess.run(args, cwd=folder, check=True, capture_output=True, timeout=60)
    pictures = [pngio.read(os.path.join(folder, "ScreenShot_%03d.png" % i))
                for i in range(len(STAGES))]
    for (name, _, _, golden), picture in zip(STAGES, pictures):
        if golden and pngio.read(os.path.join(GOLDEN, golden)) != picture:
            raise AssertionError("%s: the native program no longer gives %s" % (name, golden))
    return pictures


# Rows of the demo's title at preset 3 that stay still while the title shows
# and change once a game has started.
TITLE_ROWS = range(240, 261)


def demo_title(folder):
    """The native program's picture of the demo's title at preset 3."""
    subprocess.run([NATIVE, "--headless", "--frames", "100", "--screenshot", "100",
                    os.path.join(ROMS, "KorvaloDemo1.tia")],
                   cwd=folder, check=True, capture_output=True, timeout=60)
    return pngio.read(os.path.join(folder, "ScreenShot_000.png"))


def rows_of(picture, rows):
    w, _, rgb = picture
    return rgb[rows.start * w * 3:rows.stop * w * 3]


def top_rows(picture, rows):
    w, _, rgb = picture
    return (w, rows, rgb[:w * rows * 3])


class WineWindowTest(unittest.TestCase):
    def setUp(self):
        for what, path in (("KORVALO_EXE", EXE), ("KORVALO_NATIVE", NATIVE)):
            if not os.path.isfile(path):
                self.fail("%s: no file %r (build it: scripts/build-windows.sh)" % (what, path))
        self.work = tempfile.mkdtemp(prefix="korvalo-wine-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.actual = os.path.join(os.path.dirname(os.path.dirname(EXE)), "..", "wine_actual")

    def keep(self, name, picture):
        """Keeps a picture that failed a comparison, for inspection."""
        os.makedirs(self.actual, exist_ok=True)
        path = os.path.join(self.actual, name.replace(" ", "_").replace(",", "") + ".png")
        pngio.write(path, *picture)
        return path

    @contextlib.contextmanager
    def wine_session(self):
        """An X session with sound and a Wine server. Wine's device processes
        leave the session's process group, and stopping the server alone
        leaves them behind, polling for it: the server ends them all first."""
        with XSession(1280, 1024, wm=True, timeout=30) as x:
            env = self.start_audio_and_wine(x)
            try:
                yield x, env
            finally:
                x.run_program(["wineserver", "-k"], name="wineserver-k", env=env).wait(timeout=60)

    def start_audio_and_wine(self, x):
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700)
        env = {"XDG_RUNTIME_DIR": runtime, "WINEPREFIX": PREFIX, "WINEDEBUG": "-all",
               "WINEDLLOVERRIDES": "mscoree,mshtml=", "PULSE_RUNTIME_PATH": None}
        # DirectSound needs a device: a PulseAudio daemon with a null sink.
        x.run_program(["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                       "--load=module-null-sink", "--load=module-native-protocol-unix",
                       "--system=false", "--disallow-exit"], name="pulseaudio", env=env)
        socket = os.path.join(runtime, "pulse", "native")
        deadline = time.monotonic() + 20
        while not os.path.exists(socket):
            self.assertLess(time.monotonic(), deadline, "PulseAudio did not start")
            time.sleep(0.1)
        # One persistent server for all Wine runs of this test, ended by
        # wine_session before the X session stops.
        x.run_program(["wineserver", "-f", "-p"], name="wineserver", env=env)
        if not os.path.isdir(os.path.join(PREFIX, "drive_c")):
            boot = x.run_program(["wineboot", "-i"], name="wineboot", env=env)
            self.assertEqual(boot.wait(timeout=240), 0, "wineboot failed")
        # Wine's Direct3D runs its commands on a thread of its own by default,
        # and every back-buffer lock then waits for that thread: on a busy
        # machine a frame took 40 ms instead of 7. Without it the lock is a
        # pointer away.
        reg = x.run_program(["wine", "reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "csmt",
                             "/t", "REG_DWORD", "/d", "0", "/f"], name="reg", env=env)
        self.assertEqual(reg.wait(timeout=60), 0, "cannot set the Direct3D options")
        return env

    def press(self, x, win, keys, hold=0.15):
        """Holds the keys down together long enough for a frame to see them."""
        for k in keys:
            x.key_down(win, KEYCODES[k])
            time.sleep(0.05)
        time.sleep(hold)
        for k in reversed(keys):
            x.key_up(win, KEYCODES[k])
            time.sleep(0.05)

    def expect_picture(self, x, win, want, name, timeout=15):
        """The window shows want: the picture in the top rows, the one row the
        window has beyond the requested size black."""
        w, h, _ = want

        def shows(pic):
            return (pic[0] == w and pic[1] == h + 1 and top_rows(pic, h) == want
                    and pic[2][w * h * 3:] == bytes(w * 3))
        try:
            return x.wait_capture(win, shows, timeout=timeout)
        except TimeoutError as e:
            pic = e.picture
            detail = "window %dx%d, want %dx%d" % (pic[0], pic[1], w, h + 1)
            if pic[0] == w and pic[1] >= h:
                detail += ", %s" % (pngio.compare(top_rows(pic, h), want),)
            self.fail("%s: %s; kept as %s" % (name, detail, self.keep(name, pic)))

    def close_program(self, x, program, env):
        """taskkill closes through WM_CLOSE; asked again if the first is lost."""
        for _ in range(3):
            x.run_program(["wine", "taskkill", "/im", "korvalo.exe"], name="taskkill", env=env)
            try:
                return program.wait(timeout=10)
            except TimeoutError:
                if program.proc.poll() is not None:
                    return program.proc.returncode
        self.fail("korvalo.exe did not end after three close requests")

    def test_window_keys_screenshot_drop_rate_and_close(self):
        references = reference_pictures(tempfile.mkdtemp(dir=self.work))
        shutil.copy(EXE, os.path.join(self.work, "korvalo.exe"))
        shutil.copy(os.path.join(ROMS, "KorvaloSelfTest.tia"), os.path.join(self.work, "Derev.tia"))
        shutil.copy(os.path.join(ROMS, "KorvaloDemo1.tia"), os.path.join(self.work, "demo one.tia"))
        with self.wine_session() as (x, env):
            program = x.run_program(["wine", "korvalo.exe"], name="korvalo", cwd=self.work,
                                    env=env)
            program.wait_for_line("Model: TIA-MC-1", timeout=90)
            lines = [ln.rstrip("\r") for ln in program.output().split("\n")]
            self.check_start_lines(lines)
            win = x.find_window(TITLE, timeout=30)
            x.focus(win)

            for (name, chords, line, _), want in zip(STAGES, references):
                for keys in chords:
                    self.press(x, win, keys)
                if line:
                    program.wait_for_line(line, timeout=15)
                shown = self.expect_picture(x, win, want, name)

            # Left Shift + Print Screen saves the picture shown.
            self.press(x, win, ["Shift_L", "Print"])
            program.wait_for_line("Saving ScreenShot_000.png", timeout=15)
            saved = pngio.read(os.path.join(self.work, "ScreenShot_000.png"))
            w, h, _ = references[-1]
            self.assertEqual(saved[:2], (w, h))
            self.assertEqual(pngio.compare(saved, top_rows(shown, h)), (0, None))

            self.check_state_slots(x, win, program, references[-1])
            self.check_full_screen(x, win, references[-1], shown)

            # A ROM set dropped onto the window replaces the self-test.
            x.drop(win, os.path.join(self.work, "demo one.tia"))
            program.wait_for_line("Drag & Drop file", timeout=15)
            deadline = time.monotonic() + 15
            while program.output().count("Model: TIA-MC-1") < 2:
                self.assertLess(time.monotonic(), deadline, "the dropped set was not loaded")
                time.sleep(0.1)
            x.wait_capture(win, lambda pic: top_rows(pic, h) != top_rows(shown, h), timeout=15)
            self.check_enter_keys(x, win, program, demo_title(tempfile.mkdtemp(dir=self.work)))

            # Alt+F4 never reaches the default handling of system keys.
            alt, f4 = x.keycode("Alt_L"), x.keycode("F4")
            x.key_down(win, alt)
            x.tap(win, f4)
            x.key_up(win, alt)
            time.sleep(3)  # and frames for the rate
            self.assertIsNone(program.proc.poll(), "Alt+F4 ended the program")
            self.assertTrue(x.window_exists(win))
            self.assertEqual(self.close_program(x, program, env), 0)
            self.check_frame_rate(program.output())

    def wait_count(self, program, text, count, timeout=15):
        """Waits until the output holds text count times."""
        deadline = time.monotonic() + timeout
        while program.output().count(text) < count:
            self.assertIsNone(program.proc.poll(), "korvalo.exe ended:\n" + program.output())
            self.assertLess(time.monotonic(), deadline, "%d times %r not in:\n%s"
                            % (count, text, program.output()))
            time.sleep(0.1)

    def test_monitor_takes_commands_from_standard_input(self):
        """--monitor holds the self-test before its first instruction; the
        commands come through a pipe on standard input and are echoed; F9
        stops the running machine again, and held, the window goes to full
        screen and back showing the last picture; q ends with code 0."""
        want = pngio.read(os.path.join(GOLDEN, "selftest_preset3_black.png"))
        shutil.copy(EXE, os.path.join(self.work, "korvalo.exe"))
        shutil.copy(os.path.join(ROMS, "KorvaloSelfTest.tia"), os.path.join(self.work, "Derev.tia"))
        fifo = os.path.join(self.work, "commands")
        os.mkfifo(fifo)
        with self.wine_session() as (x, env):
            program = x.run_program(["sh", "-c", "exec wine korvalo.exe --monitor < commands"],
                                    name="korvalo", cwd=self.work, env=env)
            with open(fifo, "w") as commands:
                def send(*lines):
                    commands.write("".join(line + "\n" for line in lines))
                    commands.flush()
                program.wait_for_line("Monitor: stopped", timeout=90)
                send("r", "s 3", "r")
                self.wait_count(program, " PC=", 2)
                lines = [ln.rstrip("\r") for ln in program.output().split("\n")]
                at = lines.index("Monitor: stopped")
                self.assertEqual(lines[at + 1], "0000  F3           DI")
                self.assertEqual(lines[at + 2], "> r")
                pcs = [m.group(1) for m in (re.fullmatch(r"AF=.* PC=([0-9A-F]{4})", ln)
                                            for ln in lines) if m]
                self.assertEqual(pcs[0], "0000")
                step = lines.index("> s 3")
                self.assertEqual(lines[step + 2], "> r")
                self.assertEqual(lines[step + 1][:4], pcs[1], "the step stopped elsewhere")
                self.assertNotEqual(pcs[1], "0000")

                send("c")
                win = x.find_window(TITLE, timeout=30)
                x.focus(win)
                self.expect_picture(x, win, want, "running after the monitor")
                self.press(x, win, ["F9"])
                self.wait_count(program, "Monitor: stopped", 2)
                self.check_full_screen(x, win, want, None)
                self.assertEqual(program.output().count("Monitor: stopped"), 2)
                send("q")
                self.assertEqual(program.wait(timeout=20), 0)
            output = program.output()
            self.assertNotIn("no more commands", output)
            sys.stderr.write("korvalo.exe --monitor under Wine printed:\n%s\n" % output)

    def check_state_slots(self, x, win, program, want):
        """F2 saves the self-test's state to slot 0 in states\\<hash>\\ beside the
        program, F7 and F6 choose the slot, F4 loads it (slot 1 is empty); the
        still self-test screen shows the same after the load."""
        steps = [("F2", "State saved to slot 0"), ("F7", "Slot 1"), ("F4", "No state in slot 1"),
                 ("F6", "Slot 0"), ("F4", "State loaded from slot 0")]
        for key, line in steps:
            code = x.keycode(key)
            x.key_down(win, code)
            time.sleep(0.15)
            x.key_up(win, code)
            program.wait_for_line(line, timeout=15)
        with open(os.path.join(self.work, "Derev.tia"), "rb") as f:
            rom = f.read()
        digest = 0xCBF29CE484222325
        for byte in rom:
            digest = ((digest ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
        folder = os.path.join(self.work, "states", "%016x" % digest)
        self.assertEqual(os.listdir(folder), ["slot0.state"])
        with open(os.path.join(folder, "slot0.state"), "rb") as f:
            self.assertEqual(f.read(8), b"KORVSTAT")
        self.expect_picture(x, win, want, "after loading slot 0")

    def check_enter_keys(self, x, win, program, title):
        """Keypad Enter comes with the extended flag and is another key than
        the main Enter, which alone starts the demo game."""
        self.press(x, win, ["Delete"])
        program.wait_for_line("Screen Y-scale = 3.0", timeout=15)
        want = rows_of(title, TITLE_ROWS)

        def on_title(pic):
            return pic[0] == title[0] and rows_of(pic, TITLE_ROWS) == want
        try:
            x.wait_capture(win, on_title, timeout=15)
        except TimeoutError as e:
            self.fail("the demo's title is not shown; kept as %s" % self.keep("title", e.picture))
        self.press(x, win, ["KP_Enter"])
        time.sleep(1.0)
        self.assertTrue(on_title(x.capture(win)), "keypad Enter started the game")
        self.press(x, win, ["Return"])
        x.wait_capture(win, lambda pic: not on_title(pic), timeout=15)

    def wait_geometry(self, x, win, check, what):
        deadline = time.monotonic() + 15
        while True:
            geometry = x.geometry(win)
            if check(geometry):
                return geometry
            self.assertLess(time.monotonic(), deadline, "%s: window at %s" % (what, geometry))
            time.sleep(0.1)

    def check_full_screen(self, x, win, want, windowed):
        """Left Windows + F, and F11 alike: the whole screen, the picture
        centred on black; again: the window as it was."""
        w, h, rgb = want
        placed = x.geometry(win)
        left, top = x.width // 2 - w // 2, x.height // 2 - h // 2
        expected = bytearray(x.width * x.height * 3)
        for row in range(h):
            at = ((top + row) * x.width + left) * 3
            expected[at:at + w * 3] = rgb[row * w * 3:(row + 1) * w * 3]
        screen = (x.width, x.height, bytes(expected))
        for keys in (["Super_L", "f"], ["F11"]):
            name = " + ".join(keys)
            self.press(x, win, keys)
            self.wait_geometry(x, win, lambda g: g == (0, 0, x.width, x.height),
                               "%s: full screen" % name)
            try:
                x.wait_capture(win, lambda pic: pic == screen, timeout=15)
            except TimeoutError as e:
                self.fail("%s: full screen: %s; kept as %s"
                          % (name, pngio.compare(e.picture, screen),
                             self.keep("full screen " + keys[-1], e.picture)))
            self.press(x, win, keys)
            self.wait_geometry(x, win, lambda g: g[2:] == placed[2:], "%s: windowed again" % name)
            self.expect_picture(x, win, want, "%s: windowed again" % name)

    def test_missing_rom_set_is_reported_in_a_message_box_and_ends_with_code_1(self):
        shutil.copy(EXE, os.path.join(self.work, "korvalo.exe"))
        with self.wine_session() as (x, env):
            program = x.run_program(["wine", "korvalo.exe"], name="korvalo", cwd=self.work,
                                    env=env)
            program.wait_for_line("System Error! Can't open file!", timeout=90)
            box = x.find_window("System Error!", timeout=30)
            x.focus(box)
            x.tap(box, KEYCODES["Return"])
            self.assertEqual(program.wait(timeout=20), 1)
            self.assertNotIn("Model:", program.output())

    def check_start_lines(self, lines):
        at = 0
        for pattern in START_LINES:
            while at < len(lines) and not re.fullmatch(pattern, lines[at]):
                at += 1
            self.assertLess(at, len(lines), "no line %r in order in:\n%s"
                            % (pattern, "\n".join(lines)))
            at += 1
        sys.stderr.write("korvalo.exe under Wine printed:\n%s\n" % "\n".join(lines))

    def check_frame_rate(self, output):
        display = float(re.search(r"Monitor frequency - \d+Hz \((\d+\.\d+)Hz\)", output).group(1))
        rate = float(re.search(r"frames shown in [\d.]+ s, ([\d.]+) per second", output).group(1))
        sys.stderr.write("display %.3f Hz, %.2f frames per second shown\n" % (display, rate))
        # Never faster than the display, which is what a pacing step that
        # does not wait gives. Loose below: Wine draws through a software
        # OpenGL, and on a busy machine the frames come slower (about 48 of 60
        # with a load of 9 on two cores, 25 with a load of 14).
        self.assertLessEqual(rate, display * 1.1)
        self.assertGreaterEqual(rate, display / 4)


if __name__ == "__main__":
    unittest.main()
