unit PropertyStorage;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  TStoredType = AnsiString;

  TStoredValue = class(TCollectionItem)
  private
    function GetValue: TStoredType;
    procedure SetValue(const AValue: TStoredType);
    function GetName: string;
    procedure SetName(const AValue: string);
  public
    property Name: string read GetName write SetName;
    property Value: TStoredType read GetValue write SetValue;
  end;

  TCustomPropertyStorage = class(TComponent)
  private
    function GetStoredValue(const AName: string): TStoredType;
    procedure SetStoredValue(const AName: string; Value: TStoredType);
    function GetActive: Boolean;
    procedure SetActive(const AValue: Boolean);
  public
    property Active: Boolean read GetActive write SetActive;
    procedure Restore; virtual;
    procedure Save; virtual;
    property StoredValue[const AName: string]: TStoredType read GetStoredValue write SetStoredValue;
  end;

implementation

end.
