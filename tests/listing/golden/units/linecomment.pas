unit LineComment;

interface

type
  TOpt = (oA, // Case sensitive names
          oB); // begin and end are words here

implementation

procedure Run;
begin
  x := 1; // until the end of the case
  { a comment that runs on
    and says begin }
  y := 2;
end;

end.
