unit Dialogs;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls;

type
  TMsgDlgType = (mtWarning, mtError, mtInformation, mtConfirmation, mtCustom);
  TMsgDlgBtn = (mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,
    mbYesToAll, mbHelp, mbClose);
  TMsgDlgButtons = set of TMsgDlgBtn;

  TCommonDialog = class(TComponent)
  private
    function GetTitle: string;
    procedure SetTitle(const Value: string);
  public
    function Execute: Boolean; virtual;
    property Title: string read GetTitle write SetTitle;
  end;

  TFileDialog = class(TCommonDialog)
  private
    function GetFileName: string;
    procedure SetFileName(const Value: string);
    function GetInitialDir: string;
    procedure SetInitialDir(const Value: string);
  public
    property FileName: string read GetFileName write SetFileName;
    property InitialDir: string read GetInitialDir write SetInitialDir;
  end;

  TOpenDialog = class(TFileDialog)
  end;

  TSaveDialog = class(TOpenDialog)
  end;

  TSelectDirectoryDialog = class(TOpenDialog)
  end;

procedure ShowMessage(const aMsg: string);
function MessageDlg(const aMsg: string; DlgType: TMsgDlgType; Buttons: TMsgDlgButtons;
  HelpCtx: Longint): TModalResult; overload;

implementation

end.
