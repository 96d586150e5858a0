#!/usr/bin/env python3
"""The core in the real RetroArch, headless (null video, audio and input
drivers, a throwaway HOME and configuration): each run plays a set for a
number of frames and saves the last one as a screenshot, which must equal the
headless program's picture of the same frame pixel for pixel. RetroArch's log
must show the core loaded and its console lines; an exit code alone proves
nothing (a missing core is replaced by a dummy that exits 0 as well).

Environment: RETROARCH, KORVALO_CORE_DIR (the core and its .info),
KORVALO_PROGRAM, KORVALO_ROMS, PYTHONPATH with tests/support."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

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
