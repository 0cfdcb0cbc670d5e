#!/usr/bin/env bash
# Compares two PDFs of the same listing word by word: the same words on the
# same pages, and how far each word's box moved (points). Used to check that
# a change to the PDF output leaves every page as it was. Figures only.
#   bench/compare-pdfs.sh before.pdf after.pdf
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 before.pdf after.pdf" >&2; exit 2; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pdftotext -bbox "$1" "$tmp/a.html"
pdftotext -bbox "$2" "$tmp/b.html"
python3 - "$tmp/a.html" "$tmp/b.html" <<'PY'
import re, sys
def words(path):
    out, page = [], 0
    for line in open(path, encoding="utf-8"):
        if "<page " in line:
            page += 1
        m = re.search(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>', line)
        if m:
            out.append((page, float(m.group(2)), float(m.group(1)), float(m.group(3)), m.group(5)))
    # Drawing order may differ (a line number before or after its line).
    return sorted(out, key=lambda w: (w[0], round(w[1]), w[2]))
a, b = words(sys.argv[1]), words(sys.argv[2])
pages = (max((w[0] for w in a), default=0), max((w[0] for w in b), default=0))
differ, moved = 0, [0.0, 0.0, 0.0]
for x, y in zip(a, b):
    if x[0] != y[0] or x[4] != y[4]:
        differ += 1
        if differ <= 5:
            print("differs:", x, y)
        continue
    for k, i in enumerate((1, 2, 3)):
        moved[k] = max(moved[k], abs(x[i] - y[i]))
print(f"pages {pages[0]} / {pages[1]}; words {len(a)} / {len(b)}; words that differ {differ + abs(len(a) - len(b))}; "
      f"largest move: top {moved[0]:.3f} pt, left {moved[1]:.3f} pt, right {moved[2]:.3f} pt")
PY
