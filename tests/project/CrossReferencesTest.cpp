// Names resolved as Pascal's scope rules resolve them, on small books made
// here: each row is a book of units, and what its first unit's uses name.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>
#include <algorithm>
#include <tuple>

#include "gtest/gtest.h"
#include "project/CrossReferences.h"
#include "project/SourceFile.h"
#include "project/XrefResolver.h"

using namespace scrivane;

namespace {

// "line:name->unit:line" for each use in the first unit, in order.
QStringList UsesOfFirstUnit(const QList<QPair<QString, QByteArray>> &units) {
  QTemporaryDir dir;
  QStringList paths;
  for (const auto &[name, text] : units) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    paths << file.fileName();
  }
  const CrossReferences refs = ResolveCrossReferences(paths);
  QStringList shown;
  const QList<QByteArray> lines = units.first().second.split('\n');
  for (const XrefUse &use : refs.uses) {
    if (use.place.file != 0) continue;
    const XrefDeclaration &d = refs.declarations[size_t(use.declaration)];
    const QByteArray word = lines[use.place.line - 1].mid(use.place.column - 1, use.length);
    shown << QStringLiteral("%1:%2->%3:%4")
                 .arg(use.place.line)
                 .arg(QString::fromLatin1(word), QFileInfo(refs.files[d.place.file]).baseName())
                 .arg(d.place.line);
  }
  return shown;
}

const QByteArray kHelperUnit =
    "unit b;\ninterface\nprocedure Helper;\nprocedure Two(x: Integer);\n"
    "implementation\nprocedure Helper; begin end;\n"
    "procedure Two(x: Integer); begin end;\nend.\n";

