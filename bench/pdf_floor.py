#!/usr/bin/env python3
"""The time a print cannot go below, for one PDF of ours: compressing its page
content again at our zlib level, on one core. The PDF is first written out
uncompressed by qpdf; each content stream is then deflated as our writer does.
Prints the best of RUNS timings in seconds, and the bytes compressed."""
import re, subprocess, sys, tempfile, time, zlib, os

pdf, level = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 3
runs = int(os.environ.get("RUNS", "3"))
with tempfile.NamedTemporaryFile(suffix=".pdf") as plain:
    subprocess.run(["qpdf", "--stream-data=uncompress", "--object-streams=disable",
                    pdf, plain.name], check=True)
    data = open(plain.name, "rb").read()
# Page content streams only: fonts are written once, not per page, and are
# a small share of the time; streams without a /Subtype are the pages'.
streams = []
for m in re.finditer(rb"<<(?:(?!>>\s*stream).)*?>>\s*stream\r?\n", data, re.S):
    head = m.group(0)
    if b"/Subtype" in head or b"/Length1" in head:
        continue
    start = m.end()
    end = data.find(b"endstream", start)
    streams.append(data[start:end])
best = None
for _ in range(runs):
    t = time.perf_counter()
    for s in streams:
        zlib.compress(s, level)
    t = time.perf_counter() - t
    best = t if best is None else min(best, t)
print(f"{best:.3f} {sum(len(s) for s in streams)}")
