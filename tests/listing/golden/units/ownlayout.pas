unit OwnLayout;

{ Each line prints as written here: spacing, alignment and tabs. }

interface

const
  Small   = 1;
  Larger  = 20;
  Largest = 300;

function Twice(X: Integer): Integer;
procedure Spread(const A: array of Integer;
                 Count: Integer) ;

implementation

function Twice(X: Integer): Integer;
begin
  Result := X*2;
end;

procedure Spread(const A: array of Integer;
                 Count: Integer) ;
var
  I: Integer;
begin
  for I := 0 to Count - 1 do
    if A[I] > Larger then begin
      WriteLn('	column', A[I]) ;
    end
    else
      WriteLn(A [I]);
end;

procedure Long(Count: Integer);
var
  I: Integer;
begin
  I := 0;
  while I < Count do
    begin
      Step00(I);
      Step01(I);
      Step02(I);
      Step03(I);
      Step04(I);
      Step05(I);
      Step06(I);
      Step07(I);
      Step08(I);
      Step09(I);
      Step10(I);
      Step11(I);
      Step12(I);
      Step13(I);
      Step14(I);
      Step15(I);
      Step16(I);
      Step17(I);
      Step18(I);
      Step19(I);
      Step20(I);
      Step21(I);
      Step22(I);
      Step23(I);
      Step24(I);
      Step25(I);
      Step26(I);
      Step27(I);
      Step28(I);
      Step29(I);
      Step30(I);
      Step31(I);
      Step32(I);
      Step33(I);
      Step34(I);
      Step35(I);
      Step36(I);
      Step37(I);
      Step38(I);
      Step39(I);
      Step40(I);
      Step41(I);
      Step42(I);
      Step43(I);
      Step44(I);
      Step45(I);
      Step46(I);
      Step47(I);
      Step48(I);
      Step49(I);
      Step50(I);
      Step51(I);
      Step52(I);
      Step53(I);
      Step54(I);
      Step55(I);
      Step56(I);
      Step57(I);
      Step58(I);
      Step59(I);
      Step60(I);
      Step61(I);
      Step62(I);
      Step63(I);
      Step64(I);
      Step65(I);
      Step66(I);
      Step67(I);
      Step68(I);
      Step69(I);
    end;
end;

end.
