// The settings file round trip: whatever the bytes, a file read and written
// back unchanged keeps its bytes; the settings read from it survive a save
// and a second read; a second save changes nothing.
#include <cstdlib>

#include "format/FormatSettings.h"
#include "format/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
  IniFile ini;
  ini.Parse(bytes);
  const QByteArray unchanged = ini.ToBytes();
  if (!unchanged.startsWith(bytes)) std::abort();

  FormatSettings first;
  first.LoadFromIni(ini);
  first.SaveToIni(ini);
  const QByteArray saved = ini.ToBytes();

  IniFile reread;
  reread.Parse(saved);
  FormatSettings second;
  second.LoadFromIni(reread);
  if (!(second == first)) std::abort();
  second.SaveToIni(reread);
  if (reread.ToBytes() != saved) std::abort();
  return 0;
}
