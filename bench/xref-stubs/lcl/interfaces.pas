unit Interfaces;

{$mode objfpc}{$H+}

interface

implementation

end.
