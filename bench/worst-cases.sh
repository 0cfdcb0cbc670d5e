#!/usr/bin/env bash
# Builds the worst inputs found so far and prints, for each, the wall time
# and the peak memory of scrivane-print on it:
#   - a unit holding one 1 MB word (a long string constant), printed to PDF;
#   - units of one 10 MB and one 50 MB line of statements, printed to PDF
#     (each page continues the line from where the last one stopped: both
#     should print within 30 s and 300 MB);
#   - 80,000 nested begin/end blocks, printed to PDF;
#   - 80,000 routine declarations each spanning two lines, routines listed;
#   - a 10,000-unit project whose units use each other, listed with
#     --include-uses; and 4,000 units in a folder of 10,000 files;
#   - a project naming 20,000 small units, all in its own folder of 20,000
#     files, printed whole with --all (each unit's form and image looked up),
#     as a PDF and as a web book;
#   - what a hostile unit may hold for the names' reader and the web page:
#     include files that each include the next twice, 25 deep; a condition
#     and an expression in 200,000 brackets; a line of 200,000 names; one
#     name declared 100,000 times; 50,000 nested case statements as a web
#     page. Each should print in seconds, saying what it left out.
# Usage: bench/worst-cases.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$BUILD" --target scrivane-print >/dev/null
TOOL="$PWD/$BUILD/src/scrivane-print"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen

python3 - "$WORK" <<'PYTHON'
import os, sys
work = sys.argv[1]
def write(name, text):
    path = os.path.join(work, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="\r\n") as f:
        f.write(text)

write("word/longword.pas", "unit LongWord;\ninterface\nconst\n  S = '" + "x" * (1 << 20) +
      "';\nimplementation\nend.\n")