TEST(CrossReferences, ScopeRulesTable) {
  struct Row {
    const char *what;
    QByteArray unit;
    QStringList uses;
    QByteArray third;  // c.pas, when the row needs it
  };
  const QByteArray helperOfStrings =
      "unit c;\ninterface\nuses classes;\n"
      "type TStringsHelper = class helper for TStrings procedure Extra; end;\n"
      "implementation\nprocedure TStringsHelper.Extra; begin end;\nend.\n";
  const Row rows[] = {
      {"a section after a class var keeps its first member; a calling convention is no variable",
       "unit a;\ninterface\ntype TFoo = class\n class var S: Boolean;\n public\n"
       " constructor Create;\n end;\nvar Hook: procedure; cdecl;\n  Count: Integer;\n"
       "implementation\nconstructor TFoo.Create; begin Hook; Count := 1 end;\n"
       "procedure P; begin TFoo.Create end;\nend.\n",
       {"11:TFoo->a:3", "11:Hook->a:8", "11:Count->a:9", "12:TFoo->a:3", "12:Create->a:6"}},
      {"a used unit's overload takes the arguments none of the unit's own takes",
       "unit a;\ninterface\nuses b;\nprocedure Two(x, y: Integer); overload;\nimplementation\n"
       "procedure Two(x, y: Integer); begin Two(1); Two(1, 2) end;\nend.\n",
       {"3:b->b:1", "6:Two->b:4", "6:Two->a:4"}},
      {"inherited Destroy is the destructor, not the class destructor before it",
       "unit a;\ninterface\ntype TFoo = class\n class destructor Destroy;\n"
       " destructor Destroy; override;\n end;\nTBar = class(TFoo) destructor Destroy; override; "
       "end;\nimplementation\nclass destructor TFoo.Destroy; begin end;\n"
       "destructor TFoo.Destroy; begin end;\ndestructor TBar.Destroy; begin inherited Destroy "
       "end;\nend.\n",
       {"7:TFoo->a:3", "9:TFoo->a:3", "10:TFoo->a:3", "11:TBar->a:7", "11:Destroy->a:5"}},
      {"attributes before a type, a member and a parameter end no declaration",
       "unit a;\ninterface\ntype\n [TestFixture]\n TTests = class\n [Test] procedure One;\n"
       " procedure Two([Ref] const X: Integer);\n end;\n [Serializable] TRec = record Id: Integer; "
       "end;\n"
       "var G: TTests;\nimplementation\nprocedure TTests.One; var R: TRec; begin Two(R.Id); G.One "
       "end;\n"
       "procedure TTests.Two([Ref] const X: Integer); begin end;\nend.\n",
       {"10:TTests->a:5", "12:TTests->a:5", "12:TRec->a:9", "12:Two->a:7", "12:G->a:10",
        "12:One->a:6", "13:TTests->a:5"}},
      {"an anonymous method's own names hide the globals; inline variables have their type",
       "unit a;\ninterface\ntype TRec = record procedure Bump; end;\nvar Id: Integer;\n"
       "implementation\nprocedure TRec.Bump; begin end;\nprocedure Run;\nbegin\n"
       " var R: TRec;\n R.Bump;\n for var S in [R] do S.Bump;\n"
       " Queue(nil, procedure var Id: Integer; begin Id := 2; Run end);\n"
       " Call(function(Id: Integer): Integer begin Result := Id end, Id);\n Id := 3;\nend;\nend.\n",
       {"6:TRec->a:3", "9:TRec->a:3", "10:Bump->a:3", "12:Run->a:7", "13:Id->a:4", "14:Id->a:4"}},
      {"an inline variable is of the class its initialiser makes or returns",
       "unit a;\ninterface\ntype TFoo = class procedure Bar; function Clone: TFoo; end;\n"
       "implementation\nprocedure TFoo.Bar; begin end;\nfunction TFoo.Clone: TFoo; begin end;\n"
       "procedure P;\nbegin\n var A := TFoo.Create;\n var C := A.Clone;\n C.Bar\nend;\nend.\n",
       {"3:TFoo->a:3", "5:TFoo->a:3", "6:TFoo->a:3", "6:TFoo->a:3", "9:TFoo->a:3", "10:Clone->a:3",
        "11:Bar->a:3"}},
      {"a text block's lines are a string, not names",
       "unit a;\ninterface\nprocedure Show;\nimplementation\nprocedure Show;\nvar S: string;\n"
       "begin\n S := '''\n  Show;\n  ''';\n Show;\n S := '''';\n Show\nend;\nend.\n",
       {"11:Show->a:3", "13:Show->a:3"}},
      {"a local shadows the global of the same name",
       "unit a;\ninterface\nvar N: Integer;\nimplementation\n"
       "procedure P;\nvar N: Integer;\nbegin N := 1 end;\n"
       "procedure Q;\nbegin N := 2 end;\nend.\n",
       {"9:N->a:3"}},
      {"a method calls its sibling, and a field hides a global",
       "unit a;\ninterface\ntype TFoo = class\n F: Integer;\n procedure A;\n procedure B;\n end;\n"
       "var F: Integer;\nimplementation\nprocedure TFoo.A; begin B; F := 1 end;\n"
       "procedure TFoo.B; begin end;\nend.\n",
       {"10:TFoo->a:3", "10:B->a:6", "11:TFoo->a:3"}},
      {"inherited names the ancestor's method",
       "unit a;\ninterface\ntype TBase = class procedure Run; virtual; end;\n"
       "TFoo = class(TBase) procedure Run; override; end;\nimplementation\n"
       "procedure TBase.Run; begin end;\nprocedure TFoo.Run; begin inherited Run end;\nend.\n",
       {"4:TBase->a:3", "6:TBase->a:3", "7:TFoo->a:4", "7:Run->a:3"}},
      {"unit-qualified names, and a unit outside the book",
       "unit a;\ninterface\nuses b, sysutils;\nimplementation\n"
       "procedure P; begin b.Helper; SysUtils.Helper; Helper end;\nend.\n",
       {"3:b->b:1", "5:b->b:1", "5:Helper->b:3", "5:Helper->b:3"}},
      {"overloads by their number of parameters",
       "unit a;\ninterface\nprocedure O(x: Integer); overload;\nprocedure O(x, y: Integer); "
       "overload;\nimplementation\nprocedure O(x: Integer); begin O(1, 2) end;\n"
       "procedure O(x, y: Integer); begin O(1) end;\nend.\n",
       {"6:O->a:4", "7:O->a:3"}},
      {"a with of unknown type stops resolution, of a known class it does not",
       "unit a;\ninterface\nuses b;\ntype TFoo = class procedure Go; end;\nimplementation\n"
       "procedure TFoo.Go; begin end;\n"
       "procedure P(o: TThirdParty; f: TFoo); begin with o do Helper; with f do begin Go; Helper "
       "end "
       "end;\nend.\n",
       {"3:b->b:1", "6:TFoo->a:4", "7:TFoo->a:4", "7:Go->a:4", "7:Helper->b:3"}},
      {"Obj.Name through a variable of a known class; nothing after a call or an index",
       "unit a;\ninterface\ntype TFoo = class procedure Go; end;\nvar G: TFoo;\n"
       "implementation\nprocedure TFoo.Go; begin end;\n"
       "procedure P; begin G.Go; G.Free; Foo(1).Go; Arr[0].Go end;\nend.\n",
       {"4:TFoo->a:3", "6:TFoo->a:3", "7:G->a:4", "7:Go->a:3", "7:G->a:4"}},
      {"an indexed property's item has the property's type; TObject's names hide the unit's",
       "unit a;\ninterface\ntype TItem = class procedure Go; end;\n"
       "TList2 = class function Get(I: Integer): TItem; property Items[I: Integer]: TItem read "
       "Get;\n"
       " procedure Run; end;\nprocedure Free;\nimplementation\n"
       "procedure TItem.Go; begin end;\nfunction TList2.Get(I: Integer): TItem; begin Result := "
       "nil "
       "end;\nprocedure TList2.Run; begin Items[0].Go; Free end;\nprocedure Free; begin "
       "end;\nend.\n",
       {"4:TItem->a:3", "4:TItem->a:3", "4:Get->a:4", "8:TItem->a:3", "9:TList2->a:4",
        "9:TItem->a:3", "10:TList2->a:4", "10:Go->a:3"}},
      {"fpc's version macros against a number are told, as fpc 3.2.2 tells them",
       "unit a;\ninterface\nuses b;\n{$IF FPC_FULLVERSION<30101}procedure Helper;{$ENDIF}\n"
       "implementation\n{$IF FPC_VERSION>=3}procedure P; begin Helper end;{$ENDIF}\nend.\n",
       {"3:b->b:1", "6:Helper->b:3"}},
      {"(X as TFoo).Name is a member of TFoo, as TFoo(X).Name is",
       "unit a;\ninterface\ntype TFoo = class procedure Go; end;\nimplementation\n"
       "procedure TFoo.Go; begin end;\n"
       "procedure P(o: TObject); begin (o as TFoo).Go; TFoo(o).Go; (o as TBar).Go end;\nend.\n",
       {"5:TFoo->a:3", "6:TFoo->a:3", "6:Go->a:3", "6:TFoo->a:3", "6:Go->a:3"}},
      {"a with of a class from outside the book that no table knows hides the book's values and "
       "routines, not its types",
       "unit a;\ninterface\nuses b;\ntype TMode = (mA, mB);\nvar V: TMode;\nimplementation\n"
       "procedure P(o: TThirdParty; s: TThirdPartyList);\n"
       "begin with s do begin V := TMode(Count); Helper end; with o do V := High(TMode) "
       "end;\nend.\n",
       {"3:b->b:1", "5:TMode->a:4", "8:TMode->a:4", "8:TMode->a:4"}},
      {"in a method of a class derived from the LCL's TForm, TForm's members hide the book's "
       "routines of the same name, as the compiler looks in the class first; the others link, "
       "in a with of such a class too",
       "unit a;\ninterface\nuses b, Forms;\ntype TForm1 = class(Vcl.Forms.TForm) procedure Go; "
       "end;\n"
       "procedure Close;\nprocedure Caption;\nvar Form1: TForm1;\nimplementation\n"
       "procedure Close; begin end;\nprocedure Caption; begin end;\n"
       "procedure TForm1.Go; begin Close; Caption; Helper; with Form1 do Helper end;\nend.\n",
       {"3:b->b:1", "7:TForm1->a:4", "11:TForm1->a:4", "11:Helper->b:3", "11:Form1->a:7",
        "11:Helper->b:3"}},
      {"a with of a field or property of the LCL's classes looks in its own class, known too: "
       "TTreeNodes' Clear hides the unit's, Tidy links; the form's own Font is a TFont",
       "unit a;\ninterface\nuses b, Forms, ComCtrls;\ntype TForm1 = class(TForm)\n"
       " TV: TTreeView;\n procedure Go;\n end;\nprocedure Clear;\nprocedure Tidy;\nimplementation\n"
       "procedure TForm1.Go; begin with TV.Items do begin Clear; Tidy end; with Font do Tidy; "
       "with TV.Items do Helper end;\nend.\n",
       {"3:b->b:1", "11:TForm1->a:4", "11:Tidy->a:9", "11:Tidy->a:9", "11:Helper->b:3"}},
      {"a with of a value whose class the LCL declares: its members hide, the others link; of a "
       "class outside the book no table knows, nothing but types",
       "unit a;\ninterface\nuses b, Dialogs;\nprocedure Execute;\nimplementation\n"
       "procedure Execute; begin end;\n"
       "procedure P(d: TSaveDialog; t: TThirdParty);\n"
       "begin with d do begin FileName := ''; Execute; Helper end; with t do Helper end;\nend.\n",
       {"3:b->b:1", "8:Helper->b:3"}},
      {"a value of a class of the run-time library goes to the overload of its class or an "
       "ancestor, as one of a class of the book derived from it does; the nearer class first",
       "unit a;\ninterface\nuses Classes;\ntype TMine = class(TMemoryStream) end;\n"
       "TKid = class(TMine) end;\n"
       "procedure E(const s, t: string); overload;\nprocedure E(const s, t: TStrings); overload;\n"
       "procedure E(const s, t: TStream); overload;\n"
       "procedure G(x: TPersistent); overload;\nprocedure G(x: TMine); overload;\nimplementation\n"
       "procedure P(f: TFileStream; l: TStringList; m: TMine; k: TKid);\n"
       "begin E(f, f); E(l, l); E(m, m); G(k) end;\nend.\n",
       {"5:TMine->a:4", "10:TMine->a:4", "12:TMine->a:4", "12:TKid->a:5", "13:E->a:8", "13:E->a:7",
        "13:E->a:8", "13:G->a:10"}},
      {"a with of a class that derives from TObject alone looks past it but for TObject's "
       "names; a field after a method's \"public\" is a member",
       "unit a;\ninterface\nuses b;\ntype TFoo = class\n procedure Go;\n public\n Next: TFoo;\n"
       " end;\nimplementation\nprocedure TFoo.Go; begin end;\n"
       "procedure P(f: TFoo); begin with f do begin Go; Helper; Free end; f.Next.Go end;\nend.\n",
       {"3:b->b:1", "7:TFoo->a:4", "10:TFoo->a:4", "11:TFoo->a:4", "11:Go->a:5", "11:Helper->b:3",
        "11:Go->a:5"}},
      {"Free Pascal's own defines count; a literal argument picks the overload that takes it",
       "unit a;\ninterface\nprocedure L(n: Integer; s: string); overload;\n"
       "procedure L(n: Integer; a: array of const); overload;\n"
       "procedure M(s: string); overload;\nprocedure M(n: Integer); overload;\nimplementation\n"
       "procedure L(n: Integer; s: string); begin end;\n"
       "procedure L(n: Integer; a: array of const); begin\n"
       "{$IFDEF FPC_HAS_CPSTRING} L(1, [2]); L(1, 'x'); M(2); M('y') {$ENDIF}\nend;\n"
       "procedure M(s: string); begin end;\nprocedure M(n: Integer); begin end;\nend.\n",
       {"10:L->a:4", "10:L->a:3", "10:M->a:6", "10:M->a:5"}},
      {"\"[]\" and a set go into a set, of the book or the LCL, never into a Boolean; no literal "
       "goes into a set, an enumeration or TRect; of overloads the book cannot tell apart, the "
       "first that takes the arguments no worse than any other",
       "unit a;\ninterface\nuses Classes, Types;\ntype TOpt = (oA, oB); TOpts = set of TOpt;\n"
       "TKind = (kX, kY);\nprocedure C(const s: string; b: Boolean); overload;\n"
       "procedure C(const s: string; o: TOpts); overload;\n"
       "procedure K(s: TShiftState; n: Integer); overload;\n"
       "procedure K(o: TOpts; s: TShiftState); overload;\nprocedure D(k: TKind); overload;\n"
       "procedure D(r: TRect); overload;\nprocedure D(n: Integer); overload;\n"
       "procedure G(const p: UnicodeString; d: Integer); overload;\n"
       "procedure G(const p: UnicodeString; d: Int64); overload;\n"
       "procedure G(const p: RawByteString; d: Int64); overload;\nimplementation\n"
       "procedure P(s: TShiftState; o: TOpts; v: Int64);\n"
       "begin C('x', []); K(s, 1); K(o, s); D(2); D(kY); G(UTF8Decode(''), v) end;\nend.\n",
       {"4:TOpt->a:4", "7:TOpts->a:4", "9:TOpts->a:4", "10:TKind->a:5", "17:TOpts->a:4",
        "18:C->a:7", "18:K->a:8", "18:K->a:9", "18:D->a:12", "18:D->a:10", "18:G->a:14"}},
      {"an argument's class through \"as\", an index, an open array's element or a cast to a type "
       "from outside the book; \"with X as T\" looks in T",
       "unit a;\ninterface\nuses Classes, TypInfo;\ntype TEl = class procedure Go; end;\n"
       "TEls = array of TEl;\nprocedure A(c: TClass); overload;\nprocedure A(e: TEl); overload;\n"
       "procedure F(o: TObject; const n: string); overload;\n"
       "procedure F(o: TObject; p: PPropInfo); overload;\nimplementation\n"
       "procedure TEl.Go; begin end;\nprocedure P(x: TObject; l: TEls; subs: array of TEl);\n"
       "begin A(x as TEl); A(l[0]); A(subs[1]); F(x, PPropInfo(nil)); with x as TEl do Go end;\n"
       "end.\n",
       {"5:TEl->a:4", "7:TEl->a:4", "11:TEl->a:4", "12:TEls->a:5", "12:TEl->a:4", "13:A->a:7",
        "13:TEl->a:4", "13:A->a:7", "13:A->a:7", "13:F->a:9", "13:TEl->a:4", "13:Go->a:4"}},
      {"a call no method of its class takes by its count is to an ancestor's overload; past the "
       "book, to the outside class's (TComponent's Create(AOwner)), which is no link",
       "unit a;\ninterface\nuses Classes;\ntype TBase = class\n"
       " function Run(const id: string; g: Boolean): Boolean; overload;\nend;\n"
       "TKid = class(TBase)\n function Run: Boolean; overload;\nend;\n"
       "THook = class(TComponent)\n constructor Create; overload;\nend;\nimplementation\n"
       "function TBase.Run(const id: string; g: Boolean): Boolean; begin end;\n"
       "function TKid.Run: Boolean; begin Result := Run('x', True) end;\n"
       "constructor THook.Create; begin end;\n"
       "procedure P(h: THook); begin h := THook.Create(nil); h := THook.Create end;\nend.\n",
       {"7:TBase->a:4", "14:TBase->a:4", "15:TKid->a:7", "15:Run->a:5", "16:THook->a:10",
        "17:THook->a:10", "17:THook->a:10", "17:THook->a:10", "17:Create->a:11"}},
      {"a with of a record of the run-time library or the LCL looks in its fields, methods and "
       "properties, every variant's too; a TRect goes to the overload taking a TRect, its "
       "TopLeft to the one taking a TPoint",
       "unit a;\ninterface\nuses Types, LMessages;\nprocedure CheckLine(x1, y1: Integer);\n"
       "procedure Width;\nprocedure O(var r: TRect; n: Integer); overload;\n"
       "procedure O(p: TPoint; n: Integer); overload;\nimplementation\n"
       "procedure P(b: TRect; var Msg: TLMMouse);\nbegin\n"
       "  with b do begin CheckLine(Left, Bottom); Width end; with Msg do CheckLine(XPos, YPos);\n"
       "  O(b, 1); O(b.TopLeft, 2)\nend;\nend.\n",
       {"11:CheckLine->a:4", "11:CheckLine->a:4", "12:O->a:6", "12:O->a:7"}},
      {"TKid.Create(...) is a TKid, whichever class declares the constructor; a dynamic array "
       "of the run-time library goes into an open array",
       "unit a;\ninterface\nuses Types;\ntype TRef = class constructor Create(const n: string); "
       "end;\nTKid = class(TRef) end;\nprocedure Q(const n, t: string); overload;\n"
       "procedure Q(const n: string; r: TRef); overload;\n"
       "procedure S(const line: string); overload;\n"
       "procedure S(const args: array of string); overload;\nimplementation\n"
       "constructor TRef.Create(const n: string); begin end;\n"
       "procedure P(a: TStringDynArray);\nbegin Q('x', TKid.Create('y')); S(a) end;\nend.\n",
       {"5:TRef->a:4", "7:TRef->a:4", "11:TRef->a:4", "13:Q->a:7", "13:TKid->a:5", "13:Create->a:4",
        "13:S->a:9"}},
      {"a type a routine declares for itself is a declaration its uses link to",
       "unit a;\ninterface\nfunction F: Integer;\nimplementation\nfunction F: Integer;\n"
       "type TItem = record A: Integer; end; PItem = ^TItem;\nvar X: TItem;\n"
       "begin X := Default(TItem); Result := PItem(@X)^.A end;\nend.\n",
       {"6:TItem->a:6", "7:TItem->a:6", "8:TItem->a:6", "8:PItem->a:6"}},
      {"a method calls its class's helper's method unqualified; a value of a class named with "
       "a dotted unit of two parts is looked in as that class",
       "unit a;\n{$modeswitch typehelpers}\ninterface\nuses Vcl.Dialogs;\n"
       "type TFoo = class procedure Go; end;\n"
       "TFooHelper = class helper for TFoo procedure Extra; end;\nprocedure Extra;\n"
       "procedure Execute;\nimplementation\nprocedure Extra; begin end;\n"
       "procedure Execute; begin end;\nprocedure TFooHelper.Extra; begin end;\n"
       "procedure TFoo.Go; begin Extra end;\n"
       "procedure P(d: Vcl.Dialogs.TSaveDialog);\nbegin with d do begin Execute; Extra end "
       "end;\nend.\n",
       {"6:TFoo->a:5", "12:TFooHelper->a:6", "13:TFoo->a:5", "13:Extra->a:6", "15:Extra->a:7"}},
      {"a function, field or property of a class of the run-time library gives the overload its "
       "type: List.IndexOf(P) an Integer, Lines.Text a string",
       "unit a;\ninterface\nuses Classes;\nprocedure R(o: TObject); overload;\n"
       "procedure R(i: Integer); overload;\nprocedure S(const a, b: string); overload;\n"
       "procedure S(const a: string; n: Integer); overload;\nimplementation\n"
       "procedure P(l: TList; t: TStrings);\n"
       "begin R(l.IndexOf(nil)); S('x', t.Text); S('y', t.Count) end;\nend.\n",
       {"10:R->a:5", "10:S->a:6", "10:S->a:7"}},
      {"a call none of the book's routines of that name takes by its count is to one further "
       "out: the method's own nested routine past a with's member, or one outside the book, "
       "which is no link",
       "unit a;\ninterface\ntype TExt = class procedure SetBounds(a, b: Integer); end;\n"
       "function CompareText(p: PChar; n: Integer; q: PChar; m: Integer): Integer;\n"
       "procedure P(e: TExt);\nimplementation\nprocedure TExt.SetBounds(a, b: Integer); begin "
       "end;\n"
       "function CompareText(p: PChar; n: Integer; q: PChar; m: Integer): Integer; begin end;\n"
       "procedure P(e: TExt);\n  procedure SetBounds(a, b, c: Integer); begin end;\n"
       "begin with e do SetBounds(1, 2, 3); if CompareText('a', 'b') = 0 then end;\nend.\n",
       {"5:TExt->a:3", "7:TExt->a:3", "9:TExt->a:3", "11:SetBounds->a:10"}},
      {"an item of an indexed property of the LCL, or of a class's default property, is of its "
       "type: l[0] of a TStringList a string, w.Controls[0] a TControl",
       "unit a;\ninterface\nuses Classes, Controls;\n"
       "procedure S(const a: string; n: Integer); overload;\n"
       "procedure S(const a, b: string); overload;\n"
       "procedure C(x: TComponent; n: Integer = 0); overload;\n"
       "procedure C(x: TControl); overload;\nprocedure Go;\nimplementation\n"
       "procedure Go; begin end;\nprocedure P(l: TStringList; w: TWinControl);\n"
       "begin S('x', l[0]); S('y', l.Strings[1]); C(w.Controls[0]); with w.Controls[0] do Go end;\n"
       "end.\n",
       {"12:S->a:5", "12:S->a:5", "12:C->a:7", "12:Go->a:8"}},
      {"p^.Name and a[i].Name through a pointer or array type the book declares",
       "unit a;\ninterface\ntype PFoo = ^TFoo;\nTFoo = class procedure Go; end;\n"
       "TFoos = array of TFoo;\nprocedure P(p: PFoo; f: TFoos);\nimplementation\n"
       "procedure TFoo.Go; begin end;\n"
       "procedure P(p: PFoo; f: TFoos); begin p^.Go; f[0].Go; f^.Go end;\nend.\n",
       {"3:TFoo->a:4", "5:TFoo->a:4", "6:PFoo->a:3", "6:TFoos->a:5", "8:TFoo->a:4", "9:PFoo->a:3",
        "9:TFoos->a:5", "9:Go->a:4", "9:Go->a:4"}},
      {"a variable of a class or record of the book picks the overload that takes it",
       "unit a;\ninterface\ntype TA = class end;\nTB = class(TA) end;\nTR = record X: Integer; "
       "end;\n"
       "procedure Q(const r: TR); overload;\nprocedure Q(a: TA); overload;\nimplementation\n"
       "procedure Q(const r: TR); begin end;\nprocedure Q(a: TA); begin end;\n"
       "procedure P(b: TB; r: TR); begin Q(b); Q(r) end;\nend.\n",
       {"4:TA->a:3", "6:TR->a:5", "7:TA->a:3", "9:TR->a:5", "10:TA->a:3", "11:TB->a:4",
        "11:TR->a:5", "11:Q->a:7", "11:Q->a:6"}},
      {"an index for each dimension, a \"^\" for each pointer; an array has no members",
       "unit a;\ninterface\ntype TFoo = class procedure Go; end;\nTGrid = array of array of TFoo;\n"
       "PP = ^PFoo;\nPFoo = ^TFoo;\nprocedure P(g: TGrid; q: PP);\nimplementation\n"
       "procedure TFoo.Go; begin end;\n"
       "procedure P(g: TGrid; q: PP); begin g[0][1].Go; g[0, 1].Go; q^^.Go; g[0].Go end;\nend.\n",
       {"4:TFoo->a:3", "5:PFoo->a:6", "6:TFoo->a:3", "7:TGrid->a:4", "7:PP->a:5", "9:TFoo->a:3",
        "10:TGrid->a:4", "10:PP->a:5", "10:Go->a:3", "10:Go->a:3", "10:Go->a:3"}},
      {"\"public name\" after a routine's heading is a directive still",
       "unit a;\ninterface\nprocedure X; public name 'x_';\nprocedure Y;\nimplementation\n"
       "procedure X; begin Y end;\nprocedure Y; begin X end;\nend.\n",
       {"6:Y->a:4", "7:X->a:3"}},
      {"a class declared forward names its full declaration",
       "unit a;\ninterface\ntype TFoo = class;\nTBar = class F: TFoo; end;\nTFoo = class end;\n"
       "implementation\nend.\n",
       {"3:TFoo->a:5", "4:TFoo->a:5"}},
      {"case matters nowhere: keywords, names, defines and exponents",
       "UNIT a;\nINTERFACE\nPROCEDURE Helper2;\nIMPLEMENTATION\n{$DEFINE Yes}\n"
       "PROCEDURE HELPER2; BEGIN END;\n"
       "PROCEDURE P; BEGIN {$IFDEF YES} helper2 {$ELSE} HeLpEr2 {$ENDIF}; X := 1E+5; hElPeR2 END;\n"
       "END.\n",
       {"7:helper2->a:3", "7:hElPeR2->a:3"}},
      {"a generic class's method is named with its parameters; a field of the generic type has "
       "its members",
       "unit a;\ninterface\ntype TList<T> = class\n type TItem = record List: TList<T>; function "
       "Next: Boolean; end;\n function Add(const V: T): Boolean;\n end;\nimplementation\n"
       "function TList<T>.TItem.Next: Boolean; begin Result := List.Add(Default(T)) end;\n"
       "function TList<T>.Add(const V: T): Boolean; begin Result := True end;\nend.\n",
       {"4:TList->a:3", "8:TList->a:3", "8:TItem->a:4", "8:Add->a:5", "9:TList->a:3"}},
      {"overloads of one count are told by their arguments: a variable's type, a call's result, "
       "an enumeration's value, a class or its instance; where the book cannot tell (a variant, "
       "a string literal for String or UnicodeString) the first that takes them; one that cannot "
       "take "
       "them leaves the call to another unit's; a result set through its name is that overload's",
       "unit a;\ninterface\nuses b;\ntype TE = (eA, eB); TF = (fA);\n"
       "TK = class end; TKClass = class of TK;\n"
       "procedure V(const s: UnicodeString); overload;\n"
       "procedure V(const s: String); overload;\nprocedure W(e: TE); overload;\n"
       "procedure W(f: TF); overload;\nprocedure C(k: TK); overload;\n"
       "procedure C(k: TKClass); overload;\nfunction S: String;\n"
       "procedure Two(const s: string); overload;\n"
       "function G(x, y: Integer): Integer; overload;\n"
       "function G(x: Integer): Integer; overload;\nimplementation\n"
       "procedure P(x: String; k: TK; u: Variant);\n"
       "begin V(x); V(S); V(u); W(fA); C(k); C(TK); C(TK(u)); V('abc'); Two(5) end;\n"
       "function G(x: Integer): Integer; begin G := x end;\nend.\n",
       {"3:b->b:1",        "5:TK->a:5",  "8:TE->a:4",  "9:TF->a:4",   "10:TK->a:5",
        "11:TKClass->a:5", "17:TK->a:5", "18:V->a:7",  "18:V->a:7",   "18:S->a:12",
        "18:V->a:6",       "18:W->a:9",  "18:C->a:10", "18:C->a:11",  "18:TK->a:5",
        "18:C->a:10",      "18:TK->a:5", "18:V->a:6",  "18:Two->b:4", "19:G->a:15"}},
      {"an argument's look tells overloads apart: a one-character literal is a Char, a longer "
       "one a string, a negative number a number, \"[...]\" no record, an open array only an "
       "open array's, a sum with a string a string, Format's and Length's results",
       "unit a;\ninterface\ntype TR = record X: Integer; end;\n"
       "procedure F(const s: string; n: Integer = 0); overload;\n"
       "procedure F(const s: string; a: array of const; n: Integer = 0); overload;\n"
       "procedure F(c: Char); overload;\n"
       "procedure G(r: TR; const s: string = ''); overload;\n"
       "procedure G(a: array of const); overload;\nprocedure H(const s: string); overload;\n"
       "procedure H(const a: array of string); overload;\n"
       "procedure H(n: Integer); overload;\nimplementation\n"
       "procedure P(const a: array of string; s: string);\n"
       "begin F('ab'); F('a'); F('x', -1); G([1]); H(a); H('<' + s + '>'); H(Format('%d', [1])); "
       "H(Length(s)) end;\n"
       "end.\n",
       {"7:TR->a:3", "14:F->a:4", "14:F->a:6", "14:F->a:4", "14:G->a:8", "14:H->a:10", "14:H->a:9",
        "14:H->a:9", "14:H->a:11"}},
      {"a call whose argument's type none of the unit's overloads takes is no link when no unit "
       "it uses has one that does (b's Two is not used); \"[...] * S <> []\" is no set but what "
       "it compares",
       "unit a;\ninterface\ntype TE = (eA, eB); TS = set of TE;\n"
       "procedure Two(const s: string); overload;\nprocedure Q(b: Boolean);\n"
       "implementation\nprocedure P(S: TS; N: Integer);\n"
       "begin Two(N); Two('x'); Q([eA] * S <> []) end;\nend.\n",
       {"3:TE->a:3", "7:TS->a:3", "8:Two->a:4", "8:Q->a:5"}},
      {"a method's overloads: True is a Boolean, an alias of AnsiString a string, Self its class, "
       "a function of the class its result",
       "unit a;\ninterface\ntype\n  TCfg = class end;\n  TStore = class\n"
       "    constructor Create(const FileName: string; Load: Boolean); overload;\n"
       "    constructor Create(Cfg: TCfg; const Path: string); overload;\n"
       "    function Config: TCfg;\n    procedure Put(Other: TStore); overload;\n"
       "    procedure Put(const Name: string); overload;\n    procedure Go;\n  end;\n"
       "  TText = AnsiString;\nprocedure Say(const s: TText); overload;\n"
       "procedure Say(n: Integer); overload;\nimplementation\nprocedure TStore.Go;\n"
       "var S: TText;\n"
       "begin TStore.Create(S, True); TStore.Create(Config, S); Put(Self); Put(S); Say(S) end;\n"
       "end.\n",
       {"7:TCfg->a:4", "8:TCfg->a:4", "9:TStore->a:5", "14:TText->a:13", "17:TStore->a:5",
        "18:TText->a:13", "19:TStore->a:5", "19:Create->a:6", "19:TStore->a:5", "19:Create->a:7",
        "19:Config->a:8", "19:Put->a:9", "19:Put->a:10", "19:Say->a:14"}},
      {"calls from fcl's chm, libtar and webidl: @Buffer is a Pointer, Integer(X) an Integer, a "
       "record of the run-time library no string, a field of the book's class of its type",
       "unit a;\ninterface\ntype\n  TDef = class end;\n"
       "  TField = class MemberType: TDef; end;\n"
       "function WriteInt(const Stream: TStream; N: DWord): DWord; overload;\n"
       "function WriteInt(Buffer: Pointer; N: DWord): DWord; overload;\n"
       "function Max(A, B: Byte): Byte; overload;\n"
       "function Max(A, B: Integer): Integer; overload;\n"
       "function FileTimeGMT(FileName: string): TDateTime; overload;\n"
       "function FileTimeGMT(SearchRec: TSearchRec): TDateTime; overload;\n"
       "function GetTypeName(const Name: String): String; overload;\n"
       "function GetTypeName(Def: TDef): String; overload;\nimplementation\n"
       "procedure P(F: TField; SR: TSearchRec; X: Int64; Buffer: array of Byte);\n"
       "begin WriteInt(@Buffer, 1); Max(Integer(X), 0); FileTimeGMT(SR); GetTypeName(F.MemberType) "
       "end;\n"
       "end.\n",
       {"5:TDef->a:4", "13:TDef->a:4", "15:TField->a:5", "16:WriteInt->a:7", "16:Max->a:9",
        "16:FileTimeGMT->a:11", "16:GetTypeName->a:13"}},
      {"a specialization, named or through an alias, has its generic's members; a call whose "
       "overloads the book cannot tell apart (a variant fits any) is the first that takes it, "
       "and its result that one's",
       "unit a;\ninterface\ntype\n  TList<T> = class procedure Put(const V: T); end;\n"
       "  TInts = TList<Integer>;\n  TPair = class end;\n"
       "function Make(X: Integer): TPair; overload;\n"
       "function Make(const S: string): Integer; overload;\n"
       "procedure Use(P: TPair); overload;\nprocedure Use(N: Integer); overload;\n"
       "implementation\nprocedure P(L: TInts; M: TList<string>; V: Variant);\n"
       "begin L.Put(1); M.Put('x'); Use(Make(V)) end;\nend.\n",
       {"5:TList->a:4", "7:TPair->a:6", "9:TPair->a:6", "12:TInts->a:5", "12:TList->a:4",
        "13:Put->a:4", "13:Put->a:4", "13:Use->a:9", "13:Make->a:7"}},
      {"names in comments, strings and skipped branches are not code",
       "unit a;\ninterface\nprocedure P;\nimplementation\nprocedure P; begin\n"
       "{ P } // P\n  Writeln('P');\n{$IFDEF NEVER_SET} P; {$ELSE} P; {$ENDIF}\nend;\nend.\n",
       {"8:P->a:3"}},
      {"what a message, external or dispid directive computes names constants",
       "unit a;\ninterface\nconst WM_GO = 1024; Lib = 'c'; Sym = 'f'; Base = 7;\n"
       "type TFoo = class procedure Msg(var M); message WM_GO; end;\n"
       "function F: Integer; cdecl; external Lib name Sym;\n"
       "function G: Integer; cdecl; external Lib index Base + 1;\nimplementation\n"
       "procedure TFoo.Msg(var M); begin end;\nend.\n",
       {"4:WM_GO->a:3", "5:Lib->a:3", "5:Sym->a:3", "6:Lib->a:3", "6:Base->a:3", "8:TFoo->a:4"}},
      {"a helper's methods have their bodies and call each other and what the type they help "
       "has; X.Name and \"with X\" look in the helper of X's type first, of the book or not; a "
       "type helper "
       "ends at its end",
       "unit a;\ninterface\nuses b;\n{ helpers }\ntype TKind = (kOne, kTwo);\n"
       "  TKindHelper = type helper for TKind function Next: TKind; end;\n"
       "  TFoo = class procedure Go; procedure Msg(var M); end;\n"
       "  TFooHelper = class helper for TFoo procedure Go; procedure Walk; end;\n"
       "  TListHelper = class helper for TStrings procedure Extra; end;\nimplementation\n"
       "function TKindHelper.Next: TKind; begin Result := kTwo end;\n"
       "procedure TFoo.Go; begin end;\nprocedure TFoo.Msg(var M); begin end;\n"
       "procedure TFooHelper.Go; begin Walk; inherited Go end;\n"
       "procedure TFooHelper.Walk; begin end;\nprocedure TListHelper.Extra; begin end;\n"
       "procedure P(F: TFoo; L: TStrings; K: TKind); begin F.Go; F.Walk; L.Extra; K.Next;\n"
       "  with L do Extra; with F do begin Walk; Go end end;\n"
       "end.\n",
       {"3:b->b:1",
        "6:TKind->a:5",
        "6:TKind->a:5",
        "8:TFoo->a:7",
        "11:TKindHelper->a:6",
        "11:TKind->a:5",
        "12:TFoo->a:7",
        "13:TFoo->a:7",
        "14:TFooHelper->a:8",
        "14:Walk->a:8",
        "14:Go->a:7",
        "15:TFooHelper->a:8",
        "16:TListHelper->a:9",
        "17:TFoo->a:7",
        "17:TKind->a:5",
        "17:Go->a:8",
        "17:Walk->a:8",
        "17:Extra->a:9",
        "17:Next->a:6",
        "18:Extra->a:9",
        "18:Walk->a:8",
        "18:Go->a:8"}},
      {"a constructor called on a class, or on a class reference, makes one of that class: "
       "its members follow, in a with too; past the book, Create is TObject's constructor",
       "unit a;\ninterface\nuses classes;\ntype TBase = class constructor Make; end;\n"
       "  TDlg = class(TComponent) procedure Prepare; end;\n"
       "  TSub = class(TBase) procedure Walk; end;\n  TSubClass = class of TSub;\n"
       "implementation\nconstructor TBase.Make; begin end;\nprocedure TDlg.Prepare; begin end;\n"
       "procedure TSub.Walk; begin end;\nprocedure P(C: TSubClass);\n"
       "begin with TDlg.Create(nil) do Prepare; TSub.Make.Walk; C.Make.Walk; "
       "TDlg.Create(nil).Prepare end;\nend.\n",
       {"6:TBase->a:4", "7:TSub->a:6", "9:TBase->a:4", "10:TDlg->a:5", "11:TSub->a:6",
        "12:TSubClass->a:7", "13:TDlg->a:5", "13:Prepare->a:5", "13:TSub->a:6", "13:Make->a:4",
        "13:Walk->a:6", "13:Make->a:4", "13:Walk->a:6", "13:TDlg->a:5", "13:Prepare->a:5"}},
      {"a helper of a used unit is in scope only when no unit from outside the book comes "
       "after it, which may have a helper of its own for the type",
       "unit a;\ninterface\nuses sysutils, c;\nimplementation\nuses classes;\n"
       "procedure P(L: TStrings); begin L.Extra end;\nend.\n",
       {"3:c->c:1"},
       helperOfStrings},
      {"a default property of a class of the book, its own or raised again without a type, "
       "gives V[i], after a cast too; an indexed property's reader and writer are the "
       "overloads that take its index",
       "unit a;\ninterface\ntype TData = class\n function Get(I: Integer): TData; overload;\n"
       " function Get(K: string): TData; overload;\n procedure Put(K: string; V: TData);\n"
       " function Kind: Integer;\n property Items[I: Integer]: TData read Get; end;\n"
       " TArr = class(TData) property Items; default;\n"
       "  property Named[K: string]: TData read Get write Put; end;\nimplementation\n"
       "procedure P(A: TArr; D: TData); begin A[0].Kind; A.Items[0].Kind; TArr(D)[0].Kind end;\n"
       "end.\n",
       {"4:TData->a:3", "5:TData->a:3", "6:TData->a:3", "8:TData->a:3", "8:Get->a:4",
        "9:TData->a:3", "10:TData->a:3", "10:Get->a:5", "10:Put->a:6", "12:TArr->a:9",
        "12:TData->a:3", "12:Kind->a:7", "12:Kind->a:7", "12:TArr->a:9", "12:Kind->a:7"}},
      {"past a constructor of an outside class, a with sees the book; a typed pointer goes to "
       "the overload taking a pointer, a constant's literal to the one of its kind; a macro's "
       "text is read where its name stands, and its name is no link; a routine declared "
       "overload that cannot take a number leaves it to one outside the book; an item of a "
       "PPointer is a pointer, of a TStringDynArray a string",
       "unit a;\ninterface\nuses classes;\n{$macro on}{$define TThe:=TFoo}\n"
       "const One = 1; Sep = ',';\ntype PRec = ^TRec; TRec = record X: Integer end;\n"
       " TFoo = class procedure Go; end;\nvar G: TFoo;\n"
       "procedure Put(N: Integer); overload;\nprocedure Put(S: string); overload;\n"
       "procedure Keep(V: Integer); overload;\nprocedure Keep(V: Pointer); overload;\n"
       "procedure Flip(var R: TRec); overload;\nimplementation\nprocedure P(R: PRec; T: TThe; V: "
       "TRec; L: PPointer; D: TStringDynArray);\n"
       "begin with TStringList.Create do G.Go; Put(Sep); Put(One); Keep(R); T.Go;\n"
       "  Flip(V.X); Flip(V); Flip(R^.X); Flip(R^); Keep(L[0]); Put(D[0]) end;\nend.\n",
       {"6:TRec->a:6", "8:TFoo->a:7", "13:TRec->a:6", "15:PRec->a:6", "15:TRec->a:6", "16:G->a:8",
        "16:Go->a:7", "16:Put->a:10", "16:Sep->a:5", "16:Put->a:9", "16:One->a:5", "16:Keep->a:12",
        "16:Go->a:7", "17:Flip->a:13", "17:Flip->a:13", "17:Keep->a:12", "17:Put->a:10"}},
      {"dotted unit names: the uses clause and a qualified name link to the unit whole",
       "unit Acme.Main;\ninterface\nuses Acme.Util;\nprocedure Run;\nimplementation\n"
       "procedure Run; begin Hello; Acme.Util.Hello; Acme.Main.Run end;\nend.\n",
       {"3:Util->c:1", "6:Hello->c:3", "6:Util->c:1", "6:Hello->c:3", "6:Main->a:1", "6:Run->a:4"},
       "unit Acme.Util;\ninterface\nprocedure Hello;\nimplementation\nprocedure Hello; begin "
       "end;\nend.\n"},
      {"... and is when it comes last",
       "unit a;\ninterface\nuses sysutils, c;\nimplementation\n"
       "procedure P(L: TStrings); begin L.Extra end;\nend.\n",
       {"3:c->c:1", "5:Extra->c:4"},
       helperOfStrings},
  };
  for (const Row &row : rows) {
    QList<QPair<QString, QByteArray>> units = {{"a.pas", row.unit}, {"b.pas", kHelperUnit}};
    if (!row.third.isEmpty()) units.append({"c.pas", row.third});
    const QStringList got = UsesOfFirstUnit(units);
    EXPECT_EQ(got.join(QLatin1Char(' ')).toStdString(),
              row.uses.join(QLatin1Char(' ')).toStdString())
        << row.what;
  }
}

