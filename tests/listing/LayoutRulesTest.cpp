// The keyword rules with a left margin of 100 and an indent step of 40
// device units (so the diagram's quarter step q is 10), one row every 50.
#include <gtest/gtest.h>

#include "format/FormatSettings.h"
#include "listing/LayoutRules.h"
#include "listing/Lexer.h"
#include "print/PageCanvas.h"
#include "print/VirtualPrinter.h"

using namespace scrivane;

namespace {

constexpr int kTop = 1000;
constexpr int kRow = 50;

struct Laid {
  std::vector<int> xs;         // x of every line
  QStringList diagram;         // the lines drawn, without their pen
  QList<QByteArray> headings;  // "name|kind"
  LayoutState state;
};

struct LayoutRun {
  QList<QByteArray> declared;
  bool selectedOnly = false;
  bool blocks = true;
};

Laid LayOut(const QList<QByteArray> &source, const LayoutRun &run = {}) {
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  FormatSettings settings;
  Laid laid;
  LayoutContext context;
  context.LeftX = 100;
  context.IndentWidth = 40;
  context.SelectedOnly = run.selectedOnly;
  context.Settings = &settings;
  context.DeclaredRoutines = &run.declared;
  context.OnRoutineHeading = [&](const QByteArray &name, const QByteArray &kind) {
    laid.headings << name + '|' + kind;
  };
  ScanState scan;
  LayoutState &state = laid.state;
  int y = kTop;
  // A line's leading blanks are its author's indentation.
  int previousIndent = -1;
  for (const QByteArray &line : source) {
    int lead = 0;
    while (lead < line.size() && line[lead] == ' ') ++lead;
    context.AuthorIndented = previousIndent >= 0 && lead > previousIndent;
    if (!line.trimmed().isEmpty()) previousIndent = lead;
    const QByteArray trimmed = NormaliseLine(line).trimmed();
    std::vector<LineWord> words = SplitWords(trimmed, scan);
    state.NextLineX = 0;
    IndentationRules rules(state, context);
    ClassifyLine(words, trimmed, settings, &rules);
    if (run.blocks) DrawBlockMarks(canvas, state, y, kRow, context.IndentWidth);
    if (state.LineX == 0) state.LineX = context.LeftX;
    if (state.NextLineX == 0) state.NextLineX = state.LineX;
    laid.xs.push_back(state.LineX);
    state.BlockOpened = state.BlockClosed = false;
    state.LineX = state.NextLineX;
    y += kRow;
  }
  for (const QString &record : surface.lines)
    laid.diagram << record.section(QLatin1Char(' '), 0, 4);
  return laid;
}

}  // namespace

TEST(IndentationRules, ColumnsOfCommonConstructs) {
  struct Row {
    const char *name;
    QList<QByteArray> lines;
    std::vector<int> xs;
    QList<QByteArray> declared = {};
  };
  const Row rows[] = {
      {"declared routine",
       {"interface", "procedure A;", "implementation", "procedure A;", "begin", "x := 1;", "end;"},
       {100, 100, 100, 100, 140, 180, 140},
       {"procedure a;"}},
      {"if and else share a column, their bodies one step in",
       {"implementation", "procedure A;", "begin", "if a then", "b", "else", "c", "end;"},
       {100, 100, 140, 180, 220, 180, 220, 140}},
      {"try and except return to the try",
       {"implementation", "procedure A;", "begin", "try", "x", "except", "y", "end;", "end;"},
       {100, 100, 140, 180, 220, 180, 220, 180, 140}},
      {"try and finally",
       {"implementation", "procedure A;", "begin", "try", "x", "finally", "y", "end;", "z", "end;"},
       {100, 100, 140, 180, 220, 180, 220, 180, 180, 140}},
      {"class declaration in the interface",
       {"interface", "type", "TFoo = class(TForm)", "x: integer;", "end;", "var"},
       {100, 100, 140, 180, 140, 100}},
      {"a forward class opens no block",
       {"interface", "type", "TBar = class;", "TBaz = integer;"},
       {100, 100, 140, 140}},
      {"one-line class opens no block",
       {"interface", "type", "TList2 = class(TList);", "TBaz = integer;"},
       {100, 100, 140, 140}},
      {"repeat until",
       {"implementation", "procedure A;", "begin", "repeat", "x", "until done;", "end;"},
       {100, 100, 140, 180, 220, 180, 140}},
      {"nested routine stays one step in",
       {"implementation", "procedure A;", "procedure B;", "begin", "end;", "begin", "end;"},
       {100, 100, 140, 140, 140, 140, 140}},
      {"begin after then opens a block",
       {"implementation", "procedure A;", "begin", "if a then begin", "x", "end;", "end;"},
       {100, 100, 140, 180, 220, 180, 140}},
  };
  for (const Row &row : rows) {
    LayoutRun run;
    run.declared = row.declared;
    EXPECT_EQ(LayOut(row.lines, run).xs, row.xs) << row.name;
  }
}

