#!/usr/bin/env python3
"""Compares scrivane-print's cross-references with Free Pascal's resolver.

usage: compare.py SCRIVANE_PRINT ORACLE [--check] [--oracle-arg ARG]... FILE...

The oracle (oracle.pas built with fpc) reads every FILE (and the units its
search folders give, --oracle-arg -FuDIR); scrivane-print --list-xref reads
the FILEs but a System unit among them. A use is named by its file, line and
name (case ignored); a target by its file and line, a unit by its name.

precision: of our uses where the oracle resolves that name, the share whose
           target is the oracle's;
recall:    of the oracle's uses that name a routine, a type, a unit-level
           constant or variable, or a unit of the book, the share we give
           with that target.
With --check the exit status is 1 when precision < 0.99 or recall < 0.90.
"""
import collections
import os
import subprocess
import sys

COUNTED_PARENTS = ("TInterfaceSection", "TImplementationSection", "TProgramSection",
                   "TLibrarySection")
ROUTINES = ("TPasProcedure", "TPasFunction", "TPasConstructor", "TPasDestructor",
            "TPasClassProcedure", "TPasClassFunction", "TPasOperator", "TPasClassOperator",
            "TPasClassConstructor", "TPasClassDestructor")
TYPES = ("TPasClassType", "TPasRecordType", "TPasEnumType", "TPasAliasType",
         "TPasTypeAliasType", "TPasPointerType", "TPasArrayType", "TPasSetType",
         "TPasProcedureType", "TPasFunctionType", "TPasRangeType", "TPasClassOfType",
         "TPasFileType", "TPasStringType", "TPasSpecializeType")
UNITS = ("TPasUsesUnit", "TPasModule", "TPasUnitModule", "TPasProgram", "TPasLibrary")


def counted(decl_class, parent_class):
    if decl_class in ROUTINES or decl_class in TYPES or decl_class in UNITS:
        return True
    return decl_class in ("TPasConst", "TPasVariable", "TPasResString") and \
        parent_class in COUNTED_PARENTS


def main(argv):
    check = "--check" in argv
    argv = [a for a in argv if a != "--check"]
    scrivane, oracle = argv[0], argv[1]
    rest = argv[2:]
    oracle_args, files = [], []
    i = 0
    while i < len(rest):
        if rest[i] == "--oracle-arg":
            oracle_args.append(rest[i + 1])
            i += 2
        else:
            files.append(os.path.realpath(rest[i]))
            i += 1
    book = [f for f in files if os.path.splitext(os.path.basename(f))[0].lower() != "system"]

    run = subprocess.run([oracle] + oracle_args + files, capture_output=True, text=True,
                         errors="replace")
    if run.stderr:
        sys.stderr.write("oracle: " + run.stderr)
    # An include file the oracle names without its folder ("fpcolors.inc")
    # is looked for beside the book's files, then in the include folders.
    folders = list(dict.fromkeys([os.path.dirname(f) for f in files] +
                                 [a[3:] for a in oracle_args if a.startswith("-Fi")]))

    def on_disk(path):
        # The compiler, and so the oracle, finds "{$i FPCanvas.inc}" as
        # fpcanvas.inc too, and names it as the directive spells it.
        places = [path] if os.path.isabs(path) else [os.path.join(d, path) for d in folders]
        for place in places:
            place = os.path.realpath(place)
            for candidate in (place, os.path.join(os.path.dirname(place),
                                                  os.path.basename(place).lower())):
                if os.path.exists(candidate):
                    return candidate
        return os.path.realpath(path)

    theirs = collections.defaultdict(list)  # (file, line, name) -> [(target, class)]
    for row in run.stdout.splitlines():
        f = row.split("\t")
        if len(f) < 7:
            continue
        use_file, line, name, decl_file, decl_line, decl_class, parent = f[:7]
        if decl_class in UNITS:
            target = ("unit", name.lower())
        else:
            target = (on_disk(decl_file), int(decl_line))
        # An include file read twice names each place twice: one use.
        entry = (target, decl_class, parent)
        uses = theirs[(on_disk(use_file), int(line), name.lower())]
        if entry not in uses:
            uses.append(entry)

    ours_run = subprocess.run([scrivane, "--list-xref"] + book, capture_output=True)
    decls = {}
    ours = collections.defaultdict(list)
    texts = {}
    for raw in ours_run.stdout.decode("latin-1").splitlines():
        f = raw.split("\t")
        if f[0] == "D":
            path, line, _ = f[3].rsplit(":", 2)
            decls[int(f[1])] = (f[2], os.path.realpath(path), int(line), f[4].split(".")[-1])
        elif f[0] == "U":
            path, line, column = f[1].rsplit(":", 2)
            path = os.path.realpath(path)
            if path not in texts:
                with open(path, "rb") as src:
                    texts[path] = src.read().decode("latin-1").splitlines()
            text = texts[path][int(line) - 1]
            name = text[int(column) - 1:int(column) - 1 + int(f[2])].lower()
            kind, dpath, dline, dname = decls[int(f[3])]
            target = ("unit", dname.lower()) if kind == "unit" else (dpath, dline)
            ours[(path, int(line), name)].append(target)

    correct = wrong = unchecked = 0
    wrong_rows = []
    for key, targets in ours.items():
        known = [t for t, _, _ in theirs.get(key, [])]
        if not known:
            unchecked += len(targets)
            continue
        for t in targets:
            if t in known:
                correct += 1
            else:
                wrong += 1
                wrong_rows.append((key, t, known))
    hits = misses = 0
    missed_kinds = collections.Counter()
    missed_rows = []
    for key, entries in theirs.items():
        mine = list(ours.get(key, []))
        for target, decl_class, parent in entries:
            if target[0] != "unit" and target[0] not in book:
                continue
            if target[0] == "unit" and not any(
                    os.path.splitext(os.path.basename(b))[0].lower() == target[1] for b in book):
                continue
            if not counted(decl_class, parent) or not key[2]:
                continue
            if target in mine:
                hits += 1
                mine.remove(target)
            else:
                misses += 1
                missed_kinds[decl_class] += 1
                missed_rows.append((key, target))
    precision = correct / (correct + wrong) if correct + wrong else 1.0
    recall = hits / (hits + misses) if hits + misses else 1.0
    print(f"precision {precision:.4f} ({correct} of {correct + wrong} checked links; "
          f"{unchecked} links the resolver does not report, as type names in declarations)")
    print(f"recall    {recall:.4f} ({hits} of {hits + misses} resolver uses of book declarations)")
    if missed_kinds:
        print("missed, by the kind of declaration: " +
              ", ".join(f"{k} {n}" for k, n in missed_kinds.most_common()))
    for (path, line, name), t, known in wrong_rows[:int(os.environ.get("XREF_SHOW_WRONG", "20"))]:
        print(f"wrong  {os.path.basename(path)}:{line} {name} -> {t} (resolver: {known})")
    for (path, line, name), t in missed_rows[:int(os.environ.get("XREF_SHOW_MISSES", "20"))]:
        print(f"missed {os.path.basename(path)}:{line} {name} -> {t}")
    if check and (precision < 0.99 or recall < 0.90):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
