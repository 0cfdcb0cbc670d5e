#include "project/XrefTokens.h"

#include <QFileInfo>
#include <algorithm>

#include "project/IncludeFiles.h"
#include "project/Readers.h"
#include "project/SourceFile.h"
#include "project/SourceLexer.h"

namespace scrivane::xref {

namespace {

// Where the line that holds s[at] ends (its "\r" or "\n", or n).
qsizetype LineEndFrom(const char *s, qsizetype n, qsizetype at) {
  while (at < n && s[at] != '\r' && s[at] != '\n') ++at;
  return at;
}

}  // namespace

const NameSet &ReservedWords() {
  static const NameSet words = {"and",
                                "array",
                                "as",
                                "asm",
                                "begin",
                                "case",
                                "class",
                                "const",
                                "constructor",
                                "destructor",
                                "dispinterface",
                                "div",
                                "do",
                                "downto",
                                "else",
                                "end",
                                "except",
                                "exports",
                                "file",
                                "finalization",
                                "finally",
                                "for",
                                "function",
                                "goto",
                                "if",
                                "implementation",
                                "in",
                                "inherited",
                                "initialization",
                                "inline",
                                "interface",
                                "is",
                                "label",
                                "library",
                                "mod",
                                "nil",
                                "not",
                                "object",
                                "of",
                                "or",
                                "packed",
                                "procedure",
                                "program",
                                "property",
                                "raise",
                                "record",
                                "repeat",
                                "resourcestring",
                                "set",
                                "shl",
                                "shr",
                                "string",
                                "then",
                                "threadvar",
                                "to",
                                "try",
                                "type",
                                "unit",
                                "until",
                                "uses",
                                "var",
                                "while",
                                "with",
                                "xor",
                                "operator",
                                "generic",
                                "specialize"};
  return words;
}

const NameSet &RoutineDirectives() {
  static const NameSet words = {"overload",
                                "virtual",
                                "abstract",
                                "override",
                                "reintroduce",
                                "cdecl",
                                "stdcall",
                                "register",
                                "pascal",
                                "safecall",
                                "inline",
                                "static",
                                "dynamic",
                                "message",
                                "external",
                                "forward",
                                "assembler",
                                "deprecated",
                                "platform",
                                "experimental",
                                "unimplemented",
                                "export",
                                "public",
                                "alias",
                                "nostackframe",
                                "varargs",
                                "noreturn",
                                "far",
                                "near",
                                "interrupt",
                                "winapi",
                                "final",
                                "dispid",
                                "local",
                                "compilerproc",
                                "internproc",
                                "iocheck",
                                "mwpascal",
                                "hardfloat",
                                "ms_abi_default",
                                "sysv_abi_default",
                                "vectorcall",
                                "enumerator",
                                "cppdecl",
                                "oldfpccall",
                                "softfloat",
                                "syscall",
                                "weakexternal",
                                "rtlproc",
                                "saveregisters"};
  return words;
}

bool Tokeniser::Step(Token &t) {
  Place &p = stack_.back();
  const int file = p.file;
  const char *s = p.text;
  const qsizetype n = p.size;
  qsizetype &i = p.at;
  int &line = p.line;
  qsizetype &lineStart = p.lineStart;
  std::vector<Name> &lineNames = p.lineNames;
  NameMap<int> &lineCounts = p.lineCounts;
  auto newLine = [&](qsizetype at) {
    ++line;
    lineStart = at;
    lineNames.clear();
    if (!lineCounts.empty()) lineCounts.clear();
  };
  auto skipLineEnd = [&](qsizetype &k) {
    if (s[k] == '\r') {
      if (k + 1 < n && s[k + 1] == '\n') ++k;
      newLine(k + 1);
    } else if (s[k] == '\n') {
      newLine(k + 1);
    }
  };
  while (i < n) {
    const char c = s[i];
    if (c == '\r' || c == '\n') {
      skipLineEnd(i);
      ++i;
      continue;
    }
    if (IsClass(c, kBlank)) {
      ++i;
      while (i < n && IsClass(s[i], kBlank)) ++i;
      continue;
    }
    const bool brace = c == '{';
    const bool parenStar = c == '(' && i + 1 < n && s[i + 1] == '*';
    if (brace || parenStar) {
      const qsizetype open = brace ? 1 : 2;
      if (i + open < n && s[i + open] == '$') {
        // A directive: no nesting inside it.
        const qsizetype from = i + open + 1;
        qsizetype k = from;
        while (k < n && !(brace ? s[k] == '}' : (s[k] == '*' && k + 1 < n && s[k + 1] == ')'))) {
          skipLineEnd(k);
          ++k;
        }
        const Name body(s + from, size_t(k - from));
        const qsizetype end = std::min(n, k + (brace ? 1 : 2));
        const Name whole(s + i, size_t(end - i));
        i = end;
        // The include it names (if any) is read next, on top of this file.
        Directive(file, p.depth, body, whole);
        return false;
      }
      int level = 1;
      qsizetype k = i + open;
      while (k < n) {
        // Most of a comment is text that neither ends, nests nor breaks it.
        if (brace) {
          while (k < n && !IsClass(s[k], kBraceStop)) ++k;
        } else {
          while (k < n && s[k] != '*' && !IsClass(s[k], kLineEnd)) ++k;
        }
        if (k == n) break;
        if (brace) {
          if (s[k] == '}') {
            if (--level == 0) break;
          } else if (s[k] == '{' && nest_) {
            ++level;
          }
        } else if (s[k] == '*' && k + 1 < n && s[k + 1] == ')') {
          ++k;
          break;
        }
        skipLineEnd(k);
        ++k;
      }
      i = k + 1;
      continue;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '/') {
      while (i < n && s[i] != '\r' && s[i] != '\n') ++i;
      continue;
    }
    // Each kind below sets the text and the kind; only a name has these.
    t.ordinal = 0;
    t.reserved = false;
    t.macro = p.macro;
    t.file = file;
    t.line = line;
    t.column = int(i - lineStart) + 1;
    qsizetype end = i + 1;
    if (c == '\'' || (c == '#' && i + 1 < n && (IsDigit(s[i + 1]) || s[i + 1] == '$'))) {
      end = i;
      // Delphi's text block: its lines up to the one that starts with as
      // many quotes again are one string.
      const int quotes = c == '\'' && i + 2 < n && s[i + 1] == '\'' && s[i + 2] == '\''
                             ? TextBlockQuotes(QByteArrayView(s + i, LineEndFrom(s, n, i) - i), 0)
                             : 0;
      if (quotes > 0) {
        end = LineEndFrom(s, n, i);
        while (end < n) {
          if (s[end] == '\r' && end + 1 < n && s[end + 1] == '\n') ++end;
          newLine(++end);
          const qsizetype lineEnd = LineEndFrom(s, n, end);
          if (const qsizetype closed =
                  TextBlockClosing(QByteArrayView(s + end, lineEnd - end), quotes);
              closed >= 0) {
            end += closed;
            break;
          }
          end = lineEnd;
        }
      }
      // Quoted parts and control codes that follow one another.
      for (; quotes == 0;) {
        if (end < n && s[end] == '\'') {
          ++end;
          while (end < n && s[end] != '\r' && s[end] != '\n') {
            if (s[end] == '\'') {
              if (end + 1 < n && s[end + 1] == '\'') {
                end += 2;
                continue;
              }
              ++end;
              break;
            }
            ++end;
          }
        } else if (end + 1 < n && s[end] == '#' && (IsDigit(s[end + 1]) || s[end + 1] == '$')) {
          end += 2;
          while (end < n && IsIdentChar(s[end])) ++end;
        } else {
          break;
        }
      }
      t.kind = TokKind::String;
    } else if (IsIdentStart(c) || (c == '&' && i + 1 < n && IsIdentStart(s[i + 1]))) {
      qsizetype from = c == '&' ? i + 1 : i;
      end = from;
      while (end < n && IsIdentChar(s[end])) ++end;
      t.kind = TokKind::Ident;
      t.column = int(from - lineStart) + 1;
      t.text = Name(s + from, size_t(end - from));
      t.reserved = reserved_.count(t.text) > 0;
      if (c == '&') t.kind = TokKind::Ident;
      constexpr size_t kFewNames = 32;
      int ordinal = 0;
      if (lineNames.size() < kFewNames) {
        for (const Name &seen : lineNames) ordinal += seen == t.text;
        lineNames.push_back(t.text);
        if (lineNames.size() == kFewNames)
          for (const Name &seen : lineNames) ++lineCounts[seen];
      } else {
        ordinal = lineCounts[t.text]++;
      }
      t.ordinal = ordinal;
      i = end;
      if (p.macro) {
        t.line = p.macroLine;
        t.column = p.macroColumn;
        t.ordinal = p.macroOrdinal;
      } else {
        macrosSinceText_ = 0;
      }
      // Past these a macro's name is read as a name.
      constexpr int kMacrosForAToken = 256, kMacrosForAModule = 1 << 18;
      if (!macros_.empty() && macroDepth_ < 16 && macrosSinceText_ < kMacrosForAToken &&
          macrosRead_ < kMacrosForAModule) {
        if (const auto found = macros_.find(t.text); found != macros_.end()) {
          Place expansion{file,
                          found->second.data(),
                          qsizetype(found->second.size()),
                          p.depth,
                          0,
                          t.line,
                          0,
                          {},
                          {},
                          {}};
          expansion.macro = true;
          expansion.macroLine = t.line;
          expansion.macroColumn = t.column;
          expansion.macroOrdinal = t.ordinal;
          ++macroDepth_;
          ++macrosSinceText_;
          ++macrosRead_;
          stack_.push_back(std::move(expansion));
          return false;
        }
      }
      return true;
    } else if (IsDigit(c) ||
               ((c == '$' || c == '%' || c == '&') && i + 1 < n && (IsIdentChar(s[i + 1])))) {
      end = i + 1;
      while (end < n) {
        if (IsIdentChar(s[end])) {
          ++end;
        } else if (s[end] == '.' && end + 1 < n && IsDigit(s[end + 1]) && IsDigit(c)) {
          ++end;
        } else if ((s[end] == '-' || s[end] == '+') && (Name::Fold(s[end - 1]) == 'e') &&
                   IsDigit(c) && end + 1 < n && IsDigit(s[end + 1])) {
          ++end;
        } else {
          break;
        }
      }
      t.kind = TokKind::Number;
    } else {
      // The symbols of two characters: := <= >= <> .. += -= *= /= ** >< (. .)
      const char d = i + 1 < n ? s[i + 1] : '\0';
      bool pair = false;
      switch (c) {
        case ':':
        case '+':
        case '-':
        case '/':
          pair = d == '=';
          break;
        case '<':
          pair = d == '=' || d == '>';
          break;
        case '>':
          pair = d == '=' || d == '<';
          break;
        case '*':
          pair = d == '=' || d == '*';
          break;
        case '.':
          pair = d == '.' || d == ')';
          break;
        case '(':
          pair = d == '.';
          break;
        default:
          break;
      }
      if (pair) end = i + 2;
      t.kind = TokKind::Symbol;
    }
    t.text = Name(s + i, size_t(end - i));
    i = end;
    if (p.macro) {
      t.line = p.macroLine;
      t.column = p.macroColumn;
    }
    return true;
  }
  if (!p.canonical.isEmpty()) active_.remove(p.canonical);
  if (p.macro) --macroDepth_;
  stack_.pop_back();
  return false;
}

void Tokeniser::NoteMacro(bool define, Name arg) {
  size_t k = 0;
  while (k < arg.size() && (arg[k] == ' ' || arg[k] == '\t')) ++k;
  const size_t from = k;
  while (k < arg.size() && IsIdentChar(arg[k])) ++k;
  const Name name = arg.substr(from, k - from);
  if (name.empty()) return;
  if (!define) {
    macros_.erase(name);
    return;
  }
  while (k < arg.size() && (arg[k] == ' ' || arg[k] == '\t')) ++k;
  if (k + 1 >= arg.size() || arg[k] != ':' || arg[k + 1] != '=') return;
  Name value = arg.substr(k + 2);
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value = value.substr(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r' ||
                            value.back() == '\n'))
    value.remove_suffix(1);
  // A macro naming itself would be read for ever.
  if (value == name) return;
  macros_.insert_or_assign(name, value);
}

