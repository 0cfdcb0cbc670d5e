{ Writes, for every identifier that Free Pascal's own resolver (fcl-passrc's
  TPasResolver) resolves in the given units, where it stands and the
  declaration it names:
    use-file <TAB> line <TAB> name <TAB> decl-file <TAB> decl-line <TAB> decl-class <TAB> decl-parent-class
  The units are read as one set: a unit named in a uses clause is the file
  given for it. No System unit is read; the base types and procedures the
  resolver knows itself stand in for it. }
program oracle;

{$mode objfpc}{$H+}

uses
  SysUtils, Classes, PScanner, PParser, PasTree, PasResolver, PasResolveEval, RegExpr;

type
  // Reads a unit from outside the set with a few words replaced where the
  // run-time library uses what this parser has not learnt.
  TPatchingFileResolver = class(TFileResolver)
  public
    Patching: boolean;
    function Patched(Reader: TLineReader; const FullName: string): TLineReader;
    function FindSourceFile(const AName: string): TLineReader; override;
    function FindIncludeFile(const AName: string): TLineReader; override;
  end;

  TOracleEngine = class(TPasResolver)
  public
    FileName: string;
    Elements: TFPList;
    FileResolver: TPatchingFileResolver;
    Scanner: TPascalScanner;
    Parser: TPasParser;
    Started: boolean;
    // A unit found on a search folder: read for its declarations, not listed.
    Quiet: boolean;
    constructor Create;
    function CreateElement(AClass: TPTreeElement; const AName: String;
      AParent: TPasElement; AVisibility: TPasMemberVisibility;
      const ASrcPos: TPasSourcePos; TypeParams: TFPList = nil): TPasElement;
      overload; override;
    function EvalFunction(Sender: TCondDirectiveEvaluator; Name, Param: String;
      out Value: string): boolean;
    function AnyCallFits(Proc: TResElDataBuiltInProc; Exp: TPasExpr;
      RaiseOnError: boolean): integer;
    procedure SizeOfResult(Proc: TResElDataBuiltInProc; Params: TParamsExpr;
      out ResolvedEl: TPasResolverResult);
    procedure SizeOfValue(Proc: TResElDataBuiltInProc; Params: TParamsExpr;
      Flags: TResEvalFlags; out Evaluated: TResEvalValue);
    procedure RaiseMsg(const Id: TMaxPrecInt; MsgNumber: integer; const Fmt: String;
      Args: array of const; ErrorPosEl: TPasElement); override;
    procedure RaiseNotYetImplemented(id: TMaxPrecInt; El: TPasElement; Msg: string = '');
      override;
    function FindUnit(const AName, InFilename: String;
      NameExpr, InFileExpr: TPasExpr): TPasModule; override;
  end;

