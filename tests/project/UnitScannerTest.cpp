#include <QFile>
#include <algorithm>

#include "project/ReaderFixture.h"

using namespace scrivane;
using readertest::ReaderFixture;

namespace {

class UnitScanner : public ReaderFixture {};

TEST_F(UnitScanner, SplitsSourceLinesBeforeBlockWords) {
  struct Row {
    QByteArray source;
    QList<QByteArray> lines;
  } rows[] = {
      {"if a then begin", {"if a then ", "begin  "}},
      {"end;", {"end;  "}},
      {"x := 1; end;", {"x := 1; ", "end;  "}},
      {"x try begin", {"x try ", "", "begin  "}},
      {"s := 'a begin';", {"s := 'a begin';  "}},
      {"x { begin }", {"x { begin }  "}},
      {"repeat x; until y;", {"repeat x; ", "until y;  "}},
      {"\nx", {"  ", "x  "}},
      // Block words in any case; longer words that start like them do not split.
      {"x BEGIN y End; z", {"x ", "BEGIN y ", "End; z  "}},
      {"x ending endx beginning finallyx asm", {"x ending endx beginning finallyx ", "asm  "}},
      {"x Finally Begin", {"x Finally ", "", "Begin  "}},
      {"f(a) + g((b)) begin", {"f ( a ) + g ( ( b ) ) ", "begin  "}},
      {"x (* begin *) y case", {"x (* begin *) y ", "case  "}},
      // Eleven blanks shorten to two, and the empty word between them
      // splits nothing; a lone "/" or "(" opens no comment.
      {"x           begin", {"x  ", "begin  "}},
      {"x := a / b; begin", {"x := a / b; ", "begin  "}},
      {"c := #13 begin", {"c := #13 ", "begin  "}},
  };
  for (const Row &row : rows) {
    QList<QByteArray> lines = LoadLines(row.source);
    EXPECT_EQ(lines, row.lines) << row.source.constData();
  }
  // A quoted word "begin" in a string that is closed does not split either.
  EXPECT_EQ(LoadLines("f('begin')").size(), 1);
}

TEST_F(UnitScanner, EveryKindOfLineEndEndsALineAndNothingIsLost) {
  EXPECT_EQ(LoadLines("a\rb\r\nc\nd"), (QList<QByteArray>{"a  ", "b  ", "c  ", "d  "}));
  EXPECT_EQ(LoadLines("a\r\n\r\nb\n"), (QList<QByteArray>{"a  ", "  ", "b  "}));
  // Blank lines after the last text would only make a page of empty rows.
  EXPECT_EQ(LoadLines("a\n\n \n\t\n"), (QList<QByteArray>{"a  "}));
  EXPECT_TRUE(LoadLines("").isEmpty());
}

// A large unit is read in two halves at once. Whatever stands at the cut
// (a comment or string over it, any line ends), the lines and their
// numbers are those of reading it in one pass.
TEST(ReadLines, TwoHalvesReadAsOnePass) {
  auto numbered = [](const LineList &lines) {
    QList<QByteArray> out;
    for (qsizetype i = 0; i < lines.size(); ++i)
      out << QByteArray::number(lines.startsFileLine(i) ? lines.fileLine(i) : -lines.fileLine(i)) +
                 '|' + lines[i].toByteArray();
    return out;
  };
  QByteArray body;
  for (int k = 0; body.size() < 100 * 1024; ++k)
    body += "procedure P" + QByteArray::number(k) +
            "; begin x := 'a' + #13; if x then begin y; end; end;\n";
  const qsizetype middle = body.size() / 2;
  QList<QByteArray> texts = {body,
                             body.left(middle) + "{ a comment\nover the cut\n}" + body.mid(middle),
                             body.left(middle) + "(* and\nanother *)" + body.mid(middle),
                             body.left(middle) + "{ never closed\n" + body.mid(middle),
                             QByteArray(body).replace('\n', "\r\n"),
                             QByteArray(body).replace('\n', '\r')};
  for (const char *path : {"/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pasresolver.pp",
                           "/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pparser.pp"}) {
    QFile file(QString::fromLatin1(path));
    if (file.open(QIODevice::ReadOnly)) texts << file.readAll();
  }
  for (const QByteArray &text : texts)
    for (const bool lower : {false, true})
      ASSERT_EQ(numbered(ReadLines(text, lower)), numbered(ReadLines(text, lower, false)))
          << text.left(40).toStdString() << " lower " << lower;
}

TEST_F(UnitScanner, BinaryAndMissingFilesGiveTheirMessagesAndAnEmptyList) {
  LoadLines(QByteArray("unit a;\0\x01procedure x;", 21));
  EXPECT_EQ(messages.warnings, QStringList{"File is binary. Please save it as text file."});
  EXPECT_TRUE(model.SourceLines.isEmpty());
  EXPECT_TRUE(model.CurrentUnitPath.isEmpty());

  // A few NULs where an editor slipped (Lazarus's chmlangref.pas) are not
  // a binary file: the compiler takes them for blanks, and so do we.
  messages.warnings.clear();
  QByteArray slipped =
      "unit a;\ninterface\nimplementation\nprocedure x;\nbegin\n  if a\n"
      "  @@@@and b then\n    y;\nend;\nend.\n";
  slipped.replace('@', '\0');
  slipped += QByteArray(1000, '\n');
  const QList<QByteArray> lines = LoadLines(slipped);
  EXPECT_EQ(messages.warnings, QStringList{});
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QByteArray &line) {
    return line.startsWith("and b then");
  })) << QByteArrayList(lines).join('|').left(300).toStdString();
  EXPECT_FALSE(std::any_of(lines.begin(), lines.end(),
                           [](const QByteArray &line) { return line.contains('\0'); }));

  messages.warnings.clear();
  ClearForOpen(model);
  OpenPath(ctx, Path("Absent.pas"));
  EXPECT_EQ(messages.warnings, QStringList{Path("Absent.pas") + " not found."});
  EXPECT_TRUE(model.Routines.isEmpty());
}

