#!/usr/bin/env python3
"""Writes src/project/XrefOutsideClasses.inc: the classes of Free Pascal's
run-time library, its FCL and the LCL that a book's classes most often
derive from or name in a "with", each with its ancestor and the names of
its members a descendant or a caller can see (not private ones).

The cross references use it to tell whether a name inside a method of
"TForm1 = class(TForm)" (or inside "with SaveDialog1 do") is a member of
the class from outside the book, which hides the book's routine of the
same name, as the compiler resolves it.

Usage: scripts/outside-classes.py [FPCSRC] [LAZARUS] > src/project/XrefOutsideClasses.inc
(defaults: /usr/share/fpcsrc/3.2.2 and /usr/lib/lazarus/2.2.6).
With --check FILE it says whether FILE is what it would write (exit 1 when
not, 77 when the sources are not installed).
Conditional code is read on every branch: a member declared under any
condition counts, which only ever keeps a link away.
"""
import glob
import os
import re
import sys

import io

ARGS = sys.argv[1:]
CHECK = None
if ARGS[:1] == ["--check"]:
    CHECK = ARGS[1]
    ARGS = ARGS[2:]
FPC = ARGS[0] if len(ARGS) > 0 else "/usr/share/fpcsrc/3.2.2"
LAZ = ARGS[1] if len(ARGS) > 1 else "/usr/lib/lazarus/2.2.6"

SOURCES = [
    "rtl/inc/objpash.inc",
    "rtl/inc/typshrdh.inc",
    "rtl/objpas/types.pp",
    "rtl/objpas/classes/classesh.inc",
    "rtl/objpas/sysutils/sysutilh.inc",
    "rtl/objpas/sysutils/sysinth.inc",
    "rtl/objpas/sysutils/syshelph.inc",
    "packages/fcl-base/src/syncobjs.pp",
    "packages/fcl-base/src/contnrs.pp",
    "packages/fcl-base/src/inifiles.pp",
    "packages/fcl-base/src/custapp.pp",
    "packages/fcl-base/src/eventlog.pp",
    "packages/fcl-process/src/processbody.inc",
    "packages/fcl-db/src/base/db.pas",
    "packages/fcl-db/src/base/bufdataset.pas",
    "packages/fcl-db/src/sqldb/sqldb.pp",
    "packages/fcl-json/src/fpjson.pp",
    "packages/fcl-xml/src/dom.pp",
    # The LCL's TCanvas and its images derive from fcl-image's classes.
    "packages/fcl-image/src/fpcanvas.pp",
    "packages/fcl-image/src/fpimage.pp",
    "packages/fcl-image/src/fpimgcanv.pp",
    "packages/fcl-image/src/fpreadbmp.pp",
    "packages/fcl-image/src/fpwritebmp.pp",
    "packages/fcl-image/src/fpreadpng.pp",
    "packages/fcl-image/src/fpwritepng.pp",
    "packages/fcl-image/src/fpreadpnm.pp",
    "packages/fcl-image/src/fpwritepnm.pp",
    "packages/fcl-image/src/fpreadjpeg.pas",
    "packages/fcl-image/src/fpwritejpeg.pas",
    "packages/fcl-image/src/fpreadtiff.pas",
    "packages/fcl-image/src/fpwritetiff.pas",
    "packages/fcl-image/src/fpreadgif.pas",
]
SOURCES = [os.path.join(FPC, s) for s in SOURCES]
SOURCES += sorted(glob.glob(os.path.join(LAZ, "lcl", "*.pp")) + glob.glob(os.path.join(LAZ, "lcl", "*.pas")))
SOURCES += [os.path.join(LAZ, "components/lazutils", f)
            for f in ("lazclasses.pas", "lazmethodlist.pas", "laz2_xmlcfg.pas", "lazconfigstorage.pas")]

DIRECTIVES = set(
    """virtual override overload abstract reintroduce static inline dynamic cdecl stdcall
    register safecall pascal deprecated platform experimental final default nodefault
    stored message export external varargs unimplemented enumerator dispid
    winapi noreturn""".split())
