"""The inform dialog (window class "VRichEditBox") under Wine, seen from outside: informdemo
shows it, wintest reads and answers it (through msgbox.py), and a stand-in web browser
registered for http and https records what the shell was asked to open."""
import re
import subprocess
import time

import pytest

import msgbox
from conftest import REPO, save_screenshot, win_path

CLASS = "VRichEditBox"
STUBPACK = REPO / "build" / "native" / "tools" / "stubpack" / "stubpack"
WS_VISIBLE, WS_CAPTION, WS_SYSMENU, WS_THICKFRAME = 0x10000000, 0x00C00000, 0x00080000, 0x00040000
WS_EX_DLGMODALFRAME = 0x1
TEXT_STYLE = 0x50201804   # child, visible, vertical scroll bar, wants Return, read-only, multi-line
WS_VSCROLL = 0x00200000   # the control takes it off while the text fits
ES_RIGHT, WS_EX_RTLREADING = 0x2, 0x2000
LINK = "https://127.0.0.1/product/new?from=2.0&lang=en"


class Browser:
    """What the shell opened since the test began, one address a line."""

    def __init__(self, log):
        self.log = log

    def opened(self, count=1, timeout=15):
        """Waits for count addresses; with count 0 gives the shell a moment to start one."""
        deadline = time.time() + (2 if count == 0 else timeout)
        while time.time() < deadline:
            lines = self.log.read_text().splitlines() if self.log.exists() else []
            if count and len(lines) >= count:
                return lines
            time.sleep(0.1)
        return self.log.read_text().splitlines() if self.log.exists() else []


def _reg(wine, *args):
    return subprocess.run([wine.loader, "reg", *args], env=wine.env, capture_output=True, text=True,
                          errors="replace", timeout=60)


@pytest.fixture
def browser(wine, tmp_path):
    """Registers wintest's record-url as the program for http and https; puts the system's
    own back afterwards."""
    log = tmp_path / "opened.txt"
    saved = {}

    def register(command):
        for scheme in ("http", "https"):
            r = _reg(wine, "add", rf"HKCR\{scheme}\shell\open\command", "/ve", "/t", "REG_SZ", "/d", command, "/f")
            assert r.returncode == 0, r.stderr

    for scheme in ("http", "https"):
        r = _reg(wine, "query", rf"HKCR\{scheme}\shell\open\command", "/ve")
        m = re.search(r"REG_SZ\s+(.*)$", r.stdout, re.M)
        saved[scheme] = m.group(1).strip() if m else None
    register(f'"{win_path(wine.tool("wintest"))}" record-url "{win_path(log)}" "%1"')
    b = Browser(log)
    b.register = register
    yield b
    for scheme, command in saved.items():
        if command is None:
            _reg(wine, "delete", rf"HKCR\{scheme}\shell\open\command", "/f")
        else:
            _reg(wine, "add", rf"HKCR\{scheme}\shell\open\command", "/ve", "/t", "REG_SZ", "/d", command, "/f")


class Demo:
    """A running informdemo and what it printed."""

    def __init__(self, wine, *args):
        self.wine = wine
        self.proc = wine.start(wine.tool("informdemo"), *args)
        first = self.proc.stdout.readline().split()
        assert first[:1] == ["pid"], f"informdemo did not start: {first} {self.proc.stderr.read()}"
        self.pid = int(first[1])
        self.token = self.owner = None
        if any(str(a).startswith("inform:") for a in args):
            self.token = self.proc.stdout.readline().rstrip("\r\n").partition(" ")[2]
        if "--owner" in args:
            self.owner = int(self.proc.stdout.readline().split()[1])

    def dialog(self, timeout=20):
        return msgbox.wait(self.wine, timeout=timeout, pid=self.pid, class_name=CLASS)

    def gone(self):
        return msgbox.none_left(self.wine, pid=self.pid, class_name=CLASS)

    def finish(self, timeout=20):
        # Not communicate(): it would miss what the first readline already buffered.
        self.proc.wait(timeout)
        out, err = self.proc.stdout.read(), self.proc.stderr.read()
        assert self.proc.returncode == 0, err
        self.out = out
        m = re.search(r"^result (\d)", out, re.M)
        assert m, out
        assert re.search(r"^class-registered 0", out, re.M), out
        return int(m.group(1))


@pytest.fixture
def demo(wine, viewer):
    # The debug viewer's window keeps Wine's desktop process alive between the dialogs: a
    # desktop process started anew would inherit the output of the program that started
    # it and hold it open.
    started = []

    def start(*args):
        d = Demo(wine, *args)
        started.append(d)
        return d
    yield start
    for d in started:
        if d.proc.poll() is None:
            d.proc.kill()
            d.proc.wait()