// The resolver reads a book as a stream and keeps only what is still in
// scope: these books are shaped to catch what it must not forget.
TEST(CrossReferences, StreamedReadingKeepsWhatIsStillInScope) {
  QTemporaryDir dir;
  auto write = [&](const QString &name, const QByteArray &text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
  };
  // Include files are numbered as each module, read whole in turn, brings
  // them in, although b's interface is read before a's implementation.
  const QString a = write("a.pas",
                          "unit a;\ninterface\nuses b;\nimplementation\n{$I a.inc}\n"
                          "procedure P; begin InB; InA end;\nend.\n");
  write("a.inc", "procedure InA; begin end;\n");
  const QString b = write("b.pas",
                          "unit b;\ninterface\n{$I b.inc}\nimplementation\n"
                          "procedure InB; begin end;\nend.\n");
  write("b.inc", "procedure InB;\n");
  // A routine declared forward and implemented after thousands of tokens,
  // routines whose locals and nested routines share its name, and one long
  // statement: the window of tokens moves on many times in between.
  QByteArray far = "unit far;\ninterface\nimplementation\nprocedure Target; forward;\n";
  for (int i = 0; i < 400; ++i)
    far += "procedure R" + QByteArray::number(i) +
           ";\nvar Target: Integer;\n  procedure Inner; begin Target := 1 end;\n"
           "begin Inner; Target := 2 end;\n";
  far += "procedure Long; begin\n  Target";
  for (int i = 0; i < 3000; ++i) far += ";\n  if Target = nil then Target";
  far += "\nend;\nprocedure Target; begin Long end;\nend.\n";
  const QString farPath = write("far.pas", far);

  const CrossReferences refs = ResolveCrossReferences({a, b, farPath});
  QStringList files;
  for (const QString &f : refs.files) files << QFileInfo(f).fileName();
  EXPECT_EQ(files, QStringList({"a.pas", "b.pas", "far.pas", "a.inc", "b.inc"}));
  QMap<QByteArray, int> usesOf;
  QMap<QByteArray, int> inFile;
  for (const XrefUse &use : refs.uses) {
    const XrefDeclaration &d = refs.declarations[size_t(use.declaration)];
    const QByteArray key = d.name.toByteArray() + '@' +
                           QFileInfo(refs.files[d.place.file]).fileName().toUtf8() + ':' +
                           QByteArray::number(d.place.line);
    ++usesOf[key];
    inFile[key] = use.place.file;
  }
  EXPECT_EQ(usesOf.value("InB@b.inc:1"), 1);
  EXPECT_EQ(usesOf.value("InA@a.inc:1"), 1);
  // Each routine's Inner is its own: called once there.
  int inners = 0;
  for (const XrefDeclaration &d : refs.declarations) inners += d.name == "Inner";
  EXPECT_EQ(inners, 400);
  for (auto it = usesOf.cbegin(); it != usesOf.cend(); ++it)
    if (it.key().startsWith("Inner@")) {
      EXPECT_EQ(it.value(), 1) << it.key().constData();
    }
  // The forward routine: every use in Long (none in R0..R399, whose locals
  // hide it), and its body is where its uses lead.
  EXPECT_EQ(usesOf.value("Target@far.pas:4"), 6001);
  EXPECT_EQ(usesOf.value("Long@far.pas:" + QByteArray::number(4 + 4 * 400 + 1)), 1);
  int target = -1;
  for (size_t d = 0; d < refs.declarations.size(); ++d)
    if (refs.declarations[d].name == "Target" && refs.declarations[d].declaredAt < 0)
      target = int(d);
  ASSERT_GE(target, 0);
  const int body = refs.declarations[size_t(target)].body;
  ASSERT_GE(body, 0);
  EXPECT_EQ(refs.declarations[size_t(body)].place.line, 4 + 4 * 400 + 1 + 3003);
}

