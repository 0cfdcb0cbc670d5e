unit Clipbrd;

{$mode objfpc}{$H+}

interface

uses
  Classes;

type
  TClipboardFormat = PtrUInt;

  TClipboard = class(TPersistent)
  private
    function GetAsText: string;
    procedure SetAsText(const Value: string);
  public
    procedure Clear;
    function FindFormatID(const FormatName: string): TClipboardFormat;
    function HasFormat(FormatID: TClipboardFormat): Boolean;
    property AsText: string read GetAsText write SetAsText;
  end;

const
  CF_TEXT = 1;

function Clipboard: TClipboard;

implementation

end.
