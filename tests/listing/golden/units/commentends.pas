unit CommentEnds;

implementation

{ See http://example.org/notes for the begin of it }
procedure Go;
begin
  if Url = 'http://example.org/a' then Exit;
  (* a // inside *) Run;
  s := 'a{b'; Done;
end;

end.
