unit LCLType;

{$mode objfpc}{$H+}

interface

implementation

end.
