// Real units printed on the virtual printer, checked for what a reader
// trusts the paper for: every character of the source is printed, in order;
// every string literal is printed as written; no row runs into the footer or
// off the text area; the last page holds text.
//
// Each unit's routine list is checked against what a reader expects from
// the source, and the listing against blocks left open before a listed
// routine's heading.
//
// ctest prints every 20th unit of both trees. The full sweep is
// the same test with SCRIVANE_SWEEP_STEP=1 and SCRIVANE_SWEEP_ROOTS (folders
// separated by ":"), run by bench/sweep.sh; it prints how many units pass.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/IndexListing.h"
#include "listing/Lexer.h"
#include "listing/UnitListing.h"
#include "platform/Paths.h"
#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "print/PageCanvas.h"
#include "print/PageGeometry.h"
#include "print/PrintRunner.h"
#include "print/VirtualPrinter.h"
#include "project/IncludeFiles.h"
#include "project/ProjectScope.h"
#include "project/Readers.h"
#include "project/RoutineHeaders.h"
#include "project/SourceFile.h"

using namespace scrivane;

namespace {

struct PrintedText {
  int sheet = 0;
  int x = 0;
  int y = 0;
  FontSpec font;
  QByteArray text;
};

// Keeps the drawn texts and the bookmarks, nothing else.
class TextSurface : public DrawSurface, public NavigationSink {
 public:
  NavigationSink *navigation() override { return this; }
  void documentStart(const QString &, const QString &, const QDateTime &) override {}
  void pageNumber(int) override {}
  void anchor(const QByteArray &key, int) override { anchors.push_back({sheet, key}); }
  void outlineEntry(const QString &, int y) override { bookmarks.push_back({sheet, y}); }
  void link(const QRect &, const QByteArray &) override {}
  std::vector<std::pair<int, int>> bookmarks;       // sheet, y
  std::vector<std::pair<int, QByteArray>> anchors;  // sheet, key
  void drawText(int x, int y, const FontSpec &font, QByteArrayView text) override {
    texts.push_back({sheet, x, y, font, text.toByteArray()});
  }
  // The bytes as the listing handed them over, whatever the file's encoding.
  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text, TextEncoding) override {
    drawText(x, y, font, text);
  }
  void drawLine(int, int, int, int, const PenSpec &) override {}
  void drawRectangle(const QRect &, const PenSpec &, const BrushSpec &) override {}
  void drawImage(const QRect &, const QImage &) override {}
  std::vector<PrintedText> texts;
  int sheet = 1;
};

class TextTarget : public PrintTarget {
 public:
  PageDevice &device() override { return printer; }
  bool beginDocument(const QString &) override { return true; }
  QString errorText() const override { return {}; }
  DrawSurface &surface() override { return surface_; }
  void newSheet() override { ++surface_.sheet; }
  bool endDocument() override { return true; }
  void abortDocument() override {}
  const std::vector<PrintedText> &texts() const { return surface_.texts; }
  const std::vector<std::pair<int, int>> &bookmarks() const { return surface_.bookmarks; }
  const std::vector<std::pair<int, QByteArray>> &anchors() const { return surface_.anchors; }
  int sheets() const { return surface_.sheet; }
  VirtualPrinter printer;

 private:
  TextSurface surface_;
};

// Reads the unit at path as a listing of it would and prints it whole on
// the virtual printer; false when there is nothing to print.
bool PrintWhole(const QString &path, const FormatSettings &settings, ProjectModel &model,
                TextTarget &target) {
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  ParsePas(ctx, path);
  if (model.CurrentUnitPath.isEmpty()) return false;
  UnitListing listing(model, settings);
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  model.UnitHighlighted = true;
  RunPrint(listing.Events(), target, PageRange{});
  return true;
}

// Everything on; the furniture and the line numbers in fonts of their own,
// so that the unit's text can be told from them.
FormatSettings SweepSettings() {
  FormatSettings s;
  s.LineNo = s.Blocks = s.Header = s.Footer = s.Title = s.LineBetweenRoutines = s.Bold =
      s.UpperCaseRoutineNames = 1;
  s.Path1 = s.Path2 = 1;
  s.Reserve = 1;
  s.Line1A = 2;
  s.Line1C = 3;
  s.Line3B = 1;
  s.Line3C = 3;
  s.HName = QStringLiteral("Courier New");
  s.LColor = 4;
  s.Title1 = "Sweep";
  return s;
}

// Reserved words and routine names may be printed in upper case (Latin-1
// upper case, as the listing makes it): compared in lower case.
QByteArray NonBlankLower(QByteArrayView text) {
  QByteArray result;
  result.reserve(text.size());
  for (const char c : text)
    if (static_cast<unsigned char>(c) > ' ') result += c;
  return result.toLower();
}

// The string literals of a unit, found apart from the listing's lexer: a
// quote in code opens one, which runs to its closing quote (a doubled quote
// inside) and takes "#13"-style codes written straight after.
// Whether brace comments nest after the directive starting at `at`, as Free
// Pascal reads "{$mode ...}" and "{$modeswitch nestedcomments...}".
bool NestAfter(QByteArrayView source, qsizetype at, bool nest) {
  const QByteArray d =
      source.sliced(at, std::min<qsizetype>(40, source.size() - at)).toByteArray().toLower();
  if (d.startsWith("{$mode objfpc") || d.startsWith("{$mode fpc") ||
      d.startsWith("{$modeswitch nestedcomments+") || d.startsWith("{$modeswitch nestedcomments}"))
    return true;
  if (d.startsWith("{$mode ") || d.startsWith("{$modeswitch nestedcomments-")) return false;
  return nest;
}

// Where a brace comment opened before `from` ends: just after its "}".
qsizetype BraceEnd(QByteArrayView source, qsizetype from, bool nest) {
  for (int depth = 0; from < source.size(); ++from) {
    if (nest && source[from] == '{') ++depth;
    if (source[from] == '}' && depth-- == 0) return from + 1;
  }
  return source.size();
}

// Brace comments nest in Free Pascal's own files until a mode says otherwise.
bool NestsAtStart(const QString &path) {
  return !path.endsWith(QLatin1String(".pas"), Qt::CaseInsensitive) &&
         !path.endsWith(QLatin1String(".dpr"), Qt::CaseInsensitive);
}

