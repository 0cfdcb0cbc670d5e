// The text of the routines a user selected: each from its header to its
// last "end;", and the same lines as the file itself has them (before the
// listing joined or split them) for copying out.
#include <QByteArray>
#include <algorithm>

#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/RoutineHeaders.h"

namespace scrivane {
using namespace readertext;

void CollectSelectedText(ProjectModel &model) {
  model.ListingLines.clear();
  if (!model.AnyRoutineSelected()) return;
  static constexpr const char *kStartWords[] = {
      "procedure ", "constructor ", "destructor ", "function ", "object ", "inherited ", "inline "};
  for (const RoutineEntry &routine : model.Routines) {
    if (!routine.selected) continue;
    const qsizetype d = routine.line;
    if (d < 0 || d >= model.SourceLines.size()) continue;
    const qsizetype entryStart = model.ListingLines.size();
    model.ListingLines.appendLineOf(model.SourceLines, d);
    for (qsizetype q = d + 1; q < model.SourceLines.size(); ++q) {
      const QByteArrayView t = Trimmed(model.SourceLines[q]);
      if (model.FormMode) {
        bool startsObject = false;
        for (const char *start : kStartWords)
          startsObject = startsObject || StartsWithIgnoringCase(t, start);
        if (startsObject) break;
      } else if (model.RoutineHeadingLines.contains(t) ||
                 model.ImplementationHeadingLines.contains(t)) {
        // The next listed routine starts; an {$IFDEF} alternative of this
        // routine's own header stays with it.
        const bool ownAlternative = q > d && [&] {
          for (qsizetype k = q - 1; k > d; --k)
            for (const char *body : {"begin ", "asm ", "var ", "const ", "type ", "label "})
              if (StartsWithIgnoringCase(Trimmed(model.SourceLines[k]), body)) return false;
          return SplitRoutineHeader(RoutineHeaderOfLine(t)).name ==
                 SplitRoutineHeader(RoutineHeaderOfLine(model.SourceLines[d])).name;
        }();
        if (!ownAlternative) break;
      }
      model.ListingLines.appendLineOf(model.SourceLines, q);
    }
    if (model.FormMode) continue;
    // The text ends at its last "end;". Without one the whole text is kept:
    // cutting would take the header and earlier entries with it.
    qsizetype last = model.ListingLines.size() - 1;
    while (last > entryStart && !StartsWithIgnoringCase(Trimmed(model.ListingLines[last]), "end;"))
      --last;
    if (last > entryStart) model.ListingLines.truncate(last + 1);
  }
}

QByteArray SelectedOwnText(ProjectModel &model) {
  CollectSelectedText(model);
  QByteArray text;
  const LineList &lines = model.ListingLines;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const int file = lines.fileIndex(i);
    if (file >= model.OwnLines.size() || model.OwnLines[file].isEmpty() || lines.fileLine(i) == 0) {
      text += lines[i];  // a form's text, or a row that stands for no line
      text += '\n';
      continue;
    }
    if (!lines.startsFileLine(i)) continue;  // a piece of the line before
    const LineList &own = model.OwnLines[file];
    const int first = lines.fileLine(i);
    const int last =
        std::max(first, model.JoinedLines.value(ProjectModel::JoinedKey(file, first), first));
    for (int line = first; line <= last && line <= own.size(); ++line) {
      text += own[line - 1];
      text += '\n';
    }
  }
  model.ListingLines.clear();
  return text;
}

}  // namespace scrivane
