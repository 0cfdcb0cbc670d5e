#pragma once
// The classes a book's classes most often derive from or name in a "with"
// without declaring them: Free Pascal's run-time library and FCL, and the
// LCL (scripts/outside-classes.py lists them). A name inside a method of
// "TForm1 = class(TForm)" that TForm or an ancestor of it declares is that
// member, not the book's routine of the same spelling: the compiler looks
// in the class before the unit. Members a descendant cannot see (private
// ones) are left out.
#include <cstdint>
#include <string_view>

#include "project/XrefTokens.h"

namespace scrivane::xref {

// A known class, kNoOutsideClass for a name the table does not hold.
using OutsideClass = std::uint16_t;
inline constexpr OutsideClass kNoOutsideClass = 0xFFFF;

OutsideClass FindOutsideClass(Name name);
// Whether the class or one of its ancestors declares a member so named.
bool IsOutsideMember(OutsideClass cls, Name name);
// The class of the field or property so named (its own or an
// ancestor's), when the table holds that class; kNoOutsideClass else (a
// method, an indexed property, a type the table does not hold).
OutsideClass OutsideMemberType(OutsideClass cls, Name name);
// The type of the field, property or function so named when it is a
// number, string, Boolean, character or pointer type ("integer",
// "string"), lower case; empty else.
std::string_view OutsideMemberSimpleType(OutsideClass cls, Name name);
// What an item of an indexed property gives: a class of the table, or a
// simple type's name as above; neither when the table cannot tell.
struct OutsideType {
  OutsideClass cls = kNoOutsideClass;
  std::string_view simple;
};
// The item of the indexed property so named ("Controls[I]": TControl).
OutsideType OutsideItemType(OutsideClass cls, Name name);
// The item of the class's default property ("Lines[I]" of a TStrings: a
// string), its own or an ancestor's.
OutsideType OutsideDefaultItemType(OutsideClass cls);
// Whether `cls` is `ancestor` or derives from it.
bool OutsideClassDerives(OutsideClass cls, OutsideClass ancestor);
// Whether the run-time library or the LCL declares a set type so named
// (TShiftState, TFontStyles).
bool IsOutsideSetType(Name name);
// The same for a dynamic array type (TStringDynArray, TBytes).
bool IsOutsideArrayType(Name name);
// TObject's row: "class" alone derives from it.
OutsideClass OutsideObjectClass();

}  // namespace scrivane::xref
