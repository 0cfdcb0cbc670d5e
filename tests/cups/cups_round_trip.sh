#!/usr/bin/env bash
# Prints the example unit through a real CUPS queue: a private cupsd in a
# temporary folder (its own configuration, spool and socket; any system CUPS
# is left alone), a queue whose device is a file, and scrivane-print -P.
# The job's output must hold the unit's text on as many pages as the PDF
# path gives, with duplex passed on as a CUPS option.
# The window (through the app tests' WindowOnCupsQueue) prints the whole
# project on the queue as one job, on the queue's own paper from the start.
# Usage: cups_round_trip.sh SCRIVANE_PRINT EXAMPLES_DIR [TEST_APP]
set -uo pipefail
tool=$1
examples=$2
window_tests=${3:-}
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; [ -f "$dir/log/error_log" ] && tail -20 "$dir/log/error_log"; exit 1; }
[ -x "$tool" ] || { echo "FAILED: $tool is not built"; exit 1; }

command -v cupsd >/dev/null || skip "cupsd is not installed (scripts/install-deps.sh installs cups)"
command -v lpadmin >/dev/null || skip "lpadmin is not installed"
[ "$(id -u)" -eq 0 ] || skip "cupsd runs its filters as lp and must start as root"
ppd=/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd
[ -f "$ppd" ] || skip "$ppd is missing (cups-filters)"

