unit StdCtrls;

{$mode objfpc}{$H+}

interface

uses
  Controls;

type
  TButtonControl = class(TWinControl)
  end;

  TCustomButton = class(TButtonControl)
  end;

  TButton = class(TCustomButton)
  end;

  TCustomLabel = class(TGraphicControl)
  end;

  TLabel = class(TCustomLabel)
  end;

implementation

end.