TEST(IndentationRules, SelectedRoutineCountsAsImplementation) {
  LayoutRun run;
  run.selectedOnly = true;
  const Laid laid = LayOut({"procedure TForm1.Go(a: integer);", "begin", "x", "end;"}, run);
  EXPECT_EQ(laid.xs, (std::vector<int>{100, 140, 180, 140}));
  EXPECT_EQ(laid.headings, QList<QByteArray>{"Go (TForm1)|procedure"});
  EXPECT_TRUE(laid.state.BlankBefore);
}

TEST(BlockDiagram, BracketFromBeginToEnd) {
  LayoutRun run;
  run.declared = {"procedure a;"};
  const Laid laid = LayOut(
      {"interface", "procedure A;", "implementation", "procedure A;", "begin", "x := 1;", "end;"},
      run);
  // "begin" is row 4, "end;" row 6; each row's middle is 25 below its top.
  EXPECT_EQ(laid.diagram, (QStringList{"line 110 1225 130 1225", "line 110 1225 110 1325",
                                       "line 110 1325 130 1325"}));
  EXPECT_EQ(laid.state.BlockCount(), 0);
}

TEST(BlockDiagram, OffDrawsNothingButIndentsTheSame) {
  const QList<QByteArray> lines = {"implementation", "procedure A;", "begin", "x", "end;"};
  LayoutRun off;
  off.blocks = false;
  const Laid without = LayOut(lines, off);
  EXPECT_TRUE(without.diagram.isEmpty());
  EXPECT_EQ(without.xs, LayOut(lines).xs);
}

TEST(BlockDiagram, EndWithoutOpenBlockDrawsNoBracket) {
  const Laid laid = LayOut({"implementation", "end;", "end;", "x"});
  EXPECT_TRUE(laid.diagram.isEmpty());
  EXPECT_EQ(laid.state.BlockCount(), 0);
  EXPECT_EQ(laid.state.Depth, 0);
}

TEST(BlockDiagram, NestingDeeperThanSixteenLevels) {
  QList<QByteArray> lines = {"implementation", "procedure A;"};
  constexpr int kLevels = 40;
  for (int k = 0; k < kLevels; ++k)
    lines << "begin"
          << "if a then"
          << "try";
  for (int k = 0; k < kLevels; ++k)
    lines << "except"
          << "end;"
          << "else"
          << "end;";
  const Laid laid = LayOut(lines);
  EXPECT_EQ(laid.state.Depth, 0);
  EXPECT_EQ(laid.state.BlockCount(), 0);
  // The deepest "try" opened at depth 2 x 40, each one step further in as
  // the body of its "if", and closes on its own column.
  const int deepestTry = laid.xs[2 + 3 * kLevels - 1];
  EXPECT_EQ(deepestTry, 100 + 40 * 3 * kLevels);
  EXPECT_EQ(laid.xs[2 + 3 * kLevels], deepestTry);  // its "except"
  // Every bracket opened is closed: 2 x 40 ticks, 2 x 40 backs and closing ticks.
  EXPECT_EQ(laid.diagram.size(), 3 * 2 * kLevels);
}

