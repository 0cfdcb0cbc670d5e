// Listing a unit's routines: the headers its lines hold, matched between
// its interface and its implementation.
#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "project/ReaderText.h"
#include "project/Readers.h"
#include "project/RoutineHeaders.h"
#include "project/SourceLexer.h"

namespace scrivane {
using namespace readertext;

namespace {

struct CompletedHeader {
  QByteArray header;     // lower case, comments left out, cut after its end
  qsizetype lines = 1;   // source lines the header takes
  bool joinable = true;  // the lines can be printed as one
};

// Lines a header's key may take, and lines that are printed joined as one.
constexpr qsizetype kMaxHeaderLines = 64;
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
    if (carry.InCode() &&
        (StartsWithBlockWord(nextLine) || HeaderWordOf(nextLine) != HeaderWord::None))
      break;
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

// The headers a line of code declares after its start: a type declared on
// one line ("TObj = object a: Int64; public constructor Create; end;").
// A header counts after a ";", an attribute or a visibility word.
std::vector<QByteArray> DeclarationsInsideLine(QByteArrayView lowerCode) {
  std::vector<QByteArray> found;
  if (!lowerCode.contains(';')) return found;
  bool any = false;
  for (const char *word : {"procedure ", "function ", "constructor ", "destructor ", "operator "})
    any = any || lowerCode.indexOf(word) > 0;
  if (!any) return found;
  QByteArrayView previous;
  for (qsizetype at = 0; at < lowerCode.size();) {
    while (at < lowerCode.size() && lowerCode[at] == ' ') ++at;
    qsizetype end = at;
    while (end < lowerCode.size() && lowerCode[end] != ' ') ++end;
    if (end == at) break;
    const QByteArrayView word = lowerCode.sliced(at, end - at);
    // An attribute ("[Test] procedure Adds;") stands before a header too.
    const bool afterSeparator = previous.endsWith(';') || previous.endsWith(']') ||
                                previous == "public" || previous == "private" ||
                                previous == "protected" || previous == "published";
    if (afterSeparator && !previous.isEmpty()) {
      const QByteArrayView rest = lowerCode.sliced(at);
      const HeaderWord header = HeaderWordOf(rest);
      bool complete = false;
      qsizetype used = 0;
      if (header != HeaderWord::None && header != HeaderWord::Implementation) {
        QByteArray text = CutHeaderAtEnd(rest, &complete, &used);
        // A header the line does not end is the line's last: scanning from
        // each later candidate to the line's end again would take a long
        // line of "; procedure a(" quadratic time.
        if (!complete) break;
        found.push_back(std::move(text));
        previous = ";";
        at += used;
        continue;
      }
    }
    previous = word;
    at = end;
  }
  return found;
}

// True when the routine whose header starts on line p (and takes `lines`
// lines) has no body here: a directive after it says "external" (a
// library's routine) or "forward" (its body comes later). `carry` is the
// comment state at the start of line p.
bool DeclaredWithoutBody(const LineList &lines, qsizetype p, qsizetype headerLines,
                         CommentCarry carry) {
  QByteArray code;
  // The directives may stand on the lines after the header.
  for (qsizetype k = p; k < lines.size() && k < p + headerLines + 3; ++k) {
    QByteArray piece;
    FollowComments(Trimmed(lines[k]), carry, &piece);
    code += Lower(piece) + ' ';
  }
  bool complete = false;
  qsizetype used = 0;
  CutHeaderAtEnd(code, &complete, &used);
  if (!complete) return false;
  const QByteArrayView rest = QByteArrayView(code).sliced(used);
  for (qsizetype at = 0; at < rest.size();) {
    while (at < rest.size() && (rest[at] == ' ' || rest[at] == ';')) ++at;
    qsizetype end = at;
    if (at < rest.size() && rest[at] == '\'') {
      end = rest.indexOf('\'', at + 1);
      end = end < 0 ? rest.size() : end + 1;
    } else {
      while (end < rest.size() && rest[end] != ' ' && rest[end] != ';') ++end;
    }
    QByteArrayView word = rest.sliced(at, end - at);
    // Free Pascal's own "[external name 'X']" is the same directive.
    if (word.startsWith('[')) word = word.sliced(1);
    if (word == "external" || word == "forward") return true;
    // The routine's body, its declarations or the next routine.
    for (const char *stop :
         {"begin", "var", "const", "type", "label", "asm", "procedure", "function", "constructor",
          "destructor", "operator", "class", "end", "resourcestring", "threadvar", "generic"})
      if (word == stop) return false;
    at = end;
  }
  return false;
}

EntryKind KindOf(HeaderWord word) {
  switch (word) {
    case HeaderWord::Function:
      return EntryKind::Function;
    case HeaderWord::Constructor:
      return EntryKind::Constructor;
    case HeaderWord::Destructor:
      return EntryKind::Destructor;
    default:
      return EntryKind::Procedure;
  }
}

// A word against a keyword whose length is known when compiled: a view of
// a literal looks for its end every time, and the block followers compare
// every word of a unit with a dozen of them.
template <size_t N>
bool Is(QByteArrayView word, const char (&keyword)[N]) {
  return word.size() == qsizetype(N - 1) && std::memcmp(word.data(), keyword, N - 1) == 0;
}

// "{$", "{ $", "(*$" or "(* $" in the line: a directive may start there.
// One pass, where four searches for them took a tenth of reading a unit.
bool MayHoldDirective(QByteArrayView line) {
  const qsizetype size = line.size();
  for (qsizetype i = 0; i < size; ++i) {
    qsizetype at;
    if (line[i] == '{')
      at = i + 1;
    else if (line[i] == '(' && i + 1 < size && line[i + 1] == '*')
      at = i + 2;
    else
      continue;
    if (at < size && line[at] == ' ') ++at;
    if (at < size && line[at] == '$') return true;
  }
  return false;
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
    if (Is(first, "end") || first.startsWith("end;") || first.startsWith("end)")) {
      if (!names_.empty()) names_.pop_back();
      return;
    }
    qsizetype equals = -1, equalsAt = 0;  // the first "=": its word number and where it stands
    for (qsizetype k = 0, at = 0; at <= text.size(); ++k) {
      const QByteArrayView w = wordAt(at);
      const qsizetype next = at + w.size() + 1;
      if (equals < 0 && Is(w, "=")) {
        equals = k;
        equalsAt = at;
      }
      const bool body = Is(w, "class") || Is(w, "object") || Is(w, "record") ||
                        Is(w, "interface") || Is(w, "dispinterface");
      at = next;
      if (!body) continue;
      if (next <= text.size() && Is(wordAt(next), "of")) return;   // a class reference type
      if (text.sliced(next - w.size() - 1).contains(';')) return;  // no body follows
      if (equals > 0 && k > equals && k <= equals + 2)
        names_.push_back(TypeNameOf(text.first(equalsAt - 1)));
      else if (Is(w, "record"))
        names_.push_back(Current());  // a field's record: its methods are still the class's
      return;
    }
  }
  QByteArray Current() const { return names_.empty() ? QByteArray() : names_.back(); }