VISIBILITY = {"private", "protected", "public", "published", "automated"}
OPENERS = {"record", "object", "interface", "dispinterface"}
INHERITED = "^"
INDEXED = "["  # before the element type of an indexed property
DEFAULT = "!"  # after it, for the class's default property
# The types a member may have that are no class, which an overload tells
# apart ("RemoveChild(List.IndexOf(P))" is the overload taking an Integer):
# a row's type is 0xFF00 + the index of its type's name here.
SIMPLE = ["integer", "longint", "int64", "cardinal", "longword", "dword", "qword", "word",
          "byte", "smallint", "shortint", "sizeint", "ptrint", "ptruint", "nativeint",
          "double", "single", "extended", "currency", "tdatetime", "string", "ansistring",
          "unicodestring", "widestring", "rawbytestring", "utf8string", "shortstring",
          "boolean", "char", "widechar", "pointer", "pchar"]

TOKEN = re.compile(r"[A-Za-z_][A-Za-z0-9_]*|'(?:[^']|'')*'|\S")


def tokens(text):
    # Comments and directives out; strings stay one token.
    out = []
    i = 0
    n = len(text)
    while i < n:
        c = text[i]
        if c == "{":
            j = text.find("}", i + 1)
            i = n if j < 0 else j + 1
        elif text.startswith("(*", i):
            j = text.find("*)", i + 2)
            i = n if j < 0 else j + 2
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif c.isspace():
            i += 1
        else:
            m = TOKEN.match(text, i)
            out.append(m.group(0))
            i = m.end()
    return out


def interface_part(toks):
    low = [t.lower() for t in toks]
    # A unit's interface; an include file is read whole.
    if "unit" in low[:3]:
        start = low.index("interface") if "interface" in low else 0
        end = low.index("implementation") if "implementation" in low else len(toks)
        return toks[start:end]
    return toks


