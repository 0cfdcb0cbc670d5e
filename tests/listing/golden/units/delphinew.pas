unit DelphiNew;

interface

uses
  System.SysUtils, System.Classes;

type
  [TestFixture]
  TShapes = class
  strict private
    FCount: Integer;
  public
    [Test]
    procedure Grow; virtual; abstract;
    function Twice(F: TFunc<Integer, Integer>; X: Integer): Integer;
  end;

implementation

function TShapes.Twice(F: TFunc<Integer, Integer>; X: Integer): Integer;
begin
  var Y := F(X);
  if Y > 0 then
  begin
    const Z = 2;
    Result := F(Y) * Z;
  end
  else
    Result := 0;
  var Text := '''
    begin x-1; end
      it's kept
    ''';
  TThread.Queue(nil,
    procedure
    var
      FCount: Integer;
    begin
      FCount := Length(Text);
    end);
  Twice(function(A: Integer): Integer
    begin
      Result := A + 1;
    end, 3);
  for var I := 1 to Y do
    Inc(FCount);
end;

end.