QList<QByteArray> StringLiterals(QByteArrayView source, bool nest) {
  QList<QByteArray> literals;
  enum { Code, Brace, ParenStar } state = Code;
  int depth = 0;
  ForEachLine(source, [&](QByteArrayView line) {
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
      const char c = line[i], next = i + 1 < n ? line[i + 1] : '\0';
      if (state == Brace) {
        if (nest && c == '{') ++depth;
        if (c == '}' && depth-- == 0) state = Code, depth = 0;
      } else if (state == ParenStar) {
        if (c == '*' && next == ')') state = Code, ++i;
      } else if (c == '{' && next == '$') {
        nest = NestAfter(line, i, nest);
        state = Brace;
      } else if (c == '{') {
        state = Brace;
      } else if (c == '(' && next == '*') {
        state = ParenStar, ++i;
      } else if (c == '/' && next == '/') {
        break;
      } else if (c == '\'') {
        qsizetype end = i;
        for (;;) {
          if (end < n && line[end] == '\'') {
            for (++end; end < n && !(line[end] == '\'' && (end + 1 >= n || line[end + 1] != '\''));)
              end += line[end] == '\'' ? 2 : 1;
            end = std::min(end + 1, n);
          } else if (end + 1 < n && line[end] == '#' &&
                     (std::isdigit(static_cast<unsigned char>(line[end + 1])) ||
                      line[end + 1] == '$')) {
            for (end += 2; end < n && std::isxdigit(static_cast<unsigned char>(line[end]));) ++end;
          } else {
            break;
          }
        }
        literals << line.sliced(i, end - i).toByteArray();
        i = end - 1;
      }
    }
  });
  return literals;
}

// The routines a reader expects in the routine list, found on the raw
// source by a tokenizer of its own: every routine implemented after
// "implementation" whose class is declared before it and whose name that
// class declares, every plain routine whose header is declared before it
// (or that leaves out its parameters, under a declared name), class
// methods and operators alike; {$IFDEF} alternatives of one header count
// once. By qualified name in lower case, type parameters left out.
struct Token {
  QByteArray text;  // lower case; a string literal is "'"
  bool afterDirective = false;
};

std::vector<Token> Tokenize(const QByteArray &source, bool nest) {
  std::vector<Token> tokens;
  bool directive = false;
  const qsizetype n = source.size();
  for (qsizetype i = 0; i < n;) {
    const char c = source[i];
    auto skipTo = [&](const char *end, qsizetype from) {
      const qsizetype at = source.indexOf(end, from);
      i = at < 0 ? n : at + qsizetype(strlen(end));
    };
    if (static_cast<unsigned char>(c) <= ' ') {
      ++i;
      continue;
    }
    if (c == '{' && i + 1 < n && source[i + 1] == '$') {
      directive = true;
      nest = NestAfter(source, i, nest);
      skipTo("}", i + 1);
      continue;
    }
    if (c == '{') {
      i = BraceEnd(source, i + 1, nest);
      continue;
    }
    if (c == '(' && i + 1 < n && source[i + 1] == '*') {
      directive = directive || (i + 2 < n && source[i + 2] == '$');
      skipTo("*)", i + 2);
      continue;
    }
    if (c == '/' && i + 1 < n && source[i + 1] == '/') {
      skipTo("\n", i);
      continue;
    }
    Token t;
    t.afterDirective = directive;
    directive = false;
    if (c == '\'') {
      // A string ends at its closing quote or with its line.
      auto skipString = [&](qsizetype from) {
        const qsizetype quote = source.indexOf('\'', from), eol = source.indexOf('\n', from);
        i = quote < 0 || (eol >= 0 && eol < quote) ? (eol < 0 ? n : eol) : quote + 1;
      };
      skipString(i + 1);
      while (i < n && source[i] == '\'') skipString(i + 1);
      t.text = "'";
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '&') {
      const qsizetype start = i;
      while (i < n && (std::isalnum(static_cast<unsigned char>(source[i])) || source[i] == '_' ||
                       source[i] == '&'))
        ++i;
      t.text = source.mid(start, i - start).toLower();
    } else {
      t.text = QByteArray(1, c);
      ++i;
    }
    // The compiler reads nothing after the final "end.".
    if (t.text == "." && !tokens.empty() && tokens.back().text == "end") break;
    tokens.push_back(t);
  }
  return tokens;
}

bool IsRoutineToken(const QByteArray &t) {
  return t == "procedure" || t == "function" || t == "constructor" || t == "destructor" ||
         t == "operator";
}

struct SourceHeader {
  QByteArray kind, qualified, qualifier, name, signature;
  size_t end = 0;  // token after the header's ";"
};

// The header whose routine word is at k; false when the word is not one.
bool HeaderAt(const std::vector<Token> &tk, size_t k, SourceHeader &h) {
  if (!IsRoutineToken(tk[k].text)) return false;
  if (k > 0) {
    const QByteArray &prev = tk[k - 1].text;
    // ("x.Operator" is a field.)
    if (prev == "=" || prev == ":" || prev == "to" || prev == "(" || prev == "," || prev == "of" ||
        prev == ":=" || prev == ".")
      return false;
  }
  // ("Operator := otCast;" in a "with" is an assignment; "operator :=(" a header.)
  // (Symbols are single characters here.)
  if (k + 3 < tk.size() && tk[k + 1].text == ":" && tk[k + 2].text == "=" && tk[k + 3].text != "(")
    return false;
  h.kind = tk[k].text;
  size_t i = k + 1;
  QList<QByteArray> segments;
  if (h.kind == "operator" && !(k > 0 && tk[k - 1].text == "class")) {
    QByteArray symbol;
    while (i < tk.size() && tk[i].text != "(" && tk[i].text != ";") symbol += tk[i++].text;
    segments << symbol;
  } else {
    while (i < tk.size()) {
      if (tk[i].text.isEmpty() || !(std::isalpha(static_cast<unsigned char>(tk[i].text[0])) ||
                                    tk[i].text[0] == '_' || tk[i].text[0] == '&'))
        return false;
      segments << tk[i++].text;
      if (i < tk.size() && tk[i].text == "<") {
        int depth = 0;
        do {
          depth += tk[i].text == "<" ? 1 : tk[i].text == ">" ? -1 : 0;
          ++i;
        } while (i < tk.size() && depth > 0);
      }
      if (i < tk.size() && tk[i].text == ".") {
        ++i;
        continue;
      }
      break;
    }
  }
  if (segments.isEmpty() || segments.last().isEmpty()) return false;
  h.name = segments.last();
  h.qualifier = segments.size() > 1 ? segments[segments.size() - 2] : QByteArray();
  h.qualified = segments.join('.');
  int depth = 0;
  bool defaultValue = false;  // left out: the implementation need not repeat it
  for (; i < tk.size(); ++i) {
    const QByteArray &t = tk[i].text;
    depth += t == "(" ? 1 : t == ")" ? -1 : 0;
    if (t == ";" && depth == 0) break;
    if (depth == 1 && t == "=") defaultValue = true;
    if ((depth == 1 && t == ";") || depth == 0) defaultValue = false;
    if (!defaultValue) h.signature += t + ' ';
  }
  h.end = i + 1;
  return true;
}

