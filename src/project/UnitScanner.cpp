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
enum class BlockWord { Other, OpenBrace, CloseBrace, OpenParenStar, CloseParenStar, Quote, LineComment,
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
    case '{': case '}': case '(': case '*': case '\'': case '/':
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
    case Packed("//"): return BlockWord::LineComment;
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
// final empty word adds one more blank to the last piece. Block words inside
// a comment or a string stay where they are: a "//" comment runs to the end
// of the line, and a brace or "(*" comment that spans lines is followed from
// one line to the next through `carry`.
void SplitBeforeBlockWords(QByteArrayView line, LineList &out, CommentCarry &carry) {
  bool afterTryWord = false;
  const char *const data = line.data();
  qsizetype pieceStart = 0;
  bool first = true;
  LineLexer lexer(line, carry);
  for (LexedWord w; lexer.Next(w); first = false) {
    if (first || w.Lex != Lexeme::Code) continue;
    const BlockWord word = BlockWordOf(data + w.Offset, w.Size);
    auto flush = [&] {
      out.append(Piece(data + pieceStart, w.Offset - pieceStart, 0));
      pieceStart = w.Offset;
    };
    if (word == BlockWord::Ends || word == BlockWord::Begin) flush();
    if (word == BlockWord::TryWord) afterTryWord = true;
    if (afterTryWord && word == BlockWord::Begin) flush();
  }
  out.append(Piece(data + pieceStart, line.size() - pieceStart, 1));
}

// True for a line that LoadUnit started before a block word: joining it
// onto a header would take that word off the start of its line.
bool StartsWithBlockWord(QByteArrayView trimmedLine) {
  qsizetype end = trimmedLine.indexOf(' ');
  if (end < 0) end = trimmedLine.size();
  const BlockWord word = BlockWordOf(trimmedLine.data(), end);
  return word == BlockWord::Begin || word == BlockWord::Ends;
}

struct CompletedHeader {
  QByteArray header;   // lower case, comments left out, cut after its end
  qsizetype lines = 1; // source lines the header takes
  bool joinable = true;  // the lines can be printed as one
};

// Completes a routine header that spans lines, from lines[p] on, as the
// routine keys see it: comments take no part in finding its end. At most
// three further lines are taken. `carry` is the comment state at the start
// of line p and is left at the end of the header's last line.
CompletedHeader CompleteHeader(const LineList &lines, qsizetype p, bool isFunction,
                               CommentCarry &carry) {
  const QByteArrayView closing = isFunction ? QByteArrayView(") :") : QByteArrayView(");");
  CompletedHeader result;
  QByteArray cur;
  bool endsInLineComment = FollowComments(lines[p], carry, &cur);
  auto join = [&] {
    const qsizetype next = p + result.lines;
    if (next >= lines.size()) return;
    // Text after a "//" would swallow the joined line; a block word or the
    // page-break marker must keep the start of its line.
    const QByteArrayView nextLine = Trimmed(lines[next]);
    if (endsInLineComment || StartsWithBlockWord(nextLine) || nextLine == kNewPageMarker) result.joinable = false;
    endsInLineComment = FollowComments(nextLine, carry, &cur);
    result.lines += 1;
  };
  auto contains = [&cur](QByteArrayView text) { return cur.indexOf(text) >= 0; };
  if (!contains("(") && !contains(closing) && !contains(";")) join();
  for (int i = 0; i < 2; ++i)
    if (contains("(") && !contains(closing)) join();
  result.header = CutRoutineHeader(Lower(cur), isFunction);
  return result;
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

}  // namespace

void ParsePas(ReaderContext &ctx, const QString &path) {
  ctx.model.OpenAlone(path, EntryKind::UnitInProject);
  LoadUnit(ctx);
}

void LoadUnit(ReaderContext &ctx) {
  ProjectModel &model = ctx.model;
  if (model.FormFileOpened) return LoadFormText(ctx);
  if (model.SelectedUnit < 0 || model.SelectedUnit >= model.Units.size()) return;
  QString p = model.Units[model.SelectedUnit].PathToRead();
  if (!p.contains(QStringLiteral(":\\")) && !IsAbsolutePath(p)) p = JoinPath(model.ProjectDir, p);

  auto fail = [&](const QString &message, bool warning) {
    model.SourceLines.clear();
    model.DeclaredRoutines.clear();
    model.ClearRoutines();
    model.CurrentUnitPath.clear();
    ctx.messages.SetBusy(false);
    if (warning)
      ctx.messages.FileWarning(p, message);
    else
      ctx.messages.Information(message);
  };
  ctx.messages.SetBusy(true);
  SourceFile file = ReadSourceFile(p);
  switch (file.status) {
    case SourceStatus::Missing: return fail(SourceFileMessage(file, p), true);
    case SourceStatus::Unreadable: return fail(SourceFileMessage(file, p), false);
    case SourceStatus::Binary: return fail(kBinaryMessage, true);
    case SourceStatus::Ok: break;
  }

  model.SourceLines.clear();
  model.ClearRoutines();
  model.CurrentUnitPath = file.diskPath;
  model.SourceEncoding = file.encoding;
  const bool lower = ctx.settings.Lower == 1;
  LineNormaliser normaliser;
  CommentCarry normaliserCarry, carry;
  model.SourceLines.reserve(file.bytes.count('\n') + 1);
  ForEachLine(file.bytes, [&](QByteArrayView raw) {
    SplitBeforeBlockWords(normaliser.Normalise(Trimmed(raw), lower, normaliserCarry), model.SourceLines, carry);
  });
  // The file's bytes are not needed past here; on a huge unit they are a
  // large part of what reading holds at its peak.
  file.bytes = QByteArray();
  // Blank lines after the unit's last text would print as a page of empty rows.
  while (!model.SourceLines.isEmpty() && Trimmed(model.SourceLines.last()).isEmpty()) model.SourceLines.removeLast();
  model.FormMode = false;
  ScanRoutines(model);
  ctx.messages.SetBusy(false);
}

void ScanRoutines(ProjectModel &model) {
  if (model.FormMode) return;
  model.DeclaredRoutines.clear();
  model.ClearRoutines();

  // The lines are rebuilt once, in order: a joined header is one line in
  // place of the lines it took, so the work stays linear in the unit's
  // length. What is printed keeps every character of the source; the cut
  // header is only the routine's key.
  const LineList in = model.SourceLines;
  LineList out = in.emptySharingBlocks();
  out.reserve(in.size());
  struct Header {
    qsizetype line;  // in `out`
    HeaderWord word;
    QByteArray text;
  };
  std::vector<Header> declarations, implementations;
  bool inImplementation = false;
  CommentCarry carry;
  for (qsizetype p = 0; p < in.size();) {
    const QByteArrayView t = Trimmed(in[p]);
    const HeaderWord word = carry.InCode() ? HeaderWordOf(t) : HeaderWord::None;
    if (word == HeaderWord::None || word == HeaderWord::Implementation) {
      if (word == HeaderWord::Implementation) inImplementation = true;
      FollowComments(t, carry);
      out.appendLineOf(in, p);
      ++p;
      continue;
    }
    CompletedHeader completed;
    if (!inImplementation && word == HeaderWord::Destructor) {
      // A destructor declaration ends at its first ";" and takes no further
      // line; one without a ";" is kept whole.
      QByteArray code;
      FollowComments(t, carry, &code);
      code = Lower(Trimmed(code));
      const qsizetype semicolon = code.indexOf(';');
      completed.header = semicolon >= 0 ? code.left(semicolon + 1) : code;
    } else {
      completed = CompleteHeader(in, p, word == HeaderWord::Function, carry);
    }
    (inImplementation ? implementations : declarations).push_back({out.size(), word, completed.header});
    if (completed.lines == 1 || !completed.joinable) {
      for (qsizetype k = 0; k < completed.lines; ++k) out.appendLineOf(in, p + k);
    } else {
      QByteArray joined = Trimmed(in[p]).toByteArray();
      for (qsizetype k = 1; k < completed.lines; ++k) joined += ' ' + Trimmed(in[p + k]).toByteArray();
      out.append(joined);
    }
    p += completed.lines;
  }
  model.SourceLines = std::move(out);

  for (const Header &h : declarations) model.DeclaredRoutines.append(h.text);
  // Without an implementation part every header is both declared and implemented.
  const std::vector<Header> &implemented = inImplementation ? implementations : declarations;
  const QSet<QByteArray> declared(model.DeclaredRoutines.begin(), model.DeclaredRoutines.end());
  QList<RoutineEntry> entries;
  QList<QByteArray> refs;
  for (const Header &h : implemented)
    if (declared.contains(RoutineKey(h.text))) {
      entries.append(RoutineEntry{h.text, KindOf(h.word), false});
      refs.append(h.text + '|' + QByteArray::number(h.line));
    }
  model.AddRoutines(entries, refs);
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
    model.ListingLines.appendLineOf(model.SourceLines, d);
    for (qsizetype q = d + 1; q < model.SourceLines.size(); ++q) {
      const QByteArrayView t = Trimmed(model.SourceLines[q]);
      bool startsRoutine = false;
      for (const char *start : kStartWords) startsRoutine = startsRoutine || StartsWithIgnoringCase(t, start);
      if (startsRoutine && (model.FormMode || declared.contains(RoutineKey(RoutineHeaderOfLine(t))))) break;
      model.ListingLines.appendLineOf(model.SourceLines, q);
    }
    if (model.FormMode) continue;
    // The text ends at its last "end;". Without one the whole text is kept:
    // cutting would take the header and earlier entries with it.
    qsizetype last = model.ListingLines.size() - 1;
    while (last > entryStart && !StartsWithIgnoringCase(Trimmed(model.ListingLines[last]), "end;")) --last;
    if (last > entryStart) model.ListingLines.truncate(last + 1);
  }
}

}  // namespace scrivane
