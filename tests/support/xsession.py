"""A private X display for the real-window tests, standard library only.

    with XSession(1280, 1024, wm=True) as x:        # Xvfb (+ openbox)
        prog = x.run_program([exe, "--flag"], name="korvalo", cwd=folder)
        prog.wait_for_line("Korvalo", timeout=20)
        win = x.find_window("Korvalo", timeout=20)
        x.focus(win)
        x.tap(win, KEYCODES["Delete"])
        w, h, rgb = x.capture(win)
        x.drop(win, "/path/Derev.tia")
        x.close(win)
        assert prog.wait(timeout=10) == 0

Everything the session starts (Xvfb, openbox, the programs run through it)
is stopped when the `with` block ends, and only those processes. The xtool
binary comes from the xtool= argument or the XTOOL environment variable.
"""

import contextlib
import ctypes
import os
import pathlib
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# X keycodes of Xvfb's default keymap (evdev keycodes, "us" layout).
KEYCODES = {
    "Escape": 9, "Return": 36, "Control_L": 37, "t": 28, "f": 41, "Shift_L": 50, "space": 65,
    "Caps_Lock": 66, "Num_Lock": 77, "Scroll_Lock": 78,
    "KP_Up": 80, "KP_Left": 83, "KP_Right": 85, "KP_Down": 88,
    "F9": 75, "F11": 95, "KP_Enter": 104, "Print": 107, "Up": 111, "Left": 113, "Right": 114,
    "Down": 116, "Delete": 119, "Pause": 127, "Super_L": 133,
}

OPENBOX_RC = """<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
"""

# Exit codes of xtool.
XTOOL_FAIL, XTOOL_TIMEOUT, XTOOL_REFUSED = 1, 2, 3


class XToolError(RuntimeError):
    """A failed xtool run; code is its exit code (XTOOL_REFUSED for a refused drop)."""

    def __init__(self, code, message):
        super().__init__(message)
        self.code = code


def _stop(proc, grace=3.0):
    """Ends one process we started (and its process group when it leads one)."""
    if proc.poll() is not None:
        return
    try:
        if proc.pid == os.getpgid(proc.pid):
            os.killpg(proc.pid, signal.SIGTERM)
        else:
            proc.terminate()
    except (ProcessLookupError, PermissionError):
        pass
    try:
        proc.wait(timeout=grace)
        return
    except subprocess.TimeoutExpired:
        pass
    try:
        if proc.pid == os.getpgid(proc.pid):
            os.killpg(proc.pid, signal.SIGKILL)
        else:
            proc.kill()
    except (ProcessLookupError, PermissionError):
        pass
    proc.wait(timeout=grace)


def wait_for_line(path, text, timeout=10.0, proc=None):
    """Waits until a line of the file contains text and returns that line.

    Raises TimeoutError (with the file's contents) when the time runs out, or
    early when proc is given and has ended without writing the line."""
    deadline = time.monotonic() + timeout
    while True:
        ended = proc is not None and proc.poll() is not None
        try:
            with open(path, "r", errors="replace") as f:
                content = f.read()
        except FileNotFoundError:
            content = ""
        for line in content.splitlines():
            if text in line:
                return line
        if ended or time.monotonic() > deadline:
            why = "ended (exit %s)" % proc.returncode if ended else "timed out"
            raise TimeoutError("%s: no line with %r in %s; it holds:\n%s"
                               % (why, text, path, content[-4000:]))
        time.sleep(0.05)


class Program:
    """A process started by XSession.run_program; its output goes to files."""

    def __init__(self, proc, name, stdout_path, stderr_path):
        self.proc = proc
        self.name = name
        self.stdout_path = stdout_path
        self.stderr_path = stderr_path

    def wait_for_line(self, text, timeout=10.0, stream="stdout"):
        path = self.stdout_path if stream == "stdout" else self.stderr_path
        return wait_for_line(path, text, timeout, self.proc)

    def wait(self, timeout=10.0):
        """The exit code; stops the process and raises TimeoutError if it runs on."""
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            _stop(self.proc)
            raise TimeoutError("%s still ran after %.1f s" % (self.name, timeout))

    def stop(self):
        _stop(self.proc)

    def output(self, stream="stdout"):
        path = self.stdout_path if stream == "stdout" else self.stderr_path
        with open(path, "r", errors="replace") as f:
            return f.read()