const
  // What fpc 3.2.2 defines on x86-64 Linux (fpc -va lists them).
  CompilerDefines: array[0..74] of string = (
    'CONSOLE', 'CPU64', 'CPUAMD64', 'CPUATHLON64', 'CPUINT64', 'CPUX64', 'CPUX86_64',
    'CPUX86_HAS_CMOV', 'CPUX86_HAS_SSE2', 'CPUX86_HAS_SSEUNIT', 'ENDIAN_LITTLE', 'FPC',
    'FPC_ABI_DEFAULT', 'FPC_DYNARRAYCOPY_FIXED', 'FPC_HAS_CEXTENDED', 'FPC_HAS_CONSTREF',
    'FPC_HAS_CPSTRING', 'FPC_HAS_FEATURE_ANSISTRINGS', 'FPC_HAS_FEATURE_CLASSES',
    'FPC_HAS_FEATURE_COMMANDARGS', 'FPC_HAS_FEATURE_CONSOLEIO',
    'FPC_HAS_FEATURE_DYNARRAYS', 'FPC_HAS_FEATURE_DYNLIBS', 'FPC_HAS_FEATURE_EXCEPTIONS',
    'FPC_HAS_FEATURE_EXITCODE', 'FPC_HAS_FEATURE_FILEIO', 'FPC_HAS_FEATURE_HEAP',
    'FPC_HAS_FEATURE_INITFINAL', 'FPC_HAS_FEATURE_OBJECTIVEC1', 'FPC_HAS_FEATURE_OBJECTS',
    'FPC_HAS_FEATURE_PROCESSES', 'FPC_HAS_FEATURE_RANDOM', 'FPC_HAS_FEATURE_RESOURCES',
    'FPC_HAS_FEATURE_RTTI', 'FPC_HAS_FEATURE_SOFTFPU', 'FPC_HAS_FEATURE_STACKCHECK',
    'FPC_HAS_FEATURE_SUPPORT', 'FPC_HAS_FEATURE_TEXTIO', 'FPC_HAS_FEATURE_THREADING',
    'FPC_HAS_FEATURE_UNICODESTRINGS', 'FPC_HAS_FEATURE_VARIANTS',
    'FPC_HAS_FEATURE_WIDESTRINGS', 'FPC_HAS_INDIRECT_ENTRY_INFORMATION',
    'FPC_HAS_INTERNAL_ABS_INT64', 'FPC_HAS_INTERNAL_ABS_LONG', 'FPC_HAS_INTERNAL_BSF',
    'FPC_HAS_INTERNAL_BSR', 'FPC_HAS_INTERNAL_ROX', 'FPC_HAS_INTERNAL_SAR',
    'FPC_HAS_MEMBAR', 'FPC_HAS_OPERATOR_ENUMERATOR', 'FPC_HAS_RESSTRINITS',
    'FPC_HAS_RIP_RELATIVE', 'FPC_HAS_TYPE_DOUBLE', 'FPC_HAS_TYPE_EXTENDED',
    'FPC_HAS_TYPE_SINGLE', 'FPC_HAS_UNICODESTRING', 'FPC_HAS_WINLIKERESOURCES',
    'FPC_LINK_STATIC', 'FPC_LITTLE_ENDIAN', 'FPC_RTTI_PACKSET1', 'FPC_SETBASE_USED',
    'FPC_STATICRIPFIXED', 'FPC_VARIANTCOPY_FIXED', 'FPC_WIDESTRING_EQUAL_UNICODESTRING',
    'FPUSSE64', 'HASUNIX', 'INTERNAL_BACKTRACE', 'LINUX', 'REGCALL', 'STR_CONCAT_PROCS',
    'UNIX', 'VER3', 'VER3_2', 'VER3_2_2');
  TextProcedures: array[0..3] of string = ('Write', 'WriteLn', 'Read', 'ReadLn');
  UnitExtensions: array[0..2] of string = ('.pp', '.pas', '.p');

var
  Engines: TFPList;
  PatchFrom, PatchTo: TStringList;
  // Counts, for the closing line: what was let pass in the units of the
  // set (type checks) and in the units read for their interfaces.
  ChecksPassedOver: Integer = 0;
  LibraryPassedOver: Integer = 0;
  // Patches the units of the set may need too; they keep every line where it is.
  BookPatchFrom, BookPatchTo: TStringList;
  UnitFolders, IncludeFolders, Defines: TStringList;
  Hub: TPasResolverHub;

constructor TOracleEngine.Create;
begin
  inherited Create;
  Elements := TFPList.Create;
end;

function TOracleEngine.CreateElement(AClass: TPTreeElement; const AName: String;
  AParent: TPasElement; AVisibility: TPasMemberVisibility;
  const ASrcPos: TPasSourcePos; TypeParams: TFPList): TPasElement;
begin
  // A String[N] type would otherwise be entered as a type named "string"
  // that hides the base type from there on.
  if AClass = TPasStringType then
    Result := inherited CreateElement(AClass, '', AParent, AVisibility, ASrcPos, TypeParams)
  else
    Result := inherited CreateElement(AClass, AName, AParent, AVisibility, ASrcPos, TypeParams);
  // The parser releases what it reads again (a term it reads twice), and
  // the list of what was made must not point at freed elements.
  Result.AddRef;
  Elements.Add(Result);
end;

procedure ParseEngine(E: TOracleEngine); forward;
function LineOf(El: TPasElement): Integer; forward;