TEST_F(UnitScanner, LongLinesKeepEveryWord) {
  QByteArray source = "x := ";
  for (int i = 0; i < 400; ++i) source += "a" + QByteArray::number(i) + " + ";
  source += QByteArray(500, 'z') + ";";
  const auto lines = LoadLines(source);
  ASSERT_EQ(lines.size(), 1);
  EXPECT_TRUE(lines[0].contains("a399 + " + QByteArray(500, 'z') + ";"));
}

const char kClassUnit[] =
    "unit Shapes;\n"
    "interface\n"
    "type\n"
    "  TShape = class\n"
    "    procedure Click; override;\n"
    "    procedure Move(dx,\n"
    "      dy: Integer);\n"
    "    function Area: Double; virtual;\n"
    "    function Scale(f: Double): Double; virtual;\n"
    "    class function Make: TShape;\n"
    "    constructor Create;\n"
    "    destructor Destroy; override;\n"
    "  end;\n"
    "  TOther = class\n"
    "    procedure Click; override;\n"
    "  end;\n"
    "function Helper: SysUtils.TBytes;\n"
    "implementation\n"
    "procedure Local;\n"
    "begin\n"
    "end;\n"
    "procedure TShape.Click;\n"
    "begin\n"
    "  Local;\n"
    "end;\n"
    "procedure TShape.Move(dx,\n"
    "  dy: Integer);\n"
    "begin x := dx; end;\n"
    "function TShape.Area: Double;\n"
    "begin Result := 0; end;\n"
    "function TShape.Scale(f: Double): Double;\n"
    "begin Result := f; end;\n"
    "class function TShape.Make: TShape;\n"
    "begin end;\n"
    "constructor TShape.Create;\n"
    "begin end;\n"
    "destructor TShape.Destroy;\n"
    "begin end;\n"
    "procedure TOther.Click;\n"
    "begin end;\n"
    "function Helper: SysUtils.TBytes;\n"
    "begin end;\n"
    "end.\n";

