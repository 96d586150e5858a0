#!/usr/bin/env python3
"""The core in the real RetroArch, headless (null video, audio and input
drivers, a throwaway HOME and configuration): each run plays a set for a
number of frames and saves the last one as a screenshot, which must equal the
headless program's picture of the same frame pixel for pixel. RetroArch's log
must show the core loaded and its console lines; an exit code alone proves
nothing (a missing core is replaced by a dummy that exits 0 as well).

A scripted session drives RetroArch over its network ports (see
NetworkSession): frames stepped one at a time, player 1's buttons, states saved
and loaded, screenshots, once plainly and once with run-ahead and rewind on.

Environment: RETROARCH, KORVALO_CORE_DIR (the core and its .info),
KORVALO_PROGRAM, KORVALO_ROMS, PYTHONPATH with tests/support."""
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

import pngio

RETROARCH = os.environ["RETROARCH"]
CORE_DIR = os.path.abspath(os.environ["KORVALO_CORE_DIR"])
CORE = os.path.join(CORE_DIR, "korvalo_libretro.so")
PROGRAM = os.path.abspath(os.environ["KORVALO_PROGRAM"])
ROMS = os.path.abspath(os.environ["KORVALO_ROMS"])


def config_text(work, extra=None):
    """A configuration that keeps RetroArch headless, unthrottled and inside
    the work folder."""
    keys = {
        "config_save_on_exit": "false",
        "video_driver": "null",
        "audio_driver": "null",
        "input_driver": "null",
        "input_joypad_driver": "null",
        "audio_sync": "false",
        "video_vsync": "false",
        "input_autodetect_enable": "false",
        "pause_nonactive": "false",
        "quit_press_twice": "false",
        "video_gpu_screenshot": "false",
        "libretro_directory": CORE_DIR,
        "libretro_info_path": CORE_DIR,
        "core_info_cache_enable": "false",
        "savestate_file_compression": "false",
        "libretro_log_level": "0",
        "core_options_path": os.path.join(work, "options.cfg"),
        "global_core_options": "true",
        "history_list_enable": "false",
    }
    for name in ("savestate", "savefile", "screenshot", "system", "playlist",
                 "cache", "log", "runtime_log", "content_history"):
        folder = os.path.join(work, name)
        os.makedirs(folder, exist_ok=True)
        keys[name + "_directory"] = folder
    keys.update(extra or {})
    return "".join('%s = "%s"\n' % item for item in keys.items())