// Implementations read by two resolvers at once give what reading them in
// order gives, field for field; a book where one module's heading changes
// what another declares is read again in order.
// A reader that read a module declaring nothing, then one declaring
// something: both parts start at the same serial, in whatever order the
// parts come.
TEST(CrossReferences, SerialsOfEmptyPartsTakeNoOthers) {
  using Part = xref::SerialMap::Part;
  std::vector<Part> parts = {
      {100, 100, 200}, {100, 110, 205}, {110, 110, 230}, {110, 112, 240}, {112, 120, 250}};
  std::sort(parts.begin(), parts.end(), [](const Part &a, const Part &b) {
    return std::tie(a.from, a.to) < std::tie(b.from, b.to);
  });
  do {
    const xref::SerialMap map(parts);
    EXPECT_EQ(map(99), 99);  // read before the implementations
    EXPECT_EQ(map(100), 205);
    EXPECT_EQ(map(109), 214);
    EXPECT_EQ(map(110), 240);
    EXPECT_EQ(map(111), 241);
    EXPECT_EQ(map(112), 250);
    EXPECT_EQ(map(119), 257);
  } while (std::next_permutation(parts.begin(), parts.end(), [](const Part &a, const Part &b) {
    return std::tie(a.from, a.to) < std::tie(b.from, b.to);
  }));
}