 private:
  std::vector<QByteArray> names_;
};

// The routines of a program, which has no interface part to declare them:
// each header at the outer level that has a body is one, and a forward or
// external header, a method a class declares, or a routine nested in
// another is none. Follows the blocks of the code, word by word, to tell
// when a routine's body has ended.
class ProgramRoutines {
 public:
  // lowerCode: code words, lowered, one blank after each.
  void OnCodeLine(QByteArrayView lowerCode) {
    QByteArrayView prev, prev2;
    bool inString = false;  // a string literal holds blanks: its words are no code
    for (qsizetype at = 0; at < lowerCode.size();) {
      qsizetype end = lowerCode.indexOf(' ', at);
      if (end < 0) end = lowerCode.size();
      const QByteArrayView w = lowerCode.sliced(at, end - at);
      const bool quoted = inString || w.contains('\'');
      if (w.count('\'') % 2 == 1) inString = !inString;
      if (quoted) {
        at = end + 1;
        continue;
      }
      const QByteArrayView next = NextWord(lowerCode, end);
      const bool typeBody =
          (Is(w, "class") || Is(w, "object") || Is(w, "interface") || Is(w, "dispinterface")) &&
          (Is(prev, "=") || (Is(prev, "packed") && Is(prev2, "="))) && !Is(next, "of") &&
          !lowerCode.sliced(at).contains(';');
      if (typeBody || Is(w, "record") || Is(w, "begin") || Is(w, "try") || Is(w, "asm") ||
          Is(w, "repeat")) {
        blocks_.push_back(Is(w, "record") || typeBody ? 'r' : 'b');
      } else if (Is(w, "case")) {
        // A record's variant part has no "end" of its own.
        blocks_.push_back(!blocks_.empty() && blocks_.back() != 'b' ? 'v' : 'b');
      } else if (Is(w, "until") || (w.startsWith("end") && (w.size() == 3 || !IsWordByte(w[3])))) {
        while (!blocks_.empty() && blocks_.back() == 'v') blocks_.pop_back();
        if (!blocks_.empty()) {
          blocks_.pop_back();
          if (blocks_.empty() && openRoutines_ > 0) --openRoutines_;
        }
      }
      prev2 = prev;
      prev = w;
      at = end + 1;
    }
  }
  // A header at the outer level; `lines`: its text and what follows it on
  // the next line, lowered. True when it is a routine of its own.
  bool OnHeader(const QByteArray &lines) {
    const bool bodiless =
        lines.contains(" forward") || lines.contains(" external") || lines.contains("[external");
    const bool own = openRoutines_ == 0 && blocks_.empty();
    if (!bodiless && blocks_.empty()) ++openRoutines_;
    return own && !bodiless;
  }

