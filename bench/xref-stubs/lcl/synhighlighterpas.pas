unit SynHighlighterPas;

{$mode objfpc}{$H+}

interface

uses
  Classes, SynEdit;

type
  TSynPasSyn = class(TSynCustomHighlighter)
  end;

  TSynFreePascalSyn = class(TSynPasSyn)
  end;

implementation

end.
