"""The resident agent's update cycle under Wine: the probe of the .INFO file on nginx or in a
local folder, the update check's codes, the schedule (requests counted in nginx's access log,
never by time), the test cycle's boxes, test mode from the registry, the question before a
probe, the notifications and the agent commands on the description files. Every copy a test
starts is stopped by the residents fixture."""
import configparser
import datetime
import os
import subprocess

import pytest

import msgbox
from conftest import REPO, run_log, wait_until, win_path
from servers import nginx  # noqa: F401 (fixture)

AGENT_CLASS = ".AutoUpdate.X_Agent"
WM_AGENTMSG = 1125
TOKEN = "VENDOR-TOKEN-7"
TEST_MODE_KEY = r"HKCU\Software\Morvaine\Talvex\AutoUpdate"


def agent_seconds_now():
    return (datetime.datetime.now() - datetime.datetime(1899, 12, 30)).total_seconds()


def date_time_text(seconds):
    moment = datetime.datetime(1899, 12, 30) + datetime.timedelta(seconds=seconds)
    return moment.strftime("%d-%b-%Y %H:%M:%S").upper()


def ini_text(sections):
    """INI text from {section: {key: value}}, with the line ends the system writes."""
    lines = []
    for section, keys in sections.items():
        lines.append(f"[{section}]")
        lines += [f"{k}={v}" for k, v in keys.items()]
    return ("\r\n".join(lines) + "\r\n").encode("latin-1")


def read_ini(path):
    parser = configparser.ConfigParser(interpolation=None, strict=False)
    parser.optionxform = str
    parser.read_string(path.read_bytes().decode("latin-1"))
    return parser