function TPatchingFileResolver.Patched(Reader: TLineReader; const FullName: string): TLineReader;
var
  Text: string;
  i: Integer;
begin
  if (Reader = nil) or (not Patching and (BookPatchFrom.Count = 0)) then
    Exit(Reader);
  Text := '';
  while not Reader.IsEOF do
    Text := Text + Reader.ReadLine + LineEnding;
  if Patching then
    for i := 0 to PatchFrom.Count - 1 do
      Text := ReplaceRegExpr(PatchFrom[i], Text, PatchTo[i], True)
  else
    for i := 0 to BookPatchFrom.Count - 1 do
      Text := ReplaceRegExpr(BookPatchFrom[i], Text, BookPatchTo[i], True);
  // The uses and declarations are named by the file's whole path.
  if FullName <> '' then
    Result := TStringStreamLineReader.Create(ExpandFileName(FullName), Text)
  else
    Result := TStringStreamLineReader.Create(Reader.Filename, Text);
  Reader.Free;
end;

function TPatchingFileResolver.FindSourceFile(const AName: string): TLineReader;
var
  Text: string;
  Cut: TRegExpr;
begin
  Result := Patched(inherited FindSourceFile(AName), AName);
  if (Result = nil) or not Patching then
    Exit;
  // Only the interface is wanted, and the bodies are what the parser
  // would stumble on most (assembler, compiler internals).
  Text := '';
  while not Result.IsEOF do
    Text := Text + Result.ReadLine + LineEnding;
  // At a line's start; a commented one is indented.
  Cut := TRegExpr.Create('(?im)^implementation\b');
  if not Cut.Exec(Text) then
    Cut.Expression := '(?im)^\s*implementation\b';
  if Cut.Exec(Text) then
    Text := Copy(Text, 1, Cut.MatchPos[0] - 1) + LineEnding + 'implementation' + LineEnding +
      'end.' + LineEnding;
  Cut.Free;
  Result := TStringStreamLineReader.Create(Result.Filename, Text);
end;

function TPatchingFileResolver.FindIncludeFile(const AName: string): TLineReader;
begin
  Result := Patched(inherited FindIncludeFile(AName), FindIncludeFileName(AName));
end;

function TOracleEngine.AnyCallFits(Proc: TResElDataBuiltInProc; Exp: TPasExpr;
  RaiseOnError: boolean): integer;
begin
  Result := cExact;
end;

procedure TOracleEngine.SizeOfResult(Proc: TResElDataBuiltInProc; Params: TParamsExpr;
  out ResolvedEl: TPasResolverResult);
begin
  SetResolverIdentifier(ResolvedEl, btLongint, Proc.Proc, BaseTypes[btLongint],
    BaseTypes[btLongint], [rrfReadable]);
end;

procedure TOracleEngine.SizeOfValue(Proc: TResElDataBuiltInProc; Params: TParamsExpr;
  Flags: TResEvalFlags; out Evaluated: TResEvalValue);
begin
  Evaluated := TResEvalInt.CreateValue(8);
end;

procedure TOracleEngine.RaiseMsg(const Id: TMaxPrecInt; MsgNumber: integer;
  const Fmt: String; Args: array of const; ErrorPosEl: TPasElement);
begin
  // A unit from outside the set is read without its implementation.
  if Quiet and ((MsgNumber = nForwardProcNotResolved) or
    (MsgNumber = nClassMethodsMustBeStaticInX) or (MsgNumber = nNoMethodInAncestorToOverride)) then
    Exit;
  // Checks of what was resolved already: the names stay as found.
  // Two overloads in different units that fit as well: Free Pascal takes
  // the one found first, the nearer unit's, and so does the resolver when
  // it goes on.
  // This resolver does not convert between PChar and strings as Free
  // Pascal does; such checks come after the names are resolved.
  case MsgNumber of
    nResultTypeMismatchExpectedButFound, nCantDetermineWhichOverloadedFunctionToCall,
    nIncompatibleTypeArgNo, nIncompatibleTypeArgNoVarParamMustMatchExactly,
    nIncompatibleTypesGotExpected, nIllegalTypeConversionTo,
    nIncompatibleTypesGotParametersExpected, nNoMethodInAncestorToOverride,
    nOperatorIsNotOverloadedAOpB, nXExpectedButYFound, nNotReadable,
    nVariableIdentifierExpected:
    begin
      Inc(ChecksPassedOver);
      Exit;
    end;
  end;
  if ErrorPosEl <> nil then
    WriteLn(StdErr, '  error at ', ErrorPosEl.SourceFilename, ':', LineOf(ErrorPosEl), ' ',
      ErrorPosEl.ClassName, ' ', ErrorPosEl.FullName);
  inherited RaiseMsg(Id, MsgNumber, Fmt, Args, ErrorPosEl);
