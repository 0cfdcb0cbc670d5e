unit SynEdit;

{$mode objfpc}{$H+}

interface

uses
  Classes, Controls;

type
  TSynCustomHighlighter = class(TComponent)
  private
    function GetEnabled: Boolean;
    procedure SetEnabled(const Value: Boolean);
  public
    property Enabled: Boolean read GetEnabled write SetEnabled;
  end;

  TCustomSynEdit = class(TCustomControl)
  private
    function GetLines: TStrings;
    procedure SetLines(Value: TStrings);
    function GetHighlighter: TSynCustomHighlighter;
    procedure SetHighlighter(const Value: TSynCustomHighlighter);
    function GetModified: Boolean;
    procedure SetModified(Value: Boolean);
  public
    procedure Clear;
    property Highlighter: TSynCustomHighlighter read GetHighlighter write SetHighlighter;
    property Lines: TStrings read GetLines write SetLines;
    property Modified: Boolean read GetModified write SetModified;
  end;

  TSynEdit = class(TCustomSynEdit)
  end;

implementation

end.
