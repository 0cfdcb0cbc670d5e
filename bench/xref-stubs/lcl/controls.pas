unit Controls;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  TCursor = -32768..32767;
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
  public
    property Caption: TCaption read GetCaption write SetCaption;
    property Text: TCaption read GetText write SetText;
    property Cursor: TCursor read GetCursor write SetCursor;
  end;

  TWinControl = class(TControl)
  end;

  TCustomControl = class(TWinControl)
  end;

  TGraphicControl = class(TControl)
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
  crDefault = 0;
  crHourGlass = -11;

implementation

end.
