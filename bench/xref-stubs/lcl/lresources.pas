unit LResources;

{$mode objfpc}{$H+}

interface

implementation

end.
