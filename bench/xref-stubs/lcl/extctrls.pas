unit ExtCtrls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, StdCtrls;

type
  TBevel = class(TGraphicControl)
  end;

  TCustomPanel = class(TCustomControl)
  end;

  TPanel = class(TCustomPanel)
  end;

  TCustomGroupBox = class(TWinControl)
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
  public
    property Items: TStrings read GetItems write SetItems;
  end;

  TCheckGroup = class(TCustomCheckGroup)
  end;

implementation

end.
