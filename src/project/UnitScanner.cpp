// Reading a unit into statement-like lines and listing its routines.
#include <QSet>
#include <algorithm>
#include <cstring>
#include <string>

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

// The words that SplitBeforeBlockWords watches. Block words match in any
// case, the others exactly (lowering leaves them as they are).
enum class BlockWord { Other, OpenBrace, CloseBrace, OpenParenStar, CloseParenStar, Quote, CloseParen,
                       Begin, Ends, TryWord };

// Packs a word of up to eight bytes, lowered, into one number, so that a
// word is matched against the table with one comparison.
constexpr quint64 Packed(const char *text, qsizetype size) {
  quint64 packed = 0;
  for (qsizetype i = 0; i < size; ++i) packed |= quint64(static_cast<unsigned char>(LowerAscii(text[i]))) << (8 * i);
  return packed;
}
constexpr quint64 Packed(const char *literal) { return Packed(literal, std::char_traits<char>::length(literal)); }

BlockWord BlockWordOf(const char *text, qsizetype size) {
  if (size == 0 || size > 7) return BlockWord::Other;
  // Every watched word starts with one of these; most words of a line do not.
  switch (text[0]) {
    case '{': case '}': case '(': case '*': case '\'': case ')':
    case 'a': case 'A': case 'b': case 'B': case 'c': case 'C': case 'e': case 'E':
    case 'f': case 'F': case 'r': case 'R': case 't': case 'T': case 'u': case 'U':
      break;
    default:
      return BlockWord::Other;
  }
  switch (Packed(text, size)) {
    case Packed("{"): return BlockWord::OpenBrace;
    case Packed("}"): return BlockWord::CloseBrace;
    case Packed("(*"): return BlockWord::OpenParenStar;
    case Packed("*)"): return BlockWord::CloseParenStar;
    case Packed("'"): return BlockWord::Quote;
    case Packed(")"):
    case Packed(");"): return BlockWord::CloseParen;
    case Packed("begin"): return BlockWord::Begin;
    case Packed("end;"):
    case Packed("end"):
    case Packed("until"):
    case Packed("asm"):
    case Packed("case"): return BlockWord::Ends;
    case Packed("try"):
    case Packed("finally"):
    case Packed("except"):
    case Packed("repeat"): return BlockWord::TryWord;
    default: return BlockWord::Other;
  }
}

// A new line holding text and then `blanks` blanks, allocated once.
QByteArray Piece(const char *text, qsizetype size, qsizetype blanks) {
  QByteArray piece(size + blanks, Qt::Uninitialized);
  char *data = piece.data();
  if (size) std::memcpy(data, text, size_t(size));
  if (blanks) std::memset(data + size, ' ', size_t(blanks));
  return piece;
}

// Splits one normalised line before its block words, appending the pieces to
// `out`. Each piece holds its words each followed by one blank; the split's
// final empty word adds one more blank to the last piece.
void SplitBeforeBlockWords(QByteArrayView line, QList<QByteArray> &out) {
  bool inBrace = false, inParenStar = false, inQuote = false, afterTryWord = false;
  const char *const data = line.data();
  const qsizetype size = line.size();
  qsizetype pieceStart = 0;
  qsizetype wordStart = 0;
  bool first = true;
  for (;;) {
    qsizetype wordEnd = wordStart;
    while (wordEnd < size && data[wordEnd] != ' ') ++wordEnd;
    const bool last = wordEnd == size;
    const BlockWord word = BlockWordOf(data + wordStart, wordEnd - wordStart);
    if (word == BlockWord::OpenBrace) inBrace = true;
    else if (word == BlockWord::CloseBrace) inBrace = false;
    else if (word == BlockWord::OpenParenStar) inParenStar = true;
    else if (word == BlockWord::CloseParenStar) inParenStar = false;
    if (!first && !inBrace && !inParenStar) {
      if (word == BlockWord::Quote) inQuote = !inQuote;
      if (word == BlockWord::CloseParen) inQuote = false;
      if (!inQuote) {
        auto flush = [&] {
          out.append(Piece(data + pieceStart, wordStart - pieceStart, 0));
          pieceStart = wordStart;
        };
        if (word == BlockWord::Ends || word == BlockWord::Begin) flush();
        if (word == BlockWord::TryWord) afterTryWord = true;
        if (afterTryWord && word == BlockWord::Begin) flush();
      }
    }
    if (last) break;
    wordStart = wordEnd + 1;
    first = false;
  }
  out.append(Piece(data + pieceStart, size - pieceStart, 1));
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
  // Most lines start with none of the five words' first letters.
  if (trimmedLine.isEmpty()) return HeaderWord::None;
  switch (LowerAscii(trimmedLine[0])) {
    case 'f': case 'p': case 'c': case 'd': case 'i': break;
    default: return HeaderWord::None;
  }
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

// Drops a comment that follows a header. In a normalised line a comment
// opener stands as a word of its own; a brace or "(*" inside a string
// ('{', '(*.*)', 'a{b') belongs to the header's default value and stays.
QByteArray CutBeforeComment(QByteArray h) {
  bool inQuote = false;
  qsizetype start = 0;
  while (start <= h.size()) {
    qsizetype end = h.indexOf(' ', start);
    if (end < 0) end = h.size();
    const QByteArrayView word = QByteArrayView(h).sliced(start, end - start);
    if (word == "'") inQuote = !inQuote;
    else if (!inQuote && (word == "{" || word == "(*")) {
      h.truncate(start);
      break;
    }
    start = end + 1;
  }
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
  if (model.FormFileOpened) return LoadFormText(ctx);
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
  LineNormaliser normaliser;
  ForEachLine(file.bytes, [&](QByteArrayView raw) {
    SplitBeforeBlockWords(normaliser.Normalise(Trimmed(raw), lower), model.SourceLines);
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
                                                "object ", "inherited ", "inline "};
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