TEST(BlockDiagram, PageEndRunsOpenBlocksDown) {
  VirtualPrinter printer;
  RecordingSurface surface;
  PageCanvas canvas(printer);
  canvas.SetPrinterMode(&surface);
  LayoutState state;
  state.Depth = 2;
  state.PushMark(BlockMark{150, 700, false});
  state.ContinueMarks(400);
  state.PushMark(BlockMark{150, 700, false});
  DrawOpenBlocksAtPageEnd(canvas, state, 3000, 100, 40);
  ASSERT_EQ(surface.lines.size(), 2);
  EXPECT_TRUE(surface.lines[0].startsWith("line 110 400 110 3000"));
  EXPECT_TRUE(surface.lines[1].startsWith("line 150 700 150 3000"));
}

TEST(RoutineHeadings, NamesAndDeclarationKeys) {
  struct Row {
    QByteArray line, name, key;
  };
  const Row rows[] = {
      {"procedure TForm1.Button1Click ( Sender : TObject );", "Button1Click (TForm1)",
       "procedure button1click ( sender : tobject );"},
      {"function Add ( a , b : integer ) : integer;", "Add",
       "function add ( a, b : integer ) : integer;"},
      // Nested classes keep their whole qualifier; class methods and generics.
      {"procedure TOuter.TInner.Go;", "Go (TOuter.TInner)", "procedure go;"},
      {"class function TList<T>.Make ( x : T = nil ) : T;", "Make (TList<T>)",
       "class function make ( x : t ) : t;"},
      {"procedure Go;", "Go", "procedure go;"},
      {"constructor TThing.Create;", "Create (TThing)", "constructor create;"},
      {"procedure", "procedure", "procedure"},
      // The printed line keeps what follows the header; the key does not.
      {"function TA.Area : Double; inline; // cached", "Area (TA)", "function area : double;"},
      {"function f : SysUtils.TBytes; { note }", "f", "function f : sysutils.tbytes;"},
      {"procedure TA.Go ( a : Integer ); overload; (* x ) : *)", "Go (TA)",
       "procedure go ( a : integer );"},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(RoutineNameOfHeading(row.line), row.name) << row.line.constData();
    EXPECT_EQ(DeclarationKeyOfHeading(row.line), row.key) << row.line.constData();
  }
}

// Blocks pair up with their ends, so that a routine after them starts at
// the margin even when nothing declares it (the declaration would reset the
// depth and hide a block left open).
TEST(IndentationRules, EveryBlockKindPairsWithItsEnd) {
  const QList<QByteArray> lines = {"implementation",
                                   "procedure A;",
                                   "begin",
                                   "repeat",
                                   "repeat",
                                   "x",
                                   "until a;",
                                   "until b;",
                                   "end;",
                                   "procedure B;",
                                   "type",
                                   "R = packed record",
                                   "case k: integer of",
                                   "1: (x: integer);",
                                   "2: (y: record a: integer;",
                                   "end);",
                                   "end;",
                                   "IFoo = interface",
                                   "procedure Go;",
                                   "end;",
                                   "TC = class(TObject)",
                                   "class procedure Make;",
                                   "end;",
                                   "TH = type helper for integer",
                                   "end;",
                                   "begin",
                                   "asm",
                                   "nop",
                                   "end;",
                                   "try",
                                   "y",
                                   "finally",
                                   "z",
                                   "end;",
                                   "end;",
                                   "procedure C;",
                                   "begin",
                                   "case k of",
                                   "1: x;",
                                   "end;",
                                   "end;",
                                   "procedure D;",
                                   "begin",
                                   "end;"};
  const Laid laid = LayOut(lines);
  EXPECT_EQ(laid.headings,
            (QList<QByteArray>{"A|procedure", "B|procedure", "C|procedure", "D|procedure"}));
  for (const QByteArray heading : {"procedure B;", "procedure C;", "procedure D;"})
    EXPECT_EQ(laid.xs[size_t(lines.indexOf(heading))], 100) << heading.constData();
  EXPECT_EQ(laid.state.Depth, 0);
  EXPECT_EQ(laid.state.RoutineDepth, 0);
  EXPECT_EQ(laid.state.BlockCount(), 0);
  // "until" closes on the column of its own "repeat".
  EXPECT_EQ(laid.xs[6], laid.xs[4]);
  EXPECT_EQ(laid.xs[7], laid.xs[3]);
}