class Parser:
    def __init__(self, toks):
        self.t = toks
        self.low = [x.lower() for x in toks]
        self.i = 0

    def at(self, k=0):
        j = self.i + k
        return self.low[j] if j < len(self.low) else ""

    def skip_balanced(self):
        # From "(" or "[" past its closing bracket.
        depth = 0
        while self.i < len(self.t):
            c = self.low[self.i]
            if c in "([":
                depth += 1
            elif c in ")]":
                depth -= 1
                if depth == 0:
                    self.i += 1
                    return
            self.i += 1

    def skip_statement(self):
        # To past the ";" ending a declaration, passing over brackets and
        # nested record, class and object bodies.
        depth = 0
        while self.i < len(self.t):
            c = self.low[self.i]
            if c in "([":
                self.skip_balanced()
                continue
            if c in OPENERS or (c == "class" and self.at(1) not in ("of", ";", "procedure", "function")):
                if not (c == "class" and self.at(1) in ("of",)):
                    depth += 1
            elif c == "end":
                depth -= 1
                if depth < 0:
                    return  # the class's own end
            elif c == ";" and depth == 0:
                self.i += 1
                # Directives after the ";" belong to the same declaration.
                while self.at() in DIRECTIVES:
                    self.i += 1
                    while self.i < len(self.t) and self.low[self.i] != ";":
                        self.i += 1
                    self.i += 1
                return
            self.i += 1

    def type_name(self, k):
        # "TFoo;" or "Unit.TFoo;" ending the type: its last name; else "".
        parts = [self.at(k)]
        while self.at(k + 1) == "." and re.match(r"[a-z_]", self.at(k + 2)):
            k += 2
            parts.append(self.at(k))
        return parts[-1] if self.at(k + 1) in (";", "read", "write", "index", "default", "stored") else ""

    def routine_or_property(self, names, visible):
        # At a member's "procedure", "function", ... or "property": its name
        # noted with its type, and its declaration passed.
        c = self.at()
        name = self.at(1)
        kind = ""
        if c == "property":
            # "property Items: TTreeNodes read ...": its type; an indexed
            # one ("Items[I: Integer]: T") its items'; "property Font;"
            # the ancestor's.
            if self.at(2) == ":" and re.match(r"[a-z_]", self.at(3)):
                kind = self.type_name(3)
            elif self.at(2) in (";", "read", "write", "default", "stored"):
                kind = INHERITED
            elif self.at(2) == "[":
                kind = self.indexed_kind()
        elif c == "function":
            kind = self.result_name()
        if visible and re.match(r"[a-z_]", name):
            names.setdefault(name, kind)
        self.i += 1
        self.skip_statement()

    def indexed_kind(self):
        # At "property" of "Items[I: Integer]: T read ...; default;": INDEXED
        # and T, and DEFAULT after them for the class's default property.
        k = 2
        while self.at(k) not in ("]", ""):
            k += 1
        if self.at(k + 1) != ":" or not re.match(r"[a-z_]", self.at(k + 2)):
            return ""
        element = self.type_name(k + 2)
        if not element:
            return ""
        while self.at(k) not in (";", ""):
            k += 1
        default = self.at(k + 1) == "default" and self.at(k + 2) == ";"
        return INDEXED + element + (DEFAULT if default else "")

    def result_name(self):
        # At "function": its result's type when that is a simple one, else "".
        k = 2
        if self.at(k) == "(":
            depth = 0
            while self.at(k) != "":
                if self.at(k) == "(":
                    depth += 1
                elif self.at(k) == ")":
                    depth -= 1
                    if depth == 0:
                        break
                k += 1
            k += 1
        if self.at(k) == ":" and self.at(k + 1) in SIMPLE and self.at(k + 2) == ";":
            return self.at(k + 1)
        return ""

    def class_body(self):
        # At the first token after the heading; returns the visible names,
        # each with the type of a field or property when that is one name
        # ("" else, INHERITED for a property that keeps its ancestor's).
        names = {}
        visible = True
        section = "var"
        while self.i < len(self.t):
            c = self.at()
            if c == "end":
                self.i += 1
                return names
            if c == "strict":
                self.i += 1
                continue
            if c in VISIBILITY:
                visible = c != "private"
                section = "var"
                self.i += 1
                continue
            if c in ("type", "const", "var", "threadvar", "resourcestring"):
                section = c
                self.i += 1
                continue
            if c == "class" and self.at(1) in ("var", "threadvar"):
                section = "var"
                self.i += 2
                continue
            if c == "class":
                self.i += 1
                continue
            if c in ("generic", "specialize"):
                self.i += 1
                continue
            if c in ("procedure", "function", "constructor", "destructor", "operator", "property"):
                self.routine_or_property(names, visible)
                continue
            if c == "case":  # a variant part of an object-like record
                self.i += 1
                continue
            if re.match(r"[a-z_]", c):
                # "A, B: T;" fields, "N = ..." types and constants.
                group = [c]
                self.i += 1
                while self.at() == "," and re.match(r"[a-z_]", self.at(1)):
                    group.append(self.at(1))
                    self.i += 2
                if self.at() in (":", "=", "<"):
                    kind = ""
                    if self.at() == ":" and re.match(r"[a-z_]", self.at(1)):
                        kind = self.type_name(1)
                    if visible:
                        for n in group:
                            names.setdefault(n, kind)
                self.skip_statement()
                continue
            self.i += 1
        return names

    def record_body(self):
        # At the first token after "record": the visible fields, methods and
        # properties, the fields of every variant too ("case Longint of 0:
        # (Left, Top, Right, Bottom: Longint); 1: (TopLeft, BottomRight:
        # TPoint)"), each field with its type when that is one name.
        names = {}
        visible = True
        depth = 0  # the brackets of variant parts
        while self.i < len(self.t):
            c = self.at()
            if c == "end" and depth == 0:
                self.i += 1
                return names
            if c == "(":
                depth += 1
            elif c == ")":
                depth -= 1
            elif c == "strict":
                pass
            elif c in VISIBILITY:
                visible = c != "private"
            elif c == "case":
                # "case Kind: TKind of": the tag is a field too.
                if self.at(2) == ":" and visible:
                    names.setdefault(self.at(1), self.at(3) if self.at(4) == "of" else "")
                while self.at() not in ("of", ""):
                    self.i += 1
            elif c in ("procedure", "function", "constructor", "destructor", "property"):
                self.routine_or_property(names, visible)
                continue
            elif c == "operator":
                self.i += 1
                self.skip_statement()
                continue
            elif c in ("type", "const", "var", "class"):
                pass
            elif re.match(r"[a-z_]", c) and self.at(1) in (",", ":") and self.at(2) != "(":
                # "A, B: T;" or, in a variant, "A, B: T)".
                group = [c]
                self.i += 1
                while self.at() == "," and re.match(r"[a-z_]", self.at(1)):
                    group.append(self.at(1))
                    self.i += 2
                kind = ""
                if self.at() == ":" and re.match(r"[a-z_]", self.at(1)) and self.at(2) in (";", ")"):
                    kind = self.at(1)
                if visible:
                    for n in group:
                        names.setdefault(n, kind)
                # To the ";" or the ")" that ends the field.
                inner = 0
                while self.i < len(self.t):
                    t = self.at()
                    if t in ("(", "["):
                        inner += 1
                    elif t in (")", "]"):
                        if inner == 0:
                            break
                        inner -= 1
                    elif t == ";" and inner == 0:
                        self.i += 1
                        break
                    self.i += 1
                continue
            self.i += 1
        return names

    def classes(self):
        found = []
        while self.i < len(self.t) - 2:
            if (re.match(r"[a-z_]", self.at()) and self.at(1) == "=" and
                    (self.at(2) == "record" or (self.at(2) == "packed" and self.at(3) == "record"))):
                # A record of the run-time library's or the LCL's: what
                # "with R do" finds in it ("with Bounds do Left" is its
                # field). It derives from nothing.
                name = self.t[self.i]
                self.i += 3 if self.at(2) == "record" else 4
                found.append((name.lower(), "", self.record_body()))
                continue
            if (re.match(r"[a-z_]", self.at()) and self.at(1) == "=" and self.at(2) == "class"
                    and self.at(3) not in ("of", ";", "helper")):
                name = self.t[self.i]
                self.i += 3
                while self.at() in ("abstract", "sealed"):
                    self.i += 1
                ancestor = "tobject"
                if self.at() == "(":
                    self.i += 1
                    parts = []
                    while self.at() not in (")", ",", ""):
                        parts.append(self.at())
                        self.i += 1
                    # "Classes.TComponent": the class, not its unit.
                    ancestor = parts[-1] if parts else "tobject"
                    while self.at() not in (")", ""):
                        self.i += 1
                    self.i += 1
                if self.at() == ";":  # "TFoo = class(TBar);"
                    found.append((name.lower(), ancestor, {}))
                    self.i += 1
                    continue
                found.append((name.lower(), ancestor, self.class_body()))
                continue
            self.i += 1
        return found


