unit EditBtn;

{$mode objfpc}{$H+}

interface

uses
  Classes, StdCtrls;

type
  TCustomEditButton = class(TCustomEdit)
  end;

  TFileNameEdit = class(TCustomEditButton)
  private
    function GetFileName: string;
    procedure SetFileName(const Value: string);
  public
    property FileName: string read GetFileName write SetFileName;
  end;

implementation

end.