 private:
  static bool IsWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  }
  static QByteArrayView NextWord(QByteArrayView text, qsizetype end) {
    if (end + 1 >= text.size()) return {};
    qsizetype after = text.indexOf(' ', end + 1);
    if (after < 0) after = text.size();
    return text.sliced(end + 1, after - end - 1);
  }
  std::vector<char> blocks_;  // 'b' statement block, 'r' type body, 'v' variant part
  int openRoutines_ = 0;      // routines whose body has not ended
  friend class ImplementationRoutines;
};

// Where a header of a unit's implementation part stands: at the outer
// level (a routine of the unit), inside another routine (nested), or inside
// a type declared there (a method's declaration, not a body).
enum class HeaderPlace { Outer, Nested, InType };

// Follows the blocks of a unit's implementation part as ProgramRoutines
// follows a program's, and mends itself where conditional code left a block
// unpaired: a header never stands inside statements, and a header with a
// class name is never nested.
class ImplementationRoutines {
 public:
  void OnCodeLine(QByteArrayView lowerCode) { blocks_.OnCodeLine(lowerCode); }
  // alternative: an {$IFDEF} alternative of the header before (nothing but
  // directives between): the same routine, in the same place.
  HeaderPlace OnHeader(bool bodiless, bool qualified, bool alternative) {
    if (alternative) return last_;
    last_ = Place(bodiless, qualified);
    return last_;
  }

 private:
  HeaderPlace Place(bool bodiless, bool qualified) {
    std::vector<char> &blocks = blocks_.blocks_;
    if (std::find(blocks.begin(), blocks.end(), 'r') != blocks.end()) return HeaderPlace::InType;
    if (!blocks.empty() || qualified) {
      blocks.clear();
      blocks_.openRoutines_ = 0;
    }
    const bool nested = blocks_.openRoutines_ > 0;
    if (!bodiless) ++blocks_.openRoutines_;
    return nested ? HeaderPlace::Nested : HeaderPlace::Outer;
  }
  ProgramRoutines blocks_;
  HeaderPlace last_ = HeaderPlace::Outer;
};

