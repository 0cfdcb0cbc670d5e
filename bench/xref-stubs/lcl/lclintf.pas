unit LCLIntf;

{$mode objfpc}{$H+}

interface

implementation

end.