end;

procedure TOracleEngine.RaiseNotYetImplemented(id: TMaxPrecInt; El: TPasElement; Msg: string);
begin
  // The run-time library uses a few things this resolver has not learnt
  // (a procedure type written in a record field); they name nothing the
  // units read here use.
  if Quiet then
  begin
    Inc(LibraryPassedOver);
    Exit;
  end;
  // A check it let pass above (Copy, Delete and Insert of a string, which
  // it knows for arrays only; a PChar cast): the call stays resolved.
  if (Copy(Msg, 1, 17) = 'missing exception') or (id = 20160922163705) then
  begin
    Inc(ChecksPassedOver);
    Exit;
  end;
  inherited RaiseNotYetImplemented(id, El, Msg);
end;

function TOracleEngine.EvalFunction(Sender: TCondDirectiveEvaluator; Name, Param: String;
  out Value: string): boolean;
var
  Found: TPasElement;
begin
  Value := '0';
  if CompareText(Name, 'sizeof') = 0 then
  begin
    // In {$IF}s: the sizes on x86-64 in the objfpc mode.
    case LowerCase(Param) of
      'byte', 'shortint', 'char', 'ansichar', 'boolean': Value := '1';
      'word', 'smallint', 'widechar': Value := '2';
      'longint', 'longword', 'cardinal', 'integer', 'single', 'dword': Value := '4';
      'extended': Value := '10';
    else
      Value := '8';
    end;
    Exit(True);
  end;
  if CompareText(Name, 'declared') <> 0 then
    Exit(False);
  Found := nil;
  try
    Found := FindElement(Param);
  except
    Found := nil;
  end;
  if Found <> nil then
    Value := '1';
  Result := True;
end;

function TOracleEngine.FindUnit(const AName, InFilename: String;
  NameExpr, InFileExpr: TPasExpr): TPasModule;
var
  i: Integer;
  Other: TOracleEngine;
  Ext: string;
begin
  Result := nil;
  for i := 0 to Engines.Count - 1 do
  begin
    Other := TOracleEngine(Engines[i]);
    if CompareText(ChangeFileExt(ExtractFileName(Other.FileName), ''), AName) = 0 then
    begin
      if not Other.Started then
        ParseEngine(Other);
      Exit(Other.RootElement);
    end;
  end;
  for i := 0 to UnitFolders.Count - 1 do
    for Ext in UnitExtensions do
      if FileExists(UnitFolders[i] + LowerCase(AName) + Ext) then
      begin
        Other := TOracleEngine.Create;
        Other.FileName := UnitFolders[i] + LowerCase(AName) + Ext;
        Other.Hub := Hub;
        Other.Quiet := True;
        Engines.Add(Other);
        ParseEngine(Other);
        Exit(Other.RootElement);
      end;
end;

// Free Pascal loads ObjPas by itself in the objfpc and delphi modes.
function LoadsObjPas(const FileName: string): boolean;
var
  Source: TStringList;
  Found: string;
  i: Integer;
begin
  if CompareText(ChangeFileExt(ExtractFileName(FileName), ''), 'objpas') = 0 then
    Exit(False);
  Found := '';
  for i := 0 to UnitFolders.Count - 1 do
    if FileExists(UnitFolders[i] + 'objpas.pp') then
      Found := UnitFolders[i];
  if Found = '' then
    Exit(False);
  Source := TStringList.Create;
  try
    Source.LoadFromFile(FileName);
    Result := ExecRegExpr('(?i)\{\$mode\s+(objfpc|delphi)', Source.Text);
  finally
    Source.Free;
  end;
