unit IniPropStorage;

{$mode objfpc}{$H+}

interface

uses
  Classes, PropertyStorage;

type
  TCustomIniPropStorage = class(TCustomPropertyStorage)
  private
    function GetIniFileName: string;
    procedure SetIniFileName(const AValue: string);
  public
    property IniFileName: string read GetIniFileName write SetIniFileName;
  end;

  TIniPropStorage = class(TCustomIniPropStorage)
  end;

implementation

end.
