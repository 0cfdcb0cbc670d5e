unit Forms;

{$mode objfpc}{$H+}

interface

uses
  Classes, CustApp, Controls, Graphics;

type
  TCloseAction = (caNone, caHide, caFree, caMinimize);

  TScrollingWinControl = class(TCustomControl)
  end;

  TCustomForm = class(TScrollingWinControl)
  private
    function GetActiveControl: TWinControl;
    procedure SetActiveControl(AWinControl: TWinControl);
    function GetModalResult: TModalResult;
    procedure SetModalResult(const Value: TModalResult);
  protected
    procedure DoCreate; virtual;
  public
    property ModalResult: TModalResult read GetModalResult write SetModalResult;
    procedure Close;
    property ActiveControl: TWinControl read GetActiveControl write SetActiveControl;
    function ShowModal: Integer; virtual;
  end;

  TForm = class(TCustomForm)
  end;

  TCustomFrame = class(TScrollingWinControl)
  end;

  TFrame = class(TCustomFrame)
  end;

  TScreen = class(TComponent)
  private
    function GetCursors(AIndex: Integer): HCURSOR;
    procedure SetCursors(AIndex: Integer; const AValue: HCURSOR);
    function GetCursor: TCursor;
    procedure SetCursor(const AValue: TCursor);
    function GetFormCount: Integer;
    function GetForms(Index: Integer): TForm;
  public
    property FormCount: Integer read GetFormCount;
    property Forms[Index: Integer]: TForm read GetForms;
    property Cursors[AIndex: Integer]: HCURSOR read GetCursors write SetCursors;
    property Cursor: TCursor read GetCursor write SetCursor;
  end;

  TApplication = class(TCustomApplication)
  private
    function GetTitle: string;
    procedure SetTitle(const AValue: string);
    function GetMainForm: TForm;
    function GetBiDiMode: TBiDiMode;
    procedure SetBiDiMode(const AValue: TBiDiMode);
    function GetScaled: Boolean;
    procedure SetScaled(const AValue: Boolean);
  public
    procedure Initialize;
    function IsRTLLang(ALang: String): Boolean;
    procedure CreateForm(InstanceClass: TComponentClass; out Reference);
    procedure ProcessMessages;
    procedure ReleaseComponent(AComponent: TComponent);
    procedure Run;
    property Title: string read GetTitle write SetTitle;
    property Scaled: Boolean read GetScaled write SetScaled;
    property MainForm: TForm read GetMainForm;
    property BiDiMode: TBiDiMode read GetBiDiMode write SetBiDiMode;
  end;

const
  RequireDerivedFormResource: Boolean = False;

var
  Application: TApplication;
  Screen: TScreen;

implementation

end.
