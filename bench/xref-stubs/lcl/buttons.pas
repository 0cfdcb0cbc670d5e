unit Buttons;

{$mode objfpc}{$H+}

interface

uses
  Controls, StdCtrls;

type
  TCustomBitBtn = class(TCustomButton)
  end;

  TBitBtn = class(TCustomBitBtn)
  end;

  TCustomSpeedButton = class(TGraphicControl)
  end;

  TSpeedButton = class(TCustomSpeedButton)
  end;

implementation

end.
