"""Compares two dumps (JSON files) and prints each difference in plain words; exit 1 if any.
Usage: compare_dumps.py LABEL_A A.json LABEL_B B.json"""

import json
import sys


def describe(value):
    text = json.dumps(value, ensure_ascii=False)
    return text if len(text) <= 120 else text[:117] + "..."


def differences(a, b, where=""):
    if type(a) is not type(b):
        yield where, a, b
    elif isinstance(a, dict):
        for key in sorted(set(a) | set(b)):
            if key not in a or key not in b:
                yield "%s/%s" % (where, key), a.get(key, "<assente>"), b.get(key, "<assente>")
            else:
                yield from differences(a[key], b[key], "%s/%s" % (where, key))
    elif isinstance(a, list):
        for i in range(max(len(a), len(b))):
            if i >= len(a) or i >= len(b):
                yield "%s[%d]" % (where, i), a[i] if i < len(a) else "<assente>", \
                    b[i] if i < len(b) else "<assente>"
            else:
                yield from differences(a[i], b[i], "%s[%d]" % (where, i))
    elif a != b:
        yield where, a, b


def main():
    label_a, path_a, label_b, path_b = sys.argv[1:5]
    with open(path_a, encoding="utf-8") as f:
        a = json.load(f)
    with open(path_b, encoding="utf-8") as f:
        b = json.load(f)
    found = list(differences(a, b))
    for where, x, y in found[:20]:
        # clienti[r][c] paths name the sheet row r+1 and column c+1.
        print("  %s\n    %s: %s\n    %s: %s" % (where or "/", label_a, describe(x), label_b,
                                                describe(y)))
    if len(found) > 20:
        print("  ... e altre %d differenze" % (len(found) - 20))
    sys.exit(1 if found else 0)


if __name__ == "__main__":
    main()
