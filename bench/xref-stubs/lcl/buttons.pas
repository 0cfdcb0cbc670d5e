unit Buttons;

{$mode objfpc}{$H+}

interface

implementation

end.