# Written without CR LF: the whole unit is one line.
statement = "Total := Total + Item[Index]; "
for megabytes in (10, 50):
    with open(os.path.join(work, f"line{megabytes}.pas"), "w") as f:
        f.write("unit OneLine; interface implementation procedure Run; begin " +
                statement * (megabytes * (1 << 20) // len(statement)) + "end; end.")

depth = 80000
write("nesting/nested.pas", "unit Nested;\ninterface\nprocedure Deep;\nimplementation\nprocedure Deep;\n" +
      "begin\n" * depth + "end;\n" * depth + "end.\n")

count = 80000
decl = "".join(f"procedure P{i}(A: Integer;\n  B: Integer);\n" for i in range(count))
impl = "".join(f"procedure P{i}(A: Integer;\n  B: Integer);\nbegin\nend;\n" for i in range(count))
write("twoline/decls.pas", "unit Decls;\ninterface\n" + decl + "implementation\n" + impl + "end.\n")

# A type declared on one line whose methods never close their parameters.
write("unclosed/unclosed.pas", "unit Unclosed;\ninterface\ntype T = record " +
      "x: integer; procedure a(" * 100000 + "\nimplementation\nend.\n")

units = 10000
for i in range(units):
    uses = ", ".join(f"Unit{(i * 7 + k) % units}" for k in (1, 2, 3))
    write(f"project/Unit{i}.pas", f"unit Unit{i};\ninterface\nuses SysUtils, Classes, {uses};\nimplementation\nend.\n")
write("project/big.dpr", "program Big;\nuses\n" +
      ",\n".join(f"  Unit{i} in 'Unit{i}.pas'" for i in range(units)) + ";\nbegin\nend.\n")

listed = 4000
for i in range(10000):
    write(f"folder/File{i}.pas", f"unit File{i};\ninterface\nuses SysUtils, File{(i + 1) % 10000};\nimplementation\nend.\n")
write("folder/four.dpr", "program Four;\nuses\n" +
      ",\n".join(f"  File{i} in 'file{i}.pas'" for i in range(listed)) + ";\nbegin\nend.\n")

many = 20000
for i in range(many):
    write(f"many/U{i}.pas", f"unit U{i};\ninterface\nprocedure P{i};\nimplementation\nprocedure P{i};\nbegin\nend;\nend.\n")
write("many/many.dpr", "program Many;\nuses\n" +
      ",\n".join(f"  U{i} in 'U{i}.pas'" for i in range(many)) + ";\nbegin\nend.\n")

for i in range(25):
    write(f"bomb/i{i}.inc", f"{{$I i{i + 1}.inc}}\n{{$I i{i + 1}.inc}}\n")
write("bomb/i25.inc", "x := 1;\n")
write("bomb/bomb.pas", "unit Bomb;\ninterface\nimplementation\nprocedure P;\nbegin\n{$I i0.inc}\nend;\nend.\n")
brackets = 200000
write("brackets/brackets.pas", "unit Brackets;\ninterface\nimplementation\n{$IF " + "(" * brackets +
      "defined(X)" + ")" * brackets + "}\nprocedure P;\nvar x: Integer;\nbegin\n  x := " + "(" * brackets +
      "1" + ")" * brackets + ";\nend;\n{$ENDIF}\nend.\n")
names = 200000
write("names/names.pas", "unit Names;\ninterface\nvar " + ", ".join(f"a{i}" for i in range(names)) +
      ": Integer;\nimplementation\nprocedure P;\nbegin\n  a0 := " + " + ".join(f"a{i}" for i in range(names)) +
      ";\nend;\nend.\n")
write("same/same.pas", "unit Same;\ninterface\nimplementation\n" +
      "procedure P;\nbegin\n  P;\nend;\n" * 100000 + "end.\n")
cases = 50000
write("cases/cases.pas", "unit Cases;\ninterface\nimplementation\nprocedure P;\nbegin\n" +
      "case x of 1: " * cases + "x := 1" + "; end" * cases + ";\nend;\nend.\n")
PYTHON

measure() {
  local name=$1
  shift
  local report="$WORK/time.txt"
  local status=0
  /usr/bin/time -f "%e %M" -o "$report" "$@" >"$WORK/out.txt" 2>"$WORK/err.txt" || status=$?
  read -r seconds kilobytes < <(tail -n 1 "$report")
  printf '%-44s %8.2f s %8d MB  exit %d  %s\n' "$name" "$seconds" "$((kilobytes / 1024))" "$status" \
    "$(head -c 70 "$WORK/out.txt" | head -n 1)"
}

printf '%-44s %10s %11s\n' "case" "time" "peak memory"
measure "1 MB word, PDF" "$TOOL" "$WORK/word/longword.pas" -o "$WORK/word.pdf"
measure "one 10 MB line, PDF" "$TOOL" "$WORK/line10.pas" -o "$WORK/line10.pdf"
measure "one 50 MB line, PDF" "$TOOL" "$WORK/line50.pas" -o "$WORK/line50.pdf"
measure "80,000 nested blocks, PDF" "$TOOL" "$WORK/nesting/nested.pas" -o "$WORK/nested.pdf"
measure "80,000 two-line declarations, --routines" "$TOOL" --routines "$WORK/twoline/decls.pas"
measure "100,000 unclosed headers on a line, --routines" "$TOOL" --routines "$WORK/unclosed/unclosed.pas"
measure "10,000-unit project, --units --include-uses" "$TOOL" --units "$WORK/project/big.dpr" --include-uses
measure "4,000 of 10,000 files, --units --include-uses" "$TOOL" --units "$WORK/folder/four.dpr" --include-uses
measure "20,000 units in one folder, --all, PDF" "$TOOL" "$WORK/many/many.dpr" --all -o "$WORK/many.pdf"
measure "20,000 units in one folder, --all, web book" "$TOOL" "$WORK/many/many.dpr" --all --format html -o "$WORK/many-web"
measure "include bomb (2^25 copies), PDF" "$TOOL" "$WORK/bomb/bomb.pas" -o "$WORK/bomb.pdf"
measure "200,000 brackets in {\$IF} and code, PDF" "$TOOL" "$WORK/brackets/brackets.pas" -o "$WORK/brackets.pdf"
measure "a line of 200,000 names, PDF" "$TOOL" "$WORK/names/names.pas" -o "$WORK/names.pdf"
measure "one name declared 100,000 times, PDF" "$TOOL" "$WORK/same/same.pas" -o "$WORK/same.pdf"
measure "50,000 nested cases, web page" "$TOOL" "$WORK/cases/cases.pas" --format html -o "$WORK/cases-web"
