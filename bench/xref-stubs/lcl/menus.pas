unit Menus;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  TMenuItem = class(TComponent)
  end;

  TMenu = class(TComponent)
  end;

  TMainMenu = class(TMenu)
  end;

implementation

end.
