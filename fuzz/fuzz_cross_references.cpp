// A unit's names resolved against a second unit that uses it: the
// resolver reads what a hostile project brings (nesting, macros that
// stand for one another, include files that name themselves) and ends.
#include <cstdlib>

#include "FuzzFiles.h"
#include "project/CrossReferences.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  const QString unit =
      fuzzsupport::WriteFile(QStringLiteral("unit.pas"),
                             QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
  static const QString user = fuzzsupport::WriteFile(
      QStringLiteral("user.pas"),
      "unit user;\ninterface\nuses unit;\nimplementation\n"
      "procedure P(X: TObject); begin with X do Run; Unit.Run(1, 'a'); X[0].Go end;\nend.\n");
  const CrossReferences refs = ResolveCrossReferences({unit, user});
  for (const XrefUse &use : refs.uses)
    if (use.declaration < 0 || size_t(use.declaration) >= refs.declarations.size()) std::abort();
  return 0;
}
