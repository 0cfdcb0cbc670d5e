unit Forms;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, Graphics;

type
  TScrollingWinControl = class(TCustomControl)
  end;

  TCustomForm = class(TScrollingWinControl)
  public
    procedure Close;
    function ShowModal: Integer; virtual;
  end;

  TForm = class(TCustomForm)
  end;

  TScreen = class(TComponent)
  private
    function GetCursors(AIndex: Integer): HCURSOR;
    procedure SetCursors(AIndex: Integer; const AValue: HCURSOR);
    function GetCursor: TCursor;
    procedure SetCursor(const AValue: TCursor);
  public
    property Cursors[AIndex: Integer]: HCURSOR read GetCursors write SetCursors;
    property Cursor: TCursor read GetCursor write SetCursor;
  end;

  TApplication = class(TComponent)
  private
    function GetTitle: string;
    procedure SetTitle(const AValue: string);
  public
    procedure Initialize;
    procedure CreateForm(InstanceClass: TComponentClass; out Reference);
    procedure Run;
    property Title: string read GetTitle write SetTitle;
  end;

var
  Application: TApplication;
  Screen: TScreen;

implementation

end.
