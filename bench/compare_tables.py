#!/usr/bin/env python3
"""Compares a table written by the Windows build with the Linux build's table
of the same run, and counts the items that differ.

Usage: compare_tables.py LINUX_VESK.DAT WINDOWS_VESK.DAT

The Windows table should be the Linux table with CR LF line ends and at least
three exponent digits, except for items whose last digits differ (the C
run-time's mathematical functions differ from glibc's in the last bit on some
arguments). Prints how many items differ, in which columns and by how many
units of their ninth significant digit; exits 1 if the tables differ in
anything else (line ends, layout, the number of items).
"""
import decimal
import re
import sys

EXPONENT = re.compile(rb"E([+-])(\d+)")


def as_linux_text(windows: bytes) -> bytes:
    """The Windows table with LF line ends and the fewest exponent digits,
    two, that the Linux build writes."""
    if b"\n" in windows.replace(b"\r\n", b""):
        raise ValueError("a line of the Windows table does not end in CR LF")
    text = windows.replace(b"\r\n", b"\n")
    return EXPONENT.sub(lambda m: b"E" + m[1] + m[2].lstrip(b"0").rjust(2, b"0"), text)


def ninth_digit_units(item: bytes, reference: bytes) -> decimal.Decimal:
    """|item - reference| in units of the reference's ninth significant digit."""
    value = decimal.Decimal(item.decode())
    ref = decimal.Decimal(reference.decode())
    unit = decimal.Decimal(1).scaleb(ref.adjusted() - 8)
    return abs(value - ref) / unit


def main() -> int:
    with open(sys.argv[1], "rb") as f:
        linux = f.read()
    with open(sys.argv[2], "rb") as f:
        windows = as_linux_text(f.read())
    linux_items, windows_items = linux.split(), windows.split()
    if len(linux_items) != len(windows_items):
        print(f"{len(windows_items)} items instead of {len(linux_items)}")
        return 1
    # Differences by column, and the largest in units of the ninth digit.
    columns = ["date", "right ascension", "declination", "solar distance",
               "observer distance", "elongation", "phase angle", "illuminated fraction"]
    by_column = [0] * 8
    by_units = {}
    worst = None
    for k, (ours, theirs) in enumerate(zip(windows_items, linux_items)):
        if ours == theirs:
            continue
        units = ninth_digit_units(ours, theirs)
        by_column[k % 8] += 1
        key = "1 unit" if units <= 1 else "2-9 units" if units < 10 else "10 or more units"
        by_units[key] = by_units.get(key, 0) + 1
        if worst is None or units > worst[0]:
            worst = (units, k, ours.decode(), theirs.decode())
    differing = sum(by_column)
    if differing == 0 and windows != linux:
        print("the same items, but not the same blanks or line breaks")
        return 1
    share = f" (1 in {len(linux_items) // differing})" if differing else ""
    print(f"{len(linux_items)} items, {differing} differ{share}; everything else is the same")
    for name, count in zip(columns, by_column):
        if count:
            print(f"  {name}: {count}")
    for key, count in sorted(by_units.items()):
        print(f"  by {key} in the ninth digit: {count}")
    if worst:
        units, k, ours, theirs = worst
        print(f"  largest: record {k // 8 + 1}, {columns[k % 8]}: {ours} instead of {theirs} "
              f"({units:.0f} units, {abs(float(ours) - float(theirs)):.3g} absolute)")
    return 0

if __name__ == "__main__":
    sys.exit(main())
