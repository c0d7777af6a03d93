#!/usr/bin/env python3
"""Runs the clipboard transcripts of tests/transcripts/clipboard on a virtual display.

The run restarts itself under xvfb-run (a virtual X server), so a desktop's own clipboard is
never touched; when xvfb-run is missing it says so and passes without running. Before a
transcript whose name is in OTHER_CLIENT, another X client (xclip) takes the clipboard with
text or an image; without xclip that transcript is skipped with a message. One more check has xclip
read what vyn wrote while vyn's console waits for its next line.

Usage: clipboard-tests.py VYN
"""
import os
import select
import shutil
import subprocess
import sys
import time

import transcript_runner

HERE = os.path.dirname(os.path.abspath(__file__))
TRANSCRIPTS = os.path.join(HERE, "transcripts", "clipboard")
UNDER_XVFB = "VYN_CLIPBOARD_TESTS_UNDER_XVFB"
PIXELS_PNG = os.path.join(HERE, "transcripts", "http", "pixels.png")
# What another client puts on the clipboard before each of these transcripts: a target and bytes.
OTHER_CLIENT = {
    "other-client.vyn": ("UTF8_STRING", "set by xclip\nsecond line é".encode()),
    "other-client-image.vyn": ("image/png", open(PIXELS_PNG, "rb").read()),
}


def restart_under_xvfb():
    xvfb_run = shutil.which("xvfb-run")
    if not xvfb_run:
        print("clipboard tests skipped: xvfb-run is missing (package xvfb)")
        return 0
    env = dict(os.environ, **{UNDER_XVFB: "1"})
    command = [xvfb_run, "-a", "-s", "-screen 0 640x480x24", sys.executable, os.path.abspath(__file__), *sys.argv[1:]]
    return subprocess.run(command, env=env, timeout=600).returncode


def take_clipboard(target, data):
    """Starts xclip owning the clipboard with the data; it serves until it is stopped."""
    xclip = ["xclip", "-selection", "clipboard", "-t", target]
    owner = subprocess.Popen(xclip + ["-quiet"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    owner.stdin.write(data)
    owner.stdin.close()
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:  # until xclip owns the clipboard
        held = subprocess.run(xclip + ["-o"], capture_output=True, timeout=20)
        if held.stdout == data:
            break
        time.sleep(0.1)
    return owner


def run_transcript(runner, vyn, name):
    path = os.path.join(TRANSCRIPTS, name)
    content = OTHER_CLIENT.get(name)
    if content is None:
        return runner.run(vyn, path, keep_display=True)
    if not shutil.which("xclip"):
        print(f"skipped {name}: xclip is missing")
        return True
    owner = take_clipboard(*content)
    try:
        return runner.run(vyn, path, keep_display=True)
    finally:
        owner.kill()
        owner.wait()


def wait_for_output(process, text, seconds=60):
    """True once the process has printed the text, false when it has not within the time."""
    seen = b""
    deadline = time.monotonic() + seconds
    while text not in seen:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([process.stdout], [], [], left)[0]:
            return False
        chunk = os.read(process.stdout.fileno(), 4096)
        if not chunk:
            return False
        seen += chunk
    return True


def check_other_client_reads_what_vyn_wrote(vyn):
    """True when xclip, asking while the console waits for input, gets the text."""
    console = subprocess.Popen([vyn], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        console.stdin.write("write-clipboard {from vyn é}\n".encode())
        console.stdin.flush()
        if not wait_for_output(console, b"== true"):
            print("FAIL other client reading vyn's clipboard: write-clipboard gave no true")
            return False
        pasted = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True, timeout=20)
    finally:
        console.stdin.close()
        console.wait(timeout=60)
    if pasted.stdout.decode() == "from vyn é":
        return True
    print(f"FAIL other client reading vyn's clipboard: {pasted.stdout!r} {pasted.stderr!r}")
    return False


def main():
    if not os.environ.get(UNDER_XVFB):
        return restart_under_xvfb()
    if not os.environ.get("DISPLAY"):
        print("xvfb-run gave no display")
        return 1
    os.environ["NO_AT_BRIDGE"] = "1"  # no accessibility bus to wait for on a virtual display
    vyn = os.path.abspath(sys.argv[1])
    runner = transcript_runner.load()
    passed = failed = 0
    for name in sorted(n for n in os.listdir(TRANSCRIPTS) if n.endswith(".vyn")):
        if run_transcript(runner, vyn, name):
            passed += 1
        else:
            failed += 1
    if not shutil.which("xclip"):
        print("skipped the other client's read: xclip is missing")
    elif check_other_client_reads_what_vyn_wrote(vyn):
        passed += 1
    else:
        failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