// A program or library: its first code word says so.
bool IsProgramText(const LineList &lines, bool nestComments) {
  CommentCarry carry;
  carry.NestComments = nestComments;
  for (qsizetype p = 0; p < lines.size(); ++p) {
    QByteArray code;
    FollowComments(Trimmed(lines[p]), carry, &code);
    code = Lower(Trimmed(code));
    if (code.isEmpty()) continue;
    const qsizetype blank = code.indexOf(' ');
    const QByteArray first = blank < 0 ? code : code.left(blank);
    // A program may leave its heading out and start with its uses clause.
    return first == "program" || first == "library" || first == "uses";
  }
  return false;
}

// A routine header the scan met: a declaration, or an implementation.
struct Header {
  qsizetype line;  // in the rewritten lines
  HeaderWord word;
  QByteArray text;
  QByteArray typeName;                     // a declaration's class; empty outside a class
  bool afterCode = true;                   // code stands between this header and the one before
  bool afterDirective = false;             // and a compiler directive does
  bool bodiless = false;                   // "external" or "forward": implemented elsewhere
  bool programRoutine = false;             // in a program: a routine of its own
  HeaderPlace place = HeaderPlace::Outer;  // in the implementation part
};

// What the scan of a unit's lines found.
struct ScannedHeaders {
  // A deque: a vector doubling past 50,000 headers held both its old and
  // its new buffer, 17 MiB, at the reader's peak.
  std::deque<Header> declarations, implementations;
  bool inImplementation = false;  // the unit has an implementation part
  bool program = false;           // the text is a program's or a library's
};

// Rewrites model.SourceLines with each routine header on one line (where
// the reader may join it) and gathers the headers of the declarations and
// of the implementation part.
// The lines are rebuilt once, in order: a joined header is one line in
// place of the lines it took, so the work stays linear in the unit's
// length. What is printed keeps every character of the source; the cut
// header is only the routine's key.
// They are rewritten in place: line `kept_` takes line p, or a joined
// header, and kept_ <= p throughout, so the lines still to be read are
// never overwritten.
class HeaderCollector {
 public:
  explicit HeaderCollector(ProjectModel &model)
      : model_(model), lines_(std::move(model.SourceLines)) {
    scanned_.program = program_ = IsProgramText(in_, model.CommentsNest);
    carry_.NestComments = model.CommentsNest;
  }

  ScannedHeaders Collect() && {
    for (qsizetype p = 0; p < in_.size();) {
      const QByteArrayView t = Trimmed(in_[p]);
      const CommentCarry lineCarry = carry_;
      const HeaderWord word = HeaderWordAt(t);
      if (word == HeaderWord::None || word == HeaderWord::Implementation) {
        OnOtherLine(t, word);
        lines_.moveLine(p, kept_++);
        ++p;
        continue;
      }
      const CompletedHeader completed = Complete(p, t, word);
      // An anonymous method on a line of its own, with declarations after
      // it ("procedure" / "var" / "I: Integer;"): no routine, and its lines
      // stay as they are.
      if (const RoutineHeaderParts parts = SplitRoutineHeader(completed.header);
          !parts.valid && !parts.name.isEmpty()) {
        OnOtherLine(t, HeaderWord::None);
        lines_.moveLine(p, kept_++);
        ++p;
        continue;
      }
      Header header = HeaderAt(p, t, word, completed, lineCarry);
      (scanned_.inImplementation ? scanned_.implementations : scanned_.declarations)
          .push_back(std::move(header));
      if (!scanned_.inImplementation && completed.lines == 1) MoreDeclarationsOnLine(t, lineCarry);
      codeSinceHeader_ = directiveSinceHeader_ = false;
      KeepHeaderLines(p, completed);
      p += completed.lines;
    }
    lines_.truncate(kept_);
    model_.SourceLines = std::move(lines_);
    return std::move(scanned_);
  }

