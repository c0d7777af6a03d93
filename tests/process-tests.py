#!/usr/bin/env python3
"""Process-level checks of the vyn executable: start-up, exit status, standard streams.

Usage: process-tests.py VYN
"""
import os
import subprocess
import sys


def run_vyn(vyn, stdin_text, extra_env=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(extra_env or {})
    return subprocess.run([vyn], input=stdin_text.encode(), capture_output=True, timeout=60, env=env)


def check_quit_ends_cleanly(vyn):
    proc = run_vyn(vyn, "quit\n")
    assert proc.returncode == 0, f"exit status {proc.returncode}"
    assert proc.stderr == b"", f"stderr: {proc.stderr!r}"


CHECKS = [check_quit_ends_cleanly]


def main():
    vyn = os.path.abspath(sys.argv[1])
    passed = failed = 0
    for check in CHECKS:
        try:
            check(vyn)
            passed += 1
        except AssertionError as e:
            print(f"FAIL {check.__name__}: {e}")
            failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
