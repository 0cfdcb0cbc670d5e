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
  SysUtils, Classes, PScanner, PParser, PasTree, PasResolver, PasResolveEval;

type
  TOracleEngine = class(TPasResolver)
  public
    FileName: string;
    Elements: TFPList;
    FileResolver: TFileResolver;
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
    function FindUnit(const AName, InFilename: String;
      NameExpr, InFileExpr: TPasExpr): TPasModule; override;
  end;

const
  UnitExtensions: array[0..2] of string = ('.pp', '.pas', '.p');

var
  Engines: TFPList;
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
  Result := inherited CreateElement(AClass, AName, AParent, AVisibility, ASrcPos, TypeParams);
  Elements.Add(Result);
end;

procedure ParseEngine(E: TOracleEngine); forward;

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

procedure ParseEngine(E: TOracleEngine);
var
  M: TPasModule;
  i: Integer;
begin
  E.Started := True;
  E.FileResolver := TFileResolver.Create;
  E.FileResolver.AddIncludePath(ExtractFilePath(E.FileName));
  for i := 0 to IncludeFolders.Count - 1 do
    E.FileResolver.AddIncludePath(IncludeFolders[i]);
  E.Scanner := TPascalScanner.Create(E.FileResolver);
  for i := 0 to Defines.Count - 1 do
    E.Scanner.AddDefine(Defines[i]);
  E.Parser := TPasParser.Create(E.Scanner, E.FileResolver, E);
  // The set brings its own small System unit, or the search folders the real one.
  if CompareText(ChangeFileExt(ExtractFileName(E.FileName), ''), 'system') = 0 then
    E.Parser.ImplicitUses.Clear;
  E.Parser.Options := E.Parser.Options + [po_ResolveStandardTypes];
  E.AddObjFPCBuiltInIdentifiers;
  E.Scanner.OpenFile(E.FileName);
  M := nil;
  try
    E.Parser.ParseMain(M);
  except
    on Ex: Exception do
      WriteLn(StdErr, E.FileName, ': ', Ex.ClassName, ': ', Ex.Message, ' at line ',
        E.Scanner.CurRow);
  end;
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
  for Arg in ['FPC', 'UNIX', 'LINUX', 'CPU64', 'CPUX86_64', 'CPUAMD64', 'ENDIAN_LITTLE',
    'FPC_LITTLE_ENDIAN', 'VER3', 'VER3_2', 'VER3_2_2'] do
    Defines.Add(Arg);
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
end.
