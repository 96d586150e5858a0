"""The page in headless Chromium: the canvas against the golden pictures and
against the headless runner under the same key scripts, drops through the file
button and a real drag and drop, screenshots as downloads, focus loss and game
pads, state slots kept over a reload and state files, input recordings
replayed by the headless runner, and the monitor taking its commands from the
page's command line. The page runs with "?manual": the test steps the frames
itself, so that key events land between the same frames as in the headless
runner's scripts.

    web_test.py --page DIR --program KORVALO --roms DIR --e2e DIR [unittest args]
"""

import argparse
import base64
import functools
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))

from cdp_browser import Browser  # noqa: E402
from pngio import read as read_png  # noqa: E402

ARGS = None

# Script key names and the keyboard's physical code and virtual-key code.
KEYS = {
    "Space": ("Space", 32), "Left": ("ArrowLeft", 37), "Up": ("ArrowUp", 38),
    "Right": ("ArrowRight", 39), "Down": ("ArrowDown", 40), "Enter": ("Enter", 13),
    "LCtrl": ("ControlLeft", 17), "Delete": ("Delete", 46), "T": ("KeyT", 84),
    "LShift": ("ShiftLeft", 16), "PrintScreen": ("PrintScreen", 44), "F11": ("F11", 122),
    "LWin": ("MetaLeft", 91), "F": ("KeyF", 70), "F2": ("F2", 113), "F4": ("F4", 115),
    "F7": ("F7", 118), "F9": ("F9", 120),
}

# The end-to-end tests' golden pictures: (set, key script, [(frame, golden)]).
GOLDEN_RUNS = [
    ("KorvaloSelfTest.tia", "SelfTest.keys",
     [(60, "selftest_preset3_black"), (120, "selftest_preset12_double")]),
    ("KorvaloDemo1.tia", "Demo1.keys",
     [(100, "demo1_title"), (330, "demo1_play"), (520, "demo1_preset1_paused"),
      (580, "demo1_preset12_black"), (605, "demo1_preset12_smooth_bomb"),
      (1700, "demo1_game_over"), (2000, "demo1_restarted")]),
]
# The instruction the monitor stops before, or an interrupt's acknowledge.
INSTRUCTION = r"(?:[0-9A-F]{4}  (?:[0-9A-F]{2} )+ *\S.*|----  interrupt acknowledge)\n"


