unit MainForm;

interface

uses
  Windows, Messages, SysUtils, Classes, Graphics, Controls, Forms, Dialogs,
  StdCtrls, ExtCtrls, Grids, stock, reports;

type
  TMainForm = class(TForm)
    ItemGrid: TStringGrid;
    ButtonPanel: TPanel;
    AddButton: TButton;
    RemoveButton: TButton;
    ReportButton: TButton;
    StatusLabel: TLabel;
    procedure FormCreate(Sender: TObject);
    procedure FormDestroy(Sender: TObject);
    procedure AddButtonClick(Sender: TObject);
    procedure RemoveButtonClick(Sender: TObject);
    procedure ReportButtonClick(Sender: TObject);
    procedure ItemGridDblClick(Sender: TObject);
  private
    FStock: TStockList;
    procedure RefreshGrid;
    procedure ShowStatus(const Text: string);
  public
    function SelectedCode: string;
  end;

var
  Form1: TMainForm;

implementation

{$R *.DFM}

const
  ColCode = 0;
  ColName = 1;
  ColQuantity = 2;
  ColPrice = 3;

procedure TMainForm.FormCreate(Sender: TObject);
begin
  FStock := TStockList.Create;
  ItemGrid.Cells[ColCode, 0] := 'Code';
  ItemGrid.Cells[ColName, 0] := 'Name';
  ItemGrid.Cells[ColQuantity, 0] := 'Qty';
  ItemGrid.Cells[ColPrice, 0] := 'Price';
  FStock.LoadFromFile(ChangeFileExt(Application.ExeName, '.stk'));
  RefreshGrid;
end;

procedure TMainForm.FormDestroy(Sender: TObject);
begin
  FStock.SaveToFile(ChangeFileExt(Application.ExeName, '.stk'));
  FStock.Free;
end;

procedure TMainForm.AddButtonClick(Sender: TObject);
var
  Code, Name: string;
  Item: TStockItem;
begin
  Code := '';
  if not InputQuery('New item', 'Item code:', Code) then Exit;
  Name := Code;
  if not InputQuery('New item', 'Description:', Name) then Exit;
  Item.Code := UpperCase(Trim(Code));
  Item.Name := Name;
  Item.Quantity := 0;
  Item.UnitPrice := 0;
  Item.Category := icPart;
  try
    FStock.Add(Item);
    ShowStatus('Added ' + Item.Code);
  except
    on E: EStockError do
      MessageDlg(E.Message, mtWarning, [mbOK], 0);
  end;
  RefreshGrid;
end;

procedure TMainForm.RemoveButtonClick(Sender: TObject);
var
  Code: string;
begin
  Code := SelectedCode;
  if Code = '' then Exit;
  if MessageDlg('Remove ' + Code + '?', mtConfirmation, [mbYes, mbNo], 0) = mrYes then
  begin
    FStock.Remove(Code);
    ShowStatus(Code + ' removed');
    RefreshGrid;
  end;
end;

procedure TMainForm.ReportButtonClick(Sender: TObject);
begin
  Screen.Cursor := crHourGlass;
  try
    PrintStockReport(FStock, 'Stock on ' + DateToStr(Date));
  finally
    Screen.Cursor := crDefault;
  end;
end;

procedure TMainForm.ItemGridDblClick(Sender: TObject);
var
  Amount: string;
begin
  if SelectedCode = '' then Exit;
  Amount := '1';
  if InputQuery('Receive goods', 'Quantity received:', Amount) then
  begin
    FStock.Receive(SelectedCode, StrToIntDef(Amount, 0));
    RefreshGrid;
  end;
end;

procedure TMainForm.RefreshGrid;
var
  I: Integer;
begin
  ItemGrid.RowCount := FStock.Count + 1;
  if ItemGrid.RowCount > 1 then ItemGrid.FixedRows := 1;
  for I := 0 to FStock.Count - 1 do
    with FStock.Items[I] do
    begin
      ItemGrid.Cells[ColCode, I + 1] := Code;
      ItemGrid.Cells[ColName, I + 1] := Name;
      ItemGrid.Cells[ColQuantity, I + 1] := IntToStr(Quantity);
      ItemGrid.Cells[ColPrice, I + 1] := FormatFloat('0.00', UnitPrice);
    end;
  ShowStatus(IntToStr(FStock.Count) + ' items');
end;

procedure TMainForm.ShowStatus(const Text: string);
begin
  StatusLabel.Caption := ' ' + Text;
end;

function TMainForm.SelectedCode: string;
begin
  Result := '';
  if (ItemGrid.Row > 0) and (ItemGrid.Row < ItemGrid.RowCount) then
    Result := ItemGrid.Cells[ColCode, ItemGrid.Row];
end;

end.
