unit Controls;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  TCursor = -32768..32767;
  TModalResult = Low(Integer)..High(Integer);
  TCaption = string;
  TDragState = (dsDragEnter, dsDragLeave, dsDragMove);

  TControl = class(TComponent)
  private
    function GetCaption: TCaption;
    procedure SetCaption(const Value: TCaption);
    function GetCursor: TCursor;
    procedure SetCursor(Value: TCursor);
    function GetText: TCaption;
    procedure SetText(const Value: TCaption);
    function GetEnabled: Boolean;
    procedure SetEnabled(Value: Boolean);
  public
    property Enabled: Boolean read GetEnabled write SetEnabled;
    property Caption: TCaption read GetCaption write SetCaption;
    property Text: TCaption read GetText write SetText;
    property Cursor: TCursor read GetCursor write SetCursor;
  end;

  TWinControl = class(TControl)
  public
    procedure SetFocus; virtual;
  end;

  TCustomControl = class(TWinControl)
  end;

  TGraphicControl = class(TControl)
  end;

  TCustomImageList = class(TComponent)
  end;

  TImageList = class(TCustomImageList)
  end;

  TDragObject = class(TObject)
  end;

  TDragControlObject = class(TDragObject)
  private
    function GetControl: TControl;
  public
    property Control: TControl read GetControl;
  end;

const
  mrNone = 0;
  mrOK = mrNone + 1;
  mrCancel = mrNone + 2;
  mrAbort = mrNone + 3;
  mrRetry = mrNone + 4;
  mrIgnore = mrNone + 5;
  mrYes = mrNone + 6;
  mrNo = mrNone + 7;

  crDefault = 0;
  crHourGlass = -11;

implementation

end.
