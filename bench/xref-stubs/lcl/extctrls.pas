unit ExtCtrls;

{$mode objfpc}{$H+}

interface

uses
  Controls;

type
  TBevel = class(TGraphicControl)
  end;

  TCustomPanel = class(TCustomControl)
  end;

  TPanel = class(TCustomPanel)
  end;

implementation

end.
