unit Menus;

{$mode objfpc}{$H+}

interface

uses
  Classes, ImgList;

type
  TMenuItem = class(TComponent)
  private
    function GetCaption: string;
    procedure SetCaption(const Value: string);
    function GetChecked: Boolean;
    procedure SetChecked(Value: Boolean);
    function GetCount: Integer;
    function GetItem(Index: Integer): TMenuItem;
    function GetVisible: Boolean;
    procedure SetVisible(Value: Boolean);
    function GetOnClick: TNotifyEvent;
    procedure SetOnClick(const Value: TNotifyEvent);
    function GetImageIndex: Integer;
    procedure SetImageIndex(AValue: Integer);
    function GetSubMenuImages: TCustomImageList;
    procedure SetSubMenuImages(const AValue: TCustomImageList);
    function GetSubMenuImagesWidth: Integer;
    procedure SetSubMenuImagesWidth(const AValue: Integer);
  public
    procedure Add(Item: TMenuItem);
    procedure Click; virtual;
    procedure Delete(Index: Integer);
    function IndexOf(Item: TMenuItem): Integer;
    procedure Insert(Index: Integer; Item: TMenuItem);
    procedure Remove(Item: TMenuItem);
    property Caption: string read GetCaption write SetCaption;
    property Checked: Boolean read GetChecked write SetChecked;
    property Count: Integer read GetCount;
    property Items[Index: Integer]: TMenuItem read GetItem; default;
    property Visible: Boolean read GetVisible write SetVisible;
    property ImageIndex: Integer read GetImageIndex write SetImageIndex;
    property SubMenuImages: TCustomImageList read GetSubMenuImages write SetSubMenuImages;
    property SubMenuImagesWidth: Integer read GetSubMenuImagesWidth write SetSubMenuImagesWidth;
    property OnClick: TNotifyEvent read GetOnClick write SetOnClick;
  end;

  TMenu = class(TComponent)
  private
    function GetItems: TMenuItem;
    function GetImages: TCustomImageList;
    procedure SetImages(const AValue: TCustomImageList);
  public
    property Items: TMenuItem read GetItems;
    property Images: TCustomImageList read GetImages write SetImages;
  end;

  TMainMenu = class(TMenu)
  end;

  TPopupMenu = class(TMenu)
  end;

implementation

end.