end;

procedure ParseEngine(E: TOracleEngine);
var
  M: TPasModule;
  i: Integer;
  Arg: string;
begin
  E.Started := True;
  E.FileResolver := TPatchingFileResolver.Create;
  E.FileResolver.Patching := E.Quiet;
  E.FileResolver.AddIncludePath(ExtractFilePath(E.FileName));
  for i := 0 to IncludeFolders.Count - 1 do
    E.FileResolver.AddIncludePath(IncludeFolders[i]);
  E.Scanner := TPascalScanner.Create(E.FileResolver);
  for i := 0 to Defines.Count - 1 do
    E.Scanner.AddDefine(Defines[i]);
  // fpc gives its version as macros too: "{$IF FPC_FULLVERSION>=30002}".
  E.Scanner.AddMacro('FPC_FULLVERSION', '30202', True);
  E.Scanner.AddMacro('FPC_VERSION', '3', True);
  E.Scanner.AddMacro('FPC_RELEASE', '2', True);
  E.Scanner.AddMacro('FPC_PATCH', '2', True);
  E.Scanner.OnEvalFunction := @E.EvalFunction;
  E.Parser := TPasParser.Create(E.Scanner, E.FileResolver, E);
  // The set brings its own small System unit, or the search folders the real one.
  if CompareText(ChangeFileExt(ExtractFileName(E.FileName), ''), 'system') = 0 then
    E.Parser.ImplicitUses.Clear
  else if LoadsObjPas(E.FileName) then
    E.Parser.ImplicitUses.Add('ObjPas');
  E.Parser.Options := E.Parser.Options + po_Resolver;
  // {$H+}: String is AnsiString itself, not a type of its own.
  E.AddObjFPCBuiltInIdentifiers(btAllFPCTypes - [btString]);
  E.DefaultScope.AddIdentifier('String', E.BaseTypes[btAnsiString], pikBaseType);
  E.BaseTypeString := btAnsiString;
  // Base types the compiler gives the System unit.
  E.AddBaseType('Boolean8', btByteBool);
  E.AddBaseType('Boolean16', btWordBool);
  E.AddBaseType('Boolean32', btLongBool);
  E.AddBaseType('Boolean64', btQWordBool);
  E.AddBaseType('OleVariant', btVariant);
  E.AddBaseType('TypedFile', btFile);
  E.AddBaseType('UntypedFile', btFile);
  // Free Pascal's own intrinsics this resolver does not know.
  for Arg in TextProcedures do
    E.AddBuiltInProc(Arg, 'procedure ' + Arg + '(...)', @E.AnyCallFits, nil, nil, nil,
      bfCustom, [bipfCanBeStatement]);
  E.AddBuiltInProc('SizeOf', 'function SizeOf(const X): Integer', @E.AnyCallFits,
    @E.SizeOfResult, @E.SizeOfValue);
  E.Scanner.OpenFile(E.FileName);
  M := nil;
  try
    E.Parser.ParseMain(M);
  except
    on Ex: Exception do
    begin
      WriteLn(StdErr, E.FileName, ': ', Ex.ClassName, ': ', Ex.Message, ' at ',
        E.Scanner.CurFilename, ':', E.Scanner.CurRow);
      if E.LastMsgElement <> nil then
        WriteLn(StdErr, '  at element ', E.LastMsgElement.SourceFilename, ':',
          LineOf(E.LastMsgElement));
      if Ex is EAccessViolation then
        DumpExceptionBackTrace(StdErr);
    end;
  end;
end;

// Each line of the file: a regular expression, a tab, what replaces it ($1...).
procedure ReadPatches(const FileName: string; PatchFrom, PatchTo: TStringList);
var
  Lines: TStringList;
  Line: string;
  Tab: Integer;
