"""Web servers on loopback for the download tests.

`Nginx` runs Debian's nginx on a free 127.0.0.1 port, serving one folder, with its own
configuration, pid and log files under a work folder (never the system service). `FaultServer`
is a small threaded server that answers in the broken ways real servers do:

    /file/N            N bytes with a correct length
    /nolength/N        N bytes, no Content-Length, the end marked by closing
    /zero              Content-Length: 0
    /short/LEN/SENT    Content-Length LEN, SENT (< LEN) bytes, then the connection closes
    /long/LEN/SENT     Content-Length LEN, SENT (> LEN) bytes
    /stall/LEN/SENT    Content-Length LEN, SENT (< LEN) bytes, then silence until the server
                       drops the connection (after `STALL_SECONDS`)
    /page/STATUS/NAME  an HTML error page with that status (200 or 404)

Every answer closes its connection, and an idle connection is dropped after a few seconds:
WinINet ignores its time-outs on URL handles, so a server that goes quiet would block a
test for half a minute.

Used as pytest fixtures (`nginx`, `fault_server`), or run alone to serve both for the
Windows unit tests:  /usr/bin/python3 tests/e2e/servers.py --env-file FILE [--root DIR]
writes `export STUB_NGINX_URL=... STUB_NGINX_ROOT=... STUB_FAULT_URL=...` lines to FILE
once both answer, and serves until it gets SIGTERM or SIGINT.
"""
import argparse
import http.server
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
from pathlib import Path

try:
    import pytest
except ImportError:  # run alone by a Python without pytest
    pytest = None

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"


# How long a stalled answer stays silent before the server gives up on it: long enough to be
# a stall, well below WinINet's half a minute of waiting on a silent server.
STALL_SECONDS = 3


