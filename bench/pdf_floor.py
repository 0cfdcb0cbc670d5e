#!/usr/bin/env python3
"""The time a print cannot go below, for one PDF of ours: compressing its page
content again, on one core. The PDF is first written out uncompressed by qpdf;
each content stream is then deflated on its own, as our writer does: once with
zlib at ZLIB_LEVEL (3, the level the floor was first measured at), once with
libdeflate at OUR_LEVEL (the level the writer now uses; through ctypes, since
Debian has no Python binding for it). Prints the best of RUNS timings of each
in seconds, and the bytes compressed: "zlib_s bytes libdeflate_s"."""
import ctypes, ctypes.util, re, subprocess, sys, tempfile, time, zlib, os

pdf = sys.argv[1]
level = int(sys.argv[2]) if len(sys.argv) > 2 else 3
ours = int(sys.argv[3]) if len(sys.argv) > 3 else 1
runs = int(os.environ.get("RUNS", "3"))
with tempfile.NamedTemporaryFile(suffix=".pdf") as plain:
    subprocess.run(["qpdf", "--stream-data=uncompress", "--object-streams=disable",
                    pdf, plain.name], check=True)
    data = open(plain.name, "rb").read()
# Page content streams only: fonts are written once, not per page, and are
# a small share of the time; streams without a /Subtype are the pages'.
streams = []
# Found by a linear scan: a pattern over the whole file took minutes on a
# book's 300 MB of uncompressed content.
pos = 0
while True:
    at = data.find(b"stream", pos)
    if at < 0:
        break
    pos = at + 6
    if data[at - 3:at] == b"end":
        continue
    j = at - 1
    while j > 0 and data[j] in b" \t\r\n":
        j -= 1
    if data[j - 1:j + 1] != b">>":
        continue
    head = data[data.rfind(b" obj", 0, at):at]
    if b"/Subtype" in head or b"/Length1" in head:
        continue
    start = at + 6
    if data[start:start + 1] == b"\r":
        start += 1
    if data[start:start + 1] == b"\n":
        start += 1
    end = data.find(b"endstream", start)
    pos = end + 9
    # A font's character map (ToUnicode) is written once, as fonts are.
    if not data.startswith(b"/CIDInit", start):
        streams.append(data[start:end])

# FLOOR_CLOCK=cpu: the process's processor time instead of the wall
# clock, which a loaded machine stretches.
clock = time.process_time if os.environ.get("FLOOR_CLOCK") == "cpu" else time.perf_counter

def best_of(compress):
    best = None
    for _ in range(runs):
        t = clock()
        for s in streams:
            compress(s)
        t = clock() - t
        best = t if best is None else min(best, t)
    return best

lib = ctypes.CDLL(ctypes.util.find_library("deflate") or "libdeflate.so.0")
lib.libdeflate_alloc_compressor.restype = ctypes.c_void_p
lib.libdeflate_zlib_compress_bound.restype = ctypes.c_size_t
lib.libdeflate_zlib_compress_bound.argtypes = [ctypes.c_void_p, ctypes.c_size_t]
lib.libdeflate_zlib_compress.restype = ctypes.c_size_t
lib.libdeflate_zlib_compress.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                         ctypes.c_void_p, ctypes.c_size_t]
compressor = lib.libdeflate_alloc_compressor(ours)
out = ctypes.create_string_buffer(lib.libdeflate_zlib_compress_bound(compressor, max(map(len, streams), default=0)))
zsec = best_of(lambda s: zlib.compress(s, level))
dsec = best_of(lambda s: lib.libdeflate_zlib_compress(compressor, s, len(s), out, len(out)))
print(f"{zsec:.3f} {sum(len(s) for s in streams)} {dsec:.3f}")