 private:
  // The routine word a line starts with, in code; None past the unit's end.
  HeaderWord HeaderWordAt(QByteArrayView t) {
    // Section words and headers count only in code.
    HeaderWord word = carry_.InCode() ? HeaderWordOf(t) : HeaderWord::None;
    if (word == HeaderWord::None && (!carry_.InCode() || t.startsWith('{') || t.startsWith("(*"))) {
      // A header after a comment or directive that ends on its line:
      // "} function F;", "{$ifdef fpc}generic{$endif} procedure P<T>;".
      CommentCarry probe = carry_;
      QByteArray code;
      FollowComments(t, probe, &code);
      word = HeaderWordOf(Trimmed(code));
    }
    // The compiler reads nothing after the final "end.".
    if (carry_.InCode() && StartsWithIgnoringCase(t, "end.")) unitEnded_ = true;
    if (unitEnded_) word = HeaderWord::None;
    return word;
  }

  // A line that starts no header (or starts the implementation part): its
  // code follows the blocks and types, and may declare routines inside it.
  void OnOtherLine(QByteArrayView t, HeaderWord word) {
    bool &inImplementation = scanned_.inImplementation;
    if (word == HeaderWord::Implementation) inImplementation = true;
    if (!inImplementation || !codeSinceHeader_ || word != HeaderWord::Implementation) {
      QByteArray code;
      FollowComments(t, carry_, &code);
      if (inImplementation && word != HeaderWord::Implementation) {
        for (char &c : code) c = LowerAscii(c);
        implementationBlocks_.OnCodeLine(code);
      }
      if (!inImplementation) {
        for (char &c : code) c = LowerAscii(c);
        types_.OnCodeLine(code);
        if (program_) programRoutines_.OnCodeLine(code);
        for (QByteArray &text : DeclarationsInsideLine(code))
          scanned_.declarations.push_back(
              Header{kept_, HeaderWordOf(text), std::move(text), types_.Current(), false, false});
      }
      if (!Trimmed(code).isEmpty()) codeSinceHeader_ = true;
      if (MayHoldDirective(t)) directiveSinceHeader_ = true;
    } else {
      FollowComments(t, carry_);
    }
  }

  // The header that starts at line p, and the lines it takes.
  CompletedHeader Complete(qsizetype p, QByteArrayView t, HeaderWord word) {
    if (scanned_.inImplementation || word != HeaderWord::Destructor)
      return CompleteHeader(in_, p, carry_);
    // A destructor declaration ends at its first ";" and takes no further
    // line; one without a ";" is kept whole.
    CompletedHeader completed;
    QByteArray code;
    FollowComments(t, carry_, &code);
    code = Lower(Trimmed(code));
    const qsizetype semicolon = code.indexOf(';');
    completed.header = semicolon >= 0 ? code.left(semicolon + 1) : code;
    return completed;
  }

  // The header at line p as the routine list needs it: whether it has a
  // body, where it stands in the implementation part, and whether it is a
  // program's own routine.
  Header HeaderAt(qsizetype p, QByteArrayView t, HeaderWord word, const CompletedHeader &completed,
                  const CommentCarry &lineCarry) {
    Header header{
        kept_, word, completed.header, types_.Current(), codeSinceHeader_, directiveSinceHeader_};
    // A declaration inside a class is never a body; any other header may
    // stand for a routine implemented elsewhere.
    if (header.typeName.isEmpty())
      header.bodiless = DeclaredWithoutBody(in_, p, completed.lines, lineCarry);
    if (scanned_.inImplementation) {
      const std::deque<Header> &implementations = scanned_.implementations;
      const RoutineHeaderParts parts = SplitRoutineHeader(completed.header);
      const bool alternative = !header.afterCode && header.afterDirective &&
                               !implementations.empty() &&
                               SplitRoutineHeader(implementations.back().text).name == parts.name;
      header.place =
          implementationBlocks_.OnHeader(header.bodiless, !parts.qualifier.isEmpty(), alternative);
    }
    if (program_ && header.typeName.isEmpty()) {
      QByteArray around = ' ' + Lower(t);
      for (qsizetype k = 1; k < completed.lines && p + k < in_.size(); ++k)
        around += ' ' + Lower(Trimmed(in_[p + k]));
      // "forward;" or "external" on a line of its own after the header.
      if (p + completed.lines < in_.size() &&
          HeaderWordOf(Trimmed(in_[p + completed.lines])) == HeaderWord::None)
        around += ' ' + Lower(Trimmed(in_[p + completed.lines]));
      header.programRoutine = programRoutines_.OnHeader(around);
    }
    return header;
  }