TEST(CrossReferences, ImplementationsReadTogetherAsInOrder) {
  auto shown = [](const CrossReferences &r) {
    QStringList out = r.files;
    for (const XrefDeclaration &d : r.declarations)
      out << QStringLiteral("D %1:%2:%3:%4 %5 %6.%7 %8 m%9 b%10 a%11")
                 .arg(d.place.file)
                 .arg(d.place.line)
                 .arg(d.place.column)
                 .arg(d.place.ordinal)
                 .arg(int(d.kind))
                 .arg(QString::fromLatin1(d.owner), QString::fromLatin1(d.name))
                 .arg(d.parameters)
                 .arg(d.module)
                 .arg(d.body)
                 .arg(d.declaredAt);
    for (const XrefUse &u : r.uses)
      out << QStringLiteral("U %1:%2:%3:%4 %5 %6")
                 .arg(u.place.file)
                 .arg(u.place.line)
                 .arg(u.place.column)
                 .arg(u.place.ordinal)
                 .arg(u.length)
                 .arg(u.declaration);
    return out;
  };
  auto both = [&](const QStringList &paths, bool mayShare) {
    std::optional<CrossReferences> together = xref::Resolver(paths, {}, {}).Run(true);
    const CrossReferences inOrder = *xref::Resolver(paths, {}, {}).Run(false);
    EXPECT_EQ(together.has_value(), mayShare) << paths.first().toStdString();
    if (together) EXPECT_EQ(shown(*together), shown(inOrder)) << paths.first().toStdString();
    EXPECT_EQ(shown(ResolveCrossReferences(paths)), shown(inOrder));
  };
  QTemporaryDir dir;
  auto write = [&](const QString &name, const QByteArray &text) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return file.fileName();
  };
  // Twelve units over one include file, each with types, forward routines
  // and locals of its own in its implementation, calling the others.
  write("shared.inc", "procedure Shared; begin Base end;\n");
  QStringList units;
  for (int i = 0; i < 12; ++i) {
    const QByteArray n = QByteArray::number(i);
    QByteArray text = "unit u" + n + ";\ninterface\nuses base;\ntype TC" + n +
                      " = class(TBase) procedure M; end;\nfunction F" + n + ": TC" + n +
                      ";\nimplementation\n";
    if (i > 0) text += "uses u" + QByteArray::number(i - 1) + ";\n";
    text +=
        "type TLocal = record X: Integer; end;\nprocedure Later; forward;\n{$I shared.inc}\n"
        "procedure TC" +
        n +
        ".M; var L: TLocal; begin L.X := 1; Later; Shared; Hook end;\n"
        "function F" +
        n + ": TC" + n + "; begin Result := TC" + n + ".Create; Result.M";
    if (i > 0) text += "; F" + QByteArray::number(i - 1) + ".M";
    text += " end;\nprocedure Later; begin F" + n + ".M end;\nend.\n";
    units << write("u" + n + ".pas", text);
  }
  units << write(
      "base.pas",
      "unit base;\ninterface\ntype TBase = class procedure Hook; end;\n"
      "implementation\nprocedure TBase.Hook; begin end;\nprocedure Base; begin end;\nend.\n");
  both(units, true);
  // Unit c's heading names b's class: only reading in order tells whose
  // body it is.
  const QString b = write("b.pas",
                          "unit b;\ninterface\ntype TB = class procedure P; end;\n"
                          "implementation\nend.\n");
  const QString c = write("c.pas",
                          "unit c;\ninterface\nuses b;\nimplementation\n"
                          "procedure TB.P; begin end;\nend.\n");
  both({b, c}, false);
  // Real code: fcl-passrc's units.
  QStringList passrc;
  const QDir src(QStringLiteral("/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src"));
  for (const QString &name : src.entryList({QStringLiteral("*.pp")}, QDir::Files, QDir::Name))
    passrc << src.filePath(name);
  if (passrc.size() > 1) both(passrc, true);
}

