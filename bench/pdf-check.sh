#!/usr/bin/env bash
# Prints a random sample of real units (Free Pascal and Lazarus sources) to
# PDF with everything on and checks each file as a reader would: qpdf finds
# its structure sound, Ghostscript renders it without a complaint, pdffonts
# lists every font embedded with a ToUnicode map, and pdftotext finds every
# non-blank character of the source, in order. SAMPLE units (default 60),
# SEED picks them; FONT (e.g. "Nimbus Mono PS") sets the listing's face.
# Figures only.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target scrivane-print >/dev/null
export QT_QPA_PLATFORM=offscreen
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cp bench/everything-on.ini "$out/all.ini"
if [ -n "${FONT:-}" ]; then printf '[Fonts]\nBName=%s\nHName=%s\n' "$FONT" "$FONT" >> "$out/all.ini"; fi
python3 - "$build/src/scrivane-print" "$out" "${SEED:-1}" "${SAMPLE:-60}" <<'PY'
import subprocess, sys, random, os, glob
tool, out, seed, count = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
random.seed(seed)
files = glob.glob('/usr/share/fpcsrc/3.2.2/**/*.pp', recursive=True) + glob.glob('/usr/share/fpcsrc/3.2.2/**/*.pas', recursive=True) + glob.glob('/usr/lib/lazarus/2.2.6/**/*.pas', recursive=True)
sample = random.sample(files, min(count, len(files)))
env = dict(os.environ, QT_QPA_PLATFORM='offscreen')
bad = 0
type3 = 0
for f in sample:
    raw = open(f, 'rb').read()
    if b'\0' in raw: continue
    try:
        src = raw.decode('utf-8')
        if src.startswith('\ufeff'): src = src[1:]
    except UnicodeDecodeError:
        src = raw.decode('cp1252', errors='replace')
    r = subprocess.run([tool, f, '--ini', out + '/all.ini', '-o', out + '/chk.pdf'], env=env, capture_output=True)
    if r.returncode != 0:
        print('print failed', f, r.stderr[:200]); bad += 1; continue
    q = subprocess.run(['qpdf', '--check', out + '/chk.pdf'], capture_output=True)
    if q.returncode != 0:
        print('qpdf complains', f, q.stdout[-300:]); bad += 1
    fonts = subprocess.run(['pdffonts', out + '/chk.pdf'], capture_output=True, text=True).stdout.splitlines()[2:]
    for line in fonts:
        emb, sub, uni = line.split()[-5:-2]
        if emb != 'yes' or uni != 'yes':
            print('font not embedded with ToUnicode', f, line); bad += 1
        type3 += ' Type 3 ' in line
    g = subprocess.run(['gs', '-q', '-dNOPAUSE', '-dBATCH', '-sDEVICE=nullpage', out + '/chk.pdf'], capture_output=True)
    if g.returncode != 0 or g.stdout or g.stderr:
        print('gs complains', f, (g.stdout + g.stderr)[:300]); bad += 1
    text = subprocess.run(['pdftotext', '-raw', out + '/chk.pdf', '-'], capture_output=True).stdout.decode('utf-8', 'replace')
    a = [c for c in src if not c.isspace()]
    b = [c for c in text if not c.isspace()]
    i = 0
    for c in b:
        if i < len(a) and c == a[i]: i += 1
    if i < len(a):
        print('missing chars', f, 'at', i, 'of', len(a), repr(''.join(a[i:i+40]))); bad += 1
print('checked', len(sample), 'bad', bad, 'Type 3 fonts', type3)
PY
