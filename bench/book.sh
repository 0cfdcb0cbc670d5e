#!/usr/bin/env bash
# A project's book against its floor: each book (BOOKS, default Lazarus's
# lcl/lclbase.lpk and ide/lazbuild.lpr) is printed with --all and
# everything on, alternating with its largest unit printed alone, RUNS
# times (default 5); the figures are medians. The floor is reading every
# file of the book (bench/book_read: the project, each unit with its
# include files and routines, each form, in one process on one core) plus
# compressing the book's page content again at the level our writer uses
# (bench/pdf_floor.py, one core), timed one after the other.
# Targets, for a book of at least 200,000 lines: at most 1.1 x the floor,
# and at least 1.6 x the lines per second of its largest unit alone.
# Then the same in processor seconds, which a loaded machine stretches
# far less than the wall clock: half the book's against the floor's is
# what two idle cores would give at best.
# Cross references: the book is also printed with --no-cross-links (the
# same runs, alternating), and what the links, the "where used" document
# and resolving the names add to its time and peak memory is printed
# (target: at most 30 % of the time).
# Figures only; nothing here passes or fails. NO_BUILD=1 times the binaries
# already in BUILD_DIR as they stand.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
runs=${RUNS:-5}
lazarus=/usr/lib/lazarus/2.2.6
books=${BOOKS:-"$lazarus/lcl/lclbase.lpk $lazarus/ide/lazbuild.lpr"}
[ -d "$lazarus" ] || { echo "needs the Lazarus sources in $lazarus (lazarus-src-2.2)"; exit 1; }
command -v qpdf >/dev/null || { echo "needs qpdf"; exit 1; }
[ -n "${NO_BUILD:-}" ] || cmake --build "$build" --target scrivane-print book_read >/dev/null
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-/tmp/scrivane-runtime}
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cp bench/everything-on.ini "$out/all.ini"

# Wall seconds of one command, to the microsecond; its processor seconds
# (user + system, every thread) go to the file $cpu_file.
cpu_file=/dev/null
wall() {
  local start=$EPOCHREALTIME
  /usr/bin/time -f "%U %S" -o "$out/cpu" "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  awk '{ printf "%.3f\n", $1 + $2 }' "$out/cpu" >>"$cpu_file"
  awk -v a="${start/,/.}" -v b="${end/,/.}" 'BEGIN { printf "%.4f\n", b - a }'
}
median() { sort -g | awk '{a[NR]=$1} END {printf "%.3f", a[int((NR+1)/2)]}'; }

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores"
for book in $books; do
  read -r read_s lines files largest largest_lines read_cpu < <("$build/bench/book_read" "$book" "$out/all.ini")
  : >"$out/book"; : >"$out/alone"; : >"$out/book_cpu"; : >"$out/alone_cpu"; : >"$out/plain"
  for _ in $(seq "$runs"); do
    cpu_file=$out/book_cpu wall "$build/src/scrivane-print" "$book" --all --ini "$out/all.ini" -o "$out/book.pdf" >>"$out/book"
    cpu_file=$out/alone_cpu wall "$build/src/scrivane-print" "$book" --unit "$largest" --ini "$out/all.ini" -o "$out/alone.pdf" >>"$out/alone"
    wall "$build/src/scrivane-print" "$book" --all --no-cross-links --ini "$out/all.ini" -o "$out/plain.pdf" >>"$out/plain"
  done
  plain_s=$(median <"$out/plain")
  peak() {
    /usr/bin/time -f "%M" -o "$out/peak" "$build/src/scrivane-print" "$book" --all "$@" --ini "$out/all.ini" -o "$out/peak.pdf" >/dev/null 2>&1
    awk '{ printf "%.1f", $1 / 1024 }' "$out/peak"
  }
  linked_mib=$(peak)
  plain_mib=$(peak --no-cross-links)
  rm -f "$out/peak.pdf"
  book_s=$(median <"$out/book")
  alone_s=$(median <"$out/alone")
  book_cpu=$(median <"$out/book_cpu")
  alone_cpu=$(median <"$out/alone_cpu")
  read -r _ zbytes deflate_s < <(python3 bench/pdf_floor.py "$out/book.pdf" 3 1)
  read -r _ _ deflate_cpu < <(FLOOR_CLOCK=cpu python3 bench/pdf_floor.py "$out/book.pdf" 3 1)
  pages=$(pdfinfo "$out/book.pdf" 2>/dev/null | awk '/^Pages:/{print $2}')
  floor=$(awk -v r="$read_s" -v d="$deflate_s" 'BEGIN{ printf "%.3f", r + d }')
  echo "$(basename "$book") --all: $lines lines in $files files, $pages pages; median of $runs: $book_s s" \
       "($(awk -v n="$lines" -v s="$book_s" 'BEGIN{ printf "%.0f", n / s }') lines/s)"
  echo "  floor $floor s (reading $read_s s, compressing $((zbytes / 1048576)) MB of page content with libdeflate 1 $deflate_s s):" \
       "ratio $(awk -v b="$book_s" -v f="$floor" 'BEGIN{ printf "%.2f", b / f }')" \
       "(target for a book of 200,000 lines or more: at most 1.10)"
  echo "  largest unit $largest alone: $largest_lines lines, $alone_s s" \
       "($(awk -v n="$largest_lines" -v s="$alone_s" 'BEGIN{ printf "%.0f", n / s }') lines/s);" \
       "the book's lines per second over it:" \
       "$(awk -v n="$lines" -v b="$book_s" -v m="$largest_lines" -v a="$alone_s" 'BEGIN{ printf "%.2f", (n / b) / (m / a) }')" \
       "(target: at least 1.60)"
  echo "  without cross links: $plain_s s, peak $plain_mib MiB, $(($(stat -c %s "$out/plain.pdf") / 1048576)) MB of PDF;" \
       "with them: peak $linked_mib MiB, $(($(stat -c %s "$out/book.pdf") / 1048576)) MB of PDF; they add" \
       "$(awk -v b="$book_s" -v p="$plain_s" 'BEGIN{ printf "%.0f", (b / p - 1) * 100 }') % to the time (target: at most 30 %)"
  # Processor time is what a loaded machine does not stretch: on two idle
  # cores the book takes at least half of its processor time, and the
  # floor is all of its own (one core).
  floor_cpu=$(awk -v r="$read_cpu" -v d="$deflate_cpu" 'BEGIN{ printf "%.3f", r + d }')
  echo "  processor time: book $book_cpu s (user + system, all threads), floor $floor_cpu s" \
       "(reading $read_cpu s, compressing $deflate_cpu s), largest unit alone $alone_cpu s;" \
       "half the book's over the floor: $(awk -v b="$book_cpu" -v f="$floor_cpu" 'BEGIN{ printf "%.2f", b / 2 / f }')," \
       "the book's lines per processor second over the unit's:" \
       "$(awk -v n="$lines" -v b="$book_cpu" -v m="$largest_lines" -v a="$alone_cpu" 'BEGIN{ printf "%.2f", (n / b) / (m / a) }')"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
