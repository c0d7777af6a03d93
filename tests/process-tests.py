#!/usr/bin/env python3
"""Process-level checks of the vyn executable: start-up, the console on standard input and
output, exit statuses, standard streams.

Usage: process-tests.py VYN
"""
import os
import subprocess
import sys

BANNER = "Type HELP for starting information."
PROMPT = ">> "


def run_vyn(vyn, stdin_text, args=(), extra_env=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(extra_env or {})
    return subprocess.run([vyn, *args], input=stdin_text.encode(), capture_output=True, timeout=60, env=env)


def check_banner_then_prompt(vyn):
    proc = run_vyn(vyn, "")
    out = proc.stdout.decode()
    assert out.startswith("--== Vyn "), f"stdout: {out!r}"
    assert BANNER in out, f"stdout: {out!r}"
    assert out.endswith(PROMPT), f"stdout: {out!r}"
    assert proc.returncode == 0, f"exit status {proc.returncode}"


def check_end_of_input_ends_with_status_0(vyn):
    proc = run_vyn(vyn, "1 + 2")  # a last line without a line end is still read
    out = proc.stdout.decode()
    assert out.endswith(PROMPT + "== 3\n" + PROMPT), f"stdout: {out!r}"
    assert proc.returncode == 0, f"exit status {proc.returncode}"
    assert proc.stderr == b"", f"stderr: {proc.stderr!r}"


def check_ask_and_input_read_the_next_line(vyn):
    proc = run_vyn(vyn, "x: ask/hide {pw: }\nsecret\ny: input\nplain\nreduce [x y]\nlength? system/console/history\n")
    out = proc.stdout.decode()
    assert '>> pw: == "secret"\n>> == "plain"\n>> == ["secret" "plain"]\n' in out, f"stdout: {out!r}"
    # The hidden line stays out of the history.
    assert out.endswith(PROMPT + "== 5\n" + PROMPT), f"stdout: {out!r}"


def check_quit_statuses(vyn):
    for typed, status in (("quit\n", 0), ("quit/return 3\n", 3), ("print 1 quit/return 256\n", 1)):
        proc = run_vyn(vyn, typed + "print {not reached}\n")
        assert proc.returncode == status, f"{typed!r}: exit status {proc.returncode}"
        assert b"not reached" not in proc.stdout, f"{typed!r}: stdout {proc.stdout!r}"
        assert proc.stderr == b"", f"{typed!r}: stderr {proc.stderr!r}"


def check_script_argument_is_refused(vyn):
    proc = run_vyn(vyn, "", args=("script.vyn",))
    assert b"not supported yet" in proc.stdout, f"stdout: {proc.stdout!r}"
    assert proc.returncode != 0, f"exit status {proc.returncode}"


CHECKS = [
    check_banner_then_prompt,
    check_end_of_input_ends_with_status_0,
    check_ask_and_input_read_the_next_line,
    check_quit_statuses,
    check_script_argument_is_refused,
]


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
