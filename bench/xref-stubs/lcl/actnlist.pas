unit ActnList;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  TContainedAction = class(TBasicAction)
  end;

  TCustomAction = class(TContainedAction)
  private
    function GetEnabled: Boolean;
    procedure SetEnabled(Value: Boolean);
  public
    property Enabled: Boolean read GetEnabled write SetEnabled;
  end;

  TAction = class(TCustomAction)
  end;

  TCustomActionList = class(TComponent)
  end;

  TActionList = class(TCustomActionList)
  end;

implementation

end.
