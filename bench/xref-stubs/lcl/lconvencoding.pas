unit LConvEncoding;

{$mode objfpc}{$H+}

interface

const
  EncodingUTF8 = 'utf8';

function ConvertEncoding(const s, FromEncoding, ToEncoding: string;
  SetTargetCodePage: boolean = false): string;

implementation

end.