def run_retroarch(work, content, frames, extra_config=None, options=None, args=()):
    """N frames, the last saved as shot.png; returns (exit code, log)."""
    with open(os.path.join(work, "retroarch.cfg"), "w") as f:
        f.write(config_text(work, extra_config))
    with open(os.path.join(work, "options.cfg"), "w") as f:
        for key, value in (options or {}).items():
            f.write('%s = "%s"\n' % (key, value))
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
    env.pop("DISPLAY", None)
    command = [RETROARCH, "--verbose", "--config", os.path.join(work, "retroarch.cfg"),
               "-L", CORE, "--max-frames=%d" % frames, "--max-frames-ss",
               "--max-frames-ss-path=" + os.path.join(work, "shot.png"), *args, content]
    done = subprocess.run(command, cwd=work, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace")


def headless_shot(work, rom, frame, keys=""):
    """The headless program's picture of the frame."""
    folder = os.path.join(work, "headless")
    os.makedirs(folder, exist_ok=True)
    command = [PROGRAM, "--headless", "--frames", str(frame + 1), "--screenshot", str(frame)]
    if keys:
        command += ["--keys", keys]
    subprocess.run(command + [rom], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   timeout=120)
    picture = pngio.read(os.path.join(folder, "ScreenShot_000.png"))
    shutil.rmtree(folder)
    return picture


def headless_from_state(work, rom, state, frame, keys="", save_at=None):
    """The headless program's picture of the frame, counted from a machine
    state; with save_at, also its state after that frame."""
    folder = os.path.join(work, "headless")
    os.makedirs(folder, exist_ok=True)
    start = os.path.join(folder, "start.state")
    with open(start, "wb") as f:
        f.write(state)
    command = [PROGRAM, "--headless", "--load-state", start, "--frames", str(frame),
               "--screenshot", str(frame)]
    if keys:
        command += ["--keys", keys]
    if save_at is not None:
        command += ["--save-state", "%d:%s" % (save_at, os.path.join(folder, "saved.state"))]
    subprocess.run(command + [rom], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   timeout=120)
    picture = pngio.read(os.path.join(folder, "ScreenShot_000.png"))
    saved = None
    if save_at is not None:
        with open(os.path.join(folder, "saved.state"), "rb") as f:
            saved = f.read()
    shutil.rmtree(folder)
    return picture, saved


def machine_state(path):
    """The core's own state out of a RetroArch 1.14 state file: "RASTATE",
    a version byte, then chunks (four-letter tag, 32-bit little-endian size,
    data padded to 8 bytes); the core's bytes are the "MEM " chunk."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:7] != b"RASTATE":
        raise ValueError("%s is no RetroArch state file" % path)
    pos = 8
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        if tag == b"MEM ":
            return data[pos + 8:pos + 8 + size]
        pos += 8 + (size + 7) // 8 * 8
    raise ValueError("%s holds no core state" % path)


def free_udp_ports(count):
    """Distinct UDP ports that nothing holds at the moment."""
    holders = []
    for _ in range(count):
        holder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        holder.bind(("127.0.0.1", 0))
        holders.append(holder)
    ports = [holder.getsockname()[1] for holder in holders]
    for holder in holders:
        holder.close()
    return ports


class NetworkSession:
    r"""RetroArch playing a set, driven through its two network ports on
    loopback (it binds them on every interface; each session takes fresh
    ports):

    - the command interface (network_cmd_port): text commands, one or more
      lines per UDP datagram. GET_STATUS is answered ("GET_STATUS PAUSED
      core,game,crc32=..."). The others act as hotkey presses: each datagram's
      commands are pressed for one turn of RetroArch's loop, and a command
      acts only when it was not pressed in the turn before. Paused, the loop
      turns about every 20 ms, so a command is sent only after three
      GET_STATUS answered 20 ms apart (settle): the last was read in a later
      turn than the command, so the next press is an edge again.
      FRAMEADVANCE pauses a running core and steps a paused one by one
      frame. SAVE_STATE and LOAD_STATE act only in a turn that runs a frame:
      sent as "FRAMEADVANCE\nSAVE_STATE", the state is taken before the
      stepped frame runs (the file is written afterwards). A load is read
      from the file by a background task and only applied when that task
      ends, after the stepped frame: "FRAMEADVANCE\nLOAD_STATE" leaves the
      core at the loaded state, once the log has the line of its undo copy
      ('Saving state "RAM"'), written just before the state goes in.
      SCREENSHOT saves the core's last picture (video_gpu_screenshot off)
      as GAME-YYMMDD-HHMMSS.png.
    - player 1's network RetroPad (network_remote_base_port; RetroArch 1.14
      binds player N on the base port + N - 1, so player 1 on the base port
      itself): a 20-byte datagram, native byte order, int port, device,
      index, id and uint16 state ("=iiiiH2x"); a joypad button stays as the
      last datagram left it. One datagram is read per input poll, and the
      paused loop polls too, so each is followed by settle.
      Start on player 1 also unpauses a paused core: RetroArch 1.14 treats
      it as its pause key while paused (the core still sees it as Start).

    A button changed after F stepped frames is first seen by frame F + 1:
    the headless program's key event at frame F. With run-ahead of N frames
    the picture after F frames is frame F + N, run with the buttons of
    frame F (RetroArch 1.14 runs the frames ahead in a second instance of
    the core, brought to the first one's state through the state functions
    whenever the buttons change); states saved are still those of frame F."""

    START, B, UP, RIGHT = 3, 0, 4, 7

    def __init__(self, work, content, extra_config=None):
        self.work = work
        self.command_port, self.pad_port = free_udp_ports(2)
        config = {
            "network_cmd_enable": "true",
            "network_cmd_port": str(self.command_port),
            "network_remote_enable": "true",
            "network_remote_base_port": str(self.pad_port),
            "network_remote_enable_user_p1": "true",
        }
        config.update(extra_config or {})
        with open(os.path.join(work, "retroarch.cfg"), "w") as f:
            f.write(config_text(work, config))
        with open(os.path.join(work, "options.cfg"), "w"):
            pass
        home = os.path.join(work, "home")
        os.makedirs(home, exist_ok=True)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"))
        env.pop("DISPLAY", None)
        self.log_path = os.path.join(work, "retroarch.log")
        self.shots = 0
        self.link = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.link.bind(("127.0.0.1", 0))
        with open(self.log_path, "w") as log:
            self.process = subprocess.Popen(
                [RETROARCH, "--verbose", "--config", os.path.join(work, "retroarch.cfg"),
                 "-L", CORE, content], cwd=work, env=env, stdout=log,
                stderr=subprocess.STDOUT)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.link.close()

    def log(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def send(self, text):
        self.link.sendto(text.encode(), ("127.0.0.1", self.command_port))

    def status(self):
        """GET_STATUS's answer. Every request is answered once the interface
        is up, so this socket never holds an answer to an earlier one."""
        self.link.settimeout(10)
        self.send("GET_STATUS")
        return self.link.recvfrom(4096)[0].decode("utf-8", "replace")

    def wait_until_up(self, seconds=30.0):
        """Until the command interface answers, with the game running. Each
        try asks from a socket of its own: a request sent before the port
        was open is never answered, and a late answer dies with its socket."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                raise AssertionError("RetroArch ended early:\n" + self.log())
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
                probe.settimeout(0.2)
                probe.sendto(b"GET_STATUS", ("127.0.0.1", self.command_port))
                try:
                    if "PLAYING" in probe.recvfrom(4096)[0].decode("utf-8", "replace"):
                        return
                except socket.timeout:
                    pass
        raise AssertionError("RetroArch never answered:\n" + self.log())

    def wait_for(self, word, seconds=10.0):
        """Asks GET_STATUS until the answer holds the word."""
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if word in self.status().split():
                return
            time.sleep(0.01)
        raise AssertionError("RetroArch never reported %s:\n%s" % (word, self.log()))

    def settle(self):
        # Two answers 10 ms apart were not always a turn apart: a loaded
        # machine let about one session in five lose or merge a command.
        for _ in range(3):
            time.sleep(0.02)
            self.status()

    def step(self, also=""):
        """One frame, and commands that act before it."""
        self.send("FRAMEADVANCE" + ("\n" + also if also else ""))
        self.settle()

    def load_state(self):
        """Back to the slot's state; no frame has run from it."""
        undo = '[State]: Saving state "RAM"'
        before = self.log().count(undo)
        self.send("FRAMEADVANCE\nLOAD_STATE")
        deadline = time.monotonic() + 10
        while self.log().count(undo) == before:
            if time.monotonic() > deadline:
                raise AssertionError("the state was not loaded:\n" + self.log())
            time.sleep(0.01)
        self.settle()

    def press(self, button, down):
        self.link.sendto(struct.pack("=iiiiH2x", 0, 1, 0, button, 1 if down else 0),
                         ("127.0.0.1", self.pad_port))
        self.settle()

    def screenshot(self):
        """The core's last picture, as RetroArch saves it."""
        self.send("SCREENSHOT")
        self.settle()
        folder = os.path.join(self.work, "screenshot")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            names = [n for n in os.listdir(folder) if n.endswith(".png")]
            if names:
                try:
                    picture = pngio.read(os.path.join(folder, names[0]))
                except (ValueError, OSError, struct.error, zlib.error):
                    picture = None
                if picture:
                    # Its name has a one-second resolution: moved away, the
                    # next screenshot cannot land on it.
                    self.shots += 1
                    os.rename(os.path.join(folder, names[0]),
                              os.path.join(self.work, "shot%d.png" % self.shots))
                    return picture
            time.sleep(0.02)
        raise AssertionError("no screenshot:\n" + self.log())

    def quit(self):
        self.send("QUIT")
        self.process.wait(timeout=30)
        return self.process.returncode


def even_rows(picture):
    """The even rows of a picture: the board's own lines in the 512 x 512 preset."""
    w, h, rgb = picture
    stride = w * 3
    return w, h // 2, b"".join(rgb[y * stride:(y + 1) * stride] for y in range(0, h, 2))


DELETE_TWICE = "2:down:Delete,3:up:Delete,4:down:Delete,5:up:Delete"

# name, set, frames, core options, headless keys reaching the same picture,
# picture size, whether the core's picture is the even rows of the headless one.
CASES = [
    ("demo", "KorvaloDemo1.tia", 120, {}, "", (960, 768), False),
    ("selftest", "KorvaloSelfTest.tia", 60, {}, "", (960, 768), False),
    ("selftest2", "KorvaloSelfTest2.tia", 50, {}, "", (960, 768), False),
    ("selftest_smooth", "KorvaloSelfTest.tia", 60,
     {"korvalo_picture": "640x512", "korvalo_scanlines": "smooth"},
     DELETE_TWICE + ",6:down:LCtrl,7:down:Delete,8:up:Delete,9:up:LCtrl", (640, 512), False),
    ("demo_unscaled", "KorvaloDemo1.tia", 90, {"korvalo_picture": "512x256 unscaled"},
     "2:down:Delete,3:up:Delete", (512, 256), True),
]


# The scripted session, in frames counted from the state saved first (the
# title screen): Start is held from frame 0 and let go after frame 3, then
# the ship flies right (from then on each frame shows another picture),
# fires and climbs; (frame, button, down) as sent after that many frames.
SESSION_PRESSES = [
    (3, NetworkSession.START, False),
    (30, NetworkSession.RIGHT, True),
    (50, NetworkSession.B, True),
    (58, NetworkSession.RIGHT, False),
    (58, NetworkSession.UP, True),
    (70, NetworkSession.B, False),
]
SESSION_KEYS = {NetworkSession.START: "Enter", NetworkSession.B: "Space",
                NetworkSession.UP: "Up", NetworkSession.RIGHT: "Right"}
SESSION_SHOTS = (3, 45, 62)
SESSION_SAVE = 40  # the second state, after this frame; loaded again after the last shot


def session_keys(before):
    """The headless key script of the session's presses before the frame."""
    events = ["0:down:Enter"]
    for frame, button, down in SESSION_PRESSES:
        if frame < before:
            events.append("%d:%s:%s" % (frame, "down" if down else "up", SESSION_KEYS[button]))
    return ",".join(events)


def session_buttons(after):
    """The buttons held after the frame."""
    held = {NetworkSession.START}
    for frame, button, down in SESSION_PRESSES:
        if frame <= after:
            (held.add if down else held.discard)(button)
    return held


class RetroArchHeadless(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="korvalo-retroarch-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def check_log(self, log):
        self.assertIn('Loading dynamic libretro core from: "%s"' % CORE, log)
        self.assertIn("[libretro INFO] Model: TIA-MC-", log)
        self.assertNotIn("Failed to load content", log)

    def test_last_frame_equals_the_headless_program(self):
        for name, rom, frames, options, keys, size, unscaled in CASES:
            with self.subTest(name):
                content = os.path.join(self.work, rom)
                shutil.copy(os.path.join(ROMS, rom), content)
                code, log = run_retroarch(self.work, content, frames, options=options)
                self.assertEqual(code, 0, log)
                self.check_log(log)
                for key, value in options.items():
                    self.assertIn('GET_VARIABLE: %s = "%s"' % (key, value), log)
                shot = pngio.read(os.path.join(self.work, "shot.png"))
                self.assertEqual(shot[:2], size)
                expected = headless_shot(self.work, content, frames, keys)
                if unscaled:
                    expected = even_rows(expected)
                self.assertEqual(pngio.compare(shot, expected), (0, None), name)
                os.remove(os.path.join(self.work, "shot.png"))

    def test_state_saved_at_exit_restarts_the_game_there(self):
        # RetroArch saves the state after the last frame; a second run starts
        # from it as an entry state (its first frame runs, then the state
        # loads), so its last picture is frame 150 + 40 - 1 of one long run.
        rom = os.path.join(self.work, "KorvaloDemo1.tia")
        shutil.copy(os.path.join(ROMS, "KorvaloDemo1.tia"), rom)
        auto = {"savestate_auto_save": "true"}
        code, log = run_retroarch(self.work, rom, 150, extra_config=auto)
        self.assertEqual(code, 0, log)
        self.check_log(log)
        saved = os.path.join(self.work, "savestate", "KorvaloDemo1.state.auto")
        self.assertTrue(os.path.exists(saved), log)
        with open(saved, "rb") as f:
            self.assertIn(b"KORVSTAT", f.read())
        shutil.copy(saved, os.path.join(self.work, "savestate", "KorvaloDemo1.state1.entry"))
        code, log = run_retroarch(self.work, rom, 40, args=["--entryslot=1"])
        self.assertEqual(code, 0, log)
        self.check_log(log)
        self.assertNotIn("Can't load state", log)
        shot = pngio.read(os.path.join(self.work, "shot.png"))
        self.assertEqual(pngio.compare(shot, headless_shot(self.work, rom, 189)), (0, None))
        # Without the entry state the same 40 frames show another picture.
        self.assertNotEqual(pngio.compare(shot, headless_shot(self.work, rom, 40))[0], 0)

    def play_session(self, extra_config):
        """The scripted session: returns the screenshots as (frame, picture),
        the first state, the second, and RetroArch's log."""
        rom = os.path.join(self.work, "KorvaloDemo1.tia")
        shutil.copy(os.path.join(ROMS, "KorvaloDemo1.tia"), rom)
        slot = os.path.join(self.work, "savestate", "KorvaloDemo1.state")
        session = NetworkSession(self.work, rom, extra_config)
        self.ports = session.command_port, session.pad_port
        try:
            session.wait_until_up()
            session.step()  # pauses wherever the title screen is
            session.wait_for("PAUSED")
            session.step("SAVE_STATE")
            first = self.wait_for_state(slot, session)
            # Start held before frame 0 of the first state: pressed while
            # paused it unpauses, so the core runs on with it held until the
            # next FRAMEADVANCE, then the first state comes back with the
            # button still down. Held, it no longer counts as a pause press.
            session.press(NetworkSession.START, True)
            session.wait_for("PLAYING")
            session.step()
            session.wait_for("PAUSED")
            session.settle()
            session.load_state()
            shots = []
            self.play_frames(session, 0, max(SESSION_SHOTS), shots, True)
            # Back to the second state, with the buttons it was saved with.
            for button in SESSION_KEYS:
                held = button in session_buttons(SESSION_SAVE)
                if held != (button in session_buttons(max(SESSION_SHOTS))):
                    session.press(button, held)
            session.load_state()
            self.play_frames(session, SESSION_SAVE, max(SESSION_SHOTS), shots, False)
            self.assertEqual(session.quit(), 0, session.log())
            second = machine_state(slot)
            return shots, first, second, session.log()
        finally:
            session.close()

    def wait_for_state(self, path, session):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                return machine_state(path)
            except (OSError, ValueError):
                time.sleep(0.02)
        self.fail("no state saved:\n" + session.log())

    def play_frames(self, session, frame, last, shots, save):
        """From `frame` frames run to `last`: the presses and screenshots
        after each frame, and, with `save`, the second state on the way."""
        while True:
            for at, button, down in SESSION_PRESSES:
                if at == frame:
                    session.press(button, down)
            if frame in SESSION_SHOTS:
                shots.append((frame, session.screenshot()))
            if frame == last:
                return
            session.step("SAVE_STATE" if save and frame == SESSION_SAVE else "")
            frame += 1

    def check_session(self, extra_config, ahead):
        shots, first, second, log = self.play_session(extra_config)
        self.check_log(log)
        command_port, pad_port = self.ports
        self.assertIn("[NetCMD]: bringing_up_command_interface_at_port %d." % command_port, log)
        self.assertIn("Bringing up remote interface on port %d." % pad_port, log)
        # Saved, loaded, saved over (RetroArch reads the old file first, to
        # undo the save), loaded.
        slot = os.path.join(self.work, "savestate", "KorvaloDemo1.state")
        states = [line.split('"')[0] for line in log.splitlines()
                  if line.startswith("[INFO] [State]: ") and '"%s"' % slot in line]
        self.assertEqual(states, ["[INFO] [State]: Saving state ", "[INFO] [State]: Loading state ",
                                  "[INFO] [State]: Saving state ", "[INFO] [State]: Loading state ",
                                  "[INFO] [State]: Loading state "], log)
        self.assertIn("[State]: File already exists. Saving to backup buffer", log)
        self.assertNotIn("Can't load state", log)
        self.assertEqual([frame for frame, _ in shots],
                         list(SESSION_SHOTS) + [f for f in SESSION_SHOTS if f > SESSION_SAVE])
        rom = os.path.join(self.work, "KorvaloDemo1.tia")
        expected = {}
        for frame, shot in shots:
            if frame not in expected:
                expected[frame] = headless_from_state(self.work, rom, first, frame + ahead,
                                                      session_keys(frame))[0]
                # With the ship flying, the frame before shows another
                # picture: a match pins the frame.
                if frame > SESSION_PRESSES[1][0]:
                    before = headless_from_state(self.work, rom, first, frame + ahead - 1,
                                                 session_keys(frame - 1))[0]
                    self.assertNotEqual(pngio.compare(before, expected[frame])[0], 0, frame)
            self.assertEqual(pngio.compare(shot, expected[frame]), (0, None),
                             "frame %d + %d" % (frame, ahead))
        # The second state is the machine after its frame, as the headless
        # program saves it.
        _, saved = headless_from_state(self.work, rom, first, SESSION_SAVE,
                                       session_keys(SESSION_SAVE), SESSION_SAVE)
        self.assertEqual(second, saved)
        return shots, first

    def test_a_session_over_the_network_ports(self):
        shots, first = self.check_session({}, 0)
        # Right, sent after frame 30, reached frame 31 exactly: seen a frame
        # later, the ship would be elsewhere in the next shot.
        rom = os.path.join(self.work, "KorvaloDemo1.tia")
        right = SESSION_PRESSES[1][0]
        keys = session_keys(SESSION_SHOTS[1]).replace("%d:down:Right" % right,
                                                      "%d:down:Right" % (right + 1))
        picture, _ = headless_from_state(self.work, rom, first, SESSION_SHOTS[1], keys)
        self.assertNotEqual(pngio.compare(shots[1][1], picture)[0], 0)

    def test_a_session_with_run_ahead_and_rewind(self):
        ahead = 2
        self.check_session({"run_ahead_enabled": "true", "run_ahead_frames": str(ahead),
                            "rewind_enable": "true"}, ahead)

    def test_a_game_that_is_no_rom_set_runs_harmlessly(self):
        content = os.path.join(self.work, "noise.tia")
        with open(content, "wb") as f:
            f.write(os.urandom(90112))
        code, log = run_retroarch(self.work, content, 200)
        self.assertEqual(code, 0, log)
        self.check_log(log)
        self.assertEqual(pngio.read(os.path.join(self.work, "shot.png"))[:2], (960, 768))


if __name__ == "__main__":
    unittest.main(verbosity=2)
