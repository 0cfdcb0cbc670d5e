unit Buttons;

{$mode objfpc}{$H+}

interface

uses
  Controls;

type
  TCustomSpeedButton = class(TGraphicControl)
  end;

  TSpeedButton = class(TCustomSpeedButton)
  end;

implementation

end.
