#!/usr/bin/env python3
"""Writes core/unicode_tables.cpp: the case mapping and display-width tables.

Reads the Unicode character database installed by Debian's unicode-data package, which is
newer than the data the runtime uses: every table is cut back to its own Unicode version
through DerivedAge.txt, so a code point assigned later behaves as it did when unassigned.

Usage: python3 tools/gen-unicode-tables.py [--ucd DIR] [-o core/unicode_tables.cpp]
"""

import argparse
import os
import sys

CASE_VERSION = (11, 0)
WIDTH_VERSION = (14, 0)
BLOCK = 256

# Unassigned code points in these ranges are East Asian Wide; everywhere else they are Neutral.
WIDE_BY_DEFAULT = [(0x3400, 0x4DBF), (0x4E00, 0x9FFF), (0xF900, 0xFAFF),
                   (0x20000, 0x2FFFD), (0x30000, 0x3FFFD)]
# The Arabic number signs, drawn over the digits that follow them, take no column of their own.
ARABIC_NUMBER_SIGNS = [(0x0600, 0x0605), (0x06DD, 0x06DD)]


def read_fields(path):
    """Yields (first, last, fields) for every data line of a UCD file."""
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = [x.strip() for x in line.split(";")]
            first, _, last = fields[0].partition("..")
            yield int(first, 16), int(last or first, 16), fields[1:]


def read_ages(ucd):
    ages = {}
    for first, last, (version,) in read_fields(os.path.join(ucd, "DerivedAge.txt")):
        age = tuple(int(x) for x in version.split("."))
        for cp in range(first, last + 1):
            ages[cp] = age
    return ages


def assigned_by(ages, version):
    return lambda cp: cp in ages and ages[cp] <= version


def assigned_after(ages, version):
    return lambda cp: cp in ages and ages[cp] > version