void Tokeniser::Directive(int file, int depth, Name body, Name whole) {
  size_t k = 0;
  while (k < body.size() && IsIdentChar(body[k])) ++k;
  const Name name = body.substr(0, k);
  const Name arg = body.substr(k);
  if ((name == "define" || name == "undef") && Active()) NoteMacro(name == "define", arg);
  if (conditions_.Follow(name, arg) || !Active()) return;
  if (name == "mode" || name == "modeswitch") {
    nest_ = NestingAfterDirective(QByteArrayView(whole.data(), qsizetype(whole.size())), nest_);
    return;
  }
  if (name != "i" && name != "include") return;
  // The name as written: quotes removed, "+"/"-" and "%...%" are no files.
  size_t a = 0;
  while (a < arg.size() && (arg[a] == ' ' || arg[a] == '\t')) ++a;
  if (k == body.size() || a == 0 || a >= arg.size()) return;
  Name wanted = arg.substr(a);
  while (!wanted.empty() && (wanted.back() == ' ' || wanted.back() == '\t'))
    wanted.remove_suffix(1);
  if (wanted.empty() || wanted[0] == '+' || wanted[0] == '-' || wanted[0] == '%') return;
  if (wanted.size() >= 2 && wanted.front() == '\'' && wanted.back() == '\'')
    wanted = wanted.substr(1, wanted.size() - 2);
  std::unique_lock<std::mutex> lock(filesLock_);
  const QString including = files_[size_t(file)].path;
  const QByteArray original(wanted.data(), qsizetype(wanted.size()));
  const QString found = ResolveIncludeFile(original, including, folders_, finder_);
  if (found.isEmpty() || depth > 16) return;
  const QString canonical = QFileInfo(found).absoluteFilePath();
  if (active_.contains(canonical)) return;
  int index = fileIndex_.value(canonical, -1);
  if (index < 0) {
    MappedSourceFile read = MapSourceFile(canonical);
    if (read.file.status != SourceStatus::Ok) return;
    index = int(files_.size());
    const QString path = read.file.diskPath.isEmpty() ? canonical : read.file.diskPath;
    files_.push_back({path, std::move(read)});
    fileIndex_.insert(canonical, index);
  }
  const QByteArrayView text = files_[size_t(index)].source.text;
  lock.unlock();
  active_.insert(canonical);
  includes_.push_back(index);
  stack_.push_back({index, text.data(), text.size(), depth + 1, 0, 1, 0, {}, {}, canonical});
}

}  // namespace scrivane::xref
