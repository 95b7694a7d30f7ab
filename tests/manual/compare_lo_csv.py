"""Compares LibreOffice's CSV of the customer sheet with `clivara-archivio dump` of the same
file: prints each cell (columns A-M) where the two differ, and the number of differences.
Numbers compare by value (LibreOffice writes a decimal point, the dump a decimal comma).
Usage: compare_lo_csv.py DUMP.json SHEET.csv"""
import csv
import json
import sys


def as_number(text):
    try:
        return float(text.replace(',', '.'))
    except ValueError:
        return None


def same(ours, theirs):
    if ours == theirs:
        return True
    a, b = as_number(ours), as_number(theirs)
    return a is not None and b is not None and abs(a - b) <= 1e-12 * max(1.0, abs(a))


def main():
    with open(sys.argv[1], encoding='utf-8') as f:
        dump = json.load(f)['clienti']
    with open(sys.argv[2], encoding='utf-8', newline='') as f:
        lo = list(csv.reader(f))
    found = 0
    for r in range(max(len(dump), len(lo))):
        ours = dump[r] if r < len(dump) else []
        theirs = lo[r] if r < len(lo) else []
        for c in range(13):
            a = ours[c] if c < len(ours) else ''
            b = theirs[c] if c < len(theirs) else ''
            if not same(a, b):
                found += 1
                if found <= 8:
                    print('  riga %d colonna %d: clivara %r, LibreOffice %r' %
                          (r + 1, c + 1, a[:60], b[:60]))
    print('  %d differenze' % found)


main()