// True when the directives after a header say its body is elsewhere.
bool ExternalOrForward(const std::vector<Token> &tk, size_t from) {
  static const QSet<QByteArray> kStops = {
      "begin",     "var",         "const",      "type",     "label", "asm", "procedure",
      "function",  "constructor", "destructor", "operator", "class", "end", "resourcestring",
      "threadvar", "generic"};
  for (size_t k = from; k < tk.size() && k < from + 40; ++k) {
    if (tk[k].text == "external" || tk[k].text == "forward") return true;
    if (kStops.contains(tk[k].text)) return false;
  }
  return false;
}

// A program's routines: each header at the outer level with a body of its
// own; forward and external headers, a class's methods and nested routines
// are none.
std::map<QByteArray, int> ExpectedProgramRoutines(const std::vector<Token> &tk) {
  std::map<QByteArray, int> expected;
  std::vector<char> blocks;  // 'b' statements, 'r' a type's body, 'v' a variant part
  int openRoutines = 0;
  for (size_t k = 0; k < tk.size(); ++k) {
    const QByteArray &t = tk[k].text;
    const QByteArray prev = k > 0 ? tk[k - 1].text : QByteArray();
    const QByteArray next = k + 1 < tk.size() ? tk[k + 1].text : QByteArray();
    if (t == "begin" || t == "try" || t == "asm" || t == "repeat" || t == "record") {
      blocks.push_back(t == "record" ? 'r' : 'b');
    } else if ((t == "class" || t == "object" || t == "interface" || t == "dispinterface") &&
               (prev == "=" || prev == "packed") && next != ";" && next != "of") {
      // "class(TBase);" has no body either
      size_t m = k + 1;
      if (next == "(")
        while (m < tk.size() && tk[m].text != ")") ++m;
      if (m + 1 < tk.size() && next == "(" && tk[m + 1].text == ";") continue;
      blocks.push_back('r');
    } else if (t == "case") {
      blocks.push_back(!blocks.empty() && blocks.back() != 'b' ? 'v' : 'b');
    } else if (t == "end" || t == "until") {
      while (!blocks.empty() && blocks.back() == 'v') blocks.pop_back();
      if (!blocks.empty()) {
        blocks.pop_back();
        if (blocks.empty() && openRoutines > 0) --openRoutines;
      }
    }
    SourceHeader h;
    if (!blocks.empty() || !HeaderAt(tk, k, h)) continue;
    bool bodiless = false;
    for (size_t m = h.end; m < tk.size() && m < h.end + 12; ++m) {
      const QByteArray &d = tk[m].text;
      if (d == "forward" || d == "external") bodiless = true;
      if (d == "begin" || d == "var" || d == "const" || d == "type" || d == "asm" ||
          IsRoutineToken(d))
        break;
    }
    if (!bodiless && openRoutines++ == 0) expected[h.qualified] += 1;
    k = h.end - 1;
  }
  return expected;
}

bool ExpectedIsProgram(const QByteArray &source) {
  const std::vector<Token> tk = Tokenize(source, true);
  return !tk.empty() &&
         (tk[0].text == "program" || tk[0].text == "library" || tk[0].text == "uses");
}