def pattern(n, seed=0):
    """n bytes of a fixed pattern that shows shifted, lost or repeated pieces."""
    block = bytes((i * 31 + seed) % 253 for i in range(253))
    return (block * (n // 253 + 1))[:n]


def error_page(status):
    """The page nginx sends with a 404, the kind of page a server returns in place of a file."""
    reason = "Not Found" if status == 404 else "OK"
    return (f"<html>\r\n<head><title>{status} {reason}</title></head>\r\n<body>\r\n"
            f"<center><h1>{status} {reason}</h1></center>\r\n<hr><center>nginx</center>\r\n"
            "</body>\r\n</html>\r\n").encode()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, alive, seconds=10):
    """True once something accepts connections on port; alive() false ends the wait early."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not alive():
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def windows_path(path):
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Nginx:
    """nginx serving root on a loopback port; files put into root are served at once."""

    CONFIG = """\
daemon off;
master_process off;
worker_processes 1;
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log {work}/access.log;
    client_body_temp_path {work}/body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    types {{ text/html html htm; text/plain txt info; application/octet-stream bin exe; }}
    default_type application/octet-stream;
    sendfile on;
    server {{
        listen 127.0.0.1:{port};
        root {root};
    }}
}}
"""

    def __init__(self, root, work):
        self.root = Path(root)
        self.work = Path(work)
        self.proc = None
        self.port = None

    def start(self):
        self.root.mkdir(parents=True, exist_ok=True)
        self.work.mkdir(parents=True, exist_ok=True)
        conf = self.work / "nginx.conf"
        # A port found free can be taken before nginx binds it: try a few.
        for _ in range(5):
            self.port = free_port()
            conf.write_text(self.CONFIG.format(work=self.work, root=self.root.resolve(), port=self.port))
            self.proc = subprocess.Popen(
                [NGINX, "-p", str(self.work), "-c", str(conf), "-e", str(self.work / "error.log")],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            if wait_for_port(self.port, lambda: self.proc.poll() is None):
                return self
            self.stop()
        raise RuntimeError(f"nginx did not start: {(self.work / 'error.log').read_text(errors='replace')}")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc and self.proc.stderr:
            self.proc.stderr.close()
        self.proc = None

    @property
    def base_url(self):
        return f"http://127.0.0.1:{self.port}"

    def url(self, name):
        return f"{self.base_url}/{name}"

    def put(self, name, data):
        path = self.root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return self.url(name)


class _FaultHandler(http.server.BaseHTTPRequestHandler):
    timeout = 5  # an idle or half-sent request is dropped, never waited for

    def log_message(self, *args):
        pass

    def answer(self, status, body, length, stall=0):
        head = f"HTTP/1.1 {status} {'OK' if status == 200 else 'Not Found'}\r\n"
        head += "Content-Type: application/octet-stream\r\n"
        head += "Last-Modified: Tue, 05 Mar 2024 10:20:30 GMT\r\n"
        if length is not None:
            head += f"Content-Length: {length}\r\n"
        head += "Connection: close\r\n\r\n"
        try:
            self.wfile.write(head.encode() + body)
            self.wfile.flush()
            time.sleep(stall)
        except OSError:
            pass  # the client went away; nothing to tell it
        self.close_connection = True

    def do_GET(self):
        self.server.requests.append(self.path)
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        try:
            kind, numbers = parts[0], [int(p) for p in parts[1:3] if p.isdigit()]
            if kind == "file":
                return self.answer(200, pattern(numbers[0]), numbers[0])
            if kind == "nolength":
                return self.answer(200, pattern(numbers[0]), None)
            if kind == "zero":
                return self.answer(200, b"", 0)
            if kind in ("short", "long"):
                return self.answer(200, pattern(numbers[1]), numbers[0])
            if kind == "stall":
                return self.answer(200, pattern(numbers[1]), numbers[0], stall=STALL_SECONDS)
            if kind == "page":
                page = error_page(numbers[0])
                return self.answer(numbers[0], page, len(page))
        except (IndexError, ValueError):
            pass
        page = error_page(404)
        self.answer(404, page, len(page))


class FaultServer:
    """The scripted server; requests holds the paths asked for, in order."""

    def __init__(self):
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _FaultHandler)
        self.httpd.daemon_threads = True
        self.httpd.requests = []
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def start(self):
        self.thread.start()
        return self

    def stop(self):
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(10)

    @property
    def requests(self):
        return self.httpd.requests

    @property
    def port(self):
        return self.httpd.server_address[1]

    @property
    def base_url(self):
        return f"http://127.0.0.1:{self.port}"

    def url(self, path):
        return f"{self.base_url}/{path.lstrip('/')}"


if pytest:
    @pytest.fixture(scope="session")
    def nginx(tmp_path_factory):
        """nginx serving a fresh folder for the whole session."""
        base = tmp_path_factory.mktemp("nginx")
        server = Nginx(base / "root", base / "work").start()
        yield server
        server.stop()

    @pytest.fixture(scope="session")
    def fault_server():
        server = FaultServer().start()
        yield server
        server.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--env-file", required=True, help="where to write the export lines once serving")
    parser.add_argument("--root", help="the folder nginx serves (default: a fresh temporary one)")
    args = parser.parse_args()
    work = Path(tempfile.mkdtemp(prefix="stub-servers."))
    root = Path(args.root) if args.root else work / "root"
    nginx = Nginx(root, work / "nginx").start()
    fault = FaultServer().start()
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    try:
        lines = [f"export STUB_NGINX_URL={nginx.base_url}",
                 f"export STUB_NGINX_ROOT='{windows_path(root)}'",
                 f"export STUB_FAULT_URL={fault.base_url}"]
        # Written whole and then moved, so a reader never sees half of it.
        partial = Path(args.env_file + ".part")
        partial.write_text("\n".join(lines) + "\n")
        os.replace(partial, args.env_file)
        while not stop.wait(0.5):
            if nginx.proc is None or nginx.proc.poll() is not None:
                break
    finally:
        fault.stop()
        nginx.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
