#!/usr/bin/env python3
"""Process-level checks of the vyn executable: start-up, the console on standard input and
output, exit statuses, standard streams.

Usage: process-tests.py VYN
"""
import os
import re
import subprocess
import sys
import tempfile

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


def check_quit_saves_the_console_configuration_first(vyn):
    proc = run_vyn(vyn, "_save-cfg: does [print {saved}] quit/return 2\nprint {not reached}\n")
    assert proc.returncode == 2, f"exit status {proc.returncode}"
    assert proc.stdout.decode().endswith(PROMPT + "saved\n"), f"stdout: {proc.stdout!r}"


def console_lines(vyn, typed):
    proc = run_vyn(vyn, typed)
    assert proc.returncode == 0, f"exit status {proc.returncode}"
    out = proc.stdout.decode()
    return out[out.find(PROMPT):].split("\n")


# The timing line: at most three digits (the point not counted) unless the whole part is longer,
# a space, the unit and a tab, then the code.
CLOCK_LINE = re.compile(r"(\d+(?:\.\d+)?) (μs|ms)\t(.*)")


def check_clock_prints_time_per_iteration(vyn):
    typed = "clock/times [1] 0\nclock [wait 0.02 'done]\nclock/times [1 + 1] 1000\n"
    lines = console_lines(vyn, typed)
    expected = [("[1]", "== 1"), ("[wait 0.02 'done]", "== done"), ("[1 + 1]", "== 2")]
    timings = [line.removeprefix(PROMPT) for line in lines if CLOCK_LINE.fullmatch(line.removeprefix(PROMPT))]
    assert len(timings) == 3, f"lines: {lines!r}"
    for timing, (code, result) in zip(timings, expected):
        number, unit, text = CLOCK_LINE.fullmatch(timing).groups()
        whole, _, fraction = number.partition(".")
        assert not fraction or len(whole + fraction) <= 3, f"{timing!r}"
        assert text == code, f"{timing!r}"
        assert lines[lines.index(PROMPT + timing) + 1] == result, f"lines: {lines!r}"
    # Twenty milliseconds are shown in milliseconds.
    number, unit, _ = CLOCK_LINE.fullmatch(timings[1]).groups()
    assert unit == "ms" and float(number) >= 20, f"{timings[1]!r}"


def check_stats_show_prints_the_memory_report(vyn):
    lines = console_lines(vyn, "stats/show\n1\n")
    text = "\n".join(lines)
    for header in ("[Nodes ] -- Free ----- Used ----- Total --", "[Series] -- Free ----- Used ----- Total --",
                   "[ Big    ]"):
        assert header in lines, f"stdout: {text}"
    frames = [line for line in lines if re.fullmatch(r"  \d+: +\d+ +\d+ +\d+", line)]
    assert len(frames) >= 2, f"stdout: {text}"
    assert re.search(r"\n  Used     : \d+ nodes\n  Allocated: \d+ nodes\n", text), f"stdout: {text}"
    assert re.search(r"\nTotal allocated from OS \(virtual\): *\d+\n", text), f"stdout: {text}"
    assert re.search(r"\nTotal allocated on heap \(malloc\): *\d+\n", text), f"stdout: {text}"
    # The report returns nothing: the next line's result follows the prompt at once.
    assert lines[-2] == PROMPT + "== 1", f"stdout: {text}"


def check_program_path_with_a_blank_reaches_options_unquoted(vyn):
    with tempfile.TemporaryDirectory(prefix="vyn with space ") as directory:
        program = os.path.join(directory, "vyn")
        os.symlink(vyn, program)
        typed = b"print system/options/boot\nprint mold reduce [system/options/args system/script/args]\n"
        proc = subprocess.run(["sh", "-c", f'"{program}"'], input=typed, capture_output=True, timeout=60)
    out = proc.stdout.decode()
    assert f"{PROMPT}{program}\n{PROMPT}[[] \"\"]\n" in out, f"stdout: {out!r}"


def check_cache_directory_follows_the_user_configuration_home(vyn):
    for env, cache in ((dict(XDG_CONFIG_HOME="/x/conf", HOME="/h"), "%/x/conf/Vyn/"),
                       (dict(XDG_CONFIG_HOME="", HOME="/h"), "%/h/.config/Vyn/")):
        proc = run_vyn(vyn, "system/options/cache\n", extra_env=env)
        out = proc.stdout.decode()
        assert f"{PROMPT}== {cache}\n" in out, f"{env}: stdout {out!r}"


CHECKS = [
    check_banner_then_prompt,
    check_end_of_input_ends_with_status_0,
    check_ask_and_input_read_the_next_line,
    check_quit_statuses,
    check_quit_saves_the_console_configuration_first,
    check_clock_prints_time_per_iteration,
    check_stats_show_prints_the_memory_report,
    check_program_path_with_a_blank_reaches_options_unquoted,
    check_cache_directory_follows_the_user_configuration_home,
]


def run_checks(checks):
    """Runs each check on the vyn named on the command line; the exit status of the run."""
    vyn = os.path.abspath(sys.argv[1])
    passed = failed = 0
    for check in checks:
        try:
            check(vyn)
            passed += 1
        except AssertionError as e:
            print(f"FAIL {check.__name__}: {e}")
            failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(run_checks(CHECKS))
