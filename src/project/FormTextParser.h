#pragma once
// Forms saved as text (.lfm, or a .dfm saved as text): read into a binary
// form stream, so that one decoder writes the object text of both kinds.
// Pure functions on bytes, standard library only.
#include <string>
#include <string_view>

#include "project/FormStream.h"

namespace scrivane {

// True when the first word of the bytes (after an optional UTF-8 mark and
// blanks) is "object", "inherited" or "inline", in any case.
bool LooksLikeFormText(std::string_view bytes);

struct FormStreamResult {
  bool ok = false;
  std::string stream;  // "TPF0" and the object, as the IDE writes it in binary
  FormStreamError error;
};

// Parses the text form of a form into its binary stream.
FormStreamResult FormTextToStream(std::string_view text);

// The object text of a form file's bytes, binary or text alike.
FormTextResult ConvertFormBytes(std::string_view bytes);

}  // namespace scrivane
