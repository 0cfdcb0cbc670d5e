unit SynHighlighterJScript;

{$mode objfpc}{$H+}

interface

uses
  Classes, SynEdit;

type
  TSynJScriptSyn = class(TSynCustomHighlighter)
  end;

implementation

end.
