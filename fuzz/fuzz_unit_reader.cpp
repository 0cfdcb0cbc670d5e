// A unit read whole: statement lines, routine scan, then every listed
// routine selected and its text collected, in both letter cases.
#include <cstdlib>

#include "FuzzFiles.h"
#include "project/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  const QString path =
      fuzzsupport::WriteFile(QStringLiteral("unit.pas"),
                             QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
  for (int lower = 0; lower <= 1; ++lower) {
    ProjectModel model;
    fuzzsupport::QuietMessages messages;
    ReaderContext ctx{model, {}, messages, false, {}};
    ctx.choices.lowerCase = lower == 1;
    ClearForOpen(model);
    ParsePas(ctx, path);
    for (const RoutineEntry &routine : model.Routines)
      if (routine.line < 0 || routine.line >= model.SourceLines.size()) std::abort();
    for (RoutineEntry &routine : model.Routines) routine.selected = true;
    CollectSelectedText(model);
  }
  return 0;
}
