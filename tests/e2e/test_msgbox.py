"""The stub's message box under Wine: what it shows, how it is laid out, which buttons it
offers and what each way of answering returns. msgboxdemo shows the box; wintest (through
msgbox.py) reads it and answers it."""
import re

import pytest

import msgbox
from conftest import save_screenshot


class Demo:
    """A running msgboxdemo: its Windows process id, the owner window it made, its result."""

    def __init__(self, wine, *args, env=None):
        self.wine = wine
        if env:
            wine = type(wine)(dict(wine.env, **env))
        self.proc = wine.start(wine.tool("msgboxdemo"), *args)
        first = self.proc.stdout.readline().split()
        assert first[:1] == ["pid"], f"msgboxdemo did not start: {first} {self.proc.stderr.read()}"
        self.pid = int(first[1])
        self.owner = None
        if "--owner" in args:
            self.owner = int(self.proc.stdout.readline().split()[1])

    def box(self):
        return msgbox.wait(self.wine, pid=self.pid)

    def finish(self, timeout=15):
        out, err = self.proc.communicate(timeout=timeout)
        assert self.proc.returncode == 0, err
        m = re.search(r"^result (-?\d+)$", out, re.M)
        assert m, out
        self.after = out
        return int(m.group(1))

    def running_after(self, seconds):
        try:
            self.proc.wait(timeout=seconds)
        except Exception:
            return True
        return False


@pytest.fixture
def demo(wine):
    started = []

    def start(*args, env=None):
        d = Demo(wine, *args, env=env)
        started.append(d)
        return d
    yield start
    for d in started:
        if d.proc.poll() is None:
            d.proc.kill()
            d.proc.wait()


# ---------------------------------------------------------------------------------------
# Texts, headings and bold runs

@pytest.mark.parametrize("caption, title, heading", [
    ("", "Confirm", "CONFIRM"),
    ("Please", "Please", "Please"),
])
def test_confirm_with_heading(demo, caption, title, heading):
    d = demo("confirm", "0", "Go <b>on</b>?", caption)
    box = d.box()
    assert box.caption == title
    assert box.text == f"{heading}\r\n\r\nGo on?\r\n"
    assert box.bold_texts() == [heading, "on"]
    assert box.button_texts() == ["&Yes", "&No"]
    assert [b["id"] for b in box.buttons] == [6, 7]
    assert box.default_button() == box.focused_button() == "&Yes"
    if not caption:
        save_screenshot("msgbox_bold_heading")
    box.press("&Yes")
    assert d.finish() == 1


def test_pairing_rule_of_bold_runs(demo):
    d = demo("show", "1", "<b>a</b> b <B>c", "Markup", "0", "0", "0")
    box = d.box()
    assert box.text == "a b c"
    assert box.bold == [[0, 1]]
    box.press("&OK")
    assert d.finish() == 1


def test_plain_error_with_paragraphs_and_tabs(demo):
    d = demo("error", "1", r"The file could not be saved.<P>Name:<t>C:\x.dat\\nCode:\\t5")
    box = d.box()
    assert box.caption == "Error"
    assert box.text == "The file could not be saved.\r\nName:\tC:\\x.dat\r\nCode:\t5"
    assert box.bold == []
    assert box.button_texts() == ["&OK"]
    save_screenshot("msgbox_plain_error")
    box.key("Return")
    assert d.finish() == 0


def test_callers_button_texts(demo):
    # Fields 2 and 3 (Yes, No); a field missing from the caller's list leaves a blank button.
    d = demo("show", "1", "Weiter?", "Frage", "0", "3", "0", "|&OK|&Abbrechen|&Ja|&Nein|")
    box = d.box()
    assert box.button_texts() == ["&Ja", "&Nein", "&Abbrechen"]
    box.key("a")
    assert d.finish() == 2
    short = demo("show", "1", "x", "y", "0", "2", "0", "|&OK|")
    box = short.box()
    assert box.button_texts() == ["", "", ""]
    box.press("3")
    assert short.finish() == 3


# ---------------------------------------------------------------------------------------
# Layout

def test_layout_of_a_short_box(demo):
    d = demo("show", "1", "Short.", "Layout", "0", "3", "0")
    box = d.box()
    assert box.rect[2] == 360
    width, height = box.client
    tx, ty, tw, th = box.text_rect
    assert ty == 45  # one line: the text is centred in the taller gap
    assert tx == (width - tw - 54) // 2 + 54
    assert th == height - ty - 39
    # Side by side, right-aligned, the last one's left edge at W - 80.
    assert [b["rect"] for b in box.buttons] == [
        [width - 80 - 140, height - 29, 70, 23],
        [width - 80 - 70, height - 29, 70, 23],
        [width - 80, height - 29, 70, 23]]
    box.press("&Cancel")
    assert d.finish() == 2


def test_long_line_wraps_at_600_pixels(demo):
    words = " ".join(["wrapping"] * 30)  # about 1600 pixels in the box's font
    d = demo("show", "1", words, "Layout", "0", "0", "0")
    box = d.box()
    tx, ty, tw, th = box.text_rect
    assert tw == 610
    assert box.text_lines == 3
    assert ty == 32
    frames = box.rect[2] - box.client[0]
    assert box.rect[2] == 610 + frames + 2 * 32 + 54
    box.press("&OK")
    assert d.finish() == 1


