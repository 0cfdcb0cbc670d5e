unit Spin;

{$mode objfpc}{$H+}

interface

uses
  Classes, StdCtrls;

type
  TCustomSpinEdit = class(TCustomEdit)
  private
    function GetValue: Integer;
    procedure SetValue(const AValue: Integer);
  public
    property Value: Integer read GetValue write SetValue;
  end;

  TSpinEdit = class(TCustomSpinEdit)
  end;

implementation

end.
