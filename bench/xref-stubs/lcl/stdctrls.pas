unit StdCtrls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, Graphics;

type
  TOwnerDrawStateType = (odSelected, odGrayed, odDisabled, odChecked, odFocused, odDefault,
    odHotLight, odInactive, odNoAccel, odNoFocusRect, odReserved1, odReserved2, odComboBoxEdit,
    odBackgroundPainted);
  TOwnerDrawState = set of TOwnerDrawStateType;

  TCustomEdit = class(TWinControl)
  end;

  TEdit = class(TCustomEdit)
  end;

  TCustomListBox = class(TWinControl)
  private
    function GetCanvas: TCanvas;
    function GetItems: TStrings;
    procedure SetItems(Value: TStrings);
  public
    procedure Clear; virtual;
    property Canvas: TCanvas read GetCanvas;
    property Items: TStrings read GetItems write SetItems;
  end;

  TListBox = class(TCustomListBox)
  end;

  TButtonControl = class(TWinControl)
  end;

  TCustomButton = class(TButtonControl)
  end;

  TButton = class(TCustomButton)
  end;

  TCustomLabel = class(TGraphicControl)
  end;

  TLabel = class(TCustomLabel)
  end;

implementation

end.
