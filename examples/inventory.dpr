program Inventory;

{ Stock keeping for a small workshop: items, movements and printed
  reports. The main window is the only form. }

uses
  Forms,
  mainform in 'mainform.pas' {Form1},
  stock in 'stock.pas',
  reports in 'reports.pas';

{$R *.RES}

begin
  Application.Initialize;
  Application.Title := 'Inventory';
  Application.CreateForm(TMainForm, Form1);
  Application.Run;
end.