  // More declarations on the same line: "function A: Long;function B: Long;".
  void MoreDeclarationsOnLine(QByteArrayView t, const CommentCarry &lineCarry) {
    CommentCarry probe = lineCarry;
    QByteArray code;
    FollowComments(t, probe, &code);
    const QByteArray lowerCode = Lower(code);
    QByteArrayView rest = lowerCode;
    bool complete = false;
    qsizetype used = 0;
    CutHeaderAtEnd(rest, &complete, &used);
    while (complete) {
      rest = Trimmed(rest.sliced(used));
      const HeaderWord more = HeaderWordOf(rest);
      if (more == HeaderWord::None || more == HeaderWord::Implementation) break;
      QByteArray cut = CutHeaderAtEnd(rest, &complete, &used);
      if (complete)
        scanned_.declarations.push_back(
            Header{kept_, more, std::move(cut), types_.Current(), false, false});
    }
  }

  // The header's lines kept as they are, or joined into one.
  void KeepHeaderLines(qsizetype p, const CompletedHeader &completed) {
    if (completed.lines == 1 || !completed.joinable) {
      for (qsizetype k = 0; k < completed.lines; ++k) lines_.moveLine(p + k, kept_++);
      return;
    }
    if (!model_.OwnLines.isEmpty())
      model_.JoinedLines.insert(ProjectModel::JoinedKey(in_.fileIndex(p), in_.fileLine(p)),
                                in_.fileLine(p + completed.lines - 1));
    QByteArray joined = Trimmed(in_[p]).toByteArray();
    ProjectModel::JoinedHeader header;
    for (qsizetype k = 1; k < completed.lines; ++k) {
      joined += ' ';
      header.starts.emplace_back(
          joined.size(), in_.startsFileLine(p + k) ? in_.fileLine(p + k) : -in_.fileLine(p + k));
      joined.append(Trimmed(in_[p + k]));
    }
    header.size = joined.size();
    bool oneFile = true;
    for (qsizetype k = 1; k < completed.lines; ++k)
      oneFile = oneFile && in_.fileIndex(p + k) == in_.fileIndex(p);
    if (oneFile)
      model_.JoinedHeaders.insert(ProjectModel::JoinedKey(in_.fileIndex(p), in_.fileLine(p)),
                                  std::move(header));
    lines_.setLine(kept_++, joined, in_.startsFileLine(p) ? in_.fileLine(p) : -in_.fileLine(p),
                   in_.fileIndex(p));
  }

  ProjectModel &model_;
  LineList lines_;
  const LineList &in_ = lines_;
  qsizetype kept_ = 0;
  ScannedHeaders scanned_;
  bool program_ = false;
  bool codeSinceHeader_ = true, directiveSinceHeader_ = false, unitEnded_ = false;
  TypeNesting types_;
  ProgramRoutines programRoutines_;
  ImplementationRoutines implementationBlocks_;
  CommentCarry carry_;
};

// A declaration's header with its parts.
struct SplitHeader {
  const Header *header;
  RoutineHeaderParts parts;
};

