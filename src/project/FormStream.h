#pragma once
// The binary form stream (a .dfm saved by the IDE in binary) and its text
// form. Pure functions on bytes, standard library only, so that they run in
// the fuzz target and on any input without a crash, a hang or an allocation
// out of proportion to the input.
#include <cstddef>
#include <string>
#include <string_view>

namespace scrivane {

struct FormStreamError {
  std::string message;
  std::size_t offset = 0;  // byte offset into the input where reading failed
};

struct FormTextResult {
  bool ok = false;
  std::string text;  // the text form, every line ended by CR LF; empty on failure
  FormStreamError error;
};

// Objects, lists and collections nested deeper than this are refused: the
// decoder recurses once per level.
inline constexpr int kFormNestingLimit = 256;

// Decodes a binary form: an optional resource header (byte 255, type 10, a
// zero-terminated name, flags, data size), the signature "TPF0", one object.
FormTextResult ConvertFormStream(std::string_view bytes);

// The text of a 10-byte extended float (little-endian, as stored): the
// shortest decimal that reads back to the same double, "." as separator,
// whatever the locale ("1.5", "1e-05", "-0", "inf", "nan").
std::string ExtendedFloatText(const unsigned char bytes[10]);
// The same rule for a double and for a single (shortest text that reads
// back to the same single).
std::string DoubleText(double value);
std::string SingleText(float value);

}  // namespace scrivane