dir=$(mktemp -d /tmp/scrivane-cups.XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
chmod 755 "$dir"
mkdir -p "$dir/conf" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/out"
# Default settings of its own, whatever a developer's window saved beside
# the build's programs.
: >"$dir/scrivn.ini"
print_tool() { "$tool" --ini "$dir/scrivn.ini" "$@"; }
cp -r /etc/cups/. "$dir/conf/"
rm -f "$dir/conf/printers.conf" "$dir/conf/classes.conf"
cat >"$dir/conf/cupsd.conf" <<CONF
Listen $dir/cups.sock
WebInterface No
Browsing Off
LogLevel warn
DirtyCleanInterval 0
PreserveJobHistory Yes
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
CONF
cat >"$dir/conf/cups-files.conf" <<CONF
FileDevice Yes
ServerRoot $dir/conf
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/spool/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
User lp
Group lp
CONF
chown -R lp:lp "$dir/spool" "$dir/cache" "$dir/state" "$dir/out"
chmod 1770 "$dir/spool/tmp"

cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" &
pid=$!
export CUPS_SERVER="$dir/cups.sock"
for _ in $(seq 50); do
  lpstat -r >/dev/null 2>&1 && break
  kill -0 "$pid" 2>/dev/null || { pid=; skip "cupsd could not start: $(tail -3 "$dir/log/error_log" 2>/dev/null)"; }
  sleep 0.2
done
lpstat -r >/dev/null 2>&1 || skip "cupsd did not answer on $CUPS_SERVER"

# cupsd answers lpstat a moment before it takes a new queue: lpadmin is
# tried again for a few seconds before the test gives up, with its reason.
added=
for _ in $(seq 25); do
  lpadmin -p scrivane-test -E -v "file://$dir/out/job.pdf" -P "$ppd" 2>"$dir/lpadmin.err" && { added=1; break; }
  sleep 0.2
done
[ -n "$added" ] || fail "lpadmin could not add the queue: $(cat "$dir/lpadmin.err")"

unit="$examples/stock.pas"
print_tool "$unit" -q -o "$dir/reference.pdf" || fail "scrivane-print -o"
expected=$(pdfinfo "$dir/reference.pdf" | awk '/^Pages:/ {print $2}')

said=$(print_tool "$unit" -P scrivane-test --duplex long 2>&1 >"$dir/stdout") || fail "scrivane-print -P: $said"
echo "$said"
[ ! -s "$dir/stdout" ] || fail "scrivane-print -P wrote to stdout: $(cat "$dir/stdout")"
[ "$said" = "scrivane-test: $expected pages of stock.pas" ] || fail "unexpected report: $said"
for _ in $(seq 150); do
  [ -z "$(lpstat -o scrivane-test 2>/dev/null)" ] && [ -s "$dir/out/job.pdf" ] && break
  sleep 0.2
done
[ -s "$dir/out/job.pdf" ] || fail "the queue wrote no job output"
pages=$(pdfinfo "$dir/out/job.pdf" | awk '/^Pages:/ {print $2}')
[ "$pages" = "$expected" ] || fail "the printed job has $pages pages, the PDF path $expected"
text=$(pdftotext -layout "$dir/out/job.pdf" -)
for words in "unit Stock;" "TItemCategory" "end."; do
  grep -qF "$words" <<<"$text" || fail "the printed job lacks '$words'"
done
grep -aqs "two-sided-long-edge" "$dir"/spool/c* "$dir/log/page_log" || fail "duplex did not reach CUPS as sides=two-sided-long-edge"

# Two pages a sheet: the queue gets half as many sheets, turned, with the
# same text.
rm -f "$dir/out/job.pdf"
print_tool "$unit" -q -P scrivane-test --pages-per-sheet 2 2>"$dir/err" || fail "scrivane-print -P --pages-per-sheet 2: $(cat "$dir/err")"
for _ in $(seq 150); do
  [ -z "$(lpstat -o scrivane-test 2>/dev/null)" ] && [ -s "$dir/out/job.pdf" ] && break
  sleep 0.2
done
[ -s "$dir/out/job.pdf" ] || fail "the queue wrote no output for two pages a sheet"
sheets=$(pdfinfo "$dir/out/job.pdf" | awk '/^Pages:/ {print $2}')
[ "$sheets" = "$(( (expected + 1) / 2 ))" ] || fail "two pages a sheet gave $sheets sheets for $expected pages"
# The sheets are turned: on the queue's portrait paper the text runs up the
# page, each word taller than it is wide.
boxes=$(pdftotext -bbox -f 1 -l 1 "$dir/out/job.pdf" -)
awk -F'"' '/>TItemCategory/ {found = 1; if ($8 - $4 <= $6 - $2) flat = 1}
  END {exit !(found && !flat)}' <<<"$boxes" ||
  fail "the two-up sheets are not turned"
grep -qF "unit Stock;" <<<"$(pdftotext -layout "$dir/out/job.pdf" -)" || fail "the two-up job lacks its text"

# An unknown queue is named, and nothing is printed.
said=$(print_tool "$unit" -P no-such-queue 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "an unknown queue did not fail with status 1"
grep -q "^scrivane-print: no-such-queue: no such printer" <<<"$said" || fail "unexpected message: $said"
# The window: Print Entire project on a Letter queue it was never set up
# for. One job, the whole book (project file, units, forms, index), on
# Letter paper, as scrivane-print --all prints it on Letter.
if [ -n "$window_tests" ]; then
  lpadmin -p scrivane-test -o PageSize=Letter || fail "lpadmin -o PageSize=Letter"
  print_tool "$examples/inventory.dpr" --all --paper letter -q -o "$dir/book.pdf" || fail "scrivane-print --all"
  book_pages=$(pdfinfo "$dir/book.pdf" | awk '/^Pages:/ {print $2}')
  jobs_before=$(lpstat -W completed -o scrivane-test 2>/dev/null | wc -l)
  rm -f "$dir/out/job.pdf"
  PRINTER=scrivane-test SCRIVANE_TEST_QUEUE=scrivane-test "$window_tests" --gtest_filter='WindowOnCupsQueue.*' \
    >"$dir/window.log" 2>&1 || fail "the window's print: $(tail -20 "$dir/window.log")"
  grep -q "SKIPPED" "$dir/window.log" && fail "the window test was skipped: $(grep -A2 SKIPPED "$dir/window.log")"
  for _ in $(seq 150); do
    [ -z "$(lpstat -o scrivane-test 2>/dev/null)" ] && [ -s "$dir/out/job.pdf" ] && break
    sleep 0.2
  done
  jobs=$(( $(lpstat -W completed -o scrivane-test 2>/dev/null | wc -l) - jobs_before ))
  [ "$jobs" = 1 ] || fail "Print Entire project sent $jobs jobs, not one"
  window_pages=$(pdfinfo "$dir/out/job.pdf" | awk '/^Pages:/ {print $2}')
  [ "$window_pages" = "$book_pages" ] || fail "the window's book has $window_pages pages, scrivane-print --all $book_pages"
  pdfinfo "$dir/out/job.pdf" | grep -q "^Page size: *612 x 792" || fail "the window's book is not on Letter: $(pdfinfo "$dir/out/job.pdf" | grep 'Page size')"
  text=$(pdftotext -layout "$dir/out/job.pdf" -)
  for words in "program Inventory;" "unit Stock;" "Index"; do
    grep -qF "$words" <<<"$text" || fail "the window's book lacks '$words'"
  done
  echo "the window printed the $window_pages-page book as one job on Letter"
fi
# A queue that rejects jobs (cupsreject) was reported as printed, exit 0,
# while CUPS held no job.
cupsreject -r "closed for the test" scrivane-test || fail "cupsreject"
said=$(print_tool "$unit" -P scrivane-test 2>&1 >/dev/null)
[ $? -eq 1 ] || fail "a queue that rejects jobs did not fail with status 1: $said"
grep -q "^scrivane-print: Cannot print on scrivane-test: it is not accepting jobs" <<<"$said" ||
  fail "unexpected message for a rejecting queue: $said"
cupsaccept scrivane-test || fail "cupsaccept"
echo "printed $pages pages of $unit through a private cupsd"