// Matches an implementation's header with the declarations: what the
// routine list shows of it.
class DeclarationMatch {
 public:
  // The declarations must outlive the match.
  DeclarationMatch(const std::vector<SplitHeader> &declarations, bool inImplementation)
      : inImplementation_(inImplementation) {
    // A routine implemented without a class name is not a method a class
    // declares: a nested function may share a method's header.
    for (const SplitHeader &d : declarations) {
      const QByteArray key = RoutineKey(d.header->text, d.parts);
      declared_.insert(key);
      if (d.header->typeName.isEmpty()) declaredOutsideTypes_.insert(key);
    }
    for (const SplitHeader &d : declarations)
      if (d.parts.valid) byName_[NameKey(d.parts)].push_back(&d);
  }

  // The routine list's text for an implementation (split into `parts`),
  // empty when it matches no declaration.
  QByteArray ListedText(const Header &h, const RoutineHeaderParts &parts) const {
    const bool plain = parts.qualifier.isEmpty() && inImplementation_;
    if ((plain ? declaredOutsideTypes_ : declared_).contains(RoutineKey(h.text, parts)))
      return h.text;
    const auto found = byName_.constFind(NameKey(parts));
    if (!parts.valid || found == byName_.constEnd()) return {};
    const QByteArray ownClass = TypeNameOf(parts.qualifier);
    if (!IsShortFormHeader(parts)) {
      // A method its class declares under that name, written with other
      // spellings ("Objects.TRect" for "TRect", an {$IFDEF} inside its
      // parameters): listed as written. A routine whose parameters are
      // written otherwise but mean the same ("a, b: Integer" for "a:
      // Integer; b: Integer", LongInt for Integer) likewise.
      if (ownClass.isEmpty()) {
        const QByteArray signature = ParameterSignature(parts.rest);
        for (const SplitHeader *d : *found)
          if (d->header->typeName.isEmpty() && ParameterSignature(d->parts.rest) == signature)
            return h.text;
        return {};
      }
      for (const SplitHeader *d : *found)
        if (d->header->typeName == ownClass) return h.text;
      return {};
    }
    // Without a class name it is no method: a nested "procedure Add;" is
    // not TList.Add.
    const SplitHeader *chosen = nullptr;
    for (const SplitHeader *d : *found)
      if (d->header->typeName == ownClass) {
        chosen = d;
        break;
      }
    // A class that declares no such method (one declared in the
    // implementation part) must not borrow another class's parameters.
    if (!chosen) return {};
    const RoutineHeaderParts &declaredParts = chosen->parts;
    const QByteArray name =
        parts.qualifier.isEmpty() ? parts.name : parts.qualifier + '.' + parts.name;
    return parts.kind + ' ' + name + declaredParts.rest;
  }

 private:
  // Declarations by kind and name, for implementations that leave out
  // their parameters and result.
  // By the routine's word and its name without type parameters: an
  // implementation need not repeat "class" or a type parameter's constraint.
  static QByteArray NameKey(const RoutineHeaderParts &parts) {
    const qsizetype angle = parts.kind.endsWith("operator") ? -1 : parts.name.indexOf('<');
    return parts.kind.mid(parts.kind.lastIndexOf(' ') + 1) + ' ' +
           (angle < 0 ? parts.name : parts.name.left(angle));
  }

  bool inImplementation_;
  QSet<QByteArray> declared_, declaredOutsideTypes_;
  QHash<QByteArray, std::vector<const SplitHeader *>> byName_;
};

