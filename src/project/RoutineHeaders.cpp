#include "project/RoutineHeaders.h"

#include <QList>
#include <initializer_list>
#include <string>

#include "project/SourceLexer.h"

namespace scrivane {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool WordIs(QByteArrayView word, const char *lowerLiteral) {
  const QByteArrayView literal(lowerLiteral);
  if (word.size() != literal.size()) return false;
  for (qsizetype i = 0; i < word.size(); ++i)
    if (Lower(word[i]) != literal[i]) return false;
  return true;
}

bool IsRoutineWord(QByteArrayView word) {
  for (const char *w : {"procedure", "function", "constructor", "destructor", "operator"})
    if (WordIs(word, w)) return true;
  return false;
}

// The word of text starting at `from` (blanks before it skipped); `from`
// moves past it.
QByteArrayView NextWord(QByteArrayView text, qsizetype &from) {
  while (from < text.size() && IsBlank(text[from])) ++from;
  const qsizetype start = from;
  while (from < text.size() && !IsBlank(text[from])) ++from;
  return text.sliced(start, from - start);
}

// Position of the last "." outside type parameters, -1 when none.
qsizetype QualifierDot(QByteArrayView name) {
  int angle = 0;
  for (qsizetype i = name.size() - 1; i >= 0; --i) {
    if (name[i] == '>')
      ++angle;
    else if (name[i] == '<')
      --angle;
    else if (name[i] == '.' && angle == 0)
      return i;
  }
  return -1;
}

// A left-out comment, or a long run of blanks, leaves no double blank.
QByteArray SingleBlanks(QByteArrayView text) {
  // Written through a pointer: appending byte by byte went into the
  // library for every byte of every header read.
  QByteArray out(text.size(), Qt::Uninitialized);
  char *const begin = out.data();
  char *to = begin;
  for (const char c : text)
    if (!(IsBlank(c) && to != begin && to[-1] == ' ')) *to++ = IsBlank(c) ? ' ' : c;
  out.truncate(to - begin);
  return out;
}

}  // namespace

qsizetype RoutineKindLength(QByteArrayView line) {
  qsizetype at = 0;
  QByteArrayView word = NextWord(line, at);
  if (word.isEmpty()) return 0;
  // Most lines start with none of the words' first letters.
  switch (Lower(word[0])) {
    case 'p':
    case 'f':
    case 'c':
    case 'd':
    case 'o':
    case 'g':
      break;
    default:
      return 0;
  }
  // "class function", "generic function", "generic class function"
  for (int modifiers = 0; modifiers < 2 && (WordIs(word, "class") || WordIs(word, "generic"));
       ++modifiers)
    word = NextWord(line, at);
  // "operator/ (": the normaliser sets no blank after the word before a
  // symbol it leaves alone.
  if (word.size() > 8 && WordIs(word.first(8), "operator") && !IsIdentifierChar(word[8])) {
    at -= word.size() - 8;
    word = word.first(8);
  }
  if (!IsRoutineWord(word)) return 0;
  if (WordIs(word, "operator")) {
    // A header names its operator, then its parameters, then a result.
    const qsizetype open = line.indexOf('(', at);
    const qsizetype semicolon = line.indexOf(';', at);
    if (open < 0 || (semicolon >= 0 && semicolon < open)) return 0;
    if (line.sliced(at, open - at).trimmed().isEmpty()) return 0;
    const qsizetype close = line.indexOf(')', open);
    // A record's management operators return nothing (Free Pascal's
    // Initialize, Finalize, AddRef and Copy; Delphi's Assign).
    QByteArrayView name = line.sliced(at, open - at).trimmed();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) name = name.sliced(dot + 1);
    const bool managing = name.compare("initialize", Qt::CaseInsensitive) == 0 ||
                          name.compare("finalize", Qt::CaseInsensitive) == 0 ||
                          name.compare("addref", Qt::CaseInsensitive) == 0 ||
                          name.compare("copy", Qt::CaseInsensitive) == 0 ||
                          name.compare("assign", Qt::CaseInsensitive) == 0;
    if (close >= 0 && !managing) {
      const QByteArrayView after = line.sliced(close + 1).trimmed();
      if (after.isEmpty() || after[0] == ';') return 0;
    }
  }
  return at;
}

QByteArray BaseRoutineWord(QByteArrayView line) {
  const qsizetype length = RoutineKindLength(line);
  if (length == 0) return {};
  qsizetype start = length;
  while (start > 0 && !IsBlank(line[start - 1])) --start;
  QByteArray word = line.sliced(start, length - start).toByteArray().toLower();
  return word == "operator" ? QByteArray("function") : word;
}

