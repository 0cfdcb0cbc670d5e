unit CutLines;

{ Routines written on one line each, which the listing prints on three
  rows: wherever a page ends among them, the names after it are links. }

interface

implementation

const
  Base = 1;

function F1: Integer; begin Result := Base end;
function F2: Integer; begin Result := F1 + Base end;
function F3: Integer; begin Result := F2 + Base end;
function F4: Integer; begin Result := F3 + Base end;
function F5: Integer; begin Result := F4 + Base end;
function F6: Integer; begin Result := F5 + Base end;
function F7: Integer; begin Result := F6 + Base end;
function F8: Integer; begin Result := F7 + Base end;
function F9: Integer; begin Result := F8 + Base end;
function F10: Integer; begin Result := F9 + Base end;
function F11: Integer; begin Result := F10 + Base end;
function F12: Integer; begin Result := F11 + Base end;
function F13: Integer; begin Result := F12 + Base end;
function F14: Integer; begin Result := F13 + Base end;
function F15: Integer; begin Result := F14 + Base end;
function F16: Integer; begin Result := F15 + Base end;
function F17: Integer; begin Result := F16 + Base end;
function F18: Integer; begin Result := F17 + Base end;
function F19: Integer; begin Result := F18 + Base end;
function F20: Integer; begin Result := F19 + Base end;
function F21: Integer; begin Result := F20 + Base end;
function F22: Integer; begin Result := F21 + Base end;
function F23: Integer; begin Result := F22 + Base end;
function F24: Integer; begin Result := F23 + Base end;
function F25: Integer; begin Result := F24 + Base end;
function F26: Integer; begin Result := F25 + Base end;
function F27: Integer; begin Result := F26 + Base end;
function F28: Integer; begin Result := F27 + Base end;
function F29: Integer; begin Result := F28 + Base end;
function F30: Integer; begin Result := F29 + Base end;
function F31: Integer; begin Result := F30 + Base end;
function F32: Integer; begin Result := F31 + Base end;
function F33: Integer; begin Result := F32 + Base end;
function F34: Integer; begin Result := F33 + Base end;
function F35: Integer; begin Result := F34 + Base end;
function F36: Integer; begin Result := F35 + Base end;
function F37: Integer; begin Result := F36 + Base end;
function F38: Integer; begin Result := F37 + Base end;
function F39: Integer; begin Result := F38 + Base end;
function F40: Integer; begin Result := F39 + Base end;
function F41: Integer; begin Result := F40 + Base end;
function F42: Integer; begin Result := F41 + Base end;
function F43: Integer; begin Result := F42 + Base end;
function F44: Integer; begin Result := F43 + Base end;
function F45: Integer; begin Result := F44 + Base end;

end.