// The declarations' names and owners are views of one text of the
// references: they stay right in a copy that outlives the original, each
// owner is there once, and a name declared several times (overloads, a
// forward class, a method and its body) still finds each declaration.
TEST(CrossReferences, DeclarationTextsLiveInTheReferences) {
  QTemporaryDir dir;
  QFile file(dir.filePath("a.pas"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "unit a;\ninterface\ntype\n  TOuter = class;\n  TOuter = class\n"
      "    type TInner = class procedure Run; procedure Stop; end;\n"
      "    procedure Add(X: Integer); procedure Add(X, Y: Integer);\n  end;\n"
      "procedure Go(A: Integer);\nprocedure Go(A, B: Integer);\nimplementation\n"
      "procedure TOuter.TInner.Run; begin Go(1); Go(1, 2) end;\n"
      "procedure TOuter.TInner.Stop; begin end;\n"
      "procedure TOuter.Add(X: Integer); begin Add(X, X) end;\n"
      "procedure TOuter.Add(X, Y: Integer); begin Add(X) end;\n"
      "procedure Go(A: Integer); begin end;\nprocedure Go(A, B: Integer); begin end;\nend.\n");
  file.close();
  CrossReferences copy;
  {
    const CrossReferences refs = ResolveCrossReferences({file.fileName()});
    copy = refs;
  }
  const char *from = copy.texts.constData();
  const char *to = from + copy.texts.size();
  QStringList declared;
  QMap<QByteArray, const char *> ownerCopies;
  for (const XrefDeclaration &d : copy.declarations) {
    for (QByteArrayView text : {d.name, d.owner})
      if (!text.isEmpty()) EXPECT_TRUE(text.data() >= from && text.data() + text.size() <= to);
    if (!d.owner.isEmpty()) {
      const char *&seen = ownerCopies[d.owner.toByteArray()];
      if (!seen) seen = d.owner.data();
      EXPECT_EQ(seen, d.owner.data()) << d.owner.toByteArray().constData();
    }
    declared << QStringLiteral("%1 %2%3%4 %5")
                    .arg(d.place.line)
                    .arg(QString::fromLatin1(d.owner), d.owner.isEmpty() ? "" : ".",
                         QString::fromLatin1(d.name))
                    .arg(d.parameters);
  }
  EXPECT_EQ(declared, QStringList({"1 a -1", "5 TOuter -1", "6 TOuter.TInner -1",
                                   "6 TOuter.TInner.Run 0", "12 TOuter.TInner.Run 0",
                                   "6 TOuter.TInner.Stop 0", "13 TOuter.TInner.Stop 0",
                                   "7 TOuter.Add 1", "14 TOuter.Add 1", "7 TOuter.Add 2",
                                   "15 TOuter.Add 2", "9 Go 1", "16 Go 1", "10 Go 2", "17 Go 2"}));
  // Each call reaches the overload of its count of arguments.
  QStringList calls;
  for (const XrefUse &u : copy.uses) {
    const XrefDeclaration &d = copy.declarations[size_t(u.declaration)];
    if (d.name == "Go" || d.name == "Add")
      calls << QStringLiteral("%1:%2 %3").arg(u.place.line).arg(u.place.column).arg(d.parameters);
  }
  EXPECT_EQ(calls, QStringList({"12:36 1", "12:43 2", "14:41 2", "15:44 1"}));
}

// The resolver maps the files it reads: the same text, status and path as
// reading them, whatever their shape.
TEST(CrossReferences, MappedFilesReadAsReadFilesDo) {
  QTemporaryDir dir;
  QByteArray big;
  for (int i = 0; big.size() < (3 << 20); ++i) big += "procedure P" + QByteArray::number(i) + ";\n";
  const QByteArray rows[] = {
      "unit a;\nend.\n",
      "\xEF\xBB\xBFunit b;\nend.\n",           // a UTF-8 mark is no part of the text
      QByteArray("\xFF\xFEu\0n\0i\0t\0", 10),  // UTF-16: read and converted
      QByteArray("unit\0c;", 7),               // binary
      "",                                      // empty
      big + QByteArray(64 << 10, '\0'),        // binary past the first megabyte
      big + QByteArray(4, '\0') + big,         // a text with an editor's slip: blanks
      big,
  };
  int n = 0;
  for (const QByteArray &bytes : rows) {
    const QString path = dir.filePath(QString::number(n++) + ".pas");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const SourceFile read = ReadSourceFile(path);
    MappedSourceFile mapped = MapSourceFile(path);
    EXPECT_EQ(mapped.file.status, read.status) << n;
    EXPECT_EQ(mapped.file.diskPath, read.diskPath) << n;
    EXPECT_EQ(mapped.text, QByteArrayView(read.bytes)) << n;
    // Pages given back are read again when touched.
    mapped.ReleaseBefore(mapped.text.size());
    EXPECT_EQ(mapped.text, QByteArrayView(read.bytes)) << n;
  }
  EXPECT_EQ(MapSourceFile(dir.filePath("missing.pas")).file.status, SourceStatus::Missing);
}
}  // namespace

