unit Controls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Menus, ImgList;

type
  TCursor = -32768..32767;
  TModalResult = Low(Integer)..High(Integer);
  TCaption = string;
  TDragState = (dsDragEnter, dsDragLeave, dsDragMove);
  TAlign = (alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom);
  TWinControl = class;
  TSpacingSize = Integer;
  TBiDiMode = (bdLeftToRight, bdRightToLeft, bdRightToLeftNoAlign, bdRightToLeftReadingOnly);

  TControlBorderSpacing = class(TPersistent)
  private
    function GetAround: TSpacingSize;
    procedure SetAround(const Value: TSpacingSize);
  public
    property Around: TSpacingSize read GetAround write SetAround;
  end;

  TControl = class(TComponent)
  private
    function GetBiDiMode: TBiDiMode;
    procedure SetBiDiMode(Value: TBiDiMode);
    function GetAutoSize: Boolean;
    procedure SetAutoSize(Value: Boolean);
    function GetBorderSpacing: TControlBorderSpacing;
    procedure SetBorderSpacing(const Value: TControlBorderSpacing);
    function GetCaption: TCaption;
    procedure SetCaption(const Value: TCaption);
    function GetCursor: TCursor;
    procedure SetCursor(Value: TCursor);
    function GetText: TCaption;
    procedure SetText(const Value: TCaption);
    function GetEnabled: Boolean;
    procedure SetEnabled(Value: Boolean);
    function GetVisible: Boolean;
    procedure SetVisible(Value: Boolean);
    function GetParent: TWinControl;
    procedure SetParent(NewParent: TWinControl);
    function GetAlign: TAlign;
    procedure SetAlign(Value: TAlign);
    function GetPopupMenu: TPopupMenu;
    procedure SetPopupMenu(Value: TPopupMenu);
    function GetBound(Index: Integer): Integer;
    procedure SetBound(Index: Integer; Value: Integer);
  public
    procedure Click; virtual;
    function Scale96ToForm(const ASize: Integer): Integer;
    procedure Show;
    property BiDiMode: TBiDiMode read GetBiDiMode write SetBiDiMode;
    property AutoSize: Boolean read GetAutoSize write SetAutoSize;
    property BorderSpacing: TControlBorderSpacing read GetBorderSpacing write SetBorderSpacing;
    property Align: TAlign read GetAlign write SetAlign;
    property Parent: TWinControl read GetParent write SetParent;
    property PopupMenu: TPopupMenu read GetPopupMenu write SetPopupMenu;
    property Visible: Boolean read GetVisible write SetVisible;
    property Left: Integer index 0 read GetBound write SetBound;
    property Top: Integer index 1 read GetBound write SetBound;
    property Width: Integer index 2 read GetBound write SetBound;
    property Height: Integer index 3 read GetBound write SetBound;
    property Enabled: Boolean read GetEnabled write SetEnabled;
    property Caption: TCaption read GetCaption write SetCaption;
    property Text: TCaption read GetText write SetText;
    property Cursor: TCursor read GetCursor write SetCursor;
  end;

  TWinControl = class(TControl)
  public
    procedure FlipChildren(AllLevels: Boolean); virtual;
    procedure SetFocus; virtual;
  end;

  TCustomControl = class(TWinControl)
  end;

  TGraphicControl = class(TControl)
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
