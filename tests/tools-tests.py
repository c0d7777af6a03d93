#!/usr/bin/env python3
"""Checks of the debugging tools whose output holds durations or argument-stack positions, which
vary from run to run: `profile` reports and the raw event dump of `trace/raw` and `trace/debug`.
Each check starts `vyn`, types the lines and compares the console's output with patterns.

Usage: tools-tests.py VYN
"""
import os
import re
import runpy
import sys
import tempfile

# The runner of checks and the way to start vyn, shared with the other process-level checks.
PROCESS_TESTS = runpy.run_path(os.path.join(os.path.dirname(os.path.abspath(__file__)), "process-tests.py"))
PROMPT = ">> "
# A duration, or 0 for a callee that never returned.
TIME = r"\d+:\d\d:\d\d(?:\.\d+)?|0"


def session(vyn, typed):
    """The outputs of the typed lines, one string each (the text between two prompts)."""
    proc = PROCESS_TESTS["run_vyn"](vyn, "\n".join(typed) + "\n")
    assert proc.returncode == 0, f"exit status {proc.returncode}: {proc.stderr!r}"
    stdout = proc.stdout.decode()
    outputs = stdout.split(PROMPT)[1:-1]
    assert len(outputs) == len(typed), f"stdout: {stdout!r}"
    return outputs


def seconds(duration):
    if duration == "0":
        return 0.0
    hours, minutes, secs = duration.split(":")
    return int(hours) * 3600 + int(minutes) * 60 + float(secs)


def report(output, result="== none"):
    """The rows of a profile report as (rank, callee, count, duration), after the result line and
    an empty line."""
    lines = output.split("\n")
    assert lines[:2] == [result, ""], f"output: {output!r}"
    rows = []
    for line in lines[2:-1]:
        m = re.fullmatch(r"(#\d+ *) (\S+ *) \| (\d+ *) \| ((?:" + TIME + r") *)", line)
        assert m, f"row: {line!r}"
        rank, callee, count, duration = m.groups()
        # Each item is padded on the right to its column: 4, 16, 10 and 10.
        for item, width in ((rank, 4), (callee, 16), (count, 10), (duration, 10)):
            assert len(item) == max(width, len(item.rstrip())), f"row: {line!r}"
        rows.append((rank.strip(), callee.strip(), int(count), seconds(duration.strip())))
    return rows


def check_profile_counts_calls_and_ranks_them(vyn):
    outputs = session(vyn, [
        "profile [do func [] [1] do func [] [2]]",
        "f: func [] [1]  g: func [] [2]",
        "profile [loop 3 [f]]",
        "profile/by [loop 2 [g] f] 'name",
        "profile [1]",
        "profile/by [f] 'time",
        "system/tools/options/profile/sort-by",
        "fib: func [n] [either n < 2 [n] [(fib n - 1) + fib n - 2]]  profile [fib 10]",
    ])
    anonymous = report(outputs[0])
    # Every call of an anonymous function is a record of its own, numbered from 1.
    assert [r[1] for r in anonymous if r[1].startswith("<")] == ["<anon1>", "<anon2>"], anonymous
    assert [r[0] for r in anonymous] == ["#1", "#2", "#3", "#4"], anonymous
    assert [r[:3] for r in report(outputs[2])] == [("#1", "f", 3), ("#2", "loop", 1)], outputs[2]
    assert [r[1] for r in report(outputs[3])] == ["f", "g", "loop"], outputs[3]
    # No calls, no rows; and no console result after the report.
    assert outputs[4] == "== none\n\n", outputs[4]
    assert outputs[6] == "== count\n", outputs[6]
    # A recursive function has one record counting every call.
    assert ("fib", 177) in [(r[1], r[2]) for r in report(outputs[7])], outputs[7]


def check_profile_sums_durations(vyn):
    outputs = session(vyn, [
        "fast: func [] [1]  slow: func [] [wait 0.05]",
        "profile/by [loop 5 [fast] slow] 'time",
        "profile [try [1 / 0] slow]",
    ])
    rows = report(outputs[1])
    # The longest cumulative duration comes first, whatever the count.
    assert rows[0][1] == "slow" and rows[0][3] >= 0.05, rows
    # The call an error ended inside try does not take the durations of the calls after it.
    rows = {r[1]: r for r in report(outputs[2])}
    assert rows["try"][3] < 0.05 <= rows["slow"][3], rows


def check_profile_of_a_script_shows_its_result(vyn):
    with tempfile.TemporaryDirectory(prefix="vyn-tools-") as directory:
        script = os.path.join(directory, "s.vyn")
        with open(script, "w", encoding="utf-8") as f:
            f.write("Vyn []\nf: func [x] [x * 2]\nf 3\n")
        (output,) = session(vyn, [f"profile %{script}"])
    assert sorted((r[1], r[2]) for r in report(output, "== 6")) == [("*", 1), ("f", 1), ("func", 1)], output


def check_raw_and_debug_traces_show_every_event(vyn):
    raw, debug = session(vyn, ["trace/raw [1]", "trace/debug [1]"])
    lines = raw.split("\n")
    events = [line.split(" ")[0] for line in lines[:-2]]
    assert events == ["INIT", "ENTER", "FETCH", "PUSH", "EXPR", "EXIT", "END"], raw
    for line in lines[:-2]:
        assert re.fullmatch(r"[A-Z]+ -?\d+ \S+ \S+ \d+x\d+", line), f"line: {line!r}"
    assert lines[-2:] == ["== none", ""], raw
    lines = debug.split("\n")
    assert lines[4] == "  1" + " " * 33 + " => 1" + " " * 38, debug
    dumped = [line for i, line in enumerate(lines[:-2]) if i != 4]
    assert [line.split()[0] for line in dumped] == ["INIT", "ENTER", "FETCH", "PUSH", "EXPR", "EXIT", "END"], debug
    for line in dumped:
        assert re.fullmatch(r"[A-Z]+ +block! +none +\d+x\d+ +.* +\d +\d +\[\]", line), f"line: {line!r}"


CHECKS = [
    check_profile_counts_calls_and_ranks_them,
    check_profile_sums_durations,
    check_profile_of_a_script_shows_its_result,
    check_raw_and_debug_traces_show_every_event,
]


if __name__ == "__main__":
    sys.exit(PROCESS_TESTS["run_checks"](CHECKS))