def set_types(toks, word="set"):
    # "TShiftState = set of TShiftStateEnum;": an overload taking one takes
    # "[...]", and no number, string or object. With "array": the dynamic
    # arrays ("TStringDynArray = array of AnsiString;"), which go into an
    # open array.
    low = [t.lower() for t in toks]
    found = set()
    for k in range(len(low) - 4):
        j = k + 2 + (low[k + 2] == "packed")
        if re.match(r"[a-z_]", low[k]) and low[k + 1] == "=" and low[j] == word and low[j + 1] == "of":
            found.add(low[k])
    return found


def rows(out, items):
    # Several to a line, each line at most 100 characters.
    line = "   "
    for item in items:
        cell = " {" + ", ".join(str(v) for v in item) + "},"
        if len(line) + len(cell) > 100:
            out.write(line + "\n")
            line = "   "
        line += cell
    if line.strip():
        out.write(line + "\n")


def main():
    classes = {}
    sets = set()
    arrays = set()
    for path in SOURCES:
        if not os.path.exists(path):
            print(f"outside-classes: {path} not found", file=sys.stderr)
            continue
        with open(path, encoding="latin-1") as f:
            toks = interface_part(tokens(f.read()))
        sets |= set_types(toks)
        arrays |= set_types(toks, "array")
        for name, ancestor, members in Parser(toks).classes():
            if name == "tobject":
                ancestor = ""
            if name in classes and (ancestor == "") != (classes[name][0] == ""):
                continue  # a record and a class of one name: the first read
            old = classes.get(name)
            if old:
                for m, kind in members.items():
                    old[1].setdefault(m, kind)
            else:
                classes[name] = [ancestor, dict(members)]
    names = sorted(classes)
    index = {n: k for k, n in enumerate(names)}
    # Members as one sorted list of (name, class): a name and the classes
    # that declare it lie together.
    pairs = sorted((m, index[c]) for c in names for m in classes[c][1])

    def type_row(c, m):
        # The member's type as a class row: 0xFFFF none known, 0xFFFE the
        # ancestor's (a property raised to a new visibility); an indexed
        # property's element type.
        kind = classes[names[c]][1][m].lstrip(INDEXED).rstrip(DEFAULT)
        if kind == INHERITED:
            return 0xFFFE
        if kind in SIMPLE:
            return 0xFF00 + SIMPLE.index(kind)
        return index.get(kind, 0xFFFF)
    blob = []
    offsets = {}
    size = 0

    def put(text):
        nonlocal size
        if text not in offsets:
            offsets[text] = size
            blob.append(text)
            size += len(text)
        return offsets[text]

    class_rows = []
    for n in names:
        ancestor = classes[n][0]
        class_rows.append((put(n), len(n), index.get(ancestor, 0xFFFF)))
    def flags(c, m):
        # 1: an indexed property ("Items[I]"), 3: the class's default one.
        kind = classes[names[c]][1][m]
        if not kind.startswith(INDEXED):
            return 0
        return 3 if kind.endswith(DEFAULT) else 1
    member_rows = [(put(m), len(m), c, type_row(c, m), flags(c, m)) for m, c in pairs]
    set_rows = [(put(n), len(n)) for n in sorted(sets)]
    array_rows = [(put(n), len(n)) for n in sorted(arrays)]
    out = io.StringIO() if CHECK else sys.stdout
    out.write("// Generated by scripts/outside-classes.py from Free Pascal 3.2.2's and\n")
    out.write("// Lazarus 2.2.6's sources: do not edit. Read by XrefOutsideClasses.cpp.\n")
    out.write(f"// {len(names)} classes, {len(pairs)} members, {len(sets)} set types, "
              f"{len(arrays)} dynamic arrays.\n")
    out.write("static constexpr char kText[] =\n")
    text = "".join(blob)
    for k in range(0, len(text), 96):
        out.write(f'    "{text[k:k + 96]}"\n')
    out.write("    ;\n")
    out.write("// Each class: its name (offset, length) and its ancestor's row, 0xFFFF for none.\n")
    out.write("static constexpr OutsideClassRow kClasses[] = {\n")
    rows(out, class_rows)
    out.write("};\n")
    out.write("// Each visible member: its name, its class's row, its type's (0xFFFF: not a\n")
    out.write("// class the table holds, 0xFFFE: its ancestor's, from 0xFF00: kSimpleTypes) and\n")
    out.write("// whether it is an indexed property (1) or the class's default one (3), sorted by\n")
    out.write("// name.\n")
    out.write("static constexpr OutsideMemberRow kMembers[] = {\n")
    rows(out, member_rows)
    out.write("};\n")
    out.write("// The set types, sorted by name.\n")
    out.write("static constexpr OutsideSetRow kSets[] = {\n")
    rows(out, set_rows)
    out.write("};\n")
    out.write("// The types of members that are no class: a member's type 0xFF00 + k is the kth.\n")
    out.write("static constexpr const char *kSimpleTypes[] = {\n")
    line = "   "
    for name in SIMPLE:
        cell = f' "{name}",'
        if len(line) + len(cell) > 100:
            out.write(line + "\n")
            line = "   "
        line += cell
    out.write(line + "\n};\n")
    out.write("// The dynamic array types, sorted by name.\n")
    out.write("static constexpr OutsideSetRow kArrays[] = {\n")
    rows(out, array_rows)
    out.write("};\n")
    if CHECK:
        with open(CHECK, encoding="ascii") as f:
            if f.read() != out.getvalue():
                print(f"{CHECK} is not what scripts/outside-classes.py writes from "
                      f"{FPC} and {LAZ}: write it again", file=sys.stderr)
                sys.exit(1)


if CHECK and not (os.path.isdir(FPC) and os.path.isdir(LAZ)):
    print(f"skipped: {FPC} or {LAZ} is not installed")
    sys.exit(77)
main()
