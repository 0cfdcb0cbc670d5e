unit Reports;

{ Printed stock reports: a list of all items with their value, and a
  short list of the items that have run low. }

interface

uses
  SysUtils, Classes, Graphics, Printers,
  stock, textutil;

procedure PrintStockReport(Stock: TStockList; const Title: string);
procedure PrintLowStock(Stock: TStockList; const Title: string;
  Threshold: Integer; ShowPrices: Boolean);
function ReportLine(const Item: TStockItem; Width: Integer): string;
function LowStockCount(Stock: TStockList; Threshold: Integer): Integer;

implementation

const
  LeftMargin = 200;
  TopMargin = 300;

var
  LineY: Integer;
  LineHeight: Integer;

procedure StartPage(const Title: string);
begin
  with Printer.Canvas do
  begin
    Font.Name := 'Arial';
    Font.Size := 14;
    Font.Style := [fsBold];
    TextOut(LeftMargin, TopMargin, Title);
    Font.Size := 10;
    Font.Style := [];
    LineHeight := TextHeight('Xy') + 4;
    LineY := TopMargin + 3 * LineHeight;
  end;
end;

procedure PrintLine(const Text: string);
begin
  if LineY + LineHeight > Printer.PageHeight - TopMargin then
  begin
    Printer.NewPage;
    LineY := TopMargin;
  end;
  Printer.Canvas.TextOut(LeftMargin, LineY, Text);
  Inc(LineY, LineHeight);
end;

function ReportLine(const Item: TStockItem; Width: Integer): string;
begin
  with Item do
    Result := PadRight(Code, 14) + PadRight(Name, Width) +
      PadLeft(IntToStr(Quantity), 8) + PadLeft(FormatFloat('#,##0.00', UnitPrice), 12);
end;

function LowStockCount(Stock: TStockList; Threshold: Integer): Integer;
var
  I: Integer;
begin
  Result := 0;
  I := 0;
  while I < Stock.Count do
  begin
    if Stock[I].Quantity < Threshold then Inc(Result);
    Inc(I);
  end;
end;

procedure PrintStockReport(Stock: TStockList; const Title: string);
var
  I: Integer;
begin
  Printer.Title := Title;
  Printer.BeginDoc;
  try
    StartPage(Title);
    for I := 0 to Stock.Count - 1 do
      PrintLine(ReportLine(Stock[I], 40));
    PrintLine('');
    PrintLine('Total value: ' + FormatFloat('#,##0.00', Stock.TotalValue));
  finally
    Printer.EndDoc;
  end;
end;

procedure PrintLowStock(Stock: TStockList; const Title: string;
  Threshold: Integer; ShowPrices: Boolean);
var
  I, Printed: Integer;
  Item: TStockItem;
begin
  if LowStockCount(Stock, Threshold) = 0 then
  begin
    raise Exception.Create('Nothing is below ' + IntToStr(Threshold) + ' units.');
  end;
  Printer.Title := Title;
  Printer.BeginDoc;
  try
    StartPage(Title + ' (below ' + IntToStr(Threshold) + ')');
    I := 0;
    Printed := 0;
    while I < Stock.Count do
    begin
      Item := Stock[I];
      if Item.Quantity < Threshold then
      begin
        if ShowPrices then
          PrintLine(ReportLine(Item, 30))
        else
          PrintLine(PadRight(Item.Code, 14) + Item.Name);
        Inc(Printed);
      end;
      Inc(I);
    end;
    PrintLine(Format('%d of %d items are low.', [Printed, Stock.Count]));
  finally
    Printer.EndDoc;
  end;
end;

end.