// implementationRoutines: routines the interface does not declare are
// expected too ([Switch] ImplementationRoutines).
std::map<QByteArray, int> ExpectedRoutines(const QByteArray &source, bool nest,
                                           bool implementationRoutines) {
  const std::vector<Token> tk = Tokenize(source, nest);
  if (!tk.empty() && (tk[0].text == "program" || tk[0].text == "library" || tk[0].text == "uses"))
    return ExpectedProgramRoutines(tk);
  size_t implementation = tk.size();
  for (size_t k = 0; k < tk.size(); ++k)
    if (tk[k].text == "implementation") {
      implementation = k;
      break;
    }
  std::map<QByteArray, int> expected;
  QSet<QByteArray> classes, methodNames, plainSignatures, plainNames;
  std::vector<QByteArray> typeNames;  // the classes whose bodies are open
  const bool hasImplementation = implementation < tk.size();
  for (size_t k = 0; k < implementation; ++k) {
    const QByteArray &t = tk[k].text;
    const QByteArray prev = k > 0 ? tk[k - 1].text : QByteArray();
    const QByteArray next = k + 1 < tk.size() ? tk[k + 1].text : QByteArray();
    const bool body = (t == "class" || t == "object" || t == "interface" || t == "dispinterface" ||
                       t == "record") &&
                      next != ";" && next != "of";
    if (body && (prev == "=" || prev == "packed")) {
      size_t n = k - 1;
      if (prev == "packed") --n;
      while (n > 0 && tk[n - 1].text != ";" && tk[n - 1].text != "type" && tk[n - 1].text != "<")
        --n;
      QByteArray name = n > 0 ? tk[n].text : QByteArray();
      // "generic TList<T> =": the name before its parameters
      for (size_t m = n; m < k; ++m)
        if (m + 1 < k && tk[m + 1].text == "<") {
          name = tk[m].text;
          break;
        }
      classes.insert(name);
      typeNames.push_back(name);
    } else if (t == "record") {
      typeNames.push_back(typeNames.empty() ? QByteArray() : typeNames.back());
    } else if (t == "end" && !typeNames.empty()) {
      typeNames.pop_back();
    }
    SourceHeader h;
    if (!HeaderAt(tk, k, h)) continue;
    if (!hasImplementation) {
      if (typeNames.empty() && ExternalOrForward(tk, h.end)) continue;
      expected[h.qualified] += 1;
    } else if (!typeNames.empty()) {
      methodNames.insert(typeNames.back() + '.' + h.name);
    } else {
      // Parameters compared as the compiler compares them ("a, b: Integer" is
      // "a: Integer; b: LongInt").
      plainSignatures.insert(h.kind + ' ' + h.qualified + ' ' + ParameterSignature(h.signature));
      plainNames.insert(h.kind + ' ' + h.name);
    }
  }
  SourceHeader last;
  bool haveLast = false;
  // A routine nested in another is none of the unit's; a header inside a
  // type of the implementation part declares a method.
  std::vector<char> blocks;  // as in ExpectedProgramRoutines
  int openRoutines = 0;
  for (size_t k = implementation; k < tk.size(); ++k) {
    const QByteArray &t = tk[k].text;
    const QByteArray prev = k > 0 ? tk[k - 1].text : QByteArray();
    const QByteArray next = k + 1 < tk.size() ? tk[k + 1].text : QByteArray();
    if (t == "begin" || t == "try" || t == "asm" || t == "repeat" || t == "record") {
      blocks.push_back(t == "record" ? 'r' : 'b');
    } else if ((t == "class" || t == "object" || t == "interface") &&
               (prev == "=" || prev == "packed") && next != ";" && next != "of") {
      size_t m = k + 1;
      if (next == "(")
        while (m < tk.size() && tk[m].text != ")") ++m;
      if (!(m + 1 < tk.size() && next == "(" && tk[m + 1].text == ";")) blocks.push_back('r');
    } else if (t == "case") {
      blocks.push_back(!blocks.empty() && blocks.back() != 'b' ? 'v' : 'b');
    } else if (t == "end" || t == "until") {
      while (!blocks.empty() && blocks.back() == 'v') blocks.pop_back();
      if (!blocks.empty()) {
        blocks.pop_back();
        if (blocks.empty() && openRoutines > 0) --openRoutines;
      }
    }
    SourceHeader h;
    if (!HeaderAt(tk, k, h)) continue;
    if (std::find(blocks.begin(), blocks.end(), 'r') != blocks.end()) {
      k = h.end - 1;
      continue;
    }
    if (!blocks.empty() || !h.qualifier.isEmpty()) blocks.clear(), openRoutines = 0;
    const bool outer = openRoutines == 0;
    // An alternative of the header before: nothing but directives between.
    const size_t start =
        k > 0 && (tk[k - 1].text == "class" || tk[k - 1].text == "generic") ? k - 1 : k;
    if (haveLast && last.qualified == h.qualified && last.kind == h.kind && start == last.end &&
        tk[start].afterDirective) {
      k = h.end - 1;
      continue;
    }
    last = h;
    haveLast = true;
    if (ExternalOrForward(tk, h.end)) {
      k = h.end - 1;
      continue;
    }
    ++openRoutines;
    const bool declared =
        h.qualifier.isEmpty()
            ? plainSignatures.contains(h.kind + ' ' + h.qualified + ' ' +
                                       ParameterSignature(h.signature)) ||
                  (plainNames.contains(h.kind + ' ' + h.name) && !h.signature.contains('(') &&
                   !h.signature.contains(':'))
            : classes.contains(h.qualifier) && methodNames.contains(h.qualifier + '.' + h.name);
    if (outer && (declared || implementationRoutines)) expected[h.qualified] += 1;
    k = h.end - 1;
  }
  return expected;
}

// The text the compiler reads: each include file's text after the line of
// its directive, files that include themselves and missing files left out.
QByteArray ExpandedSource(const QString &path, const QStringList &folders, QStringList &stack) {
  const QByteArray bytes = ReadSourceFile(path).bytes;
  QByteArray text;
  qsizetype from = 0;
  FileFinder finder;
  for (const IncludeDirective &d : FindIncludeDirectives(bytes)) {
    text += bytes.mid(from, d.lineEnd - from);
    from = std::max(from, d.lineEnd);
    const QString found = ResolveIncludeFile(d.name, path, folders, finder);
    // A file that is no Pascal source (a resource) is left out, as the listing leaves it out.
    if (found.isEmpty() || stack.contains(found) || stack.size() > 30 ||
        !HasProjectSourceExtension(found))
      continue;
    stack << found;
    text += '\n' + ExpandedSource(found, folders, stack) + '\n';
    stack.removeLast();
  }
  return text + bytes.mid(from);
}

// The routine list by qualified name, as the expectation counts it.
std::map<QByteArray, int> ListedRoutines(const ProjectModel &model) {
  std::map<QByteArray, int> listed;
  for (const RoutineEntry &entry : model.Routines) {
    const RoutineHeaderParts parts = SplitRoutineHeader(entry.text);
    QByteArray qualified =
        parts.qualifier.isEmpty() ? parts.name : parts.qualifier + '.' + parts.name;
    // type parameters left out, as the expectation has them; an operator's
    // "<" is its name
    QByteArray plain;
    int depth = 0;
    if (parts.kind.endsWith("operator")) qualified.replace('<', '{').replace('>', '}');
    for (const char c : qualified.toLower()) {
      if (c == '<') ++depth;
      if (depth == 0 && c != ' ') plain += c;
      if (c == '>' && depth > 0) --depth;
    }
    listed[plain] += 1;
  }
  return listed;
}

struct SweepResult {
  bool loaded = false;
  int pages = 0;
  QString fault;                 // empty when the unit passes
  int expected = 0, listed = 0;  // routines
  // Entries that are what the source implements (at most as often as it
  // implements them), for the list's precision and recall.
  int matched = 0;
  QByteArray lastBodyText;
  // An include file read more than once, each time under other defines
  // (GTK bindings read one file for types, then routines, then bodies):
  // with every {$IFDEF} branch of every reading printed, the routines and
  // blocks of the text printed are not those of any build, and only the
  // printing is checked.
  bool readsAnIncludeAgain = false;
  int deeper = 0, keptDeeper = 0;  // lines the author indented deeper than the one before
};