TEST_F(UnitScanner, ListsImplementedRoutinesThatMatchADeclaration) {
  const int before = int(QByteArray(kClassUnit).count('\n'));
  LoadLines(kClassUnit);
  EXPECT_EQ(RoutineTexts(), (QList<QByteArray>{
                                "class function tshape.make : tshape;",
                                "constructor tshape.create;",
                                "destructor tshape.destroy;",
                                "function helper : sysutils.tbytes;",
                                "function tshape.area : double;",
                                "function tshape.scale ( f : double ) : double;",
                                "procedure tother.click;",
                                "procedure tshape.click;",
                                "procedure tshape.move ( dx, dy : integer );",
                            }));
  EXPECT_EQ(model.Routines[0].kind, EntryKind::Function);
  EXPECT_EQ(model.Routines[1].kind, EntryKind::Constructor);
  EXPECT_EQ(model.Routines[2].kind, EntryKind::Destructor);
  EXPECT_EQ(model.Routines[4].kind, EntryKind::Function);
  EXPECT_EQ(model.Routines[7].kind, EntryKind::Procedure);
  // Each entry names the line its header is on.
  for (int i = 0; i < model.Routines.size(); ++i) {
    const int line = model.Routines[i].line;
    ASSERT_TRUE(line >= 0 && line < model.SourceLines.size()) << line;
    EXPECT_EQ(model.SourceLines[line].toByteArray().toLower().trimmed(), model.Routines[i].text);
  }
  // Two joined headers take two lines less, and nothing follows the unit's end.
  EXPECT_EQ(model.SourceLines.size(), before + 8 - 2);  // eight "end;" split off
  EXPECT_EQ(model.SourceLines.last().trimmed(), "end.");
}

// A program lists each routine of its own once: not a forward header, a
// method its class declares or a routine nested in another.
TEST_F(UnitScanner, ProgramListsItsOwnRoutinesOnce) {
  LoadLines(
      "program p;\ntype\n  t = class\n    procedure a; virtual;\n  end;\n"
      "procedure fwd; forward;\nprocedure t.a;\nbegin\nend;\n"
      "procedure outer;\n  procedure inner;\n  begin\n  end;\nbegin\nend;\n"
      "procedure fwd;\nbegin\nend;\nbegin\nend.\n");
  EXPECT_EQ(RoutineTexts(),
            (QList<QByteArray>{"procedure fwd;", "procedure outer;", "procedure t.a;"}));
}

TEST_F(UnitScanner, HeaderKeepsTheTextAfterItsFirstSemicolonForPrinting) {
  // Before, the header lines were cut in place, and the listing lost every
  // directive and trailing comment; a comment holding ") :" hid the routine.
  LoadLines(
      "unit u;\ninterface\ntype\n  TA = class\n"
      "    procedure Click; virtual; abstract;\n"
      "    procedure Move(dx,\n      dy: Integer); overload; // moves\n"
      "    function Area: Double; inline;\n"
      "    function Check(p: PChar): boolean; // the normal messages: filename(y,x): Hint: ..\n"
      "  end;\n"
      "procedure Ext; external name 'ext';\n"
      "implementation\n"
      "procedure TA.Move(dx,\n  dy: Integer); // with (a comment\nbegin end;\n"
      "function TA.Check(p: PChar): boolean;\nbegin end;\n"
      "function TA.Area: Double; inline;\nbegin end;\n"
      "end.\n");
  QList<QByteArray> trimmed;
  for (QByteArrayView line : model.SourceLines) trimmed << line.trimmed().toByteArray();
  EXPECT_EQ(
      trimmed,
      (QList<QByteArray>{
          "unit u;",
          "interface",
          "type",
          "TA = class",
          "procedure Click; virtual; abstract;",
          "procedure Move ( dx, dy : Integer ); overload; // moves",
          "function Area : Double; inline;",
          "function Check ( p : PChar ) : boolean; // the normal messages: filename(y,x): Hint: ..",
          "end;",
          "procedure Ext; external name 'ext';",
          "implementation",
          "procedure TA.Move ( dx, dy : Integer ); // with (a comment",
          "begin",
          "end;",
          "function TA.Check ( p : PChar ) : boolean;",
          "begin",
          "end;",
          "function TA.Area : Double; inline;",
          "begin",
          "end;",
          "end.",
      }));
  EXPECT_EQ(model.DeclaredRoutines, (QList<QByteArray>{
                                        "procedure click;",
                                        "procedure move ( dx, dy : integer );",
                                        "function area : double;",
                                        "function check ( p : pchar ) : boolean;",
                                        "procedure ext;",
                                    }));
  EXPECT_EQ(RoutineTexts(), (QList<QByteArray>{
                                "function ta.area : double;",
                                "function ta.check ( p : pchar ) : boolean;",
                                "procedure ta.move ( dx, dy : integer );",
                            }));
  // A selection starts with the whole header line and stops at the next
  // listed routine, whatever follows that one's header.
  model.Routines[2].selected = true;
  CollectSelectedText(model);
  EXPECT_EQ(model.ListingLines.size(), 3);
  EXPECT_EQ(model.ListingLines.first().trimmed(),
            "procedure TA.Move ( dx, dy : Integer ); // with (a comment");
}

