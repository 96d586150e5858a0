"""Headless Chromium driven over the DevTools protocol, standard library only.

The browser is started with --remote-debugging-pipe: commands go to its file
descriptor 3 and replies come from 4, each JSON message ended by a NUL byte.
A Browser owns the process it started and ends only that process.
"""

import base64
import json
import os
import shutil
import subprocess
import tempfile
import time


class BrowserError(RuntimeError):
    pass


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    """One headless browser with one page (tab) attached."""

    def __init__(self, chromium=None, timeout=30.0, window=(1400, 1100)):
        self.timeout = timeout
        self.next_id = 0
        self.events = []
        self.buffer = b""
        self.profile = tempfile.mkdtemp(prefix="korvalo-chromium-")
        binary = chromium or find_chromium()
        if not binary:
            raise BrowserError("no chromium found")
        # The browser reads commands on its fd 3 and writes replies on fd 4.
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()
        keep_read = os.dup(to_browser_read)
        keep_write = os.dup(from_browser_write)

        def child_pipes():
            os.dup2(keep_read, 3)
            os.dup2(keep_write, 4)
            os.set_inheritable(3, True)
            os.set_inheritable(4, True)

        args = [
            binary, "--headless=new", "--no-sandbox", "--remote-debugging-pipe",
            "--disable-gpu", "--no-first-run", "--no-default-browser-check",
            "--disable-extensions", "--disable-background-networking",
            "--disable-background-timer-throttling", "--disable-renderer-backgrounding",
            "--disable-backgrounding-occluded-windows", "--mute-audio",
            "--user-data-dir=" + self.profile,
            "--window-size=%d,%d" % window, "about:blank",
        ]
        self.process = subprocess.Popen(
            args, close_fds=False, preexec_fn=child_pipes,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for fd in (to_browser_read, from_browser_write, keep_read, keep_write):
            os.close(fd)
        os.set_blocking(self.from_browser, False)
        self.session = None
        targets = self.command("Target.getTargets")["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.command("Target.attachToTarget", targetId=page["targetId"],
                                    flatten=True)["sessionId"]
        self.command("Page.enable")
        self.command("Runtime.enable")
        # A headless page never has the focus unless it is emulated.
        self.command("Emulation.setFocusEmulationEnabled", enabled=True)

    # -- protocol ---------------------------------------------------------

    def _read_messages(self, wait):
        import select
        ready, _, _ = select.select([self.from_browser], [], [], wait)
        if not ready:
            return
        try:
            chunk = os.read(self.from_browser, 1 << 20)
        except BlockingIOError:
            return
        if not chunk:
            raise BrowserError("the browser closed its pipe")
        self.buffer += chunk
        while b"\0" in self.buffer:
            message, self.buffer = self.buffer.split(b"\0", 1)
            self.events.append(json.loads(message))

    def command(self, method, session=True, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session and self.session:
            message["sessionId"] = self.session
        data = json.dumps(message).encode() + b"\0"
        while data:
            written = os.write(self.to_browser, data)
            data = data[written:]
        deadline = time.monotonic() + self.timeout
        while time.monotonic() < deadline:
            for i, event in enumerate(self.events):
                if event.get("id") == self.next_id:
                    del self.events[i]
                    if "error" in event:
                        raise BrowserError("%s: %s" % (method, event["error"]))
                    return event.get("result", {})
            self._read_messages(0.05)
        raise BrowserError("no reply to " + method)

    def wait_event(self, method, timeout=None):
        deadline = time.monotonic() + (timeout or self.timeout)
        while time.monotonic() < deadline:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    del self.events[i]
                    return event.get("params", {})
            self._read_messages(0.05)
        raise BrowserError("no event " + method)

    # -- page -------------------------------------------------------------

    def evaluate(self, expression, await_promise=False):
        """The value of a JavaScript expression (JSON-able), in the page."""
        result = self.command("Runtime.evaluate", expression=expression, returnByValue=True,
                              awaitPromise=await_promise, userGesture=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise BrowserError("%s: %s" % (expression[:80], text))
        return result["result"].get("value")

    def wait_for(self, expression, timeout=None, interval=0.05):
        deadline = time.monotonic() + (timeout or self.timeout)
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(interval)
        raise BrowserError("timed out waiting for " + expression)

    def navigate(self, url):
        self.command("Page.navigate", url=url)
        self.wait_event("Page.loadEventFired")

    def key(self, code, down, key=None, key_code=0):
        """A physical key going down or up, as the keyboard sends it."""
        self.command("Input.dispatchKeyEvent", type="rawKeyDown" if down else "keyUp",
                     code=code, key=key or code, windowsVirtualKeyCode=key_code,
                     nativeVirtualKeyCode=key_code)

    def screenshot(self, path):
        data = self.command("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def allow_downloads(self, folder):
        self.command("Browser.setDownloadBehavior", session=False, behavior="allow",
                     downloadPath=folder)

    def close(self):
        if self.process.poll() is None:
            try:
                self.command("Browser.close", session=False)
                self.process.wait(timeout=10)
            except (BrowserError, OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait(timeout=10)
        for fd in (self.to_browser, self.from_browser):
            try:
                os.close(fd)
            except OSError:
                pass
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
