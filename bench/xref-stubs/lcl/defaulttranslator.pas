unit DefaultTranslator;

{$mode objfpc}{$H+}

interface

implementation

end.
