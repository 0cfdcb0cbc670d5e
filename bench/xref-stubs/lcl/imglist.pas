unit ImgList;

{$mode objfpc}{$H+}

interface

uses
  Classes, Graphics;

type
  TCustomImageList = class;
  TCustomImageListGetWidthForPPI = procedure(Sender: TCustomImageList;
    AImageWidth, APPI: Integer; var AResultWidth: Integer) of object;

  TCustomImageList = class(TComponent)
  private
    function GetScaled: Boolean;
    procedure SetScaled(const AScaled: Boolean);
    function GetOnGetWidthForPPI: TCustomImageListGetWidthForPPI;
    procedure SetOnGetWidthForPPI(const Value: TCustomImageListGetWidthForPPI);
  public
    function AddIcon(Image: TCustomIcon): Integer;
    procedure AddMultipleResolutions(Images: array of TCustomBitmap);
    procedure RegisterResolutions(const AResolutionWidths: array of Integer);
    property Scaled: Boolean read GetScaled write SetScaled;
    property OnGetWidthForPPI: TCustomImageListGetWidthForPPI read GetOnGetWidthForPPI
      write SetOnGetWidthForPPI;
  end;

implementation

end.