// Shapes of real units that once left a routine open before the next
// heading: each ends with "procedure G;", which must be found, at the
// margin, with no routine open before it.
TEST(IndentationRules, HeadingsOfRealCodeStartAtTheMargin) {
  const struct {
    const char *name;
    QList<QByteArray> lines;
    QList<QByteArray> headings;
  } rows[] = {
      {"a var parameter on a header's later line, external after it",
       {"function F(a: cardinal;", "  Var b: cardinal): cardinal; cdecl;",
        "External 'DIVE' Index 11;"},
       {"F|function"}},
      {"a library call",
       {"function L: Pointer;", "syscall sysvbase TinyGLBase 640;"},
       {"L|function"}},
      {"directive alternatives on one line",
       {"function T(i: DWord): pointer;",
        "  {$ifdef wince}cdecl{$else}stdcall{$endif};external KernelDLL name 'T';"},
       {"T|function"}},
      {"directive alternatives on lines of their own",
       {"function I(n: PChar): cint;", "{$ifndef LIBC}", " external name 'x';", "{$else}",
        " cdecl; external clib name 'y';", "{$endif}"},
       {"I|function"}},
      {"nested alternatives of one header",
       {"{$ifndef F}", "Procedure C(s: Longint); cdecl;", "{$else}", "{$ifdef D}",
        "Function C(s: longint): longint; cdecl;", "{$else}", "Function C(s: longint): longint;",
        "{$endif}", "{$endif}", "var q: boolean;", "begin", "end;"},
       {"C|procedure", "C|function", "C|function"}},
      {"an anonymous method inside a statement",
       {"procedure TT.M;", "begin", "  Sync(nil,", "    procedure", "    begin", "      x;",
        "    end", "  );", "end;"},
       {"M (TT)|procedure"}},
      {"a method in one alternative, a nested routine in the other",
       {"{$ifdef N}", "function TC.Run: Boolean;", "{$endif}", "  const", "    k = 1;",
        "  function {$ifndef N}TC.{$endif}Sub: boolean;", "  begin", "  end;", "{$ifndef N}",
        "function TC.Run: Boolean;", "{$endif}", "begin", "end;"},
       {"Run (TC)|function", "Sub (TC)|function", "Run (TC)|function"}},
      {"a header after a comment", {"{ next } procedure H;", "begin", "end;"}, {"H|procedure"}},
      {"forward in capitals", {"procedure F(a: integer); FORWARD;"}, {}},
      {"external in brackets", {"procedure P; [External 'lib'];"}, {}},
  };
  for (const auto &row : rows) {
    QList<QByteArray> lines = {"implementation"};
    lines << row.lines << "procedure G;"
          << "begin"
          << "end;";
    LayoutRun run;
    run.declared = {"procedure g;"};  // so that an open block before it is counted
    const Laid laid = LayOut(lines, run);
    EXPECT_EQ(laid.headings, QList<QByteArray>(row.headings) << "G|procedure") << row.name;
    EXPECT_EQ(laid.xs[size_t(lines.indexOf("procedure G;"))], 100) << row.name;
    EXPECT_EQ(laid.state.HeadingsInsideBlocks, 0) << row.name;
    EXPECT_EQ(laid.state.RoutineDepth, 0) << row.name;
  }
  // The compiler reads nothing after the final "end.".
  const Laid ended = LayOut(
      {"implementation", "procedure G;", "begin", "end;", "end.", "procedure Junk;", "begin"});
  EXPECT_EQ(ended.headings, QList<QByteArray>{"G|procedure"});
}