// Code no one writes, as a hostile file may hold it: nesting beyond what
// names are followed in ends the reading with a message and no
// references, never the program; deep but allowed nesting and long lines
// resolve every use, each with its own ordinal.
// A class of thousands of methods lets go of its tokens as it is read, and
// of its methods' parameters: every body still finds its declaration, the
// types its parameters name and the class's fields, and the declarations
// after the class are read as before.
TEST(CrossReferences, ClassOfThousandsOfMethods) {
  const int methods = 3000;  // past the tokens let go of in one batch
  QByteArray text = "unit m;\ninterface\ntype\n  TArg = Integer;\n  TBig = class\n    F: TArg;\n";
  for (int i = 0; i < methods; ++i)
    text += "    procedure M" + QByteArray::number(i) + "(A: TArg; B: TArg);\n";
  text += "  end;\nvar After: TBig;\nimplementation\n";
  for (int i = 0; i < methods; ++i)
    text += "procedure TBig.M" + QByteArray::number(i) +
            "(A: TArg; B: TArg);\nbegin F := A; After.M" + QByteArray::number((i + 1) % methods) +
            "(B, A) end;\n";
  text += "end.\n";
  QTemporaryDir dir;
  QFile file(dir.filePath("m.pas"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  file.close();
  const CrossReferences refs = ResolveCrossReferences({file.fileName()});
  // The unit, TArg, TBig, After, and each method twice.
  ASSERT_EQ(refs.declarations.size(), size_t(4 + 2 * methods));
  int bodies = 0;
  for (const XrefDeclaration &d : refs.declarations) {
    if (d.declaredAt < 0) continue;
    ++bodies;
    const XrefDeclaration &declared = refs.declarations[size_t(d.declaredAt)];
    const int i = d.name.sliced(1).toInt();
    EXPECT_EQ(declared.body, &d - refs.declarations.data());
    EXPECT_EQ(declared.place.line, 7 + i);
    EXPECT_EQ(d.place.line, 7 + methods + 3 + 2 * i) << d.name.toByteArray().constData();
  }
  EXPECT_EQ(bodies, methods);
  // Per body: TBig, TArg twice, After and the method it calls (a field is
  // no declaration the book lists); and TArg twice in each declaration,
  // once for F.
  QMap<QByteArray, int> usesOf;
  for (const XrefUse &u : refs.uses)
    ++usesOf[refs.declarations[size_t(u.declaration)].name.startsWith("M")
                 ? QByteArray("M")
                 : refs.declarations[size_t(u.declaration)].name.toByteArray()];
  EXPECT_EQ(
      usesOf,
      (QMap<QByteArray, int>{
          {"TArg", 4 * methods + 1}, {"TBig", methods + 1}, {"After", methods}, {"M", methods}}));
}

TEST(CrossReferences, HostileNestingAndLongLines) {
  auto repeat = [](const QByteArray &text, int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i) out += text;
    return out;
  };
  const QByteArray head =
      "unit h;\ninterface\nfunction F(x: Integer): Integer;\nimplementation\n"
      "function F(x: Integer): Integer; begin Result := x end;\n";
  struct Row {
    const char *what;
    QByteArray body;
    bool tooDeep;
    int usesOfF;
  };
  const Row rows[] = {
      {"blocks nested 20,000 deep",
       "procedure P;\nbegin\n" + repeat("begin\n", 20000) + repeat("end;\n", 20000) + "end;\n",
       true, 0},
      {"if-then chained 20,000 deep on one line",
       "procedure P;\nbegin\n" + repeat("if F(1) = 0 then ", 20000) + "F(2);\nend;\n", true, 0},
      {"routines nested 20,000 deep",
       "procedure P;\n" + repeat("procedure N;\n", 20000) + repeat("begin end;\n", 20001), true, 0},
      {"calls nested 300 deep, within the limit",
       "procedure P;\nvar v: Integer;\nbegin\nv := " + repeat("F(", 300) + "1" + repeat(")", 300) +
           ";\nend;\n",
       false, 300},
      {"brackets nested 50,000 deep without a call",
       "procedure P;\nvar v: Integer;\nbegin\nv := F(" + repeat("(", 50000) + "1" +
           repeat(")", 50000) + ");\nend;\n",
       false, 1},
      {"brackets nested 200,000 deep around an argument of an overloaded call",
       "function F(const s: string): Integer; overload; begin Result := 0 end;\n"
       "procedure P;\nvar v: Integer;\nbegin\nv := F(" +
           repeat("(", 200000) + "1" + repeat(")", 200000) + ");\nend;\n",
       false, 1},
      {"a condition in 100,000 brackets, taken as true",
       "{$IF " + repeat("(", 100000) + "defined(X)" + repeat(")", 100000) +
           "}\nprocedure P; begin F(1) end;\n{$ENDIF}\n",
       false, 1},
      {"one line of 2,000 calls",
       "procedure P;\nvar v: Integer;\nbegin\nv := 0" + repeat(" + F(v)", 2000) + ";\nend;\n",
       false, 2000},
      {"a with stopped short of its do, as code being written is",
       "procedure P;\nvar v: Integer;\nbegin\nwith v.x: Integer begin F(1) end;\nF(2);\nend;\n",
       false, 1},
      {"macros that open brackets they never close, used 200 times (each bracket was "
       "looked for to the end again: 46 s)",
       "{$macro on}{$define A:=F(B F(B}{$define B:=F(A F(A}\nprocedure P;\nvar v: Integer;\n"
       "begin\n" +
           repeat("v := A;\n", 200) + "end;\n",
       true, 0},
      {"20,000 anonymous methods begun and never given a body (each was looked for to the "
       "end: 8 s)",
       "procedure P;\nbegin\n" + repeat("F(procedure var x: Integer;\n", 20000) + "end;\n", false,
       1},
      {"macros that stand for one another, each twice",
       "{$macro on}{$define A:=B + B}{$define B:=A + A}\nprocedure P;\nvar v: Integer;\n"
       "begin\nv := F(1) + A;\nend;\n",
       false, 1},
  };
  for (const Row &row : rows) {
    QTemporaryDir dir;
    QFile file(dir.filePath("h.pas"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(head + row.body + "end.\n");
    file.close();
    const CrossReferences refs = ResolveCrossReferences({file.fileName()});
    if (row.tooDeep) {
      EXPECT_TRUE(refs.notFollowed.contains(QStringLiteral("h.pas:"))) << row.what;
      EXPECT_TRUE(refs.notFollowed.contains(QStringLiteral("nests more than"))) << row.what;
      EXPECT_TRUE(refs.uses.empty()) << row.what;
      continue;
    }
    EXPECT_TRUE(refs.notFollowed.isEmpty()) << row.what;
    // Every use of F on a line has its own ordinal: 0, 1, 2, ... in order.
    QMap<int, int> nextOrdinal;
    int uses = 0;
    for (const XrefUse &use : refs.uses) {
      if (refs.declarations[size_t(use.declaration)].name != "F" || use.place.line <= 5) continue;
      EXPECT_EQ(use.place.ordinal, nextOrdinal[use.place.line]++) << row.what;
      ++uses;
    }
    EXPECT_EQ(uses, row.usesOfF) << row.what;
  }
}

// Names are kept once for each spelling, whatever their length: a name
// longer than 255 bytes, thousands of names (the kept spellings' table
// grows), and names that differ only by case, each with its own spelling.
TEST(CrossReferences, EverySpellingIsKeptAsWritten) {
  QTemporaryDir dir;
  QFile file(dir.filePath("k.pas"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  const QByteArray longName = "L" + QByteArray(300, 'x');
  QByteArray text = "unit k;\ninterface\nimplementation\nvar " + longName + ": Integer;\n";
  for (int i = 0; i < 3000; ++i)
    text += "procedure " + QByteArray(i % 2 ? "P" : "p") + QByteArray::number(i) + "; begin " +
            longName.toLower() + " := " + QByteArray::number(i) + " end;\n";
  text += "end.\n";
  file.write(text);
  file.close();
  const CrossReferences refs = ResolveCrossReferences({file.fileName()});
  ASSERT_EQ(refs.declarations.size(), size_t(3002));
  EXPECT_EQ(refs.declarations[1].name, longName);
  for (int i = 0; i < 3000; ++i)
    ASSERT_EQ(refs.declarations[size_t(2 + i)].name,
              QByteArray(i % 2 ? "P" : "p") + QByteArray::number(i))
        << i;
  ASSERT_EQ(refs.uses.size(), size_t(3000));
  for (const XrefUse &u : refs.uses) {
    EXPECT_EQ(u.declaration, 1);
    EXPECT_EQ(u.length, longName.size());
  }
}

// Overloads told apart only by parameter lists of more than 255 bytes, at
// unit level and in a class: each body is its own heading's, whatever
// order the bodies come in, and a method's class is its owner.
TEST(CrossReferences, LongParameterListsFindTheirOwnBodies) {
  QByteArray params;
  for (int k = 0; k < 12; ++k)
    params += "a" + QByteArray::number(k) + ": TAVeryLongTypeName" + QByteArray::number(k) + "; ";
  ASSERT_GT(params.size(), 255);
  const QByteArray text =
      "unit s;\ninterface\ntype TC = class\n"  // 1-3
      "  procedure M(" +
      params +
      "x: Integer);\n"  // 4
      "  procedure M(" +
      params +
      "x: Boolean);\n"  // 5
      "end;\n"          // 6
      "procedure G(" +
      params +
      "x: Integer);\n"  // 7
      "procedure G(" +
      params +
      "x: Boolean);\n"    // 8
      "implementation\n"  // 9
      "procedure G(" +
      params +
      "x: Boolean); begin end;\n"  // 10
      "procedure TC.M(" +
      params +
      "x: Boolean); begin end;\n"  // 11
      "procedure G(" +
      params +
      "x: Integer); begin end;\n"  // 12
      "procedure TC.M(" +
      params +
      "x: Integer); begin end;\n"  // 13
      "end.\n";
  QTemporaryDir dir;
  QFile file(dir.filePath("s.pas"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(text);
  file.close();
  const CrossReferences refs = ResolveCrossReferences({file.fileName()});
  QMap<int, int> declaredAtLine;  // a body's line -> its heading's line
  for (const XrefDeclaration &d : refs.declarations) {
    if (d.declaredAt < 0) continue;
    declaredAtLine[d.place.line] = refs.declarations[size_t(d.declaredAt)].place.line;
    EXPECT_EQ(d.owner, QByteArrayView(d.name == "M" ? "TC" : "")) << d.place.line;
    EXPECT_EQ(d.parameters, 13);
  }
  EXPECT_EQ(declaredAtLine, (QMap<int, int>{{10, 8}, {11, 5}, {12, 7}, {13, 4}}));
}