// The routine list's entries for the implemented headers, in file order;
// notes the lines their headers stand on in model's heading lines.
QList<RoutineEntry> ListedRoutines(ProjectModel &model, const std::deque<Header> &implemented,
                                   const DeclarationMatch &match, bool inImplementation) {
  QList<RoutineEntry> entries;
  // At most one entry a header: grown by doubling, 200,000 entries held
  // 24 MiB at their last move, the reader's peak.
  entries.reserve(qsizetype(implemented.size()));
  // Each header is split as the list comes to it: split all at once, a
  // unit of 200,000 routines held 17 MiB of parts at the reader's peak.
  std::vector<RoutineHeaderParts> group;  // the parts of headers i to end
  for (size_t i = 0; i < implemented.size();) {
    // Headers of one name with nothing but comments and directives between
    // them are {$IFDEF} alternatives of one routine: the first that matches
    // a declaration is listed, once.
    group.clear();
    group.push_back(SplitRoutineHeader(implemented[i].text));
    size_t end = i + 1;
    while (end < implemented.size() && !implemented[end].afterCode &&
           implemented[end].afterDirective) {
      RoutineHeaderParts next = SplitRoutineHeader(implemented[end].text);
      const RoutineHeaderParts &first = group.front();
      // ("Procedure X(...); {$else} Function X(...): longint;" is one routine too.)
      if (next.qualifier != first.qualifier || next.name != first.name) break;
      group.push_back(std::move(next));
      ++end;
    }
    bool listed = false, declared = true;
    // A routine nested in another is part of that one, whatever global the
    // interface declares under its name; a declaration inside a class of
    // the implementation part has no body.
    for (size_t k = i; k < end && !listed; ++k) {
      if (implemented[k].bodiless || implemented[k].place != HeaderPlace::Outer) continue;
      const QByteArray text = match.ListedText(implemented[k], group[k - i]);
      if (text.isEmpty()) continue;
      listed = true;
      RoutineEntry entry{text, KindOf(implemented[k].word), false,
                         model.SourceLines.fileIndex(implemented[k].line)};
      entry.line = implemented[k].line;
      entries.append(entry);
    }
    // The routines the interface does not declare, each under its own header.
    if (!listed && inImplementation && model.ListImplementationRoutines) {
      for (size_t k = i; k < end && !listed; ++k) {
        const Header &h = implemented[k];
        if (h.bodiless || h.place != HeaderPlace::Outer || !group[k - i].valid) continue;
        listed = true;
        declared = false;
        RoutineEntry entry{h.text, KindOf(h.word), false, model.SourceLines.fileIndex(h.line)};
        entry.implementationOnly = true;
        entry.line = h.line;
        entries.append(entry);
      }
    }
    if (listed)
      for (size_t k = i; k < end; ++k)
        (declared ? model.RoutineHeadingLines : model.ImplementationHeadingLines)
            .insertLineOf(model.SourceLines, implemented[k].line);
    i = end;
  }
  return entries;
}

}  // namespace

void ScanRoutines(ProjectModel &model) {
  if (model.FormMode) return;
  model.DeclaredRoutines.clear();
  model.ClearRoutines();
  QList<RoutineEntry> entries;
  {
    ScannedHeaders scanned = HeaderCollector(model).Collect();
    for (const Header &h : scanned.declarations) model.DeclaredRoutines.append(h.text);
    // Each declaration is matched in several ways below; it is split only once.
    std::vector<SplitHeader> declared;
    declared.reserve(scanned.declarations.size());
    for (const Header &h : scanned.declarations)
      declared.push_back({&h, SplitRoutineHeader(h.text)});
    // Without an implementation part every header is both declared and implemented.
    // A program's are the routines of its own at the outer level.
    std::deque<Header> programHeaders;
    if (scanned.program && !scanned.inImplementation)
      for (const Header &h : scanned.declarations)
        if (h.programRoutine) programHeaders.push_back(h);
    const std::deque<Header> &implemented = scanned.inImplementation ? scanned.implementations
                                            : scanned.program        ? programHeaders
                                                                     : scanned.declarations;
    const DeclarationMatch match(declared, scanned.inImplementation);
    entries = ListedRoutines(model, implemented, match, scanned.inImplementation);
  }
  // The headers are done with: freed before the list is sorted, they no
  // longer add 10 MiB to the reader's peak for a unit of 50,000 routines.
  model.AddRoutines(entries);
}

}  // namespace scrivane
