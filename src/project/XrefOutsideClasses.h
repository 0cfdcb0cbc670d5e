#pragma once
// The classes a book's classes most often derive from or name in a "with"
// without declaring them: Free Pascal's run-time library and FCL, and the
// LCL (scripts/outside-classes.py lists them). A name inside a method of
// "TForm1 = class(TForm)" that TForm or an ancestor of it declares is that
// member, not the book's routine of the same spelling: the compiler looks
// in the class before the unit. Members a descendant cannot see (private
// ones) are left out.
#include <cstdint>

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
// Whether `cls` is `ancestor` or derives from it.
bool OutsideClassDerives(OutsideClass cls, OutsideClass ancestor);
// TObject's row: "class" alone derives from it.
OutsideClass OutsideObjectClass();

}  // namespace scrivane::xref