// Leading blanks of a line, a tab to the next multiple of eight.
int IndentOf(QByteArrayView line) {
  int column = 0;
  for (const char c : line) {
    if (c == ' ')
      ++column;
    else if (c == '\t')
      column = column / 8 * 8 + 8;
    else
      break;
  }
  return column;
}

// The share of the author's indents the recomputed layout keeps: of each
// two code lines in a row of the file (blank lines between them aside),
// where the later is indented deeper, whether it prints deeper too. Lines
// that start inside a comment or with one are the author's prose, not
// structure.
void CountIndentsKept(const QString &path, SweepResult &result) {
  FormatSettings settings = SweepSettings();
  settings.LineNumbersFrom = 1;
  settings.FollowIncludes = 0;  // the file's own lines, numbered as the file has them
  ProjectModel model;
  TextTarget target;
  if (!PrintWhole(path, settings, model, target)) return;
  std::map<int, int> printedX;  // file line -> x its row starts at
  const PrintedText *number = nullptr;
  for (const PrintedText &t : target.texts()) {
    if (t.font == settings.HeaderFont()) continue;
    if (t.font == settings.LineFont()) {
      number = &t;
      continue;
    }
    if (number && number->sheet == t.sheet && number->y == t.y)
      printedX[number->text.chopped(1).toInt()] = t.x;
    number = nullptr;
  }
  int fileLine = 0, previousIndent = -1, previousLine = 0;
  CommentCarry carry;
  ForEachLine(ReadSourceFile(path).bytes, [&](QByteArrayView line) {
    ++fileLine;
    const bool inComment = !carry.InCode();
    FollowComments(line, carry);
    const QByteArrayView text = line.trimmed();
    if (text.isEmpty()) return;
    if (inComment || text.startsWith('{') || text.startsWith("(*") || text.startsWith("//")) return;
    const int indent = IndentOf(line);
    if (previousIndent >= 0 && indent > previousIndent && printedX.count(fileLine) &&
        printedX.count(previousLine)) {
      ++result.deeper;
      if (printedX[fileLine] > printedX[previousLine])
        ++result.keptDeeper;
      else if (qEnvironmentVariableIsSet("SCRIVANE_SWEEP_SHOW_FLAT"))
        std::printf("flat: %s:%d: %s\n", qPrintable(path), fileLine,
                    line.toByteArray().constData());
    }
    previousIndent = indent;
    previousLine = fileLine;
  });
}