RoutineHeaderParts SplitRoutineHeader(QByteArrayView header) {
  RoutineHeaderParts parts;
  const QByteArrayView text = header.trimmed();
  const qsizetype kindEnd = RoutineKindLength(text);
  if (kindEnd == 0) return parts;
  {
    qsizetype at = 0;
    const QByteArrayView kindWords = text.first(kindEnd);
    for (QByteArrayView w = NextWord(kindWords, at); !w.isEmpty(); w = NextWord(kindWords, at)) {
      if (!parts.kind.isEmpty()) parts.kind += ' ';
      parts.kind += w.toByteArray().toLower();
    }
  }
  const bool isOperator = parts.kind.endsWith("operator");
  qsizetype start = kindEnd;
  while (start < text.size() && IsBlank(text[start])) ++start;
  qsizetype end = start;
  std::string name;  // gathered byte by byte
  name.reserve(size_t(text.size() - start));
  int angle = 0;
  for (; end < text.size(); ++end) {
    const char c = text[end];
    if (c == '<' && !isOperator) ++angle;
    if (c == '>' && angle > 0) --angle;
    if (angle == 0) {
      if (c == '(' || c == ';' || c == '{') break;
      // An operator's name may be ":=", or a symbol the normaliser spaced.
      if (!isOperator &&
          (c == ':' || (IsBlank(c) && end + 1 < text.size() && text[end + 1] != '<' &&
                        text[end + 1] != '.' && text[end - 1] != '.')))
        break;
    }
    // "TForm1. Click" and a name cut after its dot are one name.
    if (!(IsBlank(c) && (isOperator || angle == 0))) name += c;
  }
  // What follows the name starts with the blanks before it.
  while (end > start && IsBlank(text[end - 1])) --end;
  const QByteArray gathered =
      QByteArrayView(name.data(), qsizetype(name.size())).trimmed().toByteArray();
  if (gathered.isEmpty()) return parts;
  const qsizetype dot = isOperator && !parts.kind.startsWith("class") ? -1 : QualifierDot(gathered);
  if (dot > 0) {
    parts.qualifier = gathered.left(dot);
    parts.name = gathered.mid(dot + 1);
  } else {
    parts.name = gathered;
  }
  parts.rest = text.sliced(end).toByteArray();
  // An anonymous method on a line of its own, its declarations after it
  // ("procedure" / "var" / "I: Integer;" read as one header), names none.
  const QByteArray lowered = parts.name.toLower();
  parts.valid = !parts.name.isEmpty() && lowered != "var" && lowered != "const" &&
                lowered != "type" && lowered != "label" && lowered != "begin" && lowered != "asm";
  return parts;
}

QByteArray CutHeaderAtEnd(QByteArrayView code, bool *complete, qsizetype *used) {
  const QByteArrayView text = code.trimmed();
  int depth = 0;
  bool inString = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      inString = !inString;
      continue;
    }
    if (inString) continue;
    // Comments and directives are no part of the header, wherever they stand.
    if (c == '{') {
      const qsizetype close = text.indexOf('}', i);
      if (close < 0) break;
      i = close;
      continue;
    }
    if (c == '(' && i + 1 < text.size() && text[i + 1] == '*') {
      const qsizetype close = text.indexOf("*)", i + 2);
      if (close < 0) break;
      i = close + 1;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) --depth;
    if (c == ';' && depth == 0) {
      if (complete) *complete = true;
      if (used) *used = (text.data() - code.data()) + i + 1;
      return SingleBlanks(text.first(i + 1));
    }
  }
  if (complete) *complete = false;
  return SingleBlanks(text);
}

bool IsShortFormHeader(const RoutineHeaderParts &parts) {
  const QByteArray rest = parts.rest.trimmed();
  return parts.valid && (rest.isEmpty() || rest == ";");
}

namespace {

// The parameter list without default values ("b : boolean = false"): an
// implementation may leave out what its declaration gave.
QByteArray WithoutDefaults(const QByteArray &header) {
  // Written through a pointer, as SingleBlanks is: the result is never
  // longer than the header, and it is built for every header read.
  QByteArray out(header.size(), Qt::Uninitialized);
  char *const begin = out.data();
  char *to = begin;
  auto chopBlanks = [&] {
    while (to != begin && IsBlank(to[-1])) --to;
  };
  int depth = 0;
  bool inString = false, skipping = false;
  for (const char c : header) {
    if (c == '\'') inString = !inString;
    if (!inString) {
      if (c == '(') ++depth;
      if (c == ')') --depth;
      if (skipping && depth <= 0 && c == ')') {
        skipping = false;
        *to++ = ' ';  // as the normaliser spaces a ")" after a word
      }
      if (skipping && depth == 1 && c == ';') skipping = false;
      if (!skipping && depth == 1 && c == '=') {
        skipping = true;
        chopBlanks();
        continue;
      }
    }
    if (skipping) continue;
    // "dc : hdc ; hbr" and "dc : hdc; hbr" are one parameter list.
    if (!inString && (c == ';' || c == ',')) chopBlanks();
    *to++ = c;
  }
  out.truncate(to - begin);
  return out;
}

}  // namespace