def read_unicode_data(ucd):
    """Returns (general category, simple upper, simple lower) maps; <..., First>/<..., Last> pairs are expanded."""
    category, upper, lower = {}, {}, {}
    range_start = None
    with open(os.path.join(ucd, "UnicodeData.txt"), encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            cp, name = int(fields[0], 16), fields[1]
            if name.endswith(", First>"):
                range_start = cp
                continue
            for c in range(range_start if name.endswith(", Last>") else cp, cp + 1):
                category[c] = fields[2]
            if fields[12]:
                upper[cp] = int(fields[12], 16)
            if fields[13]:
                lower[cp] = int(fields[13], 16)
    return category, upper, lower


def read_special_casing(ucd):
    """First code point of each unconditional upper/lower mapping longer than one code point."""
    upper, lower = {}, {}
    for cp, _, fields in read_fields(os.path.join(ucd, "SpecialCasing.txt")):
        lower_full, upper_full = fields[0].split(), fields[2].split()
        if len(fields) > 3 and fields[3]:
            continue  # conditional (language or context) mappings are not applied
        if len(lower_full) > 1:
            lower[cp] = int(lower_full[0], 16)
        if len(upper_full) > 1:
            upper[cp] = int(upper_full[0], 16)
    return upper, lower


def case_pairs(simple, special, assigned):
    """Sorted (code point, mapping) pairs where both ends exist at the case version."""
    mapping = dict(simple)
    mapping.update(special)
    return sorted((cp, to) for cp, to in mapping.items()
                  if to != cp and assigned(cp) and assigned(to))


def bmp_blocks(pairs):
    """Two-level table of BMP pairs: block index per 256 code points, then the distinct blocks.

    Entry 0 means "maps to itself". Block 0 holds Latin-1, so that range is one direct read."""
    table = [0] * 0x10000
    for cp, to in pairs:
        if to > 0xFFFF:
            sys.exit(f"U+{cp:04X} maps outside the BMP; the 16-bit entries cannot hold it")
        table[cp] = to
    blocks, index = [], []
    for start in range(0, 0x10000, BLOCK):
        block = table[start:start + BLOCK]
        if block not in blocks:
            blocks.append(block)
        index.append(blocks.index(block))
    if len(blocks) > 256:
        sys.exit("more than 256 distinct blocks; the 8-bit block index cannot hold them")
    return index, blocks


def width_properties(ucd, too_new):
    """East Asian Width per listed code point; a too new one gets the value of an unassigned one."""
    width = {}
    for first, last, (value,) in read_fields(os.path.join(ucd, "EastAsianWidth.txt")):
        for cp in range(first, last + 1):
            width[cp] = value
    for cp in filter(too_new, list(width)):
        wide = any(a <= cp <= b for a, b in WIDE_BY_DEFAULT)
        width[cp] = "W" if wide else "N"
    return width


def hangul_medial_and_final(ucd, assigned):
    return {cp for first, last, (kind,) in read_fields(os.path.join(ucd, "HangulSyllableType.txt"))
            if kind in ("V", "T") for cp in range(first, last + 1) if assigned(cp)}


def runs(code_points, key=lambda cp: None):
    """Inclusive ranges of consecutive code points that share the same key."""
    out = []
    for cp in sorted(code_points):
        if out and out[-1][1] == cp - 1 and key(out[-1][0]) == key(cp):
            out[-1][1] = cp
        else:
            out.append([cp, cp])
    return out


def c_array(ctype, name, values, per_line, fmt):
    body = []
    for i in range(0, len(values), per_line):
        body.append("    " + ", ".join(fmt(v) for v in values[i:i + per_line]) + ",")
    return [f"constexpr {ctype} {name}[] = {{"] + body + ["};"]


def hex4(v):
    return f"0x{v:04X}"


def hex5(v):
    return f"0x{v:05X}"


def emit_case_table(name, pairs):
    index, blocks = bmp_blocks([p for p in pairs if p[0] <= 0xFFFF])
    flat = [v for block in blocks for v in block]
    return (c_array("uint8_t", f"{name}_block_of", index, 16, str)
            + c_array("uint16_t", f"{name}_blocks", flat, 12, hex4)
            + [f"const BmpCaseTable {name}_bmp{{{name}_block_of, {name}_blocks}};", ""])


def emit_pairs(name, pairs):
    above = [(cp, to) for cp, to in pairs if cp > 0xFFFF]
    return (c_array("CasePair", f"{name}_pairs_above_bmp_data", above, 4,
                    lambda p: f"{{{hex5(p[0])}, {hex5(p[1])}}}")
            + [f"const std::span<const CasePair> {name}_pairs_above_bmp{{{name}_pairs_above_bmp_data}};", ""])


def emit_ranges(name, ranges):
    flat = [v for r in ranges for v in r]
    return (c_array("uint32_t", f"{name}_data", flat, 8, hex5)
            + [f"const std::span<const uint32_t> {name}{{{name}_data}};", ""])


HEADER = """\
// Generated from Debian's unicode-data; do not edit. Regenerate: python3 tools/gen-unicode-tables.py -o core/unicode_tables.cpp
// Case mappings at Unicode {case}, display-width ranges at Unicode {width}. A case entry of 0
// maps a code point to itself; range tables are [first, last] pairs, ascending and disjoint.
#include "core/unicode_tables.hpp"

namespace vyn::unicode_tables {{
"""


def generate(ucd):
    ages = read_ages(ucd)
    category, simple_upper, simple_lower = read_unicode_data(ucd)
    special_upper, special_lower = read_special_casing(ucd)
    in_case_version = assigned_by(ages, CASE_VERSION)
    upper = case_pairs(simple_upper, special_upper, in_case_version)
    lower = case_pairs(simple_lower, special_lower, in_case_version)

    in_width_version = assigned_by(ages, WIDTH_VERSION)
    width = width_properties(ucd, assigned_after(ages, WIDTH_VERSION))
    zero = {cp for cp, cat in category.items() if cat in ("Mn", "Me") and in_width_version(cp)}
    zero |= hangul_medial_and_final(ucd, in_width_version)
    zero |= {cp for a, b in ARABIC_NUMBER_SIGNS for cp in range(a, b + 1)}
    wide = {cp for cp, value in width.items() if value in ("W", "F")}
    # A combining mark stays zero-width in CJK mode, so the ambiguous table leaves marks out.
    ambiguous = {cp for cp, value in width.items() if value == "A"} - zero

    version = lambda v: f"{v[0]}.{v[1]}"
    lines = HEADER.format(case=version(CASE_VERSION), width=version(WIDTH_VERSION)).splitlines()
    lines += [""]
    for name, pairs in (("upper", upper), ("lower", lower)):
        lines += emit_case_table(name, pairs)
    for name, pairs in (("upper", upper), ("lower", lower)):
        lines += emit_pairs(name, pairs)
    lines += emit_ranges("zero_width_ranges", runs(zero))
    # Wide and fullwidth runs stay apart, as the two values are listed apart in the source.
    lines += emit_ranges("wide_ranges", runs(wide, key=lambda cp: width[cp]))
    lines += emit_ranges("ambiguous_ranges", runs(ambiguous))
    lines += ["}  // namespace vyn::unicode_tables"]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", default="/usr/share/unicode", help="Unicode character database directory")
    parser.add_argument("-o", "--output", help="output file (default: standard output)")
    args = parser.parse_args()
    text = generate(args.ucd)
    if args.output:
        with open(args.output, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
