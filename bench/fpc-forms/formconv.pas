{ Reference conversions by Free Pascal's own classes unit, for comparing
  scrivane-print --form-text with them. For each text form named in LISTFILE
  (one path a line) writes, numbered from 0001 in OUTDIR:
    NNNN.dfm  ObjectTextToBinary's stream behind a binary resource header
    NNNN.txt  ObjectBinaryToText's text of that stream
  or NNNN.err with the exception message when a conversion fails. }
program formconv;

{$mode objfpc}{$H+}

uses
  cwstring, Classes, SysUtils;

procedure WriteResourceHeader(Output: TStream; const Name: string; Size: LongWord);
var
  UpperName: string;
begin
  UpperName := UpperCase(Name);
  Output.WriteByte($FF);
  Output.WriteWord(NtoLE(Word(10)));
  Output.WriteBuffer(UpperName[1], Length(UpperName));
  Output.WriteByte(0);
  Output.WriteWord(NtoLE(Word($1030)));
  Output.WriteDWord(NtoLE(Size));
end;

procedure ConvertOne(const Source, Stem: string);
var
  Text, Binary, Back: TMemoryStream;
  Dfm: TFileStream;
  Err: TStringList;
begin
  Text := TMemoryStream.Create;
  Binary := TMemoryStream.Create;
  Back := TMemoryStream.Create;
  try
    try
      Text.LoadFromFile(Source);
      Text.Position := 0;
      ObjectTextToBinary(Text, Binary);
      Dfm := TFileStream.Create(Stem + '.dfm', fmCreate);
      try
        WriteResourceHeader(Dfm, ChangeFileExt(ExtractFileName(Source), ''), Binary.Size);
        Dfm.CopyFrom(Binary, 0);
      finally
        Dfm.Free;
      end;
      Binary.Position := 0;
      ObjectBinaryToText(Binary, Back);
      Back.SaveToFile(Stem + '.txt');
    except
      on E: Exception do
      begin
        Err := TStringList.Create;
        try
          Err.Add(E.ClassName + ': ' + E.Message);
          Err.SaveToFile(Stem + '.err');
        finally
          Err.Free;
        end;
      end;
    end;
  finally
    Text.Free;
    Binary.Free;
    Back.Free;
  end;
end;

var
  List: TStringList;
  I: Integer;
begin
  if ParamCount <> 2 then
  begin
    WriteLn(StdErr, 'usage: formconv LISTFILE OUTDIR');
    Halt(2);
  end;
  List := TStringList.Create;
  try
    List.LoadFromFile(ParamStr(1));
    for I := 0 to List.Count - 1 do
      if List[I] <> '' then
        ConvertOne(List[I], IncludeTrailingPathDelimiter(ParamStr(2)) + Format('%.4d', [I + 1]));
  finally
    List.Free;
  end;
end.