QByteArray RoutineKey(const QByteArray &lowerHeader) {
  return RoutineKey(lowerHeader, SplitRoutineHeader(lowerHeader));
}

QByteArray RoutineKey(const QByteArray &lowerHeader, const RoutineHeaderParts &parts) {
  // The qualifier sits in the routine's name only; a dotted result type
  // ("function f : sysutils.tbytes;") keeps its dots.
  if (!parts.valid) return WithoutDefaults(lowerHeader);
  // "operator<(" and "operator < (" are one header; so are "f() : t" and "f : t".
  QByteArray rest = parts.rest;
  const qsizetype open = rest.indexOf('(');
  if (open >= 0 && rest.first(open).trimmed().isEmpty()) {
    qsizetype close = open + 1;
    while (close < rest.size() && IsBlank(rest[close])) ++close;
    if (close < rest.size() && rest[close] == ')') rest.remove(0, close + 1);
  }
  return WithoutDefaults(parts.kind + ' ' + parts.name + rest);
}

QByteArray RoutineHeaderOfLine(QByteArrayView line) {
  QByteArray code;
  CommentCarry carry;
  FollowComments(line, carry, &code);
  return CutHeaderAtEnd(code.toLower());
}

QByteArray IndexNameOfHeading(QByteArrayView trimmedLine) {
  const RoutineHeaderParts parts = SplitRoutineHeader(trimmedLine);
  if (parts.valid)
    return parts.qualifier.isEmpty() ? parts.name : parts.name + " (" + parts.qualifier + ")";
  // Not a header the parts know: the text after the first word, up to its
  // parameters or result.
  const QByteArrayView text = trimmedLine.trimmed();
  const qsizetype blank = text.indexOf(' ');
  QByteArray name;
  for (qsizetype k = blank + 1; k < text.size(); ++k) {
    const char c = text[k];
    if (c == '(' || c == ':' || c == ';') break;
    name += c;
  }
  return name.trimmed();
}

QByteArray ParameterSignature(QByteArrayView rest) {
  // Words and the punctuation that parts them.
  QList<QByteArray> tokens;
  QByteArray word;
  auto flush = [&] {
    if (!word.isEmpty()) tokens << word;
    word.clear();
  };
  for (const char c : rest) {
    if (c == ' ') {
      flush();
    } else if (c == '(' || c == ')' || c == ',' || c == ':' || c == ';' || c == '=') {
      flush();
      tokens << QByteArray(1, c);
    } else {
      word += Lower(c);
    }
  }
  flush();
  auto synonym = [](QByteArray type) {
    if (type == "longint") return QByteArray("integer");
    if (type == "longword") return QByteArray("cardinal");
    return type;
  };
  QByteArray signature;
  qsizetype k = 0;
  if (k < tokens.size() && tokens[k] == "(") {
    ++k;
    while (k < tokens.size() && tokens[k] != ")") {
      // One group: [modifier] names [: type] [= default]
      QByteArray modifier;
      if (tokens[k] == "const" || tokens[k] == "var" || tokens[k] == "out" ||
          tokens[k] == "constref")
        modifier = tokens[k++];
      int names = 0;
      while (k < tokens.size() && tokens[k] != ":" && tokens[k] != ";" && tokens[k] != ")") {
        if (tokens[k] != ",") ++names;
        ++k;
      }
      QByteArray type;
      if (k < tokens.size() && tokens[k] == ":") {
        ++k;
        int depth = 0;
        while (k < tokens.size() &&
               (depth > 0 || (tokens[k] != ";" && tokens[k] != ")" && tokens[k] != "="))) {
          depth += tokens[k] == "(" ? 1 : tokens[k] == ")" ? -1 : 0;
          type += (type.isEmpty() ? "" : " ") + tokens[k++];
        }
      }
      // A default value is no part of the signature.
      int depth = 0;
      while (k < tokens.size() && (depth > 0 || (tokens[k] != ";" && tokens[k] != ")"))) {
        depth += tokens[k] == "(" ? 1 : tokens[k] == ")" ? -1 : 0;
        ++k;
      }
      for (int n = 0; n < names; ++n) signature += modifier + ' ' + synonym(type) + ';';
      if (k < tokens.size() && tokens[k] == ";") ++k;
    }
    if (k < tokens.size()) ++k;  // ")"
  }
  signature += '|';
  if (k < tokens.size() && tokens[k] == ":") {
    ++k;
    QByteArray result;
    while (k < tokens.size() && tokens[k] != ";")
      result += (result.isEmpty() ? "" : " ") + tokens[k++];
    signature += synonym(result);
  }
  return signature;
}

}  // namespace scrivane
