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

  TCheckBoxState = (cbUnchecked, cbChecked, cbGrayed);

  TCustomGroupBox = class(TWinControl)
  end;

  TGroupBox = class(TCustomGroupBox)
  end;

  TCustomEdit = class(TWinControl)
  end;

  TEdit = class(TCustomEdit)
  end;

  TButtonControl = class(TWinControl)
  end;

  TCustomComboBox = class(TWinControl)
  private
    function GetItems: TStrings;
    procedure SetItems(const Value: TStrings);
    function GetItemIndex: Integer;
    procedure SetItemIndex(const Val: Integer);
  public
    property ItemIndex: Integer read GetItemIndex write SetItemIndex;
    property Items: TStrings read GetItems write SetItems;
  end;

  TComboBox = class(TCustomComboBox)
  end;

  TCustomCheckBox = class(TButtonControl)
  private
    function GetState: TCheckBoxState;
    procedure SetState(Value: TCheckBoxState);
    function GetChecked: Boolean;
    procedure SetChecked(Value: Boolean);
  public
    property Checked: Boolean read GetChecked write SetChecked;
    property State: TCheckBoxState read GetState write SetState;
  end;

  TCheckBox = class(TCustomCheckBox)
  end;

  TCustomListBox = class(TWinControl)
  private
    function GetCanvas: TCanvas;
    function GetItems: TStrings;
    procedure SetItems(Value: TStrings);
    function GetItemIndex: Integer;
    procedure SetItemIndex(const AIndex: Integer);
  public
    procedure Clear; virtual;
    property ItemIndex: Integer read GetItemIndex write SetItemIndex;
    property Canvas: TCanvas read GetCanvas;
    property Items: TStrings read GetItems write SetItems;
  end;

  TListBox = class(TCustomListBox)
  end;

  TCustomButton = class(TButtonControl)
  end;

  TButton = class(TCustomButton)
  end;

  TCustomLabel = class(TGraphicControl)
  private
    function GetWordWrap: Boolean;
    procedure SetWordWrap(Value: Boolean);
  public
    property WordWrap: Boolean read GetWordWrap write SetWordWrap;
  end;

  TLabel = class(TCustomLabel)
  end;

implementation

end.