class XSession:
    def __init__(self, width=1280, height=1024, wm=False, xtool=None, logdir=None,
                 timeout=15.0):
        self.width, self.height, self.wm = width, height, wm
        self.xtool = xtool or os.environ.get("XTOOL") or shutil.which("xtool")
        if not self.xtool:
            raise RuntimeError("no xtool: pass xtool= or set XTOOL")
        self.timeout = timeout
        self._own_logdir = logdir is None
        self.logdir = logdir or tempfile.mkdtemp(prefix="xsession-")
        os.makedirs(self.logdir, exist_ok=True)
        self.display = None
        self.env = None
        self._procs = []  # (Popen, name), in start order
        self._focused = None

    # ---- start and stop ------------------------------------------------------

    def __enter__(self):
        try:
            self._start_xvfb()
            if self.wm:
                self._start_wm()
        except BaseException:
            self._stop_all(failed=True)
            raise
        return self

    def __exit__(self, kind, value, tb):
        self._stop_all(failed=kind is not None)
        return False

    def _popen(self, args, name, env=None, cwd=None, **kw):
        out = open(os.path.join(self.logdir, name + ".out"), "wb")
        err = open(os.path.join(self.logdir, name + ".err"), "wb")
        try:
            kw.setdefault("stdin", subprocess.DEVNULL)
            proc = subprocess.Popen(args, stdout=out, stderr=err,
                                    env=env if env is not None else self.env, cwd=cwd,
                                    start_new_session=True, **kw)
        finally:
            out.close()
            err.close()
        self._procs.append((proc, name))
        return proc

    def _start_xvfb(self):
        rfd, wfd = os.pipe()
        try:
            proc = self._popen(["Xvfb", "-displayfd", str(wfd), "-screen", "0",
                                "%dx%dx24" % (self.width, self.height),
                                "-nolisten", "tcp", "-noreset"],
                               "Xvfb", env=dict(os.environ), pass_fds=(wfd,))
        finally:
            os.close(wfd)
        text = b""
        deadline = time.monotonic() + self.timeout
        try:
            while not text.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([rfd], [], [], max(left, 0))
                if not ready:
                    raise RuntimeError("Xvfb gave no display number within %.0f s" % self.timeout)
                chunk = os.read(rfd, 64)
                if not chunk:
                    raise RuntimeError("Xvfb ended at start (exit %s): %s"
                                       % (proc.wait(), self._tail("Xvfb.err")))
                text += chunk
        finally:
            os.close(rfd)
        self.display = ":" + text.decode().strip()
        self.env = dict(os.environ)
        self.env["DISPLAY"] = self.display
        self.env.pop("XAUTHORITY", None)
        self.env.pop("WAYLAND_DISPLAY", None)

    def _start_wm(self):
        # Debian's stock openbox configuration grabs keys the tests press
        # (Print runs scrot, Super and Alt combinations switch desktops or
        # windows): this one binds none and focuses new windows.
        rc = os.path.join(self.logdir, "openbox-rc.xml")
        with open(rc, "w") as f:
            f.write(OPENBOX_RC)
        proc = self._popen(["openbox", "--sm-disable", "--config-file", rc], "openbox")
        deadline = time.monotonic() + self.timeout
        while True:
            r = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                               capture_output=True, text=True, timeout=self.timeout)
            if "window id" in r.stdout:
                break
            if proc.poll() is not None:
                raise RuntimeError("openbox ended at start: " + self._tail("openbox.err"))
            if time.monotonic() > deadline:
                raise RuntimeError("openbox did not take the display")
            time.sleep(0.05)
        # openbox announces itself before it maps windows: wait for a real map.
        self._xtool("wm-ready", timeout=max(deadline - time.monotonic(), 1.0))

    def _tail(self, name, size=2000):
        try:
            with open(os.path.join(self.logdir, name), "r", errors="replace") as f:
                return f.read()[-size:]
        except OSError:
            return ""

    def _stop_all(self, failed):
        for proc, _ in reversed(self._procs):
            _stop(proc)
        if failed:
            self.dump_logs()
        if self._own_logdir:
            shutil.rmtree(self.logdir, ignore_errors=True)

    def dump_logs(self):
        """Writes the tail of every log of this session to stderr."""
        for name in sorted(os.listdir(self.logdir)):
            text = self._tail(name)
            if text.strip():
                sys.stderr.write("---- %s ----\n%s\n" % (name, text))

    # ---- programs ----------------------------------------------------------------

    def run_program(self, args, name=None, cwd=None, env=None, stdin=subprocess.DEVNULL):
        """Starts a program on this display; stdout/stderr go to files in logdir.

        env adds to (or, with None values, removes from) the session's environment;
        stdin=subprocess.PIPE gives the program a pipe to write to (proc.stdin)."""
        full = dict(self.env)
        for k, v in (env or {}).items():
            if v is None:
                full.pop(k, None)
            else:
                full[k] = v
        name = name or pathlib.Path(args[0]).name
        used = {n for _, n in self._procs}
        base, i = name, 1
        while name in used:
            i += 1
            name = "%s-%d" % (base, i)
        proc = self._popen([str(a) for a in args], name, env=full, cwd=cwd, stdin=stdin)
        return Program(proc, name, os.path.join(self.logdir, name + ".out"),
                       os.path.join(self.logdir, name + ".err"))

    def run(self, args, timeout=None):
        """Runs a short tool on this display and returns its CompletedProcess."""
        return subprocess.run([str(a) for a in args], env=self.env, capture_output=True,
                              timeout=timeout or self.timeout)

    # ---- windows -------------------------------------------------------------------

    def find_window(self, title, timeout=10.0):
        """The id of a shown window whose title is exactly title."""
        pattern = "^" + re.sub(r"([.\[\](){}*+?|^$\\])", r"\\\1", title) + "$"
        deadline = time.monotonic() + timeout
        while True:
            r = self.run(["xdotool", "search", "--onlyvisible", "--name", pattern])
            for line in r.stdout.decode().split():
                win = int(line)
                # xdotool matches names without regard to case: check exactly.
                n = self.run(["xdotool", "getwindowname", str(win)])
                if n.returncode == 0 and n.stdout.decode().rstrip("\n") == title:
                    return win
            if time.monotonic() > deadline:
                raise TimeoutError("no window titled %r within %.0f s" % (title, timeout))
            time.sleep(0.1)

    def window_exists(self, win):
        return self.run([self.xtool, "geometry", str(win)]).returncode == 0

    def wait_window_gone(self, win, timeout=10.0):
        deadline = time.monotonic() + timeout
        while self.window_exists(win):
            if time.monotonic() > deadline:
                raise TimeoutError("window %d still exists after %.0f s" % (win, timeout))
            time.sleep(0.05)

    def focus(self, win):
        """Gives the window the keyboard focus (through the window manager if any)."""
        if self.wm:
            args = ["xdotool", "windowactivate", "--sync", str(win)]
        else:
            args = ["xdotool", "windowfocus", "--sync", str(win)]
        r = self.run(args)
        if r.returncode != 0:
            raise RuntimeError("cannot focus window %d: %s" % (win, r.stderr.decode()))
        self._focused = win

    def _keys(self, win, *actions):
        if self._focused != win:
            self.focus(win)
        r = self.run(["xdotool"] + [str(a) for a in actions])
        if r.returncode != 0:
            raise RuntimeError("xdotool %s failed: %s" % (actions, r.stderr.decode()))

    # Keys are real (XTEST) events to the focused window, by X keycode.
    # xdotool reads a lone digit as a keysym ("9" is the 9 key, keycode 18),
    # so keycodes are written with at least two digits ("09" is Escape).
    def key_down(self, win, keycode):
        self._keys(win, "keydown", "%02d" % keycode)

    def key_up(self, win, keycode):
        self._keys(win, "keyup", "%02d" % keycode)

    def tap(self, win, keycode):
        self._keys(win, "keydown", "%02d" % keycode, "keyup", "%02d" % keycode)

    def keycode(self, keysym):
        """The keycode of a keysym name in this display's keymap."""
        return int(self._xtool("keycode", keysym).decode())

    # ---- the display's mode -------------------------------------------------------------

    @contextlib.contextmanager
    def refresh_rate(self, hz):
        """Inside the block the display names a refresh rate of hz (Xvfb's own
        mode names none): a mode of the screen's size with a dot clock, set
        through RandR on the one output. The X server forgets a mode when the
        client that made it disconnects, so the connection stays open until
        the block ends and the first mode is back."""
        x, rr = ctypes.CDLL("libX11.so.6"), ctypes.CDLL("libXrandr.so.2")
        ulong, uint, ptr = ctypes.c_ulong, ctypes.c_uint, ctypes.c_void_p

        class Mode(ctypes.Structure):
            _fields_ = [(f, t) for f, t in zip(
                ("id width height dotClock hSyncStart hSyncEnd hTotal hSkew vSyncStart "
                 "vSyncEnd vTotal name nameLength flags").split(),
                (ulong, uint, uint, ulong) + (uint,) * 7 + (ctypes.c_char_p, uint, ulong))]

        class Resources(ctypes.Structure):  # XRRScreenResources up to its outputs
            _fields_ = [("time", ulong), ("config", ulong), ("ncrtc", ctypes.c_int),
                        ("crtcs", ctypes.POINTER(ulong)), ("noutput", ctypes.c_int),
                        ("outputs", ctypes.POINTER(ulong))]

        for f, res, args in ((x.XOpenDisplay, ptr, [ctypes.c_char_p]),
                             (x.XDefaultRootWindow, ulong, [ptr]),
                             (x.XSync, None, [ptr, ctypes.c_int]), (x.XCloseDisplay, None, [ptr]),
                             (rr.XRRGetScreenResourcesCurrent, ctypes.POINTER(Resources),
                              [ptr, ulong]),
                             (rr.XRRGetCrtcInfo, ctypes.POINTER(ulong * 6), [ptr, ptr, ulong]),
                             (rr.XRRCreateMode, ulong, [ptr, ulong, ctypes.POINTER(Mode)]),
                             (rr.XRRAddOutputMode, None, [ptr, ulong, ulong]),
                             (rr.XRRSetCrtcConfig, ctypes.c_int,
                              [ptr, ptr, ulong, ulong, ctypes.c_int, ctypes.c_int, ulong,
                               ctypes.c_ushort, ctypes.POINTER(ulong), ctypes.c_int])):
            f.restype, f.argtypes = res, args
        dpy = x.XOpenDisplay(self.display.encode())
        root = x.XDefaultRootWindow(dpy)

        def set_mode(mode):
            res = rr.XRRGetScreenResourcesCurrent(dpy, root)
            r = res.contents
            if rr.XRRSetCrtcConfig(dpy, res, r.crtcs[0], 0, 0, 0, mode, 1, r.outputs, 1) != 0:
                raise RuntimeError("RandR refused mode %d" % mode)
            x.XSync(dpy, 0)

        try:
            res = rr.XRRGetScreenResourcesCurrent(dpy, root)
            # XRRCrtcInfo: timestamp, x and y, width and height, then the mode.
            first = rr.XRRGetCrtcInfo(dpy, res, res.contents.crtcs[0]).contents[3]
            w, h, name = self.width, self.height, b"%dHz" % hz
            made = rr.XRRCreateMode(dpy, root, Mode(0, w, h, w * h * hz, w, w, w, 0, h, h, h,
                                                    name, len(name), 0))
            rr.XRRAddOutputMode(dpy, res.contents.outputs[0], made)
            set_mode(made)
            try:
                yield
            finally:
                set_mode(first)
        finally:
            x.XCloseDisplay(dpy)

    # ---- xtool -------------------------------------------------------------------------

    def _xtool(self, *args, timeout=None):
        t = timeout or self.timeout
        r = self.run([self.xtool, "-t", "%g" % t] + [str(a) for a in args], timeout=t + 5)
        if r.returncode != 0:
            raise XToolError(r.returncode, "xtool %s: exit %d: %s"
                             % (args[0], r.returncode, r.stderr.decode().strip()))
        return r.stdout

    def geometry(self, win):
        """(x, y, w, h) of the window's client area on the root window."""
        return tuple(int(v) for v in self._xtool("geometry", win).split())

    def frame(self, win):
        """The window manager's frame around the window (the window itself when bare)."""
        return int(self._xtool("frame", win).decode())

    @staticmethod
    def _ppm(data):
        # "P6\n<w> <h>\n255\n" then the RGB bytes.
        parts = data.split(b"\n", 3)
        w, h = (int(v) for v in parts[1].split())
        return w, h, parts[3]

    def capture(self, win):
        """(w, h, rgb bytes) of the window's client area."""
        return self._ppm(self._xtool("capture", win, "-"))

    def capture_png(self, win, path):
        self._xtool("capture", win, str(path))

    def capture_root(self, x, y, w, h):
        return self._ppm(self._xtool("capture-root", x, y, w, h, "-"))

    def wait_capture(self, win, check, timeout=10.0):
        """Captures until check(picture) is true; returns that picture.
        On timeout raises TimeoutError carrying the last picture as .picture."""
        deadline = time.monotonic() + timeout
        while True:
            pic = self.capture(win)
            if check(pic):
                return pic
            if time.monotonic() > deadline:
                e = TimeoutError("the window's picture did not come within %.0f s" % timeout)
                e.picture = pic
                raise e
            time.sleep(0.05)

    def drop(self, win, *paths, timeout=None):
        """Drops files (paths, or URIs given as such) onto the window.
        Raises XToolError; .code == XTOOL_REFUSED when the window refused."""
        uris = [p if re.match(r"^[a-z][a-z0-9+.-]*://", str(p))
                else pathlib.Path(p).absolute().as_uri() for p in paths]
        self._xtool("drop", win, *uris, timeout=timeout)

    def close(self, win):
        """What the window manager sends when the user closes the window."""
        self._xtool("close", win)