def parse_script(path):
    events = []
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                frame, action, key = line.split(":")
                events.append((int(frame), action, key))
    return events


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class WebPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="korvalo-web-test-")
        cls.downloads = os.path.join(cls.work, "downloads")
        os.makedirs(cls.downloads)
        handler = functools.partial(QuietHandler, directory=ARGS.page)
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.base = "http://127.0.0.1:%d/" % cls.server.server_address[1]
        cls.browser = Browser()
        cls.browser.allow_downloads(cls.downloads)

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.server.shutdown()
        cls.server.server_close()
        shutil.rmtree(cls.work, ignore_errors=True)

    # -- the page ---------------------------------------------------------

    def open_page(self, romset="KorvaloDemo1.tia", manual=True):
        query = ("manual&" if manual else "") + "set=" + romset
        self.browser.navigate(self.base + "?" + query)
        self.browser.wait_for("window.korvalo && window.korvalo.ready", timeout=30)
        self.frames = 0

    def console(self):
        return self.browser.evaluate("korvalo.consoleText()")

    def step_to(self, frame):
        if frame > self.frames:
            self.browser.evaluate("korvalo.step(%d)" % (frame - self.frames))
            self.frames = frame

    def key(self, name, down):
        code, vk = KEYS[name]
        self.browser.key(code, down, key_code=vk)

    def canvas(self):
        width, height = self.browser.evaluate("korvalo.canvasSize()")
        rgba = base64.b64decode(self.browser.evaluate("korvalo.canvasPixels()"))
        rgb = bytearray(width * height * 3)
        rgb[0::3] = rgba[0::4]
        rgb[1::3] = rgba[1::4]
        rgb[2::3] = rgba[2::4]
        return width, height, bytes(rgb)

    def play(self, events, stops):
        """Replays script events; stops: {frame: callback} after that frame."""
        pending = sorted(stops.items())
        for frame, action, key in events + [(10 ** 9, None, None)]:
            while pending and pending[0][0] <= frame:
                stop, callback = pending.pop(0)
                self.step_to(stop)
                callback(stop)
            if action is None:
                break
            self.step_to(frame)
            self.key(key, action == "down")

    # -- pictures ---------------------------------------------------------

    def assert_shows(self, canvas, expected, label):
        """The canvas is the picture with one more row below it, black, as
        the window's client area is."""
        cw, ch, cpix = canvas
        w, h, pix = expected
        self.assertEqual((cw, ch), (w, h + 1), label + ": canvas size")
        row = w * 3
        self.assertEqual(cpix[h * row:], bytes(row), label + ": the row below the picture")
        if cpix[:h * row] != pix:
            diff = next(i for i in range(len(pix)) if cpix[i] != pix[i]) // 3
            self.fail("%s: first differing pixel at (%d, %d): canvas %s, expected %s"
                      % (label, diff % w, diff // w, cpix[diff * 3:diff * 3 + 3].hex(),
                         pix[diff * 3:diff * 3 + 3].hex()))

    def golden(self, name):
        return read_png(os.path.join(ARGS.e2e, "golden", name + ".png"))

    def headless_shots(self, romset, frames, keys=None, drops=()):
        """Screenshots of the headless runner at frames, by frame."""
        run = tempfile.mkdtemp(dir=self.work)
        command = [ARGS.program, "--headless", "--rom", os.path.join(ARGS.roms, romset),
                   "--frames", str(max(frames)), "--screenshot", ",".join(map(str, frames))]
        if keys:
            command += ["--keys", keys]
        for frame, path in drops:
            command += ["--drop", "%d:%s" % (frame, path)]
        subprocess.run(command, cwd=run, check=True, timeout=120, stdout=subprocess.DEVNULL)
        return {frame: read_png(os.path.join(run, "ScreenShot_%03d.png" % i))
                for i, frame in enumerate(frames)}

    def headless_hashes(self, romset, frames, *options):
        """The headless runner's picture hash of each frame from 1 to frames,
        in order, and what it printed."""
        run = tempfile.mkdtemp(dir=self.work)
        path = os.path.join(run, "hashes.txt")
        command = [ARGS.program, "--headless", "--rom", os.path.join(ARGS.roms, romset),
                   "--frames", str(frames), "--picture-hashes", path] + list(options)
        printed = subprocess.run(command, cwd=run, check=True, timeout=120,
                                 stdout=subprocess.PIPE, text=True).stdout
        with open(path) as f:
            lines = [line.split() for line in f]
        self.assertEqual([int(n) for n, _ in lines], list(range(1, frames + 1)))
        return [h for _, h in lines], printed

    def clear_downloads(self):
        for name in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, name))

    def download_ending(self, suffix):
        """The path of the finished download whose name ends with suffix."""
        deadline = time.monotonic() + 20
        while True:
            names = os.listdir(self.downloads)
            done = [n for n in names if n.endswith(suffix) and n + ".crdownload" not in names]
            if done:
                return os.path.join(self.downloads, done[0])
            self.assertLess(time.monotonic(), deadline, "no download *%s in %s" % (suffix, names))
            time.sleep(0.1)

    # -- tests ------------------------------------------------------------

    def test_canvas_equals_the_golden_pictures_at_every_preset_and_look(self):
        for romset, script, shots in GOLDEN_RUNS:
            with self.subTest(romset=romset):
                self.open_page(romset)
                events = parse_script(os.path.join(ARGS.e2e, "scripts", script))
                seen = []

                def compare(frame, name):
                    self.assert_shows(self.canvas(), self.golden(name), name)
                    seen.append(name)

                self.play(events, {f: functools.partial(compare, name=n) for f, n in shots})
                self.assertEqual(seen, [n for _, n in shots])
                console = self.console()
                for line in ("Korvalo %s (TIA-MC-Mode)\n" % os.environ["KORVALO_VERSION"], "Model: TIA-MC-1\n",
                             "Screen X-scale = 1.0\n", "Screen X-scale = 1.25\n",
                             "Smooth scanlines\n", "Double lines\n"):
                    self.assertIn(line, console)

    def test_demo_played_with_keys_as_the_headless_runner_plays_it(self):
        script = os.path.join(ARGS.e2e, "scripts", "Demo1.keys")
        events = [e for e in parse_script(script) if e[0] < 330]
        frames = [112, 140, 175, 230, 285, 315]
        keys = ",".join("%d:%s:%s" % e for e in events)
        expected = self.headless_shots("KorvaloDemo1.tia", frames, keys)
        self.open_page()
        pictures = {}
        self.play(events, {f: lambda f: pictures.__setitem__(f, self.canvas()) for f in frames})
        for frame in frames:
            self.assert_shows(pictures[frame], expected[frame], "frame %d" % frame)
        # The game moved: the pictures differ from one another.
        self.assertEqual(len({p[2] for p in pictures.values()}), len(frames))

    def drop_and_compare(self, romset, drop_file, hand_over):
        expected = self.headless_shots("KorvaloDemo1.tia", [100], drops=[(40, drop_file)])
        self.open_page()
        self.step_to(40)
        hand_over(drop_file)
        self.browser.wait_for("Module._korvaloDropPending() === 1", timeout=10)
        self.step_to(100)
        self.assert_shows(self.canvas(), expected[100], os.path.basename(drop_file))
        return self.console()

    def set_file_input(self, path, selector="#file"):
        document = self.browser.command("DOM.getDocument")["root"]["nodeId"]
        node = self.browser.command("DOM.querySelector", nodeId=document, selector=selector)
        self.browser.command("DOM.setFileInputFiles", files=[path], nodeId=node["nodeId"])

    def drag_and_drop(self, path):
        data = {"items": [], "files": [path], "dragOperationsMask": 1}
        for kind in ("dragEnter", "dragOver", "drop"):
            self.browser.command("Input.dispatchDragEvent", type=kind, x=600, y=400, data=data)

    def test_rom_sets_dropped_through_the_file_button_and_by_drag_and_drop(self):
        for romset, hand_over, model in (("KorvaloSelfTest2.tia", self.set_file_input, "TIA-MC-2"),
                                         ("KorvaloAnalog.tia", self.drag_and_drop, "TIA-MC-1")):
            with self.subTest(how=hand_over.__name__):
                console = self.drop_and_compare(romset, os.path.join(ARGS.roms, romset),
                                                hand_over)
                self.assertIn("Drag & Drop file\nModel: " + model + "\n", console)

    def test_a_file_that_is_no_rom_set_and_one_that_cannot_be_read(self):
        junk = os.path.join(self.work, "notes.txt")
        with open(junk, "wb") as f:
            f.write(bytes((i * 7 + 3) & 0xFF for i in range(3000)))
        console = self.drop_and_compare("notes.txt", junk, self.set_file_input)
        self.assertIn("Drag & Drop file\nModel: TIA-MC-1\n", console)

        # A file gone before it is read: the loader refuses it, the game goes on.
        gone = os.path.join(self.work, "gone.tia")
        expected = self.headless_shots("KorvaloDemo1.tia", [100], drops=[(40, gone)])
        self.open_page()
        self.step_to(40)
        self.set_file_input(gone)
        self.browser.wait_for("Module._korvaloDropPending() === 1", timeout=10)
        self.step_to(100)
        self.assertIn("Drag & Drop file\nCan't open file!\n", self.console())
        self.assertFalse(self.browser.evaluate("korvalo.halted"))
        self.assert_shows(self.canvas(), expected[100], "after a file that cannot be read")

    def drop_at_once(self, *romsets):
        """Drops the page's sets in one task of the page: none is read yet."""
        self.browser.evaluate("""(async () => {
            const files = await Promise.all(%s.map(async (name) =>
                new File([await (await fetch('roms/' + name)).blob()], name)));
            for (const file of files) {
                const data = new DataTransfer();
                data.items.add(file);
                document.dispatchEvent(new DragEvent('drop', { dataTransfer: data,
                                                               cancelable: true }));
            }
        })()""" % json.dumps(romsets), await_promise=True)

    def test_drops_back_to_back_load_in_turn_and_a_file_not_stored_is_reported(self):
        first, second = "KorvaloSelfTest2.tia", "KorvaloAnalog.tia"
        drops = [(40, os.path.join(ARGS.roms, first)), (41, os.path.join(ARGS.roms, second))]
        expected = self.headless_shots("KorvaloDemo1.tia", [100, 130], drops=drops)
        self.open_page()
        self.step_to(40)
        self.drop_at_once(first, second)
        self.browser.wait_for("Module._korvaloDropPending() === 1", timeout=10)
        self.step_to(41)
        self.browser.wait_for("Module._korvaloDropPending() === 1", timeout=10)
        self.step_to(100)
        self.assert_shows(self.canvas(), expected[100], "after two drops")
        self.assertIn("Drag & Drop file\nModel: TIA-MC-2\nDrag & Drop file\nModel: TIA-MC-1\n",
                      self.console())

        # A file the module's file system refuses: said, and the game goes on.
        self.browser.evaluate("""(() => {
            const write = Module.FS.writeFile;
            Module.FS.writeFile = () => {
                Module.FS.writeFile = write;
                throw new Module.FS.ErrnoError(51);
            };
        })()""")
        self.drop_at_once(first)
        self.browser.wait_for("korvalo.consoleText().includes(\"Can't store\")", timeout=10)
        self.assertTrue(self.console().endswith(
            "Can't store dropped file KorvaloSelfTest2.tia: file system error 51\n"))
        self.step_to(130)
        self.assertFalse(self.browser.evaluate("Module._korvaloDropPending() || korvalo.halted"))
        self.assert_shows(self.canvas(), expected[130], "after a file not stored")
        self.drop_at_once(first)
        self.browser.wait_for("Module._korvaloDropPending() === 1", timeout=10)
        self.step_to(131)
        self.assertTrue(self.console().endswith("Drag & Drop file\nModel: TIA-MC-2\n"))

    def downloaded(self, name):
        path = os.path.join(self.downloads, name)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            if os.path.exists(path) and not os.path.exists(path + ".crdownload"):
                try:
                    return read_png(path)
                except (ValueError, IndexError, OSError):
                    pass  # still being written
            time.sleep(0.1)
        self.fail("no download " + name + " in " + str(os.listdir(self.downloads)))

    def test_screenshots_are_downloads_of_the_presented_picture(self):
        self.clear_downloads()
        self.open_page()
        self.step_to(150)
        shown = self.canvas()
        # Left Shift + Print Screen, as a press and release ...
        self.key("LShift", True)
        self.key("PrintScreen", True)
        self.key("PrintScreen", False)
        self.step_to(151)
        # ... and as a release alone, as many desktops deliver Print Screen.
        self.step_to(152)
        shown2 = self.canvas()
        self.key("PrintScreen", False)
        self.step_to(153)
        self.key("LShift", False)
        self.step_to(160)
        shown3 = self.canvas()
        self.browser.evaluate("document.getElementById('shot').click()")
        for name, picture in (("ScreenShot_000.png", shown), ("ScreenShot_001.png", shown2),
                              ("ScreenShot_002.png", shown3)):
            self.assert_shows(picture, self.downloaded(name), name)
        self.assertIn("Saving ScreenShot_000.png\nSaving ScreenShot_001.png\n"
                      "Saving ScreenShot_002.png\n", self.console())

    def press(self, name):
        """The key down for one frame, up for the next."""
        self.key(name, True)
        self.step_to(self.frames + 1)
        self.key(name, False)
        self.step_to(self.frames + 1)

    def test_state_slots_survive_a_reload_and_go_out_and_back_as_files(self):
        self.open_page()
        self.browser.wait_for("korvalo.slotsRead", timeout=10)
        self.play([(110, "down", "Enter"), (112, "up", "Enter")], {})
        self.step_to(150)
        self.press("F2")  # saved at the start of the second frame
        saved = self.canvas()
        self.play([(200, "down", "Right"), (240, "up", "Right")], {})
        self.step_to(260)
        self.assertNotEqual(self.canvas()[2], saved[2])
        self.press("F4")
        self.assertIn("State saved to slot 0\nState loaded from slot 0\n", self.console())
        self.assertEqual(self.canvas(), saved, "F4 after F2")

        # A new page reads the slot back from IndexedDB.
        self.open_page()
        self.browser.wait_for("korvalo.slotsRead", timeout=10)
        self.step_to(30)
        self.press("F4")
        self.assertIn("State loaded from slot 0\n", self.console())
        self.assertEqual(self.canvas(), saved, "F4 after a reload")

        # The slot downloaded, the game run on, the file loaded back.
        self.clear_downloads()
        self.browser.evaluate("document.getElementById('download').click()")
        state = self.download_ending("-slot0.state")
        self.assertRegex(os.path.basename(state), "^[0-9a-f]{16}-slot0.state$")
        deadline = time.monotonic() + 20
        with open(state, "rb") as f:
            self.assertEqual(f.read(8), b"KORVSTAT")
        self.step_to(self.frames + 60)
        for path, line in ((os.path.join(ARGS.roms, "KorvaloDemo1.tia"), "Can't load state: "),
                           (state, "State loaded from file\n")):
            self.set_file_input(path, "#statefile")
            while line not in self.console()[-200:]:
                self.assertLess(time.monotonic(), deadline + 20, "no " + line)
                self.step_to(self.frames + 1)
                time.sleep(0.02)
        self.assertEqual(self.canvas(), saved, "the downloaded state loaded")

        # A write the browser's storage refuses is reported; the slot still
        # holds the state for this page.
        self.browser.evaluate("IDBObjectStore.prototype.put = function () {"
                              " throw new DOMException('full', 'QuotaExceededError'); }")
        self.press("F7")
        self.press("F2")
        refused = "Can't keep slot 1 in the browser's storage: "
        deadline = time.monotonic() + 10
        while refused not in self.console():
            self.assertLess(time.monotonic(), deadline, "the refused write was not reported")
            self.step_to(self.frames + 1)
            time.sleep(0.02)
        self.press("F4")
        self.assertIn("State loaded from slot 1\n", self.console())

    def test_a_recording_made_on_the_page_replays_in_the_headless_runner(self):
        # The game started, Right held across the start of the recording at
        # frame 150; in it, fire while moving left.
        before = [(110, "down", "Enter"), (112, "up", "Enter"), (140, "down", "Right")]
        during = [(170, "up", "Right"), (180, "down", "Space"), (180, "down", "Left"),
                  (220, "up", "Left"), (240, "up", "Space")]
        start, end = 150, 260
        self.clear_downloads()
        self.open_page()
        press = ("korvalo.hashPictures(%s); document.getElementById('record').click();"
                 "document.getElementById('record').textContent")
        self.play(before + during, {start: lambda f: self.assertEqual(
            self.browser.evaluate(press % "true"), "Stop recording")})
        self.step_to(end)
        self.assertEqual(self.browser.evaluate(press % "false"), "Record")
        page = self.browser.evaluate("korvalo.pictureHashes()")
        path = self.download_ending(".kvr")
        self.assertRegex(os.path.basename(path), "^[0-9a-f]{16}[.]kvr$")
        self.assertIn("Recording started\nRecording ended at frame %d\nSaving %s\n"
                      % (end - start, os.path.basename(path)), self.console())

        # Replayed from the state it starts with, every frame's picture is
        # the page's.
        replay, printed = self.headless_hashes("KorvaloDemo1.tia", end - start, "--replay", path)
        self.assertIn("Replaying %d frames\n" % (end - start), printed)
        self.assertEqual(len(page), end - start)
        for frame, (shown, replayed) in enumerate(zip(page, replay), start + 1):
            self.assertEqual(replayed, shown, "frame %d replayed" % frame)

        # The keys in it change the picture: without the fire and the left,
        # the game goes the same way up to frame 180 and another way after.
        keys = ",".join("%d:%s:%s" % e for e in before + during[:1])
        unpressed, _ = self.headless_hashes("KorvaloDemo1.tia", end, "--keys", keys)
        self.assertEqual(page[:180 - start], unpressed[start:180])
        differing = [f for f in range(181, end + 1) if page[f - start - 1] != unpressed[f - 1]]
        self.assertGreater(len(differing), (end - 180) // 2, "frames the keys changed")

    def test_losing_the_focus_releases_a_held_key(self):
        # Right held from frame 200; the focus goes at 215 and comes back at
        # 225 with no key event: the ship stops at 215 as if Right went up.
        events = [(110, "down", "Enter"), (112, "up", "Enter"), (200, "down", "Right")]
        expected = self.headless_shots("KorvaloDemo1.tia", [230, 260],
                                       "110:down:Enter,112:up:Enter,200:down:Right,215:up:Right")
        self.open_page()
        self.play(events, {})
        self.step_to(215)
        self.browser.evaluate("window.dispatchEvent(new FocusEvent('blur'))")
        self.step_to(225)
        self.browser.evaluate("window.dispatchEvent(new FocusEvent('focus'))")
        self.step_to(230)
        self.assert_shows(self.canvas(), expected[230], "frame 230")
        self.step_to(260)
        self.assert_shows(self.canvas(), expected[260], "frame 260")

    def test_game_pad_plays_as_the_keyboard_does(self):
        # A standard-layout pad seen through the gamepad API: Start, then A
        # with the stick left, then the D-pad right.
        self.browser.command("Page.addScriptToEvaluateOnNewDocument", source="""
            window.fakePad = { connected: true, index: 0, id: 'test pad', mapping: 'standard',
                timestamp: 0, axes: [0, 0, 0, 0],
                buttons: Array.from({ length: 17 }, () => ({ pressed: false, value: 0 })) };
            navigator.getGamepads = () => [window.fakePad];
            window.padPress = (button, on) => {
                window.fakePad.buttons[button] = { pressed: on, value: on ? 1 : 0 };
                window.fakePad.timestamp++;
            };
            window.padStick = (x, y) => { window.fakePad.axes = [x, y, 0, 0];
                                          window.fakePad.timestamp++; };""")
        keys = "110:down:Enter,112:up:Enter,130:down:Space,130:down:Left,170:up:Left," \
               "200:down:Right,240:up:Right,250:up:Space"
        expected = self.headless_shots("KorvaloDemo1.tia", [150, 220, 260], keys)
        self.open_page()
        pad = [(110, "padPress(9, true)"), (112, "padPress(9, false)"),
               (130, "padPress(0, true); padStick(-0.9, 0.1)"), (170, "padStick(0, 0)"),
               (200, "padPress(15, true)"), (240, "padPress(15, false)"),
               (250, "padPress(0, false)")]
        shots = {}
        for frame, action in pad + [(260, "")]:
            for stop in (150, 220, 260):
                if self.frames < stop <= frame:
                    self.step_to(stop)
                    shots[stop] = self.canvas()
            self.step_to(frame)
            if action:
                self.browser.evaluate(action)
        for frame in (150, 220, 260):
            self.assert_shows(shots[frame], expected[frame], "pad, frame %d" % frame)

    def enter_command(self, line):
        """The line typed key by key at the command line and Enter, then one
        pass of the frame loop; what the console panel showed since."""
        before = len(self.console())
        self.browser.evaluate("document.getElementById('command').focus()")
        for char in line + "\r":
            code = {" ": "Space", "\r": "Enter"}.get(char, "Digit" + char if char.isdigit()
                                                     else "Key" + char.upper())
            for kind, text in (("keyDown", char), ("keyUp", "")):
                self.browser.command("Input.dispatchKeyEvent", type=kind, code=code, text=text,
                                     key="Enter" if char == "\r" else char,
                                     windowsVirtualKeyCode=ord(char.upper()))
        self.browser.evaluate("korvalo.step(1)")
        return self.console()[before:]

    def test_monitor_holds_the_page_and_takes_commands_from_its_command_line(self):
        # The page runs on after "c" as the headless runner runs with no key:
        # the monitor changes no frame, the keys typed (Enter, Space) reach no
        # game.
        stop, end = 60, 100
        expected, _ = self.headless_hashes("KorvaloDemo1.tia", end)
        self.open_page()
        self.browser.evaluate("korvalo.hashPictures(true)")
        self.step_to(stop - 1)
        self.key("F9", True)
        self.browser.evaluate("korvalo.step(1)")
        self.key("F9", False)
        self.assertRegex(self.console(), "Monitor: stopped\n" + INSTRUCTION + "$")
        held = self.canvas()

        def still_held(what):
            self.assertEqual(self.browser.evaluate("korvalo.frames()"), stop - 1, what)
            self.assertTrue(self.canvas() == held, what + ": the held picture")

        self.browser.evaluate("korvalo.step(5); document.getElementById('screen')"
                              ".getContext('2d').fillRect(0, 0, 2000, 2000)")
        self.assertTrue(self.canvas() != held, "the canvas wiped")
        self.browser.evaluate("korvalo.step(1)")
        still_held("painted again")
        registers = "> r\nAF=.* PC=([0-9A-F]{4})\n.*\nFrame %d, T-state (\\d+)\n" % stop
        first = re.fullmatch(registers, self.enter_command("r"))
        self.assertRegex(self.enter_command("s 2"), "^> s 2\n" + INSTRUCTION + "$")
        second = re.fullmatch(registers, self.enter_command("r"))
        self.assertNotEqual(second[1], first[1], "PC after two steps")
        self.assertGreater(int(second[2]), int(first[2]), "T-states after two steps")
        still_held("after the commands")
        self.assertEqual(self.enter_command("c"), "> c\n")
        self.browser.evaluate("korvalo.step(%d)" % (end - stop))
        page = self.browser.evaluate("korvalo.pictureHashes()")
        self.assertEqual(len(set(page[stop - 1:])), end - stop + 1, "a new picture every frame")
        self.assertEqual(page, expected)

    def test_buttons_and_the_running_page(self):
        self.open_page("KorvaloDemo1.tia", manual=False)
        start = self.browser.evaluate("korvalo.frames()")
        self.browser.wait_for("korvalo.frames() > %d" % (start + 30), timeout=20)
        self.browser.wait_for("korvalo.lockedToRefresh() >= 0", timeout=20)
        click = "document.getElementById('%s').click()"
        self.browser.evaluate(click % "preset")
        self.browser.wait_for("korvalo.canvasSize()[0] === 512")
        self.assertEqual(self.browser.evaluate("korvalo.canvasSize()"), [512, 513])
        self.browser.evaluate(click % "preset")
        self.browser.evaluate(click % "look")
        self.assertEqual(self.browser.evaluate("korvalo.canvasSize()"), [640, 513])
        self.assertEqual(self.browser.evaluate("[korvalo.preset(), korvalo.look()]"), [12, 1])
        self.assertIn("Screen X-scale = 1.0\nScreen X-scale = 1.25\nSmooth scanlines\n",
                      self.console())
        # Another of the page's sets, a click away, handed over as a dropped
        # file is; two clicks back to back load in turn.
        self.browser.evaluate("for (const set of ['KorvaloDemo2.tia', 'KorvaloAnalog.tia'])"
                              " document.querySelector(`#sets button[title=\"${set}\"]`).click()")
        loaded = "Drag & Drop file\nModel: TIA-MC-2\nDrag & Drop file\nModel: TIA-MC-1\n"
        self.browser.wait_for("korvalo.consoleText().includes(%s)" % json.dumps(loaded),
                              timeout=10)
        self.assertEqual(self.browser.evaluate("document.querySelector('#sets .chosen').title"),
                         "KorvaloAnalog.tia")
        # F11, and the hot key Left Windows + F, ask the browser for full
        # screen of the picture, and back.
        for keys in (["F11"], ["LWin", "F"]):
            for wanted in ("!==", "==="):
                for name in keys:
                    self.key(name, True)
                self.browser.wait_for("document.fullscreenElement %s null" % wanted, timeout=10)
                for name in reversed(keys):
                    self.key(name, False)
        self.assertEqual(self.browser.evaluate("korvalo.canvasSize()"), [640, 513])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--page", required=True)
    parser.add_argument("--program", required=True)
    parser.add_argument("--roms", required=True)
    parser.add_argument("--e2e", required=True)
    ARGS, rest = parser.parse_known_args()
    for name in ("page", "program", "roms", "e2e"):
        setattr(ARGS, name, os.path.abspath(getattr(ARGS, name)))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
