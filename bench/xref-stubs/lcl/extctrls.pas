unit ExtCtrls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, StdCtrls;

type
  TBevel = class(TGraphicControl)
  end;

  TPanelBevel = (bvNone, bvLowered, bvRaised, bvSpace);

  TCustomPanel = class(TCustomControl)
  private
    function GetBevel(Index: Integer): TPanelBevel;
    procedure SetBevel(Index: Integer; const Value: TPanelBevel);
  public
    property BevelInner: TPanelBevel index 0 read GetBevel write SetBevel;
    property BevelOuter: TPanelBevel index 1 read GetBevel write SetBevel;
  end;

  TCustomSplitter = class(TGraphicControl)
  end;

  TSplitter = class(TCustomSplitter)
  end;

  TPanel = class(TCustomPanel)
  end;

  TCustomRadioGroup = class(TCustomGroupBox)
  private
    function GetItemIndex: Integer;
    procedure SetItemIndex(Value: Integer);
    function GetItems: TStrings;
    procedure SetItems(Value: TStrings);
  public
    property ItemIndex: Integer read GetItemIndex write SetItemIndex;
    property Items: TStrings read GetItems write SetItems;
  end;

  TRadioGroup = class(TCustomRadioGroup)
  end;

  TCustomCheckGroup = class(TCustomGroupBox)
  private
    function GetItems: TStrings;
    procedure SetItems(Value: TStrings);
    function GetChecked(Index: Integer): Boolean;
    procedure SetChecked(Index: Integer; const AValue: Boolean);
  public
    property Checked[Index: Integer]: Boolean read GetChecked write SetChecked;
    property Items: TStrings read GetItems write SetItems;
  end;

  TCheckGroup = class(TCustomCheckGroup)
  end;

implementation

end.
