"""The program's message boxes (window class "VMsgBox") seen and answered from outside,
through the wintest helper. For any end-to-end test that meets a box:

    box = msgbox.wait(wine)            # the first box that shows (or wait(wine, pid=...))
    assert box.caption == "Confirm" and "CONFIRM" in box.bold_texts()
    box.press("&Yes")                  # or box.key("Return"), box.key("n"), box.close()

Other windows of the same make (a read-only rich-text control and push buttons), such as the
inform dialog, are read the same way with class_name="VRichEditBox".
"""
import json
import subprocess


class NoBox(AssertionError):
    pass


def _wintest(wine, *args, timeout=30):
    return subprocess.run([wine.loader, str(wine.tool("wintest")), *map(str, args)], env=wine.env,
                          capture_output=True, text=True, errors="replace", timeout=timeout)


def _options(timeout, pid, class_name=None):
    opts = ["--timeout", timeout]
    if pid:
        opts += ["--pid", pid]
    if class_name:
        opts += ["--class", class_name]
    return opts


class Box:
    """One box as it was when described; actions go to the box of the same process."""

    def __init__(self, wine, data):
        self.wine = wine
        self.data = data

    def __getattr__(self, name):
        try:
            return self.data[name]
        except KeyError:
            raise AttributeError(name) from None

    def __repr__(self):
        return f"Box({self.data!r})"

    def _options(self, timeout):
        return _options(timeout, self.pid, self.data.get("class"))

    # What it shows.
    def bold_texts(self):
        return [self.text[start:end] for start, end in self.bold]

    def button_texts(self):
        return [b["text"] for b in self.buttons]

    def button(self, which):
        for b in self.buttons:
            if which in (b["text"], b["text"].replace("&", ""), b["id"]):
                return b
        raise KeyError(which)

    def default_button(self):
        return next(b["text"] for b in self.buttons if b["default"])

    def focused_button(self):
        return next((b["text"] for b in self.buttons if b["focused"]), None)

    # Answers.
    def press(self, which, timeout=10):
        """Clicks the button with that text ("&" optional) or result number."""
        r = _wintest(self.wine, "msgbox-press", which, *self._options(timeout))
        assert r.returncode == 0, f"no button {which!r}: {r.stderr}"

    def key(self, key, timeout=10):
        """Return, Escape, Tab, Left, Right, Up, Down, Space, one character, or char:X."""
        r = _wintest(self.wine, "msgbox-key", key, *self._options(timeout))
        assert r.returncode == 0, f"key {key!r}: {r.stderr}"

    def close(self, timeout=10):
        """The Close command of the system menu (title-bar button, Alt+F4)."""
        r = _wintest(self.wine, "msgbox-close", *self._options(timeout))
        assert r.returncode == 0, r.stderr

    def refresh(self, timeout=10):
        return wait(self.wine, timeout=timeout, pid=self.pid, class_name=self.data.get("class"))

    def gone(self, timeout=5):
        """True once no box of this process is left."""
        return _wintest(self.wine, "msgbox-gone", *self._options(timeout)).returncode == 0


def wait(wine, timeout=10, pid=None, class_name=None):
    """The box shown next (or already showing), ready for keys and clicks."""
    r = _wintest(wine, "msgbox-wait", *_options(timeout, pid, class_name), timeout=timeout + 30)
    if r.returncode != 0:
        raise NoBox(f"no message box within {timeout} s: {r.stderr.strip()}")
    return Box(wine, json.loads(r.stdout))


def none_left(wine, timeout=5, pid=None, class_name=None):
    """True once no box (of that process) is shown."""
    return _wintest(wine, "msgbox-gone", *_options(timeout, pid, class_name)).returncode == 0