TEST_F(UnitScanner, JoinThatWouldChangeTheTextIsNotPrintedAsOneLine) {
  // Joined after a "//" comment the parameters would print as comment text;
  // the header still completes for its key.
  LoadLines(
      "interface\nprocedure P(a: Integer; // first\n  b: Integer);\nimplementation\n"
      "procedure P(a: Integer; // first\n  b: Integer);\nbegin end;\n"
      "{ left out:\nprocedure Q(x,\n  y: Integer); }\nend.\n");
  EXPECT_EQ(RoutineTexts(), QList<QByteArray>{"procedure p ( a : integer; b : integer );"});
  EXPECT_EQ(model.SourceLines.size(), 12);
  EXPECT_EQ(model.SourceLines[4].trimmed(), "procedure P ( a : Integer; // first");
  // A header inside a comment is neither joined nor declared; it is
  // comment text, as written.
  EXPECT_EQ(model.SourceLines[9].trimmed(), "procedure Q(x,");
}

TEST_F(UnitScanner, LineCommentIsNeverSplitAtBlockWords) {
  // Before, "begin", "case" or "end" inside a "//" comment started a line of
  // code of its own, and a brace comment over several lines was split too.
  struct Row {
    QByteArray source;
    QList<QByteArray> lines;
  } rows[] = {
      {"TOpt = (oA, // Case sensitive names", {"TOpt = ( oA, // Case sensitive names  "}},
      {"x := 1; // begin end until", {"x := 1; // begin end until  "}},
      // Written straight after a word, "//" still opens the comment.
      {"x := b//begin end", {"x := b //begin end  "}},
      {"s := 'http://x'; begin", {"s := 'http://x'; ", "begin  "}},
      {"{ a\nx begin b }\nc begin", {" { a  ", "x begin b }  ", "c ", "begin  "}},
      {"(* a\nx end; *) y end;", {" (* a  ", "x end; *) y ", "end;  "}},
      // A string holding ")" is closed by its own quote only.
      {"s := ')'; begin", {"s := ')'; ", "begin  "}},
      {"'a begin' + x begin", {"'a begin' + x ", "begin  "}},
  };
  for (const Row &row : rows) EXPECT_EQ(LoadLines(row.source), row.lines) << row.source.constData();
}

TEST_F(UnitScanner, SelectionTextRunsToTheLastEndAndTakesLocalRoutines) {
  LoadLines(
      "unit u;\ninterface\nprocedure A;\nprocedure B;\nimplementation\n"
      "procedure Inner;\nbegin\nend;\n"
      "procedure A;\nprocedure Nested;\nbegin end;\nbegin\n  Nested;\nend;\n\n{ gap }\n"
      "procedure B;\nbegin\nend;\nend.\n");
  ASSERT_EQ(RoutineTexts(), (QList<QByteArray>{"procedure a;", "procedure b;"}));
  model.Routines[0].selected = true;
  CollectSelectedText(model);
  ASSERT_FALSE(model.ListingLines.isEmpty());
  EXPECT_EQ(model.ListingLines.first().trimmed(), "procedure A;");
  EXPECT_TRUE(model.ListingLines.join().contains("procedure Nested;"));
  EXPECT_TRUE(model.ListingLines.last().startsWith("end;"));
  EXPECT_FALSE(model.ListingLines.join().contains("gap"));

  // A routine without any "end;" keeps its whole text, header included.
  LoadLines("interface\nprocedure A;\nimplementation\nprocedure A;\nbegin\n  x\n");
  model.Routines[0].selected = true;
  CollectSelectedText(model);
  EXPECT_EQ(model.ListingLines.size(), 3);
}

