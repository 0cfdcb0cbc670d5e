unit ComCtrls;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, ExtCtrls, ImgList;

type
  TImageIndex = Integer;
  TViewStyle = (vsIcon, vsSmallIcon, vsList, vsReport);
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
    function GetImageIndex: TImageIndex;
    procedure SetImageIndex(const AValue: TImageIndex);
  public
    procedure Delete;
    property ImageIndex: TImageIndex read GetImageIndex write SetImageIndex;
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
    function GetImageList(const ALvilType: Integer): TCustomImageList;
    procedure SetImageList(const ALvilType: Integer; const AValue: TCustomImageList);
    function GetImageListWidth(const ALvilType: Integer): Integer;
    procedure SetImageListWidth(const ALvilType: Integer; const AValue: Integer);
    function GetViewStyle: TViewStyle;
    procedure SetViewStyle(const AValue: TViewStyle);
  public
    property LargeImages: TCustomImageList index 0 read GetImageList write SetImageList;
    property LargeImagesWidth: Integer index 0 read GetImageListWidth write SetImageListWidth;
    property ViewStyle: TViewStyle read GetViewStyle write SetViewStyle;
    procedure BeginUpdate;
    procedure Clear;
    procedure EndUpdate;
    property Items: TListItems read GetItems write SetItems;
    property Selected: TListItem read GetSelected write SetSelected;
  end;

  TListView = class(TCustomListView)
  end;

  TCustomPage = class(TWinControl)
  private
    function GetTabVisible: Boolean;
    procedure SetTabVisible(const AValue: Boolean);
    function GetImageIndex: Integer;
    procedure SetImageIndex(const AValue: Integer);
  public
    property ImageIndex: Integer read GetImageIndex write SetImageIndex;
    property TabVisible: Boolean read GetTabVisible write SetTabVisible;
  end;

  TPageControl = class;

  TTabSheet = class(TCustomPage)
  private
    function GetPageControl: TPageControl;
    procedure SetPageControl(APageControl: TPageControl);
  public
    property PageControl: TPageControl read GetPageControl write SetPageControl;
  end;

  TCustomTabControl = class(TWinControl)
  private
    function GetImages: TCustomImageList;
    procedure SetImages(const AValue: TCustomImageList);
    function GetImagesWidth: Integer;
    procedure SetImagesWidth(const AValue: Integer);
  public
    property Images: TCustomImageList read GetImages write SetImages;
    property ImagesWidth: Integer read GetImagesWidth write SetImagesWidth;
  end;

  TTabPosition = (tpTop, tpBottom, tpLeft, tpRight);

  TPageControl = class(TCustomTabControl)
  private
    function GetActivePage: TTabSheet;
    procedure SetActivePage(const Value: TTabSheet);
    function GetActivePageIndex: Integer;
    procedure SetActivePageIndex(const Value: Integer);
    function GetPageCount: Integer;
    function GetPage(Index: Integer): TTabSheet;
    function GetTabPosition: TTabPosition;
    procedure SetTabPosition(Value: TTabPosition);
    function GetOnChange: TNotifyEvent;
    procedure SetOnChange(const Value: TNotifyEvent);
  public
    function AddTabSheet: TTabSheet;
    property ActivePage: TTabSheet read GetActivePage write SetActivePage;
    property ActivePageIndex: Integer read GetActivePageIndex write SetActivePageIndex;
    property PageCount: Integer read GetPageCount;
    property Pages[Index: Integer]: TTabSheet read GetPage;
    property TabPosition: TTabPosition read GetTabPosition write SetTabPosition;
    property OnChange: TNotifyEvent read GetOnChange write SetOnChange;
  end;

  TToolButton = class(TGraphicControl)
  private
    function GetDown: Boolean;
    procedure SetDown(Value: Boolean);
    function GetImageIndex: TImageIndex;
    procedure SetImageIndex(Value: TImageIndex);
  public
    property ImageIndex: TImageIndex read GetImageIndex write SetImageIndex;
    property Down: Boolean read GetDown write SetDown;
  end;

  TTreeNodes = class;
  TCustomTreeView = class;

  TTreeNode = class(TPersistent)
  private
    function GetCount: Integer;
    function GetData: Pointer;
    procedure SetData(AValue: Pointer);
    function GetItems(AnIndex: Integer): TTreeNode;
    function GetParent: TTreeNode;
    function GetText: string;
    procedure SetText(const AValue: string);
    function GetImageIndex: Integer;
    procedure SetImageIndex(AValue: Integer);
    function GetSelectedIndex: Integer;
    procedure SetSelectedIndex(AValue: Integer);
    function GetTreeView: TCustomTreeView;
  public
    procedure Delete;
    procedure DeleteChildren;
    procedure Expand(Recurse: Boolean);
    function GetFirstChild: TTreeNode;
    function GetNextSibling: TTreeNode;
    procedure MakeVisible;
    property Count: Integer read GetCount;
    property Data: Pointer read GetData write SetData;
    property ImageIndex: Integer read GetImageIndex write SetImageIndex;
    property Items[AnIndex: Integer]: TTreeNode read GetItems; default;
    property Parent: TTreeNode read GetParent;
    property SelectedIndex: Integer read GetSelectedIndex write SetSelectedIndex;
    property Text: string read GetText write SetText;
    property TreeView: TCustomTreeView read GetTreeView;
  end;

  TTreeNodes = class(TPersistent)
  private
    function GetCount: Integer;
    function GetNodeFromIndex(Index: Integer): TTreeNode;
  public
    function AddChild(ParentNode: TTreeNode; const S: string): TTreeNode;
    procedure BeginUpdate;
    procedure Clear;
    procedure EndUpdate;
    property Count: Integer read GetCount;
    property Item[Index: Integer]: TTreeNode read GetNodeFromIndex; default;
  end;

  TTVChangingEvent = procedure(Sender: TObject; Node: TTreeNode;
    var AllowChange: Boolean) of object;
  TTVEditingEvent = procedure(Sender: TObject; Node: TTreeNode;
    var AllowEdit: Boolean) of object;
  TTVEditedEvent = procedure(Sender: TObject; Node: TTreeNode; var S: string) of object;
  TTreeViewOption = (tvoAllowMultiselect, tvoAutoExpand, tvoAutoInsertMark, tvoAutoItemHeight,
    tvoHideSelection, tvoHotTrack, tvoKeepCollapsedNodes, tvoReadOnly, tvoRightClickSelect,
    tvoRowSelect, tvoShowButtons, tvoShowLines, tvoShowRoot, tvoShowSeparators, tvoToolTips,
    tvoNoDoubleClickExpand, tvoThemedDraw, tvoEmptySpaceUnselect);
  TTreeViewOptions = set of TTreeViewOption;

  TCustomTreeView = class(TCustomControl)
  private
    function GetItems: TTreeNodes;
    procedure SetItems(const AValue: TTreeNodes);
    function GetSelected: TTreeNode;
    procedure SetSelected(AValue: TTreeNode);
    function GetOptions: TTreeViewOptions;
    procedure SetOptions(const AValue: TTreeViewOptions);
    function GetImages: TCustomImageList;
    procedure SetImages(AValue: TCustomImageList);
    function GetOnEditing: TTVEditingEvent;
    procedure SetOnEditing(const AValue: TTVEditingEvent);
    function GetOnEdited: TTVEditedEvent;
    procedure SetOnEdited(const AValue: TTVEditedEvent);
  public
    procedure BeginUpdate;
    procedure EndUpdate;
    property Images: TCustomImageList read GetImages write SetImages;
    property Items: TTreeNodes read GetItems write SetItems;
    property Options: TTreeViewOptions read GetOptions write SetOptions;
    property Selected: TTreeNode read GetSelected write SetSelected;
    property OnEdited: TTVEditedEvent read GetOnEdited write SetOnEdited;
    property OnEditing: TTVEditingEvent read GetOnEditing write SetOnEditing;
  end;

  TTreeView = class(TCustomTreeView)
  end;

  TToolBar = class(TCustomControl)
  private
    function GetButtonHeight: Integer;
    procedure SetButtonHeight(const AValue: Integer);
    function GetButtonWidth: Integer;
    procedure SetButtonWidth(const AValue: Integer);
    function GetImages: TCustomImageList;
    procedure SetImages(const AValue: TCustomImageList);
    function GetImagesWidth: Integer;
    procedure SetImagesWidth(const AValue: Integer);
  public
    property ButtonHeight: Integer read GetButtonHeight write SetButtonHeight;
    property ButtonWidth: Integer read GetButtonWidth write SetButtonWidth;
    property Images: TCustomImageList read GetImages write SetImages;
    property ImagesWidth: Integer read GetImagesWidth write SetImagesWidth;
  end;

implementation

end.
