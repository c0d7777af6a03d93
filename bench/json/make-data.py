#!/usr/bin/env python3
"""Writes the benchmark's JSON file: an array of records (numbers, strings with escapes and
non-ASCII text, booleans, nulls, nested objects and arrays) of about 20 MB, the same every run.

Usage: make-data.py FILE [MEGABYTES]"""
import json
import random
import sys


def record(i, rng):
    return {
        "id": i,
        "name": "user %d" % i,
        "email": "u%d@example.com" % i,
        "score": round(rng.uniform(0, 1000), 6),
        "active": i % 3 == 0,
        "tags": ["alpha", "beta", "gamma\u00e9"][: i % 4],
        "address": {"street": "%d Main St" % i, "zip": "%05d" % (i % 100000),
                    "geo": [round(rng.uniform(-90, 90), 6), round(rng.uniform(-180, 180), 6)]},
        "note": None if i % 5 else "line 1\nline 2 \"quoted\" \u00fcber",
    }


def main():
    path = sys.argv[1]
    megabytes = float(sys.argv[2]) if len(sys.argv) > 2 else 20
    rng = random.Random(42)
    records, size, i = [], 0, 0
    while size < megabytes * 1_000_000:
        r = record(i, rng)
        size += len(json.dumps([r], ensure_ascii=False, indent=1).encode()) - 3
        records.append(r)
        i += 1
    with open(path, "w", encoding="utf-8") as f:
        json.dump(records, f, ensure_ascii=False, indent=1)


main()