TEST_F(UnitScanner, BraceOrParenStarInsideAStringDefaultDoesNotCutTheHeader) {
  LoadLines(
      "unit u;\ninterface\n"
      "function Helper(const S: string = '{'): Boolean;\n"
      "function Mask(const S: string = '(*.*)'): Boolean;\n"
      "procedure Wrap(const S: string = 'a{b');\n"
      "procedure Noted;\n"
      "implementation\n"
      "function Helper(const S: string = '{'): Boolean;\nbegin end;\n"
      "function Mask(const S: string = '(*.*)'): Boolean;\nbegin end;\n"
      "procedure Wrap(const S: string = 'a{b'); { wraps }\nbegin end;\n"
      "procedure Noted; { a note }\nbegin end;\n"
      "end.\n");
  EXPECT_EQ(RoutineTexts(), (QList<QByteArray>{
                                "function helper ( const s : string = '{' ) : boolean;",
                                "function mask ( const s : string = '(*.*)' ) : boolean;",
                                "procedure noted;",
                                "procedure wrap ( const s : string = 'a{b' );",
                            }));
}

TEST_F(UnitScanner, LowerOptionLowersEveryLine) {
  ctx.choices.lowerCase = true;
  const auto lines = LoadLines("Unit U;\nBEGIN X END;");
  for (const QByteArray &line : lines) EXPECT_EQ(line, line.toLower());
}

TEST(RoutineKeyTest, DropsQualifiersOfTheNameOnly) {
  const struct {
    const char *header, *key;
  } rows[] = {
      {"procedure tform1.click;", "procedure click;"},
      {"procedure touter.tinner.go ( x : integer );", "procedure go ( x : integer );"},
      {"function f : sysutils.tbytes;", "function f : sysutils.tbytes;"},
      {"procedure plain;", "procedure plain;"},
      {"procedure", "procedure"},
  };
  for (const auto &row : rows) EXPECT_EQ(RoutineKey(row.header), QByteArray(row.key)) << row.header;
}

TEST(ProjectModelTest, RoutineReferencesMoveWithTheirEntries) {
  ProjectModel model;
  model.AddRoutine("procedure b;", EntryKind::Procedure, 9);
  model.AddRoutine("function a;", EntryKind::Function, 30);
  model.AddRoutine("procedure b;", EntryKind::Procedure, 40);
  model.AddRoutine("Procedure A;", EntryKind::Procedure, 100);
  auto lines = [](const ProjectModel &m) {
    QList<int> out;
    for (const RoutineEntry &e : m.Routines) out.append(e.line);
    return out;
  };
  EXPECT_EQ(lines(model), (QList<int>{30, 100, 9, 40}));

  // Adding a batch at once gives the order adding one by one gives, equal
  // texts in file order included.
  ProjectModel oneByOne = model, batch = model;
  QList<RoutineEntry> entries;
  for (int i = 0; i < 300; ++i) {
    const QByteArray text =
        (i % 3 ? "procedure " : "Procedure ") + QByteArray(1, char('a' + (i * 7) % 5)) + ';';
    oneByOne.AddRoutine(text, EntryKind::Procedure, i);
    entries.append(RoutineEntry{text, EntryKind::Procedure, false});
    entries.last().line = i;
  }
  batch.AddRoutines(entries);
  EXPECT_EQ(lines(batch), lines(oneByOne));
}

}  // namespace

