unit TextUtil;

// Padding and clipping of report columns. Named only in the uses clause of
// the reports unit, not in the project file.

interface

function PadRight(const S: string; Width: Integer): string;
function PadLeft(const S: string; Width: Integer): string;
function Clip(const S: string; Width: Integer): string;

implementation

function Clip(const S: string; Width: Integer): string;
begin
  if Width <= 0 then
    Result := ''
  else if Length(S) > Width then
    Result := Copy(S, 1, Width - 1) + '~'
  else
    Result := S;
end;

function PadRight(const S: string; Width: Integer): string;
begin
  Result := Clip(S, Width);
  while Length(Result) < Width do
    Result := Result + ' ';
end;

function PadLeft(const S: string; Width: Integer): string;
begin
  Result := Clip(S, Width);
  while Length(Result) < Width do
    Result := ' ' + Result;
end;

end.
