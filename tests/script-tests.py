#!/usr/bin/env python3
"""Scripts named on the command line: `vyn [--catch] script.vyn args...` runs the script from its
header on and ends, with a failure status when the script could not run or ended with an error;
`--catch` keeps the console open afterwards.

Usage: script-tests.py VYN
"""
import os
import subprocess
import sys
import tempfile

PROMPT = ">> "
FAILURE = 254  # the status -2 of an uncaught error, as the process reports it


def run_vyn(vyn, args, cwd, stdin_text=""):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    return subprocess.run([vyn, *args], input=stdin_text.encode(), capture_output=True, timeout=60, env=env,
                          cwd=cwd)


def write(cwd, name, text):
    path = os.path.join(cwd, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def expect(proc, stdout, status):
    out = proc.stdout.decode()
    assert out == stdout, f"stdout: {out!r}, expected {stdout!r}"
    assert proc.returncode == status, f"exit status {proc.returncode}, expected {status}"
    assert proc.stderr == b"", f"stderr: {proc.stderr!r}"


# What a run prints and its status: (what it shows, files, arguments, stdout, status).
RUNS = [
    ("the script runs from its header on, with it in system/script",
     {"t.vyn": '; note\nVyn [Title: "T"]\nprint system/script/header/Title\n'}, ["t.vyn"], "T\n", 0),
    ("no header", {"nohdr.vyn": "print 1\n"}, ["nohdr.vyn"], "*** Error: Vyn header not found!\n", FAILURE),
    ("the header word in another case", {"lower.vyn": "vyn [] print 1\n"}, ["lower.vyn"],
     "*** Error: Vyn header not found!\n", FAILURE),
    ("system dialect code", {"sys.vyn": "Vyn/System [] print 1\n"}, ["sys.vyn"],
     "*** Error: contains Vyn/System code which requires compilation!\n", FAILURE),
    ("an error ends the script", {"e.vyn": "Vyn [] print 1 1 / 0 print 2\n"}, ["e.vyn"],
     "1\n*** Math Error: attempt to divide by zero\n*** Where: /\n*** Near : 1 / 0 print 2\n*** Stack: \n", FAILURE),
    ("a malformed directive", {"d.vyn": "Vyn [] print 1 #if true\n"}, ["d.vyn"],
     "*** Preprocessor Error: Syntax error\n*** Where: #if true\n(halted)\n", FAILURE),
    ("the script's own arguments",
     {"a.vyn": "Vyn [] probe system/options/args probe system/script/args probe system/options/script\n"},
     ["a.vyn", "x", "y z"], '["x" "y z"]\n{x "y z"}\n%a.vyn\n', 0),
    ("switches before the script are taken off, after it they are the script's",
     {"a.vyn": "Vyn [] probe system/options/args probe system/script/args\n"}, ["--other", "a.vyn", "--catch"],
     '["--catch"]\n"--catch"\n', 0),
    ("quit/return gives the process status", {"q.vyn": "Vyn [] quit/return 3 print 1\n"}, ["q.vyn"], "", 3),
    ("an included file runs where the directive stood",
     {"inc.vyn": "Vyn [] #include %lib.vyn f\n", "lib.vyn": 'Vyn [] f: does [print "lib"]\n'}, ["inc.vyn"],
     "lib\n", 0),
    ("the script runs in its directory", {"sub/s.vyn": "Vyn [] print what-dir print system/script/path\n"},
     ["sub/s.vyn"], "<scratch>/sub/\n<scratch>/sub/\n", 0),
]


def check_runs(vyn, cwd):
    for what, files, args, stdout, status in RUNS:
        with tempfile.TemporaryDirectory(prefix="vyn-scripts-") as scratch:
            for name, text in files.items():
                write(scratch, name, text)
            proc = run_vyn(vyn, args, scratch)
            try:
                expect(proc, stdout.replace("<scratch>", os.path.realpath(scratch)), status)
            except AssertionError as e:
                raise AssertionError(f"{what}: {e}") from None


def check_syntax_error_ends_with_a_failure_status(vyn, cwd):
    write(cwd, "syntax.vyn", "Vyn [] print 1 (\n")
    proc = run_vyn(vyn, ["syntax.vyn"], cwd)
    assert proc.stdout.decode().startswith("*** Syntax Error: "), f"stdout: {proc.stdout!r}"
    assert proc.returncode == FAILURE, f"exit status {proc.returncode}"


def check_catch_keeps_the_console_open(vyn, cwd):
    write(cwd, "c.vyn", "Vyn [] x: 20\n")
    expect(run_vyn(vyn, ["--catch", "c.vyn"], cwd, "x + 1\n"), PROMPT + "== 21\n" + PROMPT, 0)
    expect(run_vyn(vyn, ["c.vyn"], cwd, "print {not read}\n"), "", 0)


def check_unreadable_script_leaves_the_console(vyn, cwd):
    proc = run_vyn(vyn, ["missing.vyn"], cwd)
    out = proc.stdout.decode()
    assert out.startswith("*** Access Error: cannot open: "), f"stdout: {out!r}"
    assert out.endswith(PROMPT) and "--== Vyn" in out, f"stdout: {out!r}"
    assert proc.returncode == 0, f"exit status {proc.returncode}"


CHECKS = [
    check_runs,
    check_syntax_error_ends_with_a_failure_status,
    check_catch_keeps_the_console_open,
    check_unreadable_script_leaves_the_console,
]


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    vyn = os.path.abspath(sys.argv[1])
    failed = 0
    for check in CHECKS:
        with tempfile.TemporaryDirectory(prefix="vyn-scripts-") as cwd:
            try:
                check(vyn, cwd)
            except (AssertionError, subprocess.TimeoutExpired) as e:
                failed += 1
                print(f"FAIL {check.__name__}: {e}")
    print(f"{len(CHECKS) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