begin
  Lines := TStringList.Create;
  Lines.LoadFromFile(FileName);
  for Line in Lines do
  begin
    Tab := Pos(#9, Line);
    if (Tab > 1) and (Line[1] <> '#') then
    begin
      PatchFrom.Add(Copy(Line, 1, Tab - 1));
      PatchTo.Add(Copy(Line, Tab + 1, MaxInt));
    end;
  end;
  Lines.Free;
end;

function LineOf(El: TPasElement): Integer;
var
  Line, Column: Integer;
begin
  TPasResolver.UnmangleSourceLineNumber(El.SourceLinenumber, Line, Column);
  Result := Line;
end;

function NameOf(El: TPasElement): string;
begin
  if El is TPrimitiveExpr then
    Result := TPrimitiveExpr(El).Value
  else if El is TSelfExpr then
    Result := 'self'
  else
    Result := El.Name;
end;

var
  i, j: Integer;
  E: TOracleEngine;
  El, Decl: TPasElement;
  Ref: TResolvedReference;
  ParentClass, Arg: string;
begin
  Engines := TFPList.Create;
  Hub := TPasResolverHub.Create(nil);
  UnitFolders := TStringList.Create;
  IncludeFolders := TStringList.Create;
  Defines := TStringList.Create;
  PatchFrom := TStringList.Create;
  PatchTo := TStringList.Create;
  BookPatchFrom := TStringList.Create;
  BookPatchTo := TStringList.Create;
  for i := Low(CompilerDefines) to High(CompilerDefines) do
    Defines.Add(CompilerDefines[i]);
  for i := 1 to ParamCount do
  begin
    Arg := ParamStr(i);
    if Copy(Arg, 1, 3) = '-Fu' then
    begin
      UnitFolders.Add(IncludeTrailingPathDelimiter(ExpandFileName(Copy(Arg, 4, MaxInt))));
      Continue;
    end;
    if Copy(Arg, 1, 3) = '-Fi' then
    begin
      IncludeFolders.Add(IncludeTrailingPathDelimiter(ExpandFileName(Copy(Arg, 4, MaxInt))));
      Continue;
    end;
    if Copy(Arg, 1, 10) = '--patches=' then
    begin
      ReadPatches(Copy(Arg, 11, MaxInt), PatchFrom, PatchTo);
      Continue;
    end;
    if Copy(Arg, 1, 15) = '--book-patches=' then
    begin
      ReadPatches(Copy(Arg, 16, MaxInt), BookPatchFrom, BookPatchTo);
      Continue;
    end;
    if Copy(Arg, 1, 2) = '-d' then
    begin
      Defines.Add(Copy(Arg, 3, MaxInt));
      Continue;
    end;
    E := TOracleEngine.Create;
    E.FileName := ExpandFileName(Arg);
    E.Hub := Hub;
    Engines.Add(E);
  end;
  for i := 0 to Engines.Count - 1 do
    if not TOracleEngine(Engines[i]).Started then
      ParseEngine(TOracleEngine(Engines[i]));
  for i := 0 to Engines.Count - 1 do
  begin
    E := TOracleEngine(Engines[i]);
    if E.Quiet then
      Continue;
    for j := 0 to E.Elements.Count - 1 do
    begin
      El := TPasElement(E.Elements[j]);
      if not (El.CustomData is TResolvedReference) then
        Continue;
      Ref := TResolvedReference(El.CustomData);
      Decl := Ref.Declaration;
      if (Decl = nil) or (Decl.SourceFilename = '') then
        Continue;
      if Decl.Parent <> nil then
        ParentClass := Decl.Parent.ClassName
      else
        ParentClass := '-';
      WriteLn(El.SourceFilename, #9, LineOf(El), #9, NameOf(El), #9,
        Decl.SourceFilename, #9, LineOf(Decl), #9, Decl.ClassName, #9, ParentClass);
    end;
  end;
  if ChecksPassedOver + LibraryPassedOver > 0 then
    WriteLn(StdErr, 'let pass: ', ChecksPassedOver, ' type checks in the units given, ',
      LibraryPassedOver, ' things not learnt in the units around them');
end.
