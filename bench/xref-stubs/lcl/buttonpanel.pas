unit ButtonPanel;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls, ExtCtrls, Buttons;

type
  TPanelButton = (pbOK, pbCancel, pbClose, pbHelp);
  TPanelButtons = set of TPanelButton;

  TPanelBitBtn = class(TCustomBitBtn)
  end;

  TCustomButtonPanel = class(TCustomPanel)
  private
    function GetOKButton: TPanelBitBtn;
    function GetCancelButton: TPanelBitBtn;
  public
    property OKButton: TPanelBitBtn read GetOKButton;
    property CancelButton: TPanelBitBtn read GetCancelButton;
  end;

  TButtonPanel = class(TCustomButtonPanel)
  end;

implementation

end.