def check_layout(box, link):
    """The controls where the dialog puts them for its client size."""
    width, height = box.client
    band = 43 if link else 0
    assert box.text_rect == [3, 0, width - 3, height - band]
    if link:
        assert [b["rect"] for b in box.buttons] == [[(width - 160) // 2, height - 33, 160, 25]]
    else:
        assert box.buttons == []


def test_dialog_with_download_button(demo, browser):
    text = "Version 2.0 is out.\r\nIt starts twice as fast.\r\n" + "".join(f"\r\nChange {n}" for n in range(1, 31))
    d = demo("--owner", "New Version", "Download", text, LINK)
    box = d.dialog()
    assert box.data["class"] == CLASS and box.caption == "New Version"
    # 360 x 360 in the middle of the 1280 x 1024 screen, owned by the caller's window.
    assert box.rect == [460, 332, 360, 360]
    assert box.style & (WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME) == \
        WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME
    assert box.exstyle & WS_EX_DLGMODALFRAME
    assert box.owner == d.owner
    assert box.text == text
    assert box.text_style == TEXT_STYLE and not box.rtl_reading
    check_layout(box, link=True)
    (button,) = box.buttons
    assert (button["text"], button["default"], button["focused"], button["userdata"]) == ("Download", True, True, 1)
    save_screenshot("inform_dialog_download")
    box.press("Download")
    assert browser.opened() == [LINK]
    assert d.finish() == 1
    assert d.gone()


def test_text_only_fills_the_window(demo, browser):
    # Sizes that are not set give the default size.
    d = demo("--size", "0", "0", "New Version", "Download", "Nothing to download, just news.", "")
    box = d.dialog()
    assert box.rect[2:] == [360, 360]
    check_layout(box, link=False)
    save_screenshot("inform_dialog_text_only")
    box.close()
    assert d.finish() == 1
    assert browser.opened(0) == []


def test_size_right_to_left_resizing_and_keys(demo, browser, wine):
    d = demo("--size", "500", "300", "--rtl", "--font", "Arial", "10", "0", "Neue Version", "Herunterladen",
             "Version 2.0", "http://127.0.0.1/de")
    box = d.dialog()
    assert box.rect == [390, 362, 500, 300]
    assert box.text_style | WS_VSCROLL == TEXT_STYLE | ES_RIGHT and box.text_exstyle == WS_EX_RTLREADING
    assert box.button_texts() == ["Herunterladen"]
    check_layout(box, link=True)
    # A user makes it larger: text and button follow.
    r = subprocess.run([wine.loader, str(wine.tool("wintest")), "move-window", CLASS, "100", "80", "640", "480"],
                       env=wine.env, capture_output=True, text=True, timeout=30)
    assert r.returncode == 0, r.stderr
    box = box.refresh()
    assert box.rect == [100, 80, 640, 480]
    check_layout(box, link=True)
    # Return presses the default button.
    box.key("Return")
    assert browser.opened() == ["http://127.0.0.1/de"]
    assert d.finish() == 1


@pytest.mark.parametrize("link", [
    "file:///C:/windows/system32/notepad.exe",
    r"C:\windows\system32\notepad.exe",
    'http://127.0.0.1/x" --some-switch',
])
def test_links_that_are_not_web_pages_are_never_opened(demo, browser, debug, link):
    # With a text: the dialog shows without a button.
    d = demo("New Version", "Download", "News.", link)
    box = d.dialog()
    assert box.buttons == []
    check_layout(box, link=False)
    box.key("Escape")
    assert d.finish() == 1
    # Without a text nothing is shown and nothing opened.
    d = demo("New Version", "Download", "", link)
    assert d.finish() == 0
    assert browser.opened(0) == []
    assert f"not a web page, no button: {link}" in debug.text()


def test_empty_text_opens_the_page_without_a_dialog(demo, browser, wine):
    d = demo("New Version", "Download", "", LINK)
    assert d.finish() == 1
    assert browser.opened() == [LINK]
    assert d.gone()
    assert demo("New Version", "Download", "", "").finish() == 0
    # A page the shell cannot open was not shown: the announcement is not taken as made.
    browser.register(r'"C:\no\such\browser.exe" "%1"')
    assert demo("New Version", "Download", "", LINK).finish() == 0


def test_quit_request_closes_the_dialog_and_is_passed_on(demo):
    d = demo("--quit-after", "1500", "New Version", "Download", "News.", LINK)
    d.dialog()
    assert d.finish() == 1
    assert re.search(r"^quit-reposted 1 7", d.out, re.M), d.out


def test_scrambled_inform_file_made_by_stubpack(demo, browser, tmp_path):
    if not STUBPACK.is_file():
        pytest.skip(f"{STUBPACK} is not built")

    def stubpack(*args):
        r = subprocess.run([str(STUBPACK), *map(str, args)], capture_output=True, text=True, timeout=60)
        assert r.returncode == 0, r.stderr
        return r.stdout.strip()
    token = stubpack("token", "scramble", "the product's secret")
    plain = tmp_path / "inform.txt"
    plain.write_bytes(b"Acme|" + token.encode() + b"|2.0|x|Version 2.0: faster | smaller\r\nSee the page.")
    scrambled = tmp_path / "inform.scrambled"
    stubpack("scramble-text", plain, "-o", scrambled)
    assert scrambled.read_bytes().startswith(b"Scrambled=01")
    d = demo("New Version", "Download", f"inform:{win_path(scrambled)}", "")
    assert d.token == "the product's secret"
    box = d.dialog()
    assert box.text == "Version 2.0: faster | smaller\r\nSee the page."
    box.close()
    assert d.finish() == 1
