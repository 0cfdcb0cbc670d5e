// Reading a unit into statement-like lines and listing its routines.
#include <QSet>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

namespace scrivane {
using namespace readertext;

namespace {

const QString kBinaryMessage = QStringLiteral("File is binary. Please save it as text file.");

// Splits one normalised line before its block words, appending the pieces to
// `out`. Each piece holds its words each followed by one blank; the split's
// final empty word adds one more blank to the last piece.
void SplitBeforeBlockWords(QByteArray &&line, QList<QByteArray> &out) {
  bool inBrace = false, inParenStar = false, inQuote = false, afterTryWord = false;
  qsizetype pieceStart = 0;
  qsizetype wordStart = 0;
  int index = 0;
  const qsizetype size = line.size();
  for (;;) {
    qsizetype wordEnd = line.indexOf(' ', wordStart);
    const bool last = wordEnd < 0;
    if (last) wordEnd = size;
    const QByteArrayView word(line.constData() + wordStart, wordEnd - wordStart);
    if (word == "{") inBrace = true;
    else if (word == "}") inBrace = false;
    else if (word == "(*") inParenStar = true;
    else if (word == "*)") inParenStar = false;
    if (index > 0 && !inBrace && !inParenStar) {
      if (word == "'") inQuote = !inQuote;
      if (word == ")" || word == ");") inQuote = false;
      if (!inQuote) {
        auto flush = [&] {
          out.append(line.mid(pieceStart, wordStart - pieceStart));
          pieceStart = wordStart;
        };
        const bool isBegin = EqualsIgnoringCase(word, "begin");
        if (EqualsIgnoringCase(word, "end;") || EqualsIgnoringCase(word, "end") ||
            EqualsIgnoringCase(word, "until") || EqualsIgnoringCase(word, "asm") || isBegin ||
            EqualsIgnoringCase(word, "case"))
          flush();
        if (EqualsIgnoringCase(word, "try") || EqualsIgnoringCase(word, "finally") ||
            EqualsIgnoringCase(word, "except") || EqualsIgnoringCase(word, "repeat"))
          afterTryWord = true;
        if (afterTryWord && isBegin) flush();
      }
    }
    if (last) break;
    wordStart = wordEnd + 1;
    ++index;
  }
  if (pieceStart == 0) {
    line.append(' ');
    out.append(std::move(line));
  } else {
    out.append(line.mid(pieceStart) + ' ');
  }
}

QByteArrayView UpTo(QByteArrayView text, qsizetype endInclusive) { return text.first(endInclusive + 1); }

// Completes a routine header that spans lines and cuts what follows it.
// SourceLines keeps its length: each join appends a line holding one blank.
void CompleteHeader(QList<QByteArray> &lines, qsizetype p, bool isFunction) {
  const QByteArrayView closing = isFunction ? QByteArrayView(") :") : QByteArrayView(");");
  QByteArray cur = Trimmed(lines[p]).toByteArray();
  auto join = [&] {
    if (p + 1 >= lines.size()) return;
    lines[p] = Trimmed(lines[p]).toByteArray() + ' ' + Trimmed(lines[p + 1]).toByteArray();
    lines.removeAt(p + 1);
    lines.append(QByteArray(" "));
    cur = lines[p];
  };
  if (!cur.contains('(') && !cur.contains(closing) && !cur.contains(';')) join();
  for (int i = 0; i < 2; ++i)
    if (cur.contains('(') && !cur.contains(closing)) join();

  const QByteArrayView t = Trimmed(lines[p]);
  if (isFunction && cur.contains(closing)) {
    // The header ends at the first ";" after the result type: a trailing
    // directive ("; virtual;") or a joined statement is not part of it.
    const qsizetype semicolon = cur.indexOf(';', cur.lastIndexOf(closing));
    if (semicolon >= 0) lines[p] = UpTo(t, semicolon).toByteArray();
    return;
  }
  if (!isFunction && cur.contains(" (") && cur.contains(");")) {
    lines[p] = UpTo(t, cur.indexOf(");") + 1).toByteArray();
    return;
  }
  const qsizetype semicolon = cur.indexOf(';');
  if (semicolon >= 0) lines[p] = UpTo(t, semicolon).toByteArray();
}

enum class HeaderWord { None, Function, Procedure, Constructor, Destructor, Implementation };

HeaderWord HeaderWordOf(QByteArrayView trimmedLine) {
  if (StartsWithIgnoringCase(trimmedLine, "function ")) return HeaderWord::Function;
  if (StartsWithIgnoringCase(trimmedLine, "procedure ")) return HeaderWord::Procedure;
  if (StartsWithIgnoringCase(trimmedLine, "constructor ")) return HeaderWord::Constructor;
  if (StartsWithIgnoringCase(trimmedLine, "destructor ")) return HeaderWord::Destructor;
  if (StartsWithIgnoringCase(trimmedLine, "implementation")) return HeaderWord::Implementation;
  return HeaderWord::None;
}

EntryKind KindOf(HeaderWord word) {
  switch (word) {
    case HeaderWord::Function: return EntryKind::Function;
    case HeaderWord::Constructor: return EntryKind::Constructor;
    case HeaderWord::Destructor: return EntryKind::Destructor;
    default: return EntryKind::Procedure;
  }
}

QByteArray CutBeforeComment(QByteArray h) {
  qsizetype cut = h.indexOf('{');
  const qsizetype parenStar = h.indexOf("(*");
  if (parenStar >= 0 && (cut < 0 || parenStar < cut)) cut = parenStar;
  if (cut >= 0) h.truncate(cut);
  return h;
}

}  // namespace

QByteArray RoutineKey(const QByteArray &lowerHeader) {
  // The qualifier sits in the routine's name only; a dotted result type
  // ("function f : sysutils.tbytes;") keeps its dots. Nested classes give
  // several qualifiers, all of which go.
  const qsizetype nameStart = lowerHeader.indexOf(' ');
  if (nameStart < 0) return lowerHeader;
  qsizetype nameEnd = lowerHeader.indexOf(' ', nameStart + 1);
  if (nameEnd < 0) nameEnd = lowerHeader.size();
  const qsizetype dot = lowerHeader.lastIndexOf('.', nameEnd - 1);
  if (dot <= nameStart) return lowerHeader;
  return lowerHeader.left(nameStart + 1) + lowerHeader.mid(dot + 1);
}

void ParsePas(ReaderContext &ctx, const QString &path) {
  ProjectModel &model = ctx.model;
  model.GroupCaption = QStringLiteral("Unit");
  model.RoutineCaption = QStringLiteral("Functions and Procedures");
  model.FormFileOpened = false;
  model.ClearUnits();
  model.ProjectLines.clear();
  model.WindowCaption = QStringLiteral("  Unit Name: ") + DisplayPath(path);
  model.OpenedPath = DisplayPath(path);
  model.ProjectDir = DirectoryPart(path);
  model.SetPickList(path, EntryKind::UnitInProject);
  model.ProjectLines.append(Encode1252(DisplayPath(FileNamePart(path))));
  model.SelectedUnit = 0;
  LoadUnit(ctx);
}

void LoadUnit(ReaderContext &ctx) {
  ProjectModel &model = ctx.model;
  if (model.SelectedUnit < 0 || model.SelectedUnit >= model.Units.size()) return;
  QString p = model.Units[model.SelectedUnit].fullPath;
  if (!p.contains(QStringLiteral(":\\")) && !IsAbsolutePath(p)) p = JoinPath(model.ProjectDir, p);

  auto fail = [&](const QString &message, bool warning) {
    model.SourceLines.clear();
    model.DeclaredRoutines.clear();
    model.ClearRoutines();
    model.CurrentUnitPath.clear();
    ctx.messages.SetBusy(false);
    if (warning)
      ctx.messages.Warning(message);
    else
      ctx.messages.Information(message);
  };
  ctx.messages.SetBusy(true);
  const SourceFile file = ReadSourceFile(p);
  switch (file.status) {
    case SourceStatus::Missing: return fail(p + QStringLiteral(" not found."), true);
    case SourceStatus::Unreadable: return fail(QStringLiteral("Cannot read ") + p, false);
    case SourceStatus::Binary: return fail(kBinaryMessage, true);
    case SourceStatus::Ok: break;
  }

  model.SourceLines.clear();
  model.ClearRoutines();
  model.CurrentUnitPath = p;
  const bool lower = ctx.settings.Lower == 1;
  ForEachLine(file.bytes, [&](QByteArrayView raw) {
    if (lower)
      SplitBeforeBlockWords(NormaliseLineView(Trimmed(Lower(raw))), model.SourceLines);
    else
      SplitBeforeBlockWords(NormaliseLineView(Trimmed(raw)), model.SourceLines);
  });
  model.FormMode = false;
  ScanRoutines(model);
  ctx.messages.SetBusy(false);
}

void ScanRoutines(ProjectModel &model) {
  if (model.FormMode) return;
  QList<QByteArray> &lines = model.SourceLines;
  model.DeclaredRoutines.clear();
  model.ClearRoutines();

  qsizetype implementationLine = 0;
  const qsizetype count = lines.size();
  for (qsizetype p = 0; p < count; ++p) {
    const HeaderWord word = HeaderWordOf(Trimmed(lines[p]));
    if (word == HeaderWord::None) continue;
    if (word == HeaderWord::Implementation) {
      implementationLine = p;
      break;
    }
    if (word == HeaderWord::Destructor) {
      // A destructor declaration ends at its first ";"; one without a ";"
      // is kept whole rather than blanked.
      const QByteArrayView t = Trimmed(lines[p]);
      const qsizetype semicolon = t.indexOf(';');
      lines[p] = (semicolon >= 0 ? t.first(semicolon + 1) : t).toByteArray();
    } else {
      CompleteHeader(lines, p, word == HeaderWord::Function);
    }
    model.DeclaredRoutines.append(Lower(Trimmed(lines[p])));
  }

  const QSet<QByteArray> declared(model.DeclaredRoutines.begin(), model.DeclaredRoutines.end());
  for (qsizetype p = implementationLine; p < lines.size(); ++p) {
    const HeaderWord word = HeaderWordOf(Trimmed(lines[p]));
    if (word == HeaderWord::None || word == HeaderWord::Implementation) continue;
    CompleteHeader(lines, p, word == HeaderWord::Function);
    const QByteArray h = CutBeforeComment(Lower(Trimmed(lines[p])));
    if (declared.contains(RoutineKey(h))) model.AddRoutine(h, KindOf(word), h + '|' + QByteArray::number(p));
  }
}

void CollectSelectedText(ProjectModel &model) {
  model.ListingLines.clear();
  if (!model.AnyRoutineSelected()) return;
  const QSet<QByteArray> declared(model.DeclaredRoutines.begin(), model.DeclaredRoutines.end());
  static constexpr const char *kStartWords[] = {"procedure ", "constructor ", "destructor ", "function ",
                                                "object "};
  for (qsizetype i = 0; i < model.Routines.size() && i < model.RoutineRefs.size(); ++i) {
    if (!model.Routines[i].selected) continue;
    const QByteArray &ref = model.RoutineRefs[i];
    bool ok = false;
    const qsizetype d = ref.mid(ref.lastIndexOf('|') + 1).toLongLong(&ok);
    if (!ok || d < 0 || d >= model.SourceLines.size()) continue;
    const qsizetype entryStart = model.ListingLines.size();
    model.ListingLines.append(model.SourceLines[d]);
    for (qsizetype q = d + 1; q < model.SourceLines.size(); ++q) {
      const QByteArrayView t = Trimmed(model.SourceLines[q]);
      bool startsRoutine = false;
      for (const char *start : kStartWords) startsRoutine = startsRoutine || StartsWithIgnoringCase(t, start);
      if (startsRoutine && (model.FormMode || declared.contains(RoutineKey(Lower(t))))) break;
      model.ListingLines.append(model.SourceLines[q]);
    }
    if (model.FormMode) continue;
    // The text ends at its last "end;". Without one the whole text is kept:
    // cutting would take the header and earlier entries with it.
    qsizetype last = model.ListingLines.size() - 1;
    while (last > entryStart && !StartsWithIgnoringCase(Trimmed(model.ListingLines[last]), "end;")) --last;
    if (last > entryStart) model.ListingLines.resize(last + 1);
  }
}

}  // namespace scrivane
