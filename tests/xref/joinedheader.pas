unit JoinedHeader;

{ A routine's header over three lines, a type named on each: the listing
  prints it as one row, and each of the names is a link. }

interface

type
  TPoint = record
    X, Y: Integer;
  end;
  TSize = record
    Width, Height: Integer;
  end;
  TArea = record
    Origin: TPoint;
    Extent: TSize;
  end;

function MakeArea(const Origin: TPoint;
  const Extent: TSize;
  out Area: TArea): Boolean;

implementation

function MakeArea(const Origin: TPoint;
  const Extent: TSize;
  out Area: TArea): Boolean;
var
  Corner: TPoint;
begin
  Corner := Origin;
  Area.Origin := Corner;
  Area.Extent := Extent;
  Result := True;
end;

procedure Fill(var Area: TArea;
  const Extent: TSize);
var
  Origin: TPoint;
begin
  Origin.X := 0;
  Origin.Y := 0;
  MakeArea(Origin, Extent, Area);
end;

end.
