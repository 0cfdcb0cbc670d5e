unit ComCtrls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, ExtCtrls;

type
  TListItems = class;

  TListItem = class(TPersistent)
  private
    function GetCaption: string;
    procedure SetCaption(const Value: string);
    function GetData: Pointer;
    procedure SetData(Value: Pointer);
    function GetIndex: Integer;
    function GetSubItems: TStrings;
    procedure SetSubItems(Value: TStrings);
    function GetSelected: Boolean;
    procedure SetSelected(Value: Boolean);
  public
    procedure Delete;
    property Caption: string read GetCaption write SetCaption;
    property Data: Pointer read GetData write SetData;
    property Index: Integer read GetIndex;
    property Selected: Boolean read GetSelected write SetSelected;
    property SubItems: TStrings read GetSubItems write SetSubItems;
  end;

  TListItems = class(TPersistent)
  private
    function GetCount: Integer;
    function GetItem(const AIndex: Integer): TListItem;
    procedure SetItem(const AIndex: Integer; const AValue: TListItem);
  public
    function Add: TListItem;
    procedure BeginUpdate;
    procedure Clear;
    procedure Delete(const AIndex: Integer);
    procedure EndUpdate;
    property Count: Integer read GetCount;
    property Item[const AIndex: Integer]: TListItem read GetItem write SetItem; default;
  end;

  TCustomListView = class(TWinControl)
  private
    function GetItems: TListItems;
    procedure SetItems(const AValue: TListItems);
    function GetSelected: TListItem;
    procedure SetSelected(AValue: TListItem);
  public
    procedure BeginUpdate;
    procedure Clear;
    procedure EndUpdate;
    property Items: TListItems read GetItems write SetItems;
    property Selected: TListItem read GetSelected write SetSelected;
  end;

  TListView = class(TCustomListView)
  end;

  TCustomPage = class(TWinControl)
  end;

  TTabSheet = class(TCustomPage)
  end;

  TCustomTabControl = class(TWinControl)
  end;

  TPageControl = class(TCustomTabControl)
  private
    function GetActivePage: TTabSheet;
    procedure SetActivePage(const Value: TTabSheet);
  public
    property ActivePage: TTabSheet read GetActivePage write SetActivePage;
  end;

  TToolButton = class(TGraphicControl)
  end;

  TToolBar = class(TCustomControl)
  end;

implementation

end.
