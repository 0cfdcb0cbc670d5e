unit HeaderText;

interface

type
  TShape = class
    procedure Draw; virtual; abstract;
    procedure Move(dx,
      dy: Integer); overload; // by a step
    function Area: Double; inline;
    function Check(p: PChar): Boolean; // messages: file(y,x): Hint
  end;

procedure Beep; external name 'beep';

implementation

procedure TShape.Move(dx,
  dy: Integer);
begin
  Draw;
end;

function TShape.Area: Double; inline;
begin
  Result := 0;
end;

function TShape.Check(p: PChar): Boolean;
begin
  Result := p <> nil;
end;

end.