// What governs a line moves it: the body of "then", "else", "do" or a case
// label one step in, a statement's later lines one step in, a type's end
// whatever follows it; and no bracket runs through a line's text.
TEST(IndentationRules, LinesStandUnderWhatGovernsThem) {
  const struct {
    const char *name;
    QList<QByteArray> lines;
    std::vector<int> xs;
  } rows[] = {
      {"bodies of then, else and do",
       {"implementation",
        "procedure A;",
        "begin",
        "if a then",
        "b",
        "else",
        "c;",
        "for i := 1 to 2 do",
        "x;",
        "while a do",
        "with b do",
        "y;",
        "z;",
        "if a then",
        "begin",
        "q;",
        "end",
        "else if b then",
        "r",
        "else",
        "s;",
        "end;"},
       {100, 100, 140, 180, 220, 180, 220, 180, 220, 180, 220,
        260, 180, 180, 180, 220, 180, 180, 220, 180, 220, 140}},
      {"case labels, and a case's else under an if",
       {"implementation", "procedure A;", "begin", "if a then", "case k of", "1: x;", "2:", "y;",
        "else", "z;", "end;", "w;", "end;"},
       {100, 100, 140, 180, 220, 260, 260, 300, 260, 300, 220, 180, 140}},
      {"repeat as a body",
       {"implementation", "procedure A;", "begin", "if a then", "repeat", "x;", "until b;", "y;",
        "end;"},
       {100, 100, 140, 180, 220, 260, 220, 180, 140}},
      {"continuation lines and a header over two lines",
       {"implementation", "procedure A(a: integer;", "b: integer);", "begin", "x := f(1,", "2) +",
        "3;", "if a and", "b then", "c;", "y := 1;", "end;"},
       {100, 100, 140, 140, 180, 220, 220, 180, 220, 220, 180, 140}},
      {"type closers, and the type section after a type",
       {"interface",
        "type",
        "TA = integer;",
        "TB = class",
        "x: integer;",
        "end deprecated;",
        "TC = record",
        "a: integer;",
        "end {c};",
        "TD = record",
        "case k: integer of",
        "1: (r: record",
        "y: integer;",
        "end);",
        "end platform;",
        "TE = object",
        "end {$ifdef X}experimental{$endif};",
        "TF = interface",
        "end ;",
        "TG = integer;",
        "implementation",
        "procedure P;",
        "begin",
        "end;"},
       {100, 100, 140, 140, 180, 140, 140, 180, 140, 140, 180, 220,
        260, 220, 140, 140, 140, 140, 140, 140, 100, 100, 140, 140}},
      {"a nested routine's declarations, initialization",
       {"implementation", "procedure A;", "procedure B;", "var", "x: integer;", "begin", "end;",
        "var", "y: integer;", "begin", "end;", "initialization", "x := 1;", "end."},
       {100, 100, 140, 140, 180, 140, 140, 100, 140, 140, 140, 100, 140, 100}},
      {"a program's routines and main block",
       {"program P;", "procedure A;", "begin", "end;", "begin", "x;", "end."},
       {100, 100, 140, 140, 140, 180, 140}},
      {"case labels over two lines, a property over two, directives of a declaration, parameters",
       {"interface",
        "type",
        "TA = class",
        "property P: integer",
        "read F write F;",
        "end;",
        "function F(a: integer): integer; cdecl;",
        "external 'lib';",
        "procedure G(",
        "const a: integer;",
        "var b: integer);",
        "implementation",
        "procedure A;",
        "begin",
        "case k of",
        "1, 2,",
        "3:",
        "begin",
        "end;",
        "end;",
        "end;"},
       {100, 100, 140, 180, 220, 140, 140, 180, 140, 180, 180,
        100, 100, 140, 180, 220, 220, 220, 220, 180, 140}},
      // Where Pascal has two habits the layout keeps the author's (leading
      // blanks here): "then" on a line of its own, a case's "else" body, a
      // nested routine's body, the sections of a unit.
      {"as the author indented",
       {"interface",      "  uses",       "    a;",         "  type",      "    TA = integer;",
        "implementation", "procedure A;", "  procedure B;", "    begin",   "    end;",
        "begin",          "  if x",       "    then y;",    "  case k of", "    1: z;",
        "    else",       "      begin",  "      end;",     "  end;",      "end;"},
       {100, 140, 180, 140, 180, 100, 100, 140, 180, 180,
        140, 180, 220, 180, 220, 220, 260, 260, 180, 140}},
      {"an anonymous method's block stands at its statement's column, under a for or an if too",
       {"implementation", "procedure A;", "begin", "for i := 0 to 9 do", "Queue(nil,", "procedure",
        "begin", "Foo;", "end);", "Bar;", "if r then", "Run(procedure", "begin", "Foo;", "end)",
        "else", "Bar;", "end;"},
       {100, 100, 140, 180, 220, 220, 220, 260, 220, 180, 180, 220, 220, 260, 220, 180, 220, 140}},
      {"{$IFDEF} alternatives that each open a block start at the same column",
       {"implementation", "procedure A;", "begin", "{$IFDEF D}", "if a then", "begin", "{$ELSE}",
        "if b then", "begin", "{$ENDIF}", "x;", "end;", "end;"},
       {100, 100, 140, 180, 180, 180, 180, 180, 180, 220, 220, 180, 140}},
      {"sections of a class's members, a record declared in one",
       {"interface", "type", "TBar = class", "public type", "TKind = integer;", "var",
        "Kind: TKind;", "const", "C = 1;", "type", "TR = record", "a: integer;", "end;",
        "procedure Go;", "end;", "var", "G: TBar;", "implementation"},
       {100, 100, 140, 140, 180, 180, 220, 180, 220, 180, 220, 260, 220, 180, 140, 100, 140, 100}},
      // Delphi's inline declarations are statements; an anonymous
      // method's "end" may go on with the call it is passed to.
      {"inline declarations and anonymous methods",
       {"implementation", "procedure A;", "var",           "x: integer;",
        "begin",          "var y := 1;",  "if y > 0 then", "begin",
        "const z = 2;",   "x := z;",      "end;",          "Run(function(a: integer): integer",
        "begin",          "Result := a;", "end, 3);",      "Queue(nil,",
        "procedure",      "var",          "i: integer;",   "begin",
        "i := 0;",        "end);",        "try",           "x := 1;",
        "finally",        "end;",         "end;",          "procedure B;",
        "begin",          "end;"},
       {100, 100, 100, 140, 140, 180, 180, 180, 220, 220, 180, 180, 180, 220, 180,
        180, 180, 180, 220, 180, 220, 180, 180, 220, 180, 180, 140, 100, 140, 140}},
  };
  for (const auto &row : rows) {
    const Laid laid = LayOut(row.lines);
    EXPECT_EQ(laid.xs, row.xs) << row.name;
    EXPECT_EQ(laid.state.Depth, 0) << row.name;
    EXPECT_EQ(laid.state.BlockCount(), 0) << row.name;
    // A bracket's back runs left of every row it passes.
    for (const QString &line : laid.diagram) {
      const QStringList n = line.split(QLatin1Char(' '));
      if (n[1] != n[3]) continue;
      const int x = n[1].toInt(), from = n[2].toInt(), to = n[4].toInt();
      for (size_t i = 0; i < laid.xs.size(); ++i) {
        const int middle = kTop + int(i) * kRow + kRow / 2;
        if (middle > from && middle < to)
          EXPECT_GT(laid.xs[i], x) << row.name << ": row " << i << " under " << line.toStdString();
      }
    }
  }
  // Only the program's own routine is a heading; a program may start with
  // its uses clause.
  EXPECT_EQ(LayOut({"program P;", "procedure A;", "begin", "end;", "begin", "end."}).headings,
            QList<QByteArray>{"A|procedure"});
  EXPECT_EQ(
      LayOut({"{ a", "}", "uses x;", "procedure A;", "begin", "end;", "begin", "end."}).headings,
      QList<QByteArray>{"A|procedure"});
}