def test_bold_text_is_given_room(demo):
    # Bold is wider than the measured normal weight: the control is widened until the line
    # fits again, so the box stays one line high.
    d = demo("show", "1", "<b>" + "W" * 30 + "</b>", "Bold", "0", "0", "0")
    box = d.box()
    assert box.bold == [[0, 30]]
    assert box.text_lines == 1
    box.press("&OK")
    assert d.finish() == 1


# ---------------------------------------------------------------------------------------
# Button sets, defaults, keys, time-out, Close

@pytest.mark.parametrize("flags, texts, default", [
    (0x000, ["&OK"], 0),
    (0x001, ["&OK", "&Cancel"], 0),
    (0x102, ["&Abort", "&Retry", "&Ignore"], 1),
    (0x203, ["&Yes", "&No", "&Cancel"], 2),
    (0x204, ["&Yes", "&No"], 0),   # the default is taken modulo the number of buttons
    (0x105, ["&Retry", "&Cancel"], 1),
])
def test_button_sets_and_default(demo, flags, texts, default):
    d = demo("show", "1", "Choose.", "Buttons", "0", str(flags), "0")
    box = d.box()
    assert box.button_texts() == texts
    assert [b["default"] for b in box.buttons] == [i == default for i in range(len(texts))]
    assert box.focused_button() == texts[default]
    assert all(b["enabled"] for b in box.buttons)
    box.key("Return")
    assert d.finish() == box.buttons[default]["id"]


@pytest.mark.parametrize("keys, result", [
    (["n"], 7),                 # the letter after "&"
    (["char:c"], 2),            # typed characters too
    (["Right", "Return"], 7),
    (["Left", "Return"], 2),    # cyclic
    (["Tab", "Tab", "Return"], 2),
    (["Down", "Up", "Up", "Return"], 2),
    (["Escape", "x", "Return"], 6),   # Escape and unknown letters do nothing
])
def test_keyboard(demo, keys, result):
    d = demo("show", "1", "Keys?", "Keys", "0", "3", "0")
    box = d.box()
    for key in keys:
        box.key(key)
    assert d.finish() == result


def test_focus_and_default_border_move_together(demo):
    d = demo("show", "1", "Keys?", "Keys", "0", "3", "0")
    box = d.box()
    box.key("Right")
    box = box.refresh()
    assert box.focused_button() == box.default_button() == "&No"
    box.press("&Yes")
    assert d.finish() == 6


def test_timeout_chooses_the_first_button(demo):
    d = demo("show", "1", "Waiting.", "Time-out", "600", "0x103", "0")
    d.box()
    assert d.finish(timeout=20) == 6


def test_close_command_returns_zero(demo):
    d = demo("show", "1", "Close me.", "Close", "0", "4", "0")
    box = d.box()
    assert box.close_greyed in (False, None)
    box.close()
    assert d.finish() == 0


def test_mode_2_has_no_close_command(demo):
    d = demo("show", "2", "Only a button ends this.", "No close", "0", "0", "0")
    box = d.box()
    assert box.close_greyed in (True, None)   # None: the helper cannot see the menu
    box.close()
    assert d.running_after(0.5)
    assert not box.gone(timeout=0.2)
    box.press("&OK")
    assert d.finish() == 1


# ---------------------------------------------------------------------------------------
# Owner, AutoPlay, right-to-left

@pytest.mark.parametrize("mode", ["1", "owner"])
def test_owner_is_disabled_and_reactivated(demo, mode):
    d = demo("--owner", "show", mode, "Owned.", "Owner", "0", "0", "0")
    box = d.box()
    assert box.owner == d.owner
    assert box.owner_enabled is False
    assert box.topmost
    box.press("&OK")
    assert d.finish() == 1
    assert "owner enabled=1 active=1" in d.after


def test_autoplay_is_refused_while_shown(demo):
    d = demo("show", "1", "Insert the next disk.", "Disk", "0", "1", "0")
    box = d.box()
    assert box.autoplay_answer == 1
    box.press("&Cancel")
    assert d.finish() == 2


@pytest.mark.parametrize("charset", [177, 178])
def test_right_to_left_charsets(demo, charset):
    d = demo("confirm", "0", "Right to left text<P>on two lines.", "", "0", str(charset))
    box = d.box()
    assert box.rtl_reading and box.right_style
    assert box.alignment == "right"
    if charset == 177:
        save_screenshot("msgbox_right_to_left")
    box.press("&No")
    assert d.finish() == 0


def test_left_to_right_by_default(demo):
    d = demo("show", "3", "x", "y", "0", "0", "0")
    box = d.box()
    assert not box.rtl_reading and not box.right_style and box.alignment == "left"
    box.press("&OK")
    assert d.finish() == 1


def test_yes_no_cancel_screenshot(demo):
    d = demo("show", "0", "Do you want to keep the files that were already copied?<P>"
             "<b>Yes</b> keeps them, <b>No</b> removes them.", "Confirm", "0", "0x23", "0")
    box = d.box()
    assert box.bold_texts() == ["CONFIRM", "Yes", "No"]
    save_screenshot("msgbox_yes_no_cancel")
    box.press("&Cancel")
    assert d.finish() == 2


def test_developer_mode_moves_the_entry_question(demo):
    text = "Do you want to store the new Entry in the list?"
    plain = demo("show", "1", text, "Dev", "0", "4", "0")
    where = plain.box().rect
    plain.box().press("&No")
    plain.finish()
    dev = demo("show", "1", text, "Dev", "0", "4", "0", env={"DVX": "731"})
    moved = dev.box().rect
    dev.box().press("&No")
    dev.finish()
    assert moved[:2] == [where[0] + 150, where[1] + 150]