// ownLayout: each line as the file has it ([Switch] Layout 1).
SweepResult PrintAndCheck(const QString &path, bool ownLayout = false) {
  SweepResult result;
  FormatSettings settings = SweepSettings();
  settings.Layout = ownLayout ? 1 : 0;
  ProjectModel model;
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  ParsePas(ctx, path);
  if (model.CurrentUnitPath.isEmpty()) return result;  // not a text file: nothing to print
  result.loaded = true;

  QSet<QString> includes;
  for (qsizetype k = 1; k < model.SourceParts.size(); ++k)
    if (model.SourceParts[k].state == SourcePart::State::Read) {
      result.readsAnIncludeAgain =
          result.readsAnIncludeAgain || includes.contains(model.SourceParts[k].path);
      includes.insert(model.SourceParts[k].path);
    }
  // Every routine expected is listed, once: those of its include files too.
  QStringList stack{path};
  const QByteArray sourceBytes = ExpandedSource(path, model.IncludeSearchPaths, stack);
  const std::map<QByteArray, int> expected =
      ExpectedRoutines(sourceBytes, NestsAtStart(path), settings.ImplementationRoutines == 1);
  std::map<QByteArray, int> listed = ListedRoutines(model);
  // Sources no compiler reads as they stand: their routines are not counted.
  static const char *const kSourcesThatDoNotCompile[] = {
      "packages/pasjpeg/src/jmemsys.pas",  // a skeleton ("This code will not compile"), EXTERN
                                           // macros
      "compiler/llvm/agllvm.pas",          // holds a merge's "=======" and one routine twice
  };
  const bool compiles =
      std::none_of(std::begin(kSourcesThatDoNotCompile), std::end(kSourcesThatDoNotCompile),
                   [&](const char *suffix) { return path.endsWith(QLatin1String(suffix)); });
  for (const auto &[expectedName, count] : compiles ? expected : std::map<QByteArray, int>{}) {
    QByteArray name = expectedName;
    name.replace('<', '{').replace('>', '}');  // an operator's name, as the listed ones have it
    result.expected += count;
    result.matched += std::min(count, listed[name]);
    if (listed[name] != count && result.fault.isEmpty() && !result.readsAnIncludeAgain)
      result.fault = QStringLiteral("routine %1 implemented %2 times, listed %3 times")
                         .arg(QString::fromLatin1(name))
                         .arg(count)
                         .arg(listed[name]);
  }
  result.listed = int(model.Routines.size());

  UnitListing listing(model, settings);
  listing.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  model.UnitHighlighted = true;
  TextTarget target;
  const PrintOutcome outcome = RunPrint(listing.Events(), target, PageRange{});
  result.pages = outcome.PagesPrinted;
  // Units whose own text leaves a block open before a routine: the
  // listing cannot close what the source never does.
  static const char *const kUnbalancedSources[] = {
      // WMGetObject, inside {$ifdef EnableAccessible}: a "begin" with no "end".
      "components/virtualtreeview/laz.virtualtrees.pas",
  };
  const bool unbalanced =
      std::any_of(std::begin(kUnbalancedSources), std::end(kUnbalancedSources),
                  [&](const char *suffix) { return path.endsWith(QLatin1String(suffix)); });
  if (listing.HeadingsInsideBlocks() > 0 && !unbalanced && result.fault.isEmpty() &&
      !result.readsAnIncludeAgain)
    result.fault = QStringLiteral("%1 routine headings came while a block was open")
                       .arg(listing.HeadingsInsideBlocks());
  // Each routine heading has its bookmark and its index row, and in a unit's
  // implementation or a program every listed routine with a body is among
  // them.
  qsizetype withBody = 0;
  for (qsizetype i = 0; i < model.RoutineHeadingLines.size(); ++i) {
    const QByteArray lower = model.RoutineHeadingLines.at(i).toByteArray().toLower();
    withBody +=
        !lower.contains("external") && !lower.contains("forward;") && !lower.contains(" syscall ");
  }
  const bool laidOut =
      sourceBytes.toLower().contains("implementation") || ExpectedIsProgram(sourceBytes);
  if ((qsizetype(target.bookmarks().size()) != model.IndexEntries.size() ||
       (laidOut && model.IndexEntries.size() < withBody)) &&
      !unbalanced && result.fault.isEmpty())
    result.fault = QStringLiteral("%1 bookmarks and %2 index rows for %3 routines listed")
                       .arg(target.bookmarks().size())
                       .arg(model.IndexEntries.size())
                       .arg(model.Routines.size());
  // The index leads to each heading by its entry's number: every entry has
  // its place, on the page the entry names.
  std::vector<int> placeSheet(size_t(model.IndexEntries.size()), 0);
  for (const auto &[sheet, key] : target.anchors())
    if (const qsizetype n = key.startsWith("i:") ? key.mid(2).toLongLong() : -1;
        n >= 0 && n < model.IndexEntries.size() && placeSheet[size_t(n)] == 0)
      placeSheet[size_t(n)] = sheet;
  for (qsizetype n = 0; n < model.IndexEntries.size() && result.fault.isEmpty(); ++n)
    if (QByteArray::number(placeSheet[size_t(n)]) !=
        ParseIndexEntry(model.IndexEntries[n].toByteArray()).page)
      result.fault = QStringLiteral("index entry %1 (%2) has its place on page %3")
                         .arg(n)
                         .arg(QString::fromLatin1(model.IndexEntries[n]))
                         .arg(placeSheet[size_t(n)]);

  PageCanvas canvas(target.printer);
  canvas.SetMeasureMode();
  const PageGeometry g = ComputePageGeometry(canvas, settings);
  const int footerRule = canvas.PageHeight - g.BottomMargin - g.LineStep;
  const FontSpec headerFont = settings.HeaderFont();
  // Each heading starts at the left edge (in the source's layout, where the file has it).
  for (const auto &[sheet, y] :
       ownLayout ? std::vector<std::pair<int, int>>{} : target.bookmarks()) {
    const auto row =
        std::find_if(target.texts().begin(), target.texts().end(), [&](const PrintedText &t) {
          return t.sheet == sheet && t.y == y && t.font != headerFont &&
                 t.font != settings.LineFont();
        });
    if (row != target.texts().end() && row->x != g.LeftX && !unbalanced && result.fault.isEmpty())
      result.fault = QStringLiteral("heading %1 on page %2 starts at x %3, not at the edge")
                         .arg(QString::fromLatin1(row->text))
                         .arg(sheet)
                         .arg(row->x);
  }
  QByteArray printed, printedAsDrawn;
  bool lastPageHasText = false;
  for (const PrintedText &t : target.texts()) {
    if (t.font == headerFont) continue;
    const int height = target.printer.fixedMeasurer().textHeight(t.font, "X");
    if (t.y + height > footerRule && result.fault.isEmpty())
      result.fault = QStringLiteral("page %1: row at y %2 runs into the footer: %3")
                         .arg(t.sheet)
                         .arg(t.y)
                         .arg(QString::fromLatin1(t.text));
    if (t.font == settings.LineFont()) continue;
    printed += NonBlankLower(t.text);
    printedAsDrawn += t.text;
    if (t.sheet == target.sheets()) {
      lastPageHasText = lastPageHasText || !NonBlankLower(t.text).isEmpty();
      if (!t.text.trimmed().isEmpty()) result.lastBodyText = t.text.trimmed();
    }
  }
  QByteArray source;
  LineNormaliser normaliser;
  CommentCarry carry;
  const QByteArray &bytes = sourceBytes;
  ForEachLine(bytes, [&](QByteArrayView line) {
    if (normaliser.Normalise(line.trimmed(), false, carry).trimmed() != kNewPageMarker)
      source += NonBlankLower(line);
  });
  // Each literal is found in the drawn texts after the one before it; a
  // literal broken across rows is drawn in pieces that follow one another.
  qsizetype from = 0;
  for (const QByteArray &literal : StringLiterals(bytes, NestsAtStart(path))) {
    // The source's layout draws a tab or a control character as the
    // columns it takes (CheckOwnLayout checks those literals).
    if (ownLayout && std::any_of(literal.begin(), literal.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < ' '; }))
      continue;
    const qsizetype at = printedAsDrawn.indexOf(literal, from);
    if (at < 0) {
      if (result.fault.isEmpty())
        result.fault = QStringLiteral("string literal %1 is not printed as written")
                           .arg(QString::fromLatin1(literal));
      break;
    }
    from = at + literal.size();
  }
  // An empty unit prints one page of furniture.
  const bool lastPageFault = source.isEmpty() ? target.sheets() != 1 : !lastPageHasText;
  if (lastPageFault && result.fault.isEmpty())
    result.fault = QStringLiteral("the last of %1 pages holds no text").arg(target.sheets());
  if (printed != source && result.fault.isEmpty()) {
    qsizetype at = 0;
    while (at < printed.size() && at < source.size() && printed[at] == source[at]) ++at;
    result.fault =
        QStringLiteral(
            "printed text differs from the source at character %1: source \"%2\", printed \"%3\"")
            .arg(at)
            .arg(QString::fromLatin1(source.mid(std::max<qsizetype>(0, at - 30), 70)))
            .arg(QString::fromLatin1(printed.mid(std::max<qsizetype>(0, at - 30), 70)));
  }
  return result;
}

