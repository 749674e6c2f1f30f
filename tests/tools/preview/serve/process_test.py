#!/usr/bin/env python3
"""velvet-preview --serve as a user starts it: the program itself, on the
loopback address, asked over HTTP for the page, the controls and a frame.

Runs wherever the tool runs; for the Windows build the program is started
through the cross build's emulator (Wine), so that the page is proven to
answer from velvet-preview.exe as it does from the Linux program.

usage: preview_serve_process_test.py [EMULATOR ...] VELVET_PREVIEW
"""
import json
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

# Wine's first start of a program in a fresh prefix takes seconds.
START_TIMEOUT = 180


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def request(base, path, body=None):
    """(status, body bytes) of one request; HTTP errors are answers too."""
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(base + path, data=data, method="GET" if body is None else "POST")
    if data is not None:
        req.add_header("Content-Type", "application/json")
    try:
        with urllib.request.urlopen(req, timeout=60) as answer:
            return answer.status, answer.read()
    except urllib.error.HTTPError as e:
        return e.code, e.read()


def main():
    command = sys.argv[1:]
    if not command:
        fail("usage: preview_serve_process_test.py [EMULATOR ...] VELVET_PREVIEW")
    out_dir = tempfile.mkdtemp(prefix="velvet serve ")  # a space, as in "My Documents"
    tool = subprocess.Popen(command + ["--serve", "--port", "0", "--out", out_dir],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)
    lines = []
    port = []

    def read_output():
        for line in tool.stdout:
            lines.append(line.rstrip())
            m = re.search(r"serving on http://127\.0\.0\.1:(\d+)/", line)
            if m:
                port.append(int(m.group(1)))

    reader = threading.Thread(target=read_output, daemon=True)
    reader.start()
    try:
        end = time.time() + START_TIMEOUT
        while not port and tool.poll() is None and time.time() < end:
            time.sleep(0.1)
        if not port:
            fail("the tool did not say where it serves:\n" + "\n".join(lines))
        base = "http://127.0.0.1:%d" % port[0]

        status, page = request(base, "/")
        if status != 200 or b"<html" not in page.lower():
            fail("GET / answered %d: %r" % (status, page[:200]))
        status, body = request(base, "/api/controls")
        if status != 200:
            fail("GET /api/controls answered %d: %r" % (status, body[:200]))
        controls = json.loads(body)
        flags = {h["flag"]: [p["name"] for p in h["params"]] for h in controls["hosts"]}
        if "edginess" not in flags.get("maya", []) or "edginess" not in flags.get("mr", []):
            fail("the controls lack a host's edginess: %r" % flags)

        # A bad value gets the command line's message; a good look renders.
        status, body = request(base, "/api/look", {"hosts": {"maya": {"edginess": "lots"}}})
        if status != 400 or b"edginess" not in body:
            fail("a bad value answered %d: %r" % (status, body[:200]))
        status, body = request(base, "/api/look",
                               {"scene": {"size": "32x16"}, "hosts": {"maya": {"edginess": "4"}}})
        if status != 200:
            fail("a good look answered %d: %r" % (status, body[:200]))
        generation = json.loads(body)["generation"]
        end = time.time() + 120
        while True:
            status, body = request(base, "/api/frame?have=%d&level=2&wait=5000" % generation)
            frame = json.loads(body) if status == 200 else {}
            if frame.get("generation") == generation and frame.get("stage") == 2:
                break
            if time.time() > end:
                fail("no full frame of the look: %d %r" % (status, body[:200]))
        print("page, controls, a refused value and a full frame from " + base)
    finally:
        tool.terminate()
        try:
            tool.wait(timeout=30)
        except subprocess.TimeoutExpired:
            tool.kill()
            tool.wait()
        shutil.rmtree(out_dir, ignore_errors=True)
    print("1 passed, 0 failed")


main()
