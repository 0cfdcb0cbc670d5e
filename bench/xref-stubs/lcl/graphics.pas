unit Graphics;

{$mode objfpc}{$H+}

interface

uses
  Classes, Types;

type
  HCURSOR = PtrUInt;

  TTextStyle = packed record
    Alignment: TAlignment;
  end;

  TCanvas = class(TPersistent)
  private
    function GetTextStyle: TTextStyle;
    procedure SetTextStyle(const Value: TTextStyle);
  public
    procedure FillRect(const ARect: TRect); virtual; overload;
    procedure TextRect(const ARect: TRect; X, Y: Integer; const Text: string;
      const Style: TTextStyle); virtual; overload;
    property TextStyle: TTextStyle read GetTextStyle write SetTextStyle;
  end;

  TGraphic = class(TPersistent)
  public
    procedure LoadFromFile(const Filename: string); virtual;
  end;

  TCustomBitmap = class(TGraphic)
  end;

  TPortableNetworkGraphic = class(TCustomBitmap)
  end;

  TCustomIcon = class(TGraphic)
  public
    procedure LoadFromResourceName(Instance: THandle; const ResName: string);
  end;

  TIcon = class(TCustomIcon)
  end;

  TCursorImage = class(TCustomIcon)
  public
    function ReleaseHandle: HCURSOR;
  end;

implementation

end.