class Product:
    """A product folder with Agent.exe (run log on) and Product.original; the .INFO file is
    published on nginx under a folder of the test's own, or in a local folder."""

    def __init__(self, wine, nginx, folder, tag, local=None):
        self.wine, self.nginx, self.folder, self.tag, self.local = wine, nginx, folder, tag, local
        self.agent = folder / "Agent.exe"
        self.original = folder / "Product.original"
        self.info = folder / "Product.info"
        self.log = folder / "X_Agent.log"

    @property
    def location(self):
        return win_path(self.local) if self.local else self.nginx.url(self.tag)

    def publish(self, name, data):
        if self.local:
            (self.local / name).write_bytes(data)
        else:
            self.nginx.put(f"{self.tag}/{name}", data)

    def write_original(self, **keys):
        sections = {"OriginalSetup": {"VersionOriginal": 3, "Stamp": 10, **keys.pop("setup", {})}}
        sections.update(keys)
        self.original.write_bytes(ini_text(sections))

    def publish_info(self, update_size=5000, **new_setup):
        keys = {"DownloadURL_UPDATE": self.location, "NameOfUpdateFile": "Setup.exe",
                "SizeOfUpdateFile": update_size, "VersionNew": 4, "Stamp": 11, **new_setup}
        data = ini_text({"NewSetup": keys})
        self.publish("Product.info", data)
        return data

    def requests(self, name="Product.info"):
        """How many GETs for the file nginx has logged."""
        log = self.nginx.work / "access.log"
        if not log.exists():
            return 0
        return log.read_text(errors="replace").count(f"GET /{self.tag}/{name} ")

    def messages(self):
        return [m for _, p, m in run_log(self.log) if p == " X "] if self.log.exists() else []

    def checks(self):
        return [m for m in self.messages() if m.startswith("GetOkToPerformAU = ")]

    def wait_checks(self, n, timeout=30):
        assert wait_until(lambda: len(self.checks()) >= n, timeout=timeout), self.messages()
        return self.checks()

    def start(self, *args, env=None):
        """The plain agent with /DELAY=0: the resident copy's first tick already checks."""
        cmd = [self.wine.loader, str(self.agent), "/DELAY=0", *args]
        r = subprocess.run(cmd, cwd=self.folder, env=env or self.wine.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        assert r.returncode == 0
        info = wait_until(lambda: self.wine.window_info(AGENT_CLASS))
        assert info, "no resident copy"
        return info

    def command(self, command, argument=0):
        """Sends wm_AgentMsg to the resident copy and returns its answer."""
        r = subprocess.run([self.wine.loader, str(self.wine.tool("wintest")), "send-message", AGENT_CLASS,
                            str(WM_AGENTMSG), str(command), str(argument)], env=self.wine.env,
                           capture_output=True, text=True, timeout=60)
        assert r.returncode == 0, r.stderr
        return int(r.stdout.split()[1])

    def ticks(self, debug, pid):
        return sum(line.startswith(f"{pid} AutoUpdateTimerCount=") for line in debug.lines())

    def stop(self):
        self.wine.post(AGENT_CLASS, 1123)
        assert wait_until(lambda: self.wine.window_info(AGENT_CLASS) is None, timeout=30)


@pytest.fixture
def product(wine, mkpkg, nginx, workdir, residents, request):
    def make(local=False, update_url=None):
        folder = workdir / "Vendor Product"
        folder.mkdir()
        tag = "upd-" + request.node.name.translate(str.maketrans("[]/ ,", "_____"))
        local_folder = None
        if local:
            local_folder = workdir / "Update Share"
            local_folder.mkdir()
        p = Product(wine, nginx, folder, tag, local_folder)
        residents.watch(AGENT_CLASS)
        mkpkg(p.agent, "--agent-copy", "--agent-file", "Agent.exe", "--log", "--token", TOKEN,
              "--update-url", update_url or p.location, "--info-file", "Product.info")
        p.publish("Setup.exe", os.urandom(5000))
        return p
    return make


@pytest.mark.parametrize("local", [False, True], ids=["nginx", "local"])
def test_first_tick_fetches_the_description_and_records_the_probe(product, local):
    p = product(local=local)
    p.write_original(setup={"ProbeSecondsInterval": 0})
    published = p.publish_info()
    before = agent_seconds_now()
    p.start()
    assert p.wait_checks(1) == ["GetOkToPerformAU = 6 - OK"]
    after = agent_seconds_now()
    assert p.info.read_bytes() == published
    # The agent rewrites the whole file for every key it writes: read it once the probe is in.
    def recorded():
        try:
            ini = read_ini(p.original)
        except configparser.Error:
            return None
        recorded = ini.has_section("OriginalSetup") and "__ProbeSecondsLast" in ini["OriginalSetup"]
        return ini["OriginalSetup"] if recorded else None
    setup = wait_until(recorded, timeout=10)
    assert setup, "the probe was never recorded in the .original file"
    last = int(setup["ProbeSecondsLast"])
    assert before - 2 <= last <= after + 2
    assert setup["__ProbeSecondsLast"] == date_time_text(last)
    # The accepted check records itself; the installation is not this build's.
    assert setup["Stamp"] == "11" and int(setup["ReAskSecondsLast"]) >= last
    messages = p.messages()
    source = p.location + ("\\" if local else "/") + "Product.info"
    assert f"Download END:   {source}" in messages
    assert "PerformAutoUpdate() - not built yet" in messages
    if not local:
        assert p.requests() == 1
    # No temporary name of the fetch is left beside the agent.
    assert not [f.name for f in p.folder.iterdir() if f.name.lower().startswith("product.info.")]


# (what, .original keys, .INFO keys or None for "not published", served Setup.exe size, code line)
CODES = [
    ("not published", {}, None, 5000, "GetOkToPerformAU = 0 - Error downloading .INFO file"),
    ("empty description", {}, b"", 5000, "GetOkToPerformAU = 0 - Error downloading .INFO file"),
    ("no version installed", {"VersionOriginal": 0}, {}, 5000, "GetOkToPerformAU = 1 - Error reading .ORIGINAL file"),
    ("same stamp", {"Stamp": 11}, {}, 5000, "GetOkToPerformAU = 2 - Too early for retesting"),
    ("same version", {}, {"VersionNew": 3}, 5000, "GetOkToPerformAU = 3 - New version is not higher then old version"),
    ("not listed", {"VersionOriginal": 34}, {"VersionNew": 40, "ValidVersions": "3,4"}, 5000,
     'GetOkToPerformAU = 4 - "Valid for version" mismatch'),
    ("size", {}, {}, 6000, "GetOkToPerformAU = 5 - Download file size error"),
]


def test_each_code_of_the_update_check(product, debug):
    """One resident copy that never probes by itself; each case is one forced probe."""
    p = product()
    p.write_original(setup={"ProbeSecondsInterval": -1})
    good = p.publish_info()
    p.start()
    p.command(32)  # command 32: the description only, no check
    assert wait_until(lambda: p.info.exists() and p.info.read_bytes() == good)
    assert p.checks() == []
    for n, (what, original, info, served, line) in enumerate(CODES, 1):
        p.write_original(setup={"ProbeSecondsInterval": -1, **original})
        (p.nginx.root / p.tag / "Product.info").unlink(missing_ok=True)
        if isinstance(info, dict):
            p.publish_info(**info)
        elif info is not None:
            p.publish("Product.info", info)
        p.publish("Setup.exe", os.urandom(served))
        p.command(31)
        assert p.wait_checks(n)[-1] == line, what
        if info is None or info == b"":
            assert p.info.read_bytes() == good, f"{what}: the last good description was not kept"
        else:
            good = p.info.read_bytes()
    messages = p.messages()
    at = len(messages) - 1 - messages[::-1].index(CODES[-1][-1])
    assert messages[at - 3:at] == ["  InfoSize=5000", "  HttpSize=6000", f"  URL={p.location}/Setup.exe"]


@pytest.mark.parametrize("interval", [-1, 0, -5])
def test_schedule_counted_in_the_server_log(product, debug, wine, interval):
    p = product()
    p.write_original(setup={"ProbeSecondsInterval": interval})
    p.publish_info()
    pid = p.start()["pid"]
    assert wait_until(lambda: p.ticks(debug, pid) >= 5), debug.lines()
    fetched = p.requests()
    probes = sum(m.startswith("Download START: ") for m in p.messages())
    if interval == -1:
        assert fetched == 0 and probes == 0
        listener = wine.hold_window("StubTestListener", 120)
        try:
            p.start("/TEST=0", f"/WM_MSG={listener.hwnd}:49000")
            assert wait_until(lambda: p.requests() == 1)
            p.wait_checks(1)
        finally:
            p.stop()
            listener.kill()
        received = [line.strip() for line in listener.stdout.read().splitlines()]
        assert received[2:4] == ["msg 49000 40 1", "msg 49000 40 2"], received
    elif interval == 0:
        assert fetched == 1 and probes == 1
    else:
        # A probe at every tick that is not dropped while a probe runs: as many requests as
        # probes, and as many probes as counted ticks.
        p.stop()
        probes = sum(m.startswith("Download START: ") for m in p.messages())
        assert wait_until(lambda: p.requests() == probes)
        assert probes >= 4 and probes == p.ticks(debug, pid)


def set_test_mode(wine, date, url):
    for name, value in (("TestMode", "1"), ("TestModeDate", date), ("TestModeURL", url)):
        r = subprocess.run([wine.loader, "reg", "add", TEST_MODE_KEY, "/v", name, "/t", "REG_SZ", "/d", value, "/f",
                            "/reg:32"], env=wine.env, capture_output=True, text=True, timeout=60)
        assert r.returncode == 0, r.stderr


@pytest.fixture
def test_mode_registry(wine):
    yield lambda date, url: set_test_mode(wine, date, url)
    subprocess.run([wine.loader, "reg", "delete", TEST_MODE_KEY, "/f", "/reg:32"], env=wine.env,
                   capture_output=True, timeout=60)


def test_test_cycle_with_nothing_to_do_says_so(product, wine):
    p = product()
    p.write_original(setup={"ProbeSecondsInterval": -1, "ProgramName": "Editor"},
                     MsgBox={"Attention": "Editor Update", "Confirm": "Editor Question"},
                     AutoUpdate={"s21": "<B>Editor</B> is up to date.", "s22": "Look for PROG_NAME updates now?"})
    p.publish_info(VersionNew=3)
    for developer in (False, True):
        env = dict(wine.env, DVX="731") if developer else wine.env
        p.start("/TEST=2", env=env)
        question = msgbox.wait(wine, timeout=30)
        assert question.caption == "Editor Question"
        assert question.text == "Look for Editor updates now?"
        question.press("&Yes")
        box = msgbox.wait(wine, timeout=30)
        assert box.caption == "Editor Update"
        assert box.bold_texts()[0] == "Editor"
        text = box.text.replace("\r\n", "\n").rstrip()
        if developer:
            assert text == "Editor is up to date.\n\n(3 - New version is not higher then old version)"
        else:
            assert text == "Editor is up to date."
        box.press("&OK")
        # "/TEST=2" started this copy, so it quits two ticks after the boxes.
        assert wait_until(lambda: wine.window_info(AGENT_CLASS) is None, timeout=30)
    assert p.checks() == ["GetOkToPerformAU = 3 - New version is not higher then old version"] * 2


@pytest.mark.parametrize("today", [True, False], ids=["today", "yesterday"])
def test_test_mode_from_the_registry(product, wine, workdir, test_mode_registry, today):
    p = product()
    p.write_original(setup={"ProbeSecondsInterval": -1}, AutoUpdate={"s22": "Probe?"})
    p.publish_info()
    test_folder = workdir / "Test Share"
    test_folder.mkdir()
    test_info = ini_text({"NewSetup": {"DownloadURL_UPDATE": "unused", "NameOfUpdateFile": "Setup.exe",
                                       "SizeOfUpdateFile": 10, "VersionNew": 9, "Stamp": 99}})
    (test_folder / "Product.info").write_bytes(test_info)
    (test_folder / "Setup.exe").write_bytes(b"0123456789")
    day = datetime.date.today() - datetime.timedelta(days=0 if today else 1)
    test_mode_registry(day.strftime("%d-%b-%Y").upper(), win_path(test_folder))
    p.start("/TEST=2")
    question = msgbox.wait(wine, timeout=30)
    note = "PLEASE NOTE - You are now running in Test Mode!"
    assert (note in question.text) == today, question.text
    question.press("&Yes")
    assert p.wait_checks(1) == ["GetOkToPerformAU = 6 - OK"]
    if today:
        assert p.info.read_bytes() == test_info
        assert p.requests() == 0 and p.requests("Setup.exe") == 0
        assert f"Download START: {win_path(test_folder)}\\Product.info" in p.messages()
        assert "TestMode=TRUE" in p.messages()
    else:
        assert p.requests() == 1
        assert "TestMode=FALSE" in p.messages()
    assert wait_until(lambda: wine.window_info(AGENT_CLASS) is None, timeout=30)


def test_ask_before_probe_override_and_no(product, wine):
    p = product()
    p.write_original(setup={"ProbeSecondsInterval": 0, "ProgramName": "Editor"},
                     AutoUpdate={"s22": "May PROG_NAME look<P>", "s23": "on the internet<P>", "s24": "for updates?"})
    p.publish_info()
    p.start("/TRANSIENT=|1|")
    box = msgbox.wait(wine, timeout=30)
    assert box.caption == "Confirm"
    assert box.text.replace("\r\n", "\n") == "May Editor look\non the internet\nfor updates?"
    box.press("&No")
    assert msgbox.none_left(wine)
    # Declined: no probe, no record of one, and the one probe of this run is used up.
    p.command(7)  # answered once the box is gone
    assert p.requests() == 0
    assert "ProbeSecondsLast" not in read_ini(p.original)["OriginalSetup"]
    # Command 20 sets the same override in a running copy; 31 forces a probe it asks about.
    p.command(20, 1)
    p.command(31)
    box = msgbox.wait(wine, timeout=30)
    box.press("&Yes")
    p.wait_checks(1)
    assert p.requests() == 1


def test_commands_read_and_write_the_description_files(product):
    p = product()
    p.write_original(setup={"ProbeSecondsInterval": -1, "ReAskSecondsInterval": 600, "ProbeSecondsLast": 3976214400,
                            "ReAskSecondsLast": 12})
    p.publish_info(VersionNew=8)
    p.start()
    p.command(32)
    assert wait_until(lambda: p.info.exists())
    assert [p.command(c) for c in (4, 5, 8, 9, 10, 11)] == [3, 8, -1, 600, 3976214400 - 2 ** 32, 12]
    # An interval that keeps the next probe in the future: a probe would rewrite the values.
    for command, argument in ((14, 2000000000), (15, -86400), (13, -1), (12, 2147483647)):
        assert p.command(command, argument) == 0
    setup = read_ini(p.original)["OriginalSetup"]
    assert (setup["ProbeSecondsInterval"], setup["ReAskSecondsInterval"]) == ("2147483647", "-1")
    assert (setup["ProbeSecondsLast"], setup["__ProbeSecondsLast"]) == ("2000000000", "17-MAY-1963 03:33:20")
    assert (setup["ReAskSecondsLast"], setup["__ReAskSecondsLast"]) == ("-86400", "29-DEC-1899 00:00:00")
    assert p.checks() == []


def docs_example(name):
    """The ini block that follows the "<!-- example: NAME -->" line of docs/vendors.md."""
    text = (REPO / "docs" / "vendors.md").read_text()
    block = text.split(f"<!-- example: {name} -->\n```ini\n", 1)[1].split("```", 1)[0]
    return block.replace("\n", "\r\n")


def test_the_vendor_guides_example_pair_works_with_nginx(product, wine):
    p = product()
    original, info = docs_example("Product.original"), docs_example("Product.info")
    assert "http://updates.example.com/product" in info
    p.original.write_bytes(original.encode("latin-1"))
    p.publish("Product.info", info.replace("http://updates.example.com/product", p.location).encode("latin-1"))
    p.start("/TEST=2")
    question = msgbox.wait(wine, timeout=30)
    assert (question.caption, question.text) == ("Product Update", "Look for a new version of Product now?")
    question.press("&Yes")
    checks = p.wait_checks(1)
    assert set(checks) == {"GetOkToPerformAU = 6 - OK"}, checks
    assert read_ini(p.original)["OriginalSetup"]["Stamp"] == "2"
    assert wait_until(lambda: wine.window_info(AGENT_CLASS) is None, timeout=30)