namespace {

class RoutineHeaders : public ReaderFixture {};

// Headers that were dropped or listed twice, against the entries listed.
TEST_F(RoutineHeaders, EveryImplementedRoutineIsListedOnce) {
  const struct {
    const char *name;
    QByteArray source;
    QList<QByteArray> listed;
    bool implementationRoutines = false;  // [Switch] ImplementationRoutines
    QList<bool> implementationOnly = {};  // by entry, when given
  } rows[] = {
      {"[external name] has no body; {$IFDEF} alternatives of one routine as procedure and "
       "function; a record's "
       "management operator",
       "unit u;\ninterface\ntype\n  TN = record\n    class operator Initialize(var a: TN);\n  "
       "end;\n"
       "function Alloc(L: integer): pointer;\nimplementation\n"
       "procedure fpc_conv(var r: string; p: pchar); [external name 'FPC_CONV'];\n"
       "function Alloc(L: integer): pointer;\nbegin end;\n"
       "{$ifdef A}\nProcedure Catch(Sig: longint); cdecl;\n{$else}\nFunction Catch(Sig: longint): "
       "longint; cdecl;\n"
       "{$endif}\nbegin end;\nclass operator TN.Initialize(var a: TN);\nbegin end;\nend.\n",
       {"class operator tn.initialize ( var a : tn );", "function alloc ( l : integer ) : pointer;",
        "procedure catch ( sig : longint );"},
       true},
      {"Delphi's: an attribute before a method, a record's Assign operator, an anonymous "
       "method with declarations on lines of their own",
       "unit u;\ninterface\ntype\n  TT = class\n    [Test] procedure Adds;\n  end;\n"
       "  TR = record\n    class operator Assign(var D: TR; const [ref] S: TR);\n  end;\n"
       "implementation\nprocedure TT.Adds;\nbegin\n  Run(\n    procedure\n    var\n"
       "      I: Integer;\n    begin\n    end);\nend;\n"
       "class operator TR.Assign(var D: TR; const [ref] S: TR);\nbegin end;\nend.\n",
       {"class operator tr.assign ( var d : tr; const [ref] s : tr );", "procedure tt.adds;"},
       true,
       {false, false}},
      {"a nested routine named as a global is listed once",
       "unit u;\ninterface\nprocedure Error;\nprocedure Run;\nimplementation\n"
       "procedure Run;\n  procedure Error;\n  begin end;\nbegin\n  Error;\nend;\n"
       "procedure Error;\nbegin end;\nend.\n",
       {"procedure error;", "procedure run;"}},
      {"a block {$IFDEF} leaves unpaired does not hide the next routine",
       "unit u;\ninterface\nprocedure A;\nprocedure B;\nimplementation\nprocedure A;\nbegin\n"
       "{$IFDEF X}\n  if a then begin\n{$ELSE}\n  if b then begin\n{$ENDIF}\n  end;\nend;\n"
       "procedure B;\nbegin end;\nend.\n",
       {"procedure a;", "procedure b;"}},
      {"routines of the implementation part, marked, none nested or declared without body",
       "unit u;\ninterface\nprocedure Run;\nimplementation\ntype\n  TCursor = class\n    procedure "
       "Execute;\n"
       "  end;\n  TRec = record\n    case integer of\n      1: (a: integer);\n  end;\n"
       "procedure Helper(a: integer); forward;\nprocedure Ext; external 'x';\n"
       "function Local: integer;\n  procedure Inner;\n  begin end;\nbegin\n  case x of\n    1: "
       "begin end;\n"
       "  end;\nend;\nprocedure TCursor.Execute;\nbegin end;\nprocedure Run;\nbegin end;\n"
       "procedure Helper(a: integer);\nasm\nend;\nend.\n",
       {"function local : integer;", "procedure helper ( a : integer );", "procedure run;",
        "procedure tcursor.execute;"},
       true,
       {true, true, false, true}},
      {"short form takes its own class's declared header",
       "unit u;\ninterface\ntype\n  TFoo = class\n    function Bar(x: integer): boolean;\n"
       "    procedure Go(a: string);\n  end;\n  TOther = class\n    function Bar: string;\n  end;\n"
       "implementation\nfunction TOther.Bar;\nbegin end;\nfunction TFoo.Bar;\nbegin end;\n"
       "procedure TFoo.Go;\nbegin end;\nend.\n",
       {"function tfoo.bar ( x : integer ) : boolean;", "function tother.bar : string;",
        "procedure tfoo.go ( a : string );"}},
      {"a comment line starting with a section word",
       "{\n  Creates scopes for\n    implementation, procs\n}\nunit u;\ninterface\ntype\n  TA = "
       "class\n"
       "    destructor Destroy; override;\n  end;\n// implementation notes\nimplementation\n"
       "destructor TA.Destroy;\nbegin end;\nend.\n",
       {"destructor ta.destroy;"}},
      {"class methods and operators",
       "unit u;\ninterface\ntype\n  TV = record\n    class operator Add(a, b: TV): TV;\n"
       "    class function Zero: TV; static;\n    class procedure Reset(var v: TV);\n  end;\n"
       "operator + (a, b: TV) r: TV;\noperator := (x: integer): TV;\nimplementation\n"
       "class operator TV.Add(a, b: TV): TV;\nbegin end;\nclass function TV.Zero: TV;\nbegin end;\n"
       "class procedure TV.Reset;\nbegin end;\n"
       "operator + (a, b: TV) r: TV;\nbegin end;\noperator := (x: integer): TV;\nbegin end;\n"
       "procedure Local;\nbegin\n  Operator := 1;\nend;\nend.\n",
       {"class function tv.zero : tv;", "class operator tv.add ( a, b : tv ) : tv;",
        "class procedure tv.reset ( var v : tv );", "operator + ( a, b : tv ) r : tv;",
        "operator := ( x : integer ) : tv;"}},
      {"generic routines keep their type parameters",
       "unit u;\ninterface\ntype\n  generic TList<T> = class\n    function Add(x: T): integer;\n  "
       "end;\n"
       "  TDict<K, V> = class\n    procedure Put(k: K;\n      v: V);\n  end;\n"
       "generic function Max<T>(a, b: T): T;\nimplementation\nfunction TList.Add(x: T): "
       "integer;\nbegin end;\n"
       "procedure TDict<K, V>.Put(k: K; v: V);\nbegin end;\ngeneric function Max<T>(a, b: T): "
       "T;\nbegin end;\n"
       "end.\n",
       {"function tlist.add ( x : t ) : integer;", "generic function max<t> ( a, b : t ) : t;",
        "procedure tdict<k, v>.put ( k : k; v : v );"}},
      {"shapes of real units",
       "unit u;\ninterface\ntype\n"
       "  TObj = object a: Int64; public constructor Create; procedure Foo; virtual; end;\n"
       "  TC = class\n{   procedure Old;\n}   function Seq(a: integer;\n      b: integer): "
       "boolean;\n"
       "    procedure EndBlock(p: integer);\n"
       "    {$ifdef fpc}generic{$endif} procedure Gen<T: IInterface>(x: T);\n"
       "    class procedure Del(a: integer);\n    function V(): integer;\n"
       "    procedure Wide(a1: integer;\n a2: integer;\n a3: integer;\n a4: integer;\n a5: "
       "integer;\n"
       " a6: integer;\n a7: integer;\n a8: integer;\n a9: integer);\n  end;\n"
       "function A(n: Long): Long;function B(n: Long): Long;\n"
       "operator/ (a, b: TV) r: TV;\noperator <(a, b: TV) r: boolean;\n"
       "implementation\nconstructor TObj.Create;\nbegin end;\nprocedure TObj.Foo;\nbegin end;\n"
       "function TC.Seq(a: integer; b: integer): boolean;\nbegin end;\n"
       "procedure TC.EndBlock(p: integer);\n  procedure EndBlock;\n  begin end;\nbegin end;\n"
       "{$ifdef fpc}generic{$endif} procedure TC.Gen<T>(x: T);\nbegin end;\n"
       "procedure TC.Del(a: integer);\nbegin end;\nfunction TC.V: integer;\nbegin end;\n"
       "procedure TC.Wide(a1: integer;\n a2: integer;\n a3: integer;\n a4: integer;\n a5: "
       "integer;\n"
       " a6: integer;\n a7: integer;\n a8: integer;\n a9: integer);\nbegin end;\n"
       "function A(n: Long): Long;\nbegin end;\nfunction B(n: Long): Long;\nbegin end;\n"
       "operator/(a, b: TV) r: TV;\nbegin end;\noperator<(a, b: TV) r: boolean;\nbegin end;\n"
       "end.\nprocedure TC.Del(a: integer);\n",
       {"constructor tobj.create;", "function a ( n : long ) : long;",
        "function b ( n : long ) : long;",
        "function tc.seq ( a : integer; b : integer ) : boolean;", "function tc.v : integer;",
        "generic procedure tc.gen<t> ( x : t );", "operator/ ( a, b : tv ) r : tv;",
        "operator< ( a, b : tv ) r : boolean;", "procedure tc.del ( a : integer );",
        "procedure tc.endblock ( p : integer );",
        "procedure tc.wide ( a1 : integer; a2 : integer; a3 : integer; a4 : integer; a5 : integer; "
        "a6 : integer; "
        "a7 : integer; a8 : integer; a9 : integer );",
        "procedure tobj.foo;"}},
      {"routines implemented elsewhere and classes of the implementation part",
       "unit u;\ninterface\ntype\n  TFoo = class\n    procedure Execute(A: Integer; B: string);\n  "
       "end;\n"
       "function Ext(a: integer): integer; cdecl;\nprocedure Fwd;\nimplementation\n"
       "function Ext(a: integer): integer; cdecl;\n  external 'libext' name 'ext';\n"
       "procedure Fwd; forward;\ntype\n  TCursor = class\n    procedure Execute;\n  end;\n"
       "procedure TCursor.Execute;\nbegin end;\nprocedure TFoo.Execute(A: Integer; B: "
       "string);\nbegin end;\n"
       "procedure Fwd;\nbegin end;\nend.\n",
       {"procedure fwd;", "procedure tfoo.execute ( a : integer; b : string );"}},
      {"a unit of declarations only lists no library routine",
       "unit h;\nfunction Lib(x: pointer): integer; external 'lib';\nprocedure Mine;\nbegin end;\n",
       {"procedure mine;"}},
      {"parameters written otherwise",
       "unit u;\ninterface\nfunction Bar(A, B: Integer): LongInt;\nprocedure Baz(const S: string = "
       "'');\n"
       "procedure Qux(A: Integer);\nimplementation\nfunction Bar(A: Integer; B: LongInt): "
       "Integer;\nbegin end;\n"
       "procedure Baz(const S: string);\nbegin end;\nprocedure Qux(A: string);\nbegin end;\nend.\n",
       {"function bar ( a : integer; b : longint ) : integer;",
        "procedure baz ( const s : string );"}},
      {"{$IFDEF} alternatives of one header",
       "unit u;\ninterface\nprocedure P(a: integer);\nprocedure Q;\nimplementation\n"
       "{$IFDEF X}\nprocedure P(a: integer);\n{$ELSE}\nprocedure P(a: integer);\n{$ENDIF}\nbegin\n "
       " x;\nend;\n"
       "{$IFDEF Y}\nprocedure Q(dummy: integer);\n{$ELSE}\nprocedure Q;\n{$ENDIF}\nbegin "
       "end;\nend.\n",
       {"procedure p ( a : integer );", "procedure q;"}},
  };
  for (const auto &row : rows) {
    ctx.choices.implementationRoutines = row.implementationRoutines;
    LoadLines(row.source);
    EXPECT_EQ(RoutineTexts().join('\n').toStdString(), row.listed.join('\n').toStdString())
        << row.name;
    QList<bool> marks;
    for (const auto &routine : model.Routines) marks << routine.implementationOnly;
    if (!row.implementationOnly.isEmpty()) EXPECT_EQ(marks, row.implementationOnly) << row.name;
  }
  // The selected routine runs from its first alternative to its end.
  model.Routines[0].selected = true;
  CollectSelectedText(model);
  QList<QByteArray> selected;
  for (QByteArrayView line : model.ListingLines) selected << line.trimmed().toByteArray();
  EXPECT_EQ(selected,
            (QList<QByteArray>{"procedure P ( a : integer );", "{$ELSE}",
                               "procedure P ( a : integer );", "{$ENDIF}", "begin", "x;", "end;"}));
}

}  // namespace
