// A project file and one unit beside it: the input's first part is the
// project, the rest (after the first NUL byte, if any) the unit "a.pas", so
// that uses clauses lead somewhere. The uses scan is on.
#include <cstdlib>
#include <cstring>

#include "FuzzFiles.h"
#include "project/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
  const qsizetype split = bytes.indexOf('\0');
  const QByteArrayView project = split < 0 ? bytes : bytes.first(split);
  const QByteArrayView unit = split < 0 ? QByteArrayView() : bytes.sliced(split + 1);
  fuzzsupport::WriteFile(QStringLiteral("a.pas"), unit);
  const QString path = fuzzsupport::WriteFile(QStringLiteral("project.dpr"), project);

  ProjectModel model;
  fuzzsupport::QuietMessages messages;
  ReaderContext ctx{model, {}, messages, true, {}};
  ClearForOpen(model);
  OpenPath(ctx, path);
  for (int i = 0; i < model.Units.size() && i < 4; ++i) {
    model.SelectedUnit = i;
    LoadUnit(ctx);
    for (const RoutineEntry &routine : model.Routines)
      if (routine.line < 0 || routine.line >= model.SourceLines.size()) std::abort();
  }
  return 0;
}