QStringList UnitsUnder(const QStringList &roots) {
  QStringList files;
  for (const QString &root : roots) {
    QDirIterator it(root, {"*.pas", "*.pp", "*.lpr", "*.dpr"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
  }
  files.sort();
  return files;
}

const char kFpcRoot[] = "/usr/share/fpcsrc";
const char kBothTrees[] = "/usr/share/fpcsrc/3.2.2:/usr/lib/lazarus/2.2.6";

// In the source's own layout, in a fixed-pitch font: each row that starts
// a line of a file holds that line's characters, each at its column (tabs
// to eight), so that the row reads as the file does; a line too long for
// its row starts it.
QString CheckOwnLayout(const QString &path, int *rows) {
  FormatSettings settings = SweepSettings();
  settings.Layout = 1;
  settings.LineNumbersFrom = 1;
  settings.BName = QString::fromLatin1(kVirtualMonoFace);
  ProjectModel model;
  TextTarget target;
  if (!PrintWhole(path, settings, model, target)) return {};
  PageCanvas canvas(target.printer);
  canvas.SetMeasureMode();
  const PageGeometry g = ComputePageGeometry(canvas, settings);
  canvas.SetFont(settings.BaseFont());
  long long advance = 0;
  if (!canvas.TextWidth64(" ", &advance)) advance = canvas.TextWidth(QByteArray(64, ' '));
  if (advance <= 0) return QStringLiteral("no advance width");
  // Compared in characters: a UTF-8 file's character takes one column.
  const bool utf8 = model.SourceEncoding == TextEncoding::Utf8;
  auto decoded = [utf8](QByteArrayView text) {
    return (utf8 ? QString::fromUtf8(text) : QString::fromLatin1(text)).toLower().toStdU32String();
  };
  auto expanded = [&](QByteArrayView line) {
    std::u32string out;
    for (const char32_t c : decoded(line)) {
      if (c == U'\t')
        out.append(8 - out.size() % 8, U' ');
      else
        out += c < U' ' ? U' ' : c;
    }
    while (!out.empty() && out.back() == U' ') out.pop_back();
    return out;
  };
  // A line indented past three quarters of the text width starts there.
  // With the block diagram, the text starts one step in: its brackets
  // stand left of it, clear of the line numbers.
  const int textLeft = g.LeftX + (settings.Blocks == 1 ? g.IndentWidth : 0);
  const int rightmostStart = std::max(textLeft, g.RightX - (g.RightX - g.LeftX) / 4);
  std::map<QString, std::vector<std::u32string>> files;  // by heading, "" for the unit
  auto linesOf = [&](const QString &name, const QString &file) -> std::vector<std::u32string> & {
    std::vector<std::u32string> &lines = files[name];
    if (lines.empty())
      ForEachLine(ReadSourceFile(file).bytes,
                  [&](QByteArrayView line) { lines.push_back(expanded(line)); });
    return lines;
  };
  std::vector<std::u32string> *current = &linesOf(QString(), path);
  const auto &texts = target.texts();
  for (size_t i = 0; i < texts.size(); ++i) {
    const PrintedText &t = texts[i];
    if (t.font == settings.HeaderFont()) {
      const QString heading = QString::fromLatin1(t.text);
      for (qsizetype k = 1; k < model.SourceParts.size(); ++k)
        if (model.SourceParts[k].state == SourcePart::State::Read &&
            heading == model.SourceParts[k].shown)
          current = &linesOf(heading, model.SourceParts[k].path);
      if (heading == FileNamePart(path)) current = &linesOf(QString(), path);
      continue;
    }
    if (t.font != settings.LineFont()) continue;
    const int line = t.text.chopped(1).toInt();
    if (line < 1 || size_t(line) > current->size())
      return QStringLiteral("row numbered %1 past the file's end").arg(line);
    const std::u32string &expected = (*current)[size_t(line - 1)];
    size_t indent = 0;
    while (indent < expected.size() && expected[indent] == U' ') ++indent;
    if (textLeft + PageCanvas::Round64(indent * advance) > rightmostStart) continue;
    std::u32string row;
    size_t k = i + 1;
    for (; k < texts.size() && texts[k].sheet == t.sheet && texts[k].y == t.y; ++k) {
      const PrintedText &word = texts[k];
      if (word.font == settings.LineFont() || word.font == settings.HeaderFont()) break;
      const long long column = ((word.x - textLeft) * 64LL + advance / 2) / advance;
      if (word.x != textLeft + PageCanvas::Round64(column * advance))
        return QStringLiteral("line %1: \"%2\" at x %3, between two columns")
            .arg(line)
            .arg(QString::fromLatin1(word.text))
            .arg(word.x);
      if (row.size() > size_t(column))
        return QStringLiteral("line %1: \"%2\" drawn over the text before it")
            .arg(line)
            .arg(QString::fromLatin1(word.text));
      row.append(size_t(column) - row.size(), U' ');
      row += decoded(word.text);
    }
    while (!row.empty() && row.back() == U' ') row.pop_back();
    ++*rows;
    // A row with no number of its own goes on with the line.
    const bool wraps =
        textLeft + PageCanvas::Round64(qsizetype(expected.size()) * advance) > g.RightX ||
        (k < texts.size() && texts[k].font != settings.LineFont() &&
         texts[k].font != settings.HeaderFont());
    if (row != expected && !(wraps && expected.compare(0, row.size(), row) == 0 && !row.empty()))
      return QStringLiteral("line %1 prints \"%2\", the file has \"%3\"")
          .arg(line)
          .arg(QString::fromStdU32String(row), QString::fromStdU32String(expected));
  }
  return {};
}

// The sweep of both layouts: in the source's own, every row that starts a
// line of a file is that line (CheckOwnLayout) besides the checks of both.
void SweepRealUnits(bool ownLayout, int defaultStep) {
  const int stepSetting = qEnvironmentVariableIntValue("SCRIVANE_SWEEP_STEP");
  const int step = stepSetting > 0 ? stepSetting : defaultStep;
  const QString roots =
      qEnvironmentVariable("SCRIVANE_SWEEP_ROOTS", QString::fromLatin1(kBothTrees));
  const QStringList files = UnitsUnder(roots.split(QLatin1Char(':'), Qt::SkipEmptyParts));
  if (files.isEmpty()) GTEST_SKIP() << "no units under " << roots.toStdString();
  int checked = 0, passed = 0, readAgain = 0, ownRows = 0;
  long long expected = 0, listed = 0, matched = 0, deeper = 0, keptDeeper = 0;
  for (qsizetype i = 0; i < files.size(); i += step) {
    SweepResult result = PrintAndCheck(files[i], ownLayout);
    if (!result.loaded) continue;
    if (ownLayout) {
      if (const QString fault = CheckOwnLayout(files[i], &ownRows);
          !fault.isEmpty() && result.fault.isEmpty())
        result.fault = fault;
    } else {
      CountIndentsKept(files[i], result);
    }
    ++checked;
    expected += result.expected;
    listed += result.listed;
    readAgain += result.readsAnIncludeAgain ? 1 : 0;
    matched += result.matched;
    if (qEnvironmentVariableIsSet("SCRIVANE_SWEEP_WRONG") && result.matched < result.listed)
      std::printf("wrong: %s: %d of %d listed\n", qPrintable(files[i]),
                  result.listed - result.matched, result.listed);
    deeper += result.deeper;
    keptDeeper += result.keptDeeper;
    if (result.fault.isEmpty())
      ++passed;
    else
      ADD_FAILURE() << files[i].toStdString() << ": " << result.fault.toStdString();
  }
  std::printf(
      "sweep: %d of %d units pass (%s, every %d, %s layout); %lld routines listed, %lld expected; "
      "%d read an include file again (printing checked only)\n",
      passed, checked, qPrintable(roots), step, ownLayout ? "the source's own" : "recomputed",
      listed, expected, readAgain);
  EXPECT_GT(checked, 0);
  if (ownLayout) {
    std::printf("sweep: %d rows print their file line as the file has it\n", ownRows);
    EXPECT_GT(ownRows, 0);
    return;
  }
  // Against what the source implements: the share of the list that is
  // right, and the share of the implemented routines that are listed.
  std::printf("sweep: routine list precision %.4f, recall %.4f\n",
              listed ? double(matched) / double(listed) : 1.0,
              expected ? double(matched) / double(expected) : 1.0);
  std::printf("sweep: %lld of %lld lines the author indented deeper print deeper (%.1f %%)\n",
              keptDeeper, deeper, deeper ? 100.0 * double(keptDeeper) / double(deeper) : 100.0);
  // Where the author's own indent is kept (95.4 % of this sample, 97 % of both whole trees); the
  // rest is mostly layout the listing sets on purpose (a statement's later lines under its first)
  // or indentation the author gives no reason for.
  EXPECT_GE(keptDeeper * 1000, deeper * 950);
}

TEST(ListingSweep, RealUnitsPrintEveryCharacterInsideThePage) { SweepRealUnits(false, 20); }
TEST(ListingSweep, RealUnitsInTheirOwnLayoutPrintEachLineAsTheFileHasIt) {
  SweepRealUnits(true, 40);
}

// With the file's line numbers, a number stands only beside a row that
// starts a line of the source, and it is that line's number: the row's
// first text begins that line of the file. Numbers only grow.
QString CheckFileLineNumbers(const QString &path, int *numbered) {
  FormatSettings settings = SweepSettings();
  settings.LineNumbersFrom = 1;
  ProjectModel model;
  TextTarget target;
  if (!PrintWhole(path, settings, model, target)) return {};
  // The rows of an include file carry its own numbers: each heading row
  // names the file the rows after it come from.
  struct FileRows {
    QList<QByteArray> lines;
    int last = 0;
  };
  std::map<QString, FileRows> files;
  auto rowsOf = [&](const QString &name, const QString &file) -> FileRows & {
    FileRows &rows = files[name];
    if (rows.lines.isEmpty())
      ForEachLine(ReadSourceFile(file).bytes,
                  [&](QByteArrayView line) { rows.lines << NonBlankLower(line); });
    return rows;
  };
  FileRows *current = &rowsOf(QString(), path);
  const PrintedText *number = nullptr;
  for (const PrintedText &t : target.texts()) {
    if (t.font == settings.HeaderFont()) {
      const QString heading = QString::fromLatin1(t.text);
      for (qsizetype k = 0; k < model.SourceParts.size(); ++k)
        if (model.SourceParts[k].state == SourcePart::State::Read &&
            heading ==
                (k == 0 ? FileNamePart(model.SourceParts[k].path) : model.SourceParts[k].shown)) {
          current = &rowsOf(k == 0 ? QString() : heading, model.SourceParts[k].path);
          // A file included again is numbered from its start again.
          if (k > 0) current->last = 0;
        }
      continue;
    }
    QList<QByteArray> &lines = current->lines;
    int &last = current->last;
    if (t.font == settings.LineFont()) {
      number = &t;
      continue;
    }
    if (!number) continue;
    const int line = number->text.chopped(1).toInt();
    if (number->sheet != t.sheet || number->y != t.y)
      return QStringLiteral("number %1 on page %2 stands beside no text")
          .arg(line)
          .arg(number->sheet);
    number = nullptr;
    ++*numbered;
    if (line <= last) return QStringLiteral("number %1 after %2").arg(line).arg(last);
    last = line;
    const QByteArray first = NonBlankLower(t.text);
    if (line > lines.size() || !lines[line - 1].startsWith(first))
      return QStringLiteral("row numbered %1 starts \"%2\", line %1 of the file is \"%3\"")
          .arg(line)
          .arg(QString::fromLatin1(t.text))
          .arg(QString::fromLatin1(lines.value(line - 1)));
  }
  return {};
}

TEST(ListingSweep, FileLineNumbersNameTheLineEachRowStarts) {
  const QStringList files = UnitsUnder(QString::fromLatin1(kBothTrees).split(QLatin1Char(':')));
  if (files.isEmpty()) GTEST_SKIP() << "no units to sweep";
  int numbered = 0;
  for (qsizetype i = 7; i < files.size(); i += 97)
    if (const QString fault = CheckFileLineNumbers(files[i], &numbered); !fault.isEmpty())
      ADD_FAILURE() << files[i].toStdString() << ": " << fault.toStdString();
  std::printf("file line numbers: %d numbered rows checked\n", numbered);
  EXPECT_GT(numbered, 0);
}

TEST(ListingSweep, PparserEndsOnThePageOfItsEnd) {
  const QString path = QString::fromLatin1(kFpcRoot) + "/3.2.2/packages/fcl-passrc/src/pparser.pp";
  if (!QFileInfo::exists(path)) GTEST_SKIP() << "fpc-source is not installed";
  const SweepResult result = PrintAndCheck(path);
  EXPECT_TRUE(result.fault.isEmpty()) << result.fault.toStdString();
  EXPECT_EQ(result.lastBodyText, "END.");
}

}  // namespace
