unit Dialogs;

{$mode objfpc}{$H+}

interface

procedure ShowMessage(const aMsg: string);

implementation

end.
