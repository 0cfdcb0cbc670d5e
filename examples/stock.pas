unit Stock;

(* Stock items and the list that keeps them. Quantities are whole units;
   prices are per unit in the local currency. *)

interface

uses
  SysUtils, Classes;

{$IFDEF DEBUG}
  {$DEFINE TRACE_MOVES}
{$ENDIF}

type
  TItemCategory = (icPart, icTool, icConsumable);

  TStockItem = record
    Code: string[12];
    Name: string[40];
    Quantity: Integer;
    UnitPrice: Currency;
    Category: TItemCategory;
  end;

  EStockError = class(Exception);

  TValuation = class
  public
    function ValueOf(const Item: TStockItem): Currency; virtual;
    function Name: string; virtual;
  end;

  TCostValuation = class(TValuation)
  public
    function ValueOf(const Item: TStockItem): Currency; override;
    function Name: string; override;
  end;

  TStockList = class
  private
    FItems: TList;
    FValuation: TValuation;
    function GetCount: Integer;
    function GetItem(Index: Integer): TStockItem;
  public
    constructor Create;
    destructor Destroy; override;
    procedure Add(const Item: TStockItem);
    procedure Remove(const Code: string);
    procedure Receive(const Code: string; Amount: Integer);
    function IndexOf(const Code: string): Integer;
    function TotalValue: Currency;
    procedure LoadFromFile(const FileName: string);
    procedure SaveToFile(const FileName: string);
    property Count: Integer read GetCount;
    property Items[Index: Integer]: TStockItem read GetItem; default;
  end;

function CategoryName(Category: TItemCategory): string;

implementation

type
  PStockItem = ^TStockItem;

// Markup applied to cost when no valuation is chosen.
const
  DefaultMarkup = 1.25;

function TValuation.ValueOf(const Item: TStockItem): Currency;
begin
  Result := Item.Quantity * Item.UnitPrice * DefaultMarkup;
end;

function TValuation.Name: string;
begin
  Result := 'List price';
end;

function TCostValuation.ValueOf(const Item: TStockItem): Currency;
begin
  Result := Item.Quantity * Item.UnitPrice;
end;

function TCostValuation.Name: string;
begin
  Result := 'Cost';
end;

{ Not part of the interface: checks a code before it enters the list. }
procedure CheckCode(const Code: string);
var
  I: Integer;
begin
  if Code = '' then
    raise EStockError.Create('An item needs a code');
  for I := 1 to Length(Code) do
    if not (Code[I] in ['A'..'Z', '0'..'9', '-']) then
      raise EStockError.CreateFmt('It''s not a valid code: "%s"', [Code]);
end;

function CategoryName(Category: TItemCategory): string;
begin
  case Category of
    icPart: Result := 'Part';
    icTool: Result := 'Tool';
  else
    Result := 'Consumable';
  end;
end;

constructor TStockList.Create;
begin
  inherited Create;
  FItems := TList.Create;
  FValuation := TCostValuation.Create;
end;

destructor TStockList.Destroy;
var
  I: Integer;
begin
  for I := 0 to FItems.Count - 1 do
    Dispose(PStockItem(FItems[I]));
  FItems.Free;
  FValuation.Free;
  inherited Destroy;
end;

function TStockList.GetCount: Integer;
begin
  Result := FItems.Count;
end;

function TStockList.GetItem(Index: Integer): TStockItem;
begin
  Result := PStockItem(FItems[Index])^;
end;

procedure TStockList.Add(const Item: TStockItem);
var
  NewItem: PStockItem;
begin
  CheckCode(Item.Code);
  if IndexOf(Item.Code) >= 0 then
    raise EStockError.CreateFmt('Item %s is already in stock', [Item.Code]);
  New(NewItem);
  NewItem^ := Item;
  FItems.Add(NewItem);
end;

procedure TStockList.Remove(const Code: string);
var
  Index: Integer;
begin
  Index := IndexOf(Code);
  if Index < 0 then Exit;
  Dispose(PStockItem(FItems[Index]));
  FItems.Delete(Index);
end;

{ @newpage }

procedure TStockList.Receive(const Code: string; Amount: Integer);
var
  Index: Integer;

  procedure Trace(const Text: string);
  begin
    {$IFDEF TRACE_MOVES}
    OutputDebugString(PChar(Text));
    {$ENDIF}
  end;

begin
  Index := IndexOf(Code);
  if Index < 0 then
    raise EStockError.CreateFmt('Unknown item %s', [Code]);
  Inc(PStockItem(FItems[Index])^.Quantity, Amount);
  Trace('Received ' + IntToStr(Amount) + ' of ' + Code);
end;

function TStockList.IndexOf(const Code: string): Integer;
begin
  Result := FItems.Count - 1;
  while (Result >= 0) and (CompareText(PStockItem(FItems[Result])^.Code, Code) <> 0) do
    Dec(Result);
end;

function TStockList.TotalValue: Currency;
var
  I: Integer;
begin
  Result := 0;
  for I := 0 to FItems.Count - 1 do
    Result := Result + FValuation.ValueOf(PStockItem(FItems[I])^);
end;

procedure TStockList.LoadFromFile(const FileName: string);
var
  F: file of TStockItem;
  Item: TStockItem;
begin
  if not FileExists(FileName) then Exit;
  AssignFile(F, FileName);
  Reset(F);
  try
    repeat
      if Eof(F) then Break;
      Read(F, Item);
      try
        Add(Item);
      except
        on EStockError do ; // a damaged record is skipped, the rest still loads
      end;
    until Eof(F);
  finally
    CloseFile(F);
  end;
end;

procedure TStockList.SaveToFile(const FileName: string);
var
  F: file of TStockItem;
  I: Integer;
begin
  AssignFile(F, FileName);
  Rewrite(F);
  try
    for I := 0 to FItems.Count - 1 do
      Write(F, PStockItem(FItems[I])^);
  finally
    CloseFile(F);
  end;
end;

end.
