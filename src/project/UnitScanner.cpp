// Reading a unit into statement-like lines and listing its routines.
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"
#include "listing/RoutineHeaders.h"
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

// Splits one normalised line before its block words, appending the pieces to
// `out`. Each piece holds its words each followed by one blank; the split's
// final empty word adds one more blank to the last piece. Block words inside
// a comment or a string stay where they are: a "//" comment runs to the end
// of the line, and a brace or "(*" comment that spans lines is followed from
// one line to the next through `carry`.
// The first piece carries fileLine, the line's number in the file; the pieces
// split off carry it negated: they come from that line but do not start it.
void SplitBeforeBlockWords(QByteArrayView line, LineList &out, CommentCarry &carry, int fileLine) {
  bool afterTryWord = false;
  const char *const data = line.data();
  qsizetype pieceStart = 0;
  bool first = true;
  LineLexer lexer(line, carry);
  for (LexedWord w; lexer.Next(w); first = false) {
    if (first || w.Lex != Lexeme::Code) continue;
    const BlockWord word = BlockWordOf(data + w.Offset, w.Size);
    auto flush = [&] {
      out.appendWithBlanks(QByteArrayView(data + pieceStart, w.Offset - pieceStart), 0, fileLine);
      fileLine = -std::abs(fileLine);
      pieceStart = w.Offset;
    };
    if (word == BlockWord::Ends || word == BlockWord::Begin) flush();
    if (word == BlockWord::TryWord) afterTryWord = true;
    if (afterTryWord && word == BlockWord::Begin) flush();
  }
  out.appendWithBlanks(QByteArrayView(data + pieceStart, line.size() - pieceStart), 1, fileLine);
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

// Lines a header's key may take, and lines that are printed joined as one.
constexpr qsizetype kMaxHeaderLines = 8;
constexpr qsizetype kMaxJoinedLines = 4;

enum class HeaderWord { None, Function, Procedure, Constructor, Destructor, Implementation };

HeaderWord HeaderWordOf(QByteArrayView trimmedLine) {
  if (trimmedLine.isEmpty()) return HeaderWord::None;
  // A comment before the header on its line ("{a}function F;").
  if (trimmedLine[0] == '{') {
    const qsizetype close = trimmedLine.indexOf('}');
    if (close > 0 && trimmedLine.size() > close + 1 && trimmedLine[1] != '$')
      return HeaderWordOf(Trimmed(trimmedLine.sliced(close + 1)));
  }
  if (StartsWithIgnoringCase(trimmedLine, "implementation ")) return HeaderWord::Implementation;
  const QByteArray word = BaseRoutineWord(trimmedLine);
  if (word.isEmpty()) return HeaderWord::None;
  if (word == "function") return HeaderWord::Function;
  if (word == "constructor") return HeaderWord::Constructor;
  if (word == "destructor") return HeaderWord::Destructor;
  return HeaderWord::Procedure;
}

// Completes a routine header that spans lines, from lines[p] on, as the
// routine keys see it: comments take no part in finding its end. A line
// that starts another header, a section or a block is never taken in.
// `carry` is the comment state at the start of line p and is left at the
// end of the header's last line.
CompletedHeader CompleteHeader(const LineList &lines, qsizetype p, CommentCarry &carry) {
  CompletedHeader result;
  QByteArray cur;
  bool endsInLineComment = FollowComments(lines[p], carry, &cur);
  bool complete = false;
  result.header = CutHeaderAtEnd(Lower(cur), &complete);
  while (!complete && result.lines < kMaxHeaderLines) {
    const qsizetype next = p + result.lines;
    if (next >= lines.size()) break;
    const QByteArrayView nextLine = Trimmed(lines[next]);
    if (carry.InCode() && (StartsWithBlockWord(nextLine) || HeaderWordOf(nextLine) != HeaderWord::None)) break;
    // Text after a "//" would swallow the joined line; the page-break
    // marker must keep the start of its line.
    if (endsInLineComment || nextLine == kNewPageMarker) result.joinable = false;
    endsInLineComment = FollowComments(nextLine, carry, &cur);
    result.lines += 1;
    result.header = CutHeaderAtEnd(Lower(cur), &complete);
  }
  if (result.lines > kMaxJoinedLines) result.joinable = false;
  return result;
}

EntryKind KindOf(HeaderWord word) {
  switch (word) {
    case HeaderWord::Function: return EntryKind::Function;
    case HeaderWord::Constructor: return EntryKind::Constructor;
    case HeaderWord::Destructor: return EntryKind::Destructor;
    default: return EntryKind::Procedure;
  }
}

// The class a name stands for: "TList<T>" and "TOuter.TInner" give
// "tlist" and "tinner".
QByteArray TypeNameOf(QByteArrayView qualified) {
  QByteArray name = Lower(Trimmed(qualified));
  if (name.startsWith("generic ")) name = name.mid(8);
  const qsizetype angle = name.indexOf('<');
  if (angle >= 0) name.truncate(angle);
  const qsizetype dot = name.lastIndexOf('.');
  if (dot >= 0) name = name.mid(dot + 1);
  return name.trimmed();
}

// Follows the type declarations of the interface part so that each method
// declaration knows its class: a short-form implementation of a name two
// classes share takes its own class's declaration.
class TypeNesting {
 public:
  // lowerCode: words parted by one blank each. Read in place: a unit
  // written on one line makes this a line of megabytes.
  void OnCodeLine(QByteArrayView lowerCode) {
    const QByteArrayView text = lowerCode.trimmed();
    auto wordAt = [&text](qsizetype at) {
      const qsizetype end = text.indexOf(' ', at);
      return text.sliced(at, (end < 0 ? text.size() : end) - at);
    };
    const QByteArrayView first = wordAt(0);
    if (first == "end" || first.startsWith("end;") || first.startsWith("end)")) {
      if (!names_.empty()) names_.pop_back();
      return;
    }
    qsizetype equals = -1, equalsAt = 0;  // the first "=": its word number and where it stands
    for (qsizetype k = 0, at = 0; at <= text.size(); ++k) {
      const QByteArrayView w = wordAt(at);
      const qsizetype next = at + w.size() + 1;
      if (equals < 0 && w == "=") {
        equals = k;
        equalsAt = at;
      }
      const bool body = w == "class" || w == "object" || w == "record" || w == "interface" ||
                        w == "dispinterface";
      at = next;
      if (!body) continue;
      if (next <= text.size() && wordAt(next) == "of") return;  // a class reference type
      if (text.sliced(next - w.size() - 1).contains(';')) return;  // no body follows
      if (equals > 0 && k > equals && k <= equals + 2)
        names_.push_back(TypeNameOf(text.first(equalsAt - 1)));
      else if (w == "record")
        names_.push_back(Current());  // a field's record: its methods are still the class's
      return;
    }
  }
  QByteArray Current() const { return names_.empty() ? QByteArray() : names_.back(); }

 private:
  std::vector<QByteArray> names_;
};

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
  {
    // Its buffer is as long as the longest line: gone before the scan.
    LineNormaliser normaliser;
    CommentCarry normaliserCarry, carry;
    model.SourceLines.reserve(file.bytes.count('\n') + 1);
    int fileLine = 0;
    ForEachLine(file.bytes, [&](QByteArrayView raw) {
      SplitBeforeBlockWords(normaliser.Normalise(Trimmed(raw), lower, normaliserCarry), model.SourceLines, carry,
                            ++fileLine);
    });
  }
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
    QByteArray typeName;  // a declaration's class; empty outside a class
    bool afterCode = true;  // code stands between this header and the one before
    bool afterDirective = false;  // and a compiler directive does
  };
  std::vector<Header> declarations, implementations;
  bool inImplementation = false;
  bool codeSinceHeader = true, directiveSinceHeader = false;
  TypeNesting types;
  CommentCarry carry;
  for (qsizetype p = 0; p < in.size();) {
    const QByteArrayView t = Trimmed(in[p]);
    // Section words and headers count only in code.
    const HeaderWord word = carry.InCode() ? HeaderWordOf(t) : HeaderWord::None;
    if (word == HeaderWord::None || word == HeaderWord::Implementation) {
      if (word == HeaderWord::Implementation) inImplementation = true;
      if (!inImplementation || !codeSinceHeader) {
        QByteArray code;
        FollowComments(t, carry, &code);
        if (!inImplementation) {
          for (char &c : code) c = LowerAscii(c);
          types.OnCodeLine(code);
        }
        if (!Trimmed(code).isEmpty()) codeSinceHeader = true;
        if (t.contains("{$") || t.contains("{ $") || t.contains("(*$") || t.contains("(* $"))
          directiveSinceHeader = true;
      } else {
        FollowComments(t, carry);
      }
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
      completed = CompleteHeader(in, p, carry);
    }
    Header header{out.size(), word, completed.header, types.Current(), codeSinceHeader, directiveSinceHeader};
    (inImplementation ? implementations : declarations).push_back(std::move(header));
    codeSinceHeader = directiveSinceHeader = false;
    if (completed.lines == 1 || !completed.joinable) {
      for (qsizetype k = 0; k < completed.lines; ++k) out.appendLineOf(in, p + k);
    } else {
      QByteArray joined = Trimmed(in[p]).toByteArray();
      for (qsizetype k = 1; k < completed.lines; ++k) joined += ' ' + Trimmed(in[p + k]).toByteArray();
      out.append(joined, in.startsFileLine(p) ? in.fileLine(p) : -in.fileLine(p));
    }
    p += completed.lines;
  }
  model.SourceLines = std::move(out);

  for (const Header &h : declarations) model.DeclaredRoutines.append(h.text);
  // Without an implementation part every header is both declared and implemented.
  const std::vector<Header> &implemented = inImplementation ? implementations : declarations;
  QSet<QByteArray> declared;
  for (const QByteArray &d : model.DeclaredRoutines) declared.insert(RoutineKey(d));
  // Declarations by kind and name, for implementations that leave out
  // their parameters and result.
  QHash<QByteArray, std::vector<const Header *>> byName;
  for (const Header &h : declarations) {
    const RoutineHeaderParts parts = SplitRoutineHeader(h.text);
    if (parts.valid) byName[parts.kind + ' ' + parts.name].push_back(&h);
  }
  // The routine list's text for an implementation, empty when it matches
  // no declaration.
  auto listedText = [&](const Header &h) -> QByteArray {
    if (declared.contains(RoutineKey(h.text))) return h.text;
    const RoutineHeaderParts parts = SplitRoutineHeader(h.text);
    const auto found = byName.constFind(parts.kind + ' ' + parts.name);
    if (!parts.valid || found == byName.constEnd()) return {};
    const QByteArray ownClass = TypeNameOf(parts.qualifier);
    if (!IsShortFormHeader(parts)) {
      // A method its class declares once under that name, written with
      // other spellings ("Objects.TRect" for "TRect"): listed as written.
      if (ownClass.isEmpty()) return {};
      int inClass = 0;
      for (const Header *d : *found) inClass += d->typeName == ownClass;
      return inClass == 1 ? h.text : QByteArray();
    }
    const Header *chosen = found->front();
    for (const Header *d : *found)
      if (d->typeName == ownClass) {
        chosen = d;
        break;
      }
    const RoutineHeaderParts declaredParts = SplitRoutineHeader(chosen->text);
    const QByteArray name = parts.qualifier.isEmpty() ? parts.name : parts.qualifier + '.' + parts.name;
    return parts.kind + ' ' + name + declaredParts.rest;
  };
  QList<RoutineEntry> entries;
  QList<QByteArray> refs;
  for (size_t i = 0; i < implemented.size();) {
    // Headers of one name with nothing but comments and directives between
    // them are {$IFDEF} alternatives of one routine: the first that matches
    // a declaration is listed, once.
    const RoutineHeaderParts first = SplitRoutineHeader(implemented[i].text);
    size_t end = i + 1;
    while (end < implemented.size() && !implemented[end].afterCode && implemented[end].afterDirective) {
      const RoutineHeaderParts next = SplitRoutineHeader(implemented[end].text);
      if (next.kind != first.kind || next.qualifier != first.qualifier || next.name != first.name) break;
      ++end;
    }
    bool listed = false;
    for (size_t k = i; k < end && !listed; ++k) {
      const QByteArray text = listedText(implemented[k]);
      if (text.isEmpty()) continue;
      listed = true;
      entries.append(RoutineEntry{text, KindOf(implemented[k].word), false});
      refs.append(text + '|' + QByteArray::number(implemented[k].line));
    }
    if (listed)
      for (size_t k = i; k < end; ++k)
        model.RoutineHeadingLines.insert(Trimmed(model.SourceLines[implemented[k].line]).toByteArray());
    i = end;
  }
  model.AddRoutines(entries, refs);
}

void CollectSelectedText(ProjectModel &model) {
  model.ListingLines.clear();
  if (!model.AnyRoutineSelected()) return;
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
      if (model.FormMode) {
        bool startsObject = false;
        for (const char *start : kStartWords) startsObject = startsObject || StartsWithIgnoringCase(t, start);
        if (startsObject) break;
      } else if (model.RoutineHeadingLines.contains(t.toByteArray())) {
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
    while (last > entryStart && !StartsWithIgnoringCase(Trimmed(model.ListingLines[last]), "end;")) --last;
    if (last > entryStart) model.ListingLines.truncate(last + 1);
  }
}

}  // namespace scrivane
