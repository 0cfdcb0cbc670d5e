// libFuzzer target: any bytes, binary or text form, give a text or a refusal.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "project/FormTextParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const scrivane::FormTextResult result = scrivane::ConvertFormBytes(bytes);
  if (result.ok) {
    // Every line, the last one too, ends with CR LF.
    if (result.text.size() < 2 || result.text.compare(result.text.size() - 2, 2, "\r\n") != 0)
      std::abort();
  } else if (!result.text.empty() || result.error.message.empty() || result.error.offset > size) {
    std::abort();
  }
  return 0;
}
