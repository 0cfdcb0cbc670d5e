unit Graphics;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  HCURSOR = PtrUInt;

  TGraphic = class(TPersistent)
  end;

  TCustomIcon = class(TGraphic)
  public
    procedure LoadFromResourceName(Instance: THandle; const ResName: string);
  end;

  TCursorImage = class(TCustomIcon)
  public
    function ReleaseHandle: HCURSOR;
  end;

implementation

end.
