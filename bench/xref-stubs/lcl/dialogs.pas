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

  TFindOption = (frDown, frFindNext, frHideMatchCase, frHideWholeWord, frHideUpDown,
    frMatchCase, frDisableMatchCase, frDisableUpDown, frDisableWholeWord, frReplace,
    frReplaceAll, frWholeWord, frShowHelp, frEntireScope, frHideEntireScope, frPromptOnReplace,
    frHidePromptOnReplace, frButtonsAtBottom);
  TFindOptions = set of TFindOption;

  TFindDialog = class(TCommonDialog)
  private
    function GetFindText: string;
    procedure SetFindText(const AValue: string);
    function GetOptions: TFindOptions;
    procedure SetOptions(AValue: TFindOptions);
  public
    property FindText: string read GetFindText write SetFindText;
    property Options: TFindOptions read GetOptions write SetOptions;
  end;

procedure ShowMessage(const aMsg: string);
function InputQuery(const ACaption, APrompt: string; MaskInput: Boolean;
  var Value: string): Boolean; overload;
function InputQuery(const ACaption, APrompt: string; var Value: string): Boolean; overload;
function MessageDlg(const aMsg: string; DlgType: TMsgDlgType; Buttons: TMsgDlgButtons;
  HelpCtx: Longint): TModalResult; overload;
function QuestionDlg(const aCaption, aMsg: string; DlgType: TMsgDlgType;
  Buttons: array of const; HelpCtx: Longint): TModalResult; overload;

implementation

end.
