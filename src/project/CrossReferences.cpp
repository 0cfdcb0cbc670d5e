#include "project/CrossReferences.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "platform/Paths.h"
#include "project/IncludeFiles.h"
#include "project/Readers.h"
#include "project/SourceFile.h"
#include "project/SourceLexer.h"

namespace scrivane {

const char *XrefKindName(XrefKind kind) {
  switch (kind) {
    case XrefKind::Unit:
      return "unit";
    case XrefKind::Procedure:
      return "procedure";
    case XrefKind::Function:
      return "function";
    case XrefKind::Constructor:
      return "constructor";
    case XrefKind::Destructor:
      return "destructor";
    case XrefKind::Operator:
      return "operator";
    case XrefKind::Class:
      return "class";
    case XrefKind::Record:
      return "record";
    case XrefKind::Enumeration:
      return "enumeration";
    case XrefKind::Type:
      return "type";
    case XrefKind::Constant:
      return "constant";
    case XrefKind::Variable:
      return "variable";
  }
  return "?";
}

namespace {

using Name = std::string_view;

enum class TokKind : unsigned char { Ident, Symbol, Number, String };

struct Token {
  Name text;  // lower case
  int file = 0;
  int line = 0;
  int column = 0;
  int ordinal = 0;
  TokKind kind = TokKind::Symbol;
};

// Words that are never names. "on", "at", "out", "read" and the other
// directives are names the code may use, so they are not here.
const std::unordered_set<Name> &ReservedWords() {
  static const std::unordered_set<Name> words = {"and",
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

// Words after a routine heading that say how it is called or built; a
// field of a class may be named like one, so a word followed by ":" or ","
// is not taken as one.
const std::unordered_set<Name> &RoutineDirectives() {
  static const std::unordered_set<Name> words = {"overload",
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

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct FileText {
  QString path;
  QByteArray lower;  // the file's bytes, ASCII lower-cased
};

// ---------------------------------------------------------------- reading

// Conditional compilation as Free Pascal 3.2 on x86-64 Linux reads it;
// "{$IF expr}" that cannot be told is taken as true, its "{$ELSE}" not.
class Conditions {
 public:
  Conditions() {
    for (const char *d :
         {"fpc", "ver3", "ver3_2", "ver3_2_2", "unix", "linux", "cpu64", "cpux86_64", "cpuamd64",
          "endian_little", "fpc_little_endian", "fpc_has_type_extended", "fpc_has_type_double",
          "fpc_has_type_single", "fpc_objfpc", "hasamiga_false_never"})
      defines_.insert(d);
  }
  bool Active() const { return stack_.empty() || stack_.back().active; }
  // Follows one directive (its text without the braces and "$"); true when
  // it was a conditional one.
  bool Follow(Name name, Name arg) {
    if (name == "ifdef" || name == "ifndef" || name == "if" || name == "ifopt") {
      bool value = true;
      if (name == "ifdef") value = defines_.count(std::string(FirstWord(arg))) > 0;
      if (name == "ifndef") value = defines_.count(std::string(FirstWord(arg))) == 0;
      if (name == "if") value = Evaluate(arg);
      const bool parent = Active();
      stack_.push_back({parent && value, value});
      return true;
    }
    if (name == "elseif" || name == "else") {
      if (stack_.empty()) return true;
      Entry &e = stack_.back();
      const bool parent = stack_.size() < 2 || stack_[stack_.size() - 2].active;
      const bool value = name == "else" ? true : Evaluate(arg);
      e.active = parent && !e.taken && value;
      e.taken = e.taken || value;
      return true;
    }
    if (name == "endif" || name == "ifend") {
      if (!stack_.empty()) stack_.pop_back();
      return true;
    }
    if (!Active()) return name == "define" || name == "undef";
    if (name == "define") defines_.insert(std::string(FirstWord(arg)));
    if (name == "undef") defines_.erase(std::string(FirstWord(arg)));
    return name == "define" || name == "undef";
  }

 private:
  struct Entry {
    bool active;
    bool taken;
  };
  static Name FirstWord(Name arg) {
    size_t i = 0;
    while (i < arg.size() && (arg[i] == ' ' || arg[i] == '\t')) ++i;
    size_t j = i;
    while (j < arg.size() && IsIdentChar(arg[j])) ++j;
    return arg.substr(i, j - i);
  }
  // defined(X), undefined(X), not, and, or, parentheses; anything else
  // (versions, declared(), options) counts as true.
  bool Evaluate(Name e) {
    size_t at = 0;
    return Or(e, at);
  }
  void Blanks(Name e, size_t &at) {
    while (at < e.size() && (e[at] == ' ' || e[at] == '\t')) ++at;
  }
  bool Word(Name e, size_t &at, Name w) {
    Blanks(e, at);
    if (e.substr(at, w.size()) == w &&
        (at + w.size() >= e.size() || !IsIdentChar(e[at + w.size()]))) {
      at += w.size();
      return true;
    }
    return false;
  }
  bool Or(Name e, size_t &at) {
    bool v = And(e, at);
    while (Word(e, at, "or")) v = And(e, at) || v;
    return v;
  }
  bool And(Name e, size_t &at) {
    bool v = Not(e, at);
    while (Word(e, at, "and")) v = Not(e, at) && v;
    return v;
  }
  bool Not(Name e, size_t &at) {
    if (Word(e, at, "not")) return !Not(e, at);
    return Atom(e, at);
  }
  bool Atom(Name e, size_t &at) {
    Blanks(e, at);
    if (at < e.size() && e[at] == '(') {
      ++at;
      const bool v = Or(e, at);
      Blanks(e, at);
      if (at < e.size() && e[at] == ')') ++at;
      return v;
    }
    const bool defined = Word(e, at, "defined");
    const bool undefined = !defined && Word(e, at, "undefined");
    if (defined || undefined) {
      Blanks(e, at);
      if (at < e.size() && e[at] == '(') ++at;
      Blanks(e, at);
      size_t j = at;
      while (j < e.size() && IsIdentChar(e[j])) ++j;
      const bool v = defines_.count(std::string(e.substr(at, j - at))) > 0;
      at = j;
      Blanks(e, at);
      if (at < e.size() && e[at] == ')') ++at;
      return undefined ? !v : v;
    }
    // Something we do not evaluate: skip to the next "and", "or" or ")".
    while (at < e.size() && e[at] != ')') {
      if (IsIdentStart(e[at])) {
        size_t j = at;
        while (j < e.size() && IsIdentChar(e[j])) ++j;
        const Name w = e.substr(at, j - at);
        if (w == "and" || w == "or") break;
        at = j;
      } else {
        ++at;
      }
    }
    return true;
  }
  std::unordered_set<std::string> defines_;
  std::vector<Entry> stack_;
};

// Cuts a module and the include files it brings in into tokens, as the
// compiler reads them.
class Tokeniser {
 public:
  Tokeniser(std::deque<FileText> &files, QHash<QString, int> &fileIndex, const QStringList &folders,
            FileFinder &finder, QStringList &problems)
      : files_(files),
        fileIndex_(fileIndex),
        folders_(folders),
        finder_(finder),
        problems_(problems) {}

  void Read(int file, bool nest, std::vector<Token> &out) {
    out_ = &out;
    nest_ = nest;
    Lex(file, 0);
  }

 private:
  void Lex(int file, int depth) {
    const QByteArray &text = files_[size_t(file)].lower;
    const char *s = text.constData();
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    qsizetype lineStart = 0;
    // Ordinals: the names met so far on the current line.
    std::vector<Name> lineNames;
    auto newLine = [&](qsizetype at) {
      ++line;
      lineStart = at;
      lineNames.clear();
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
      if (c == ' ' || c == '\t' || c == '\f' || c == '\0') {
        ++i;
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
          Directive(file, depth, body, Name(s + i, size_t(end - i)));
          i = end;
          continue;
        }
        int level = 1;
        qsizetype k = i + open;
        while (k < n) {
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
      Token t;
      t.file = file;
      t.line = line;
      t.column = int(i - lineStart) + 1;
      qsizetype end = i + 1;
      if (c == '\'' || (c == '#' && i + 1 < n && (IsDigit(s[i + 1]) || s[i + 1] == '$'))) {
        end = i;
        // Quoted parts and control codes that follow one another.
        for (;;) {
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
        if (c == '&') t.kind = TokKind::Ident;
        int ordinal = 0;
        for (const Name &seen : lineNames) ordinal += seen == t.text;
        t.ordinal = ordinal;
        lineNames.push_back(t.text);
        if (Active()) out_->push_back(t);
        i = end;
        continue;
      } else if (IsDigit(c) ||
                 ((c == '$' || c == '%' || c == '&') && i + 1 < n && (IsIdentChar(s[i + 1])))) {
        end = i + 1;
        while (end < n) {
          if (IsIdentChar(s[end])) {
            ++end;
          } else if (s[end] == '.' && end + 1 < n && IsDigit(s[end + 1]) && IsDigit(c)) {
            ++end;
          } else if ((s[end] == '-' || s[end] == '+') && (s[end - 1] == 'e') && IsDigit(c) &&
                     end + 1 < n && IsDigit(s[end + 1])) {
            ++end;
          } else {
            break;
          }
        }
        t.kind = TokKind::Number;
      } else {
        static const char *const kPairs[] = {
            ":=", "<=", ">=", "<>", "..", "+=", "-=", "*=", "/=", "**", "><", "(.", ".)"};
        for (const char *p : kPairs)
          if (i + 1 < n && s[i] == p[0] && s[i + 1] == p[1]) end = i + 2;
        t.kind = TokKind::Symbol;
      }
      t.text = Name(s + i, size_t(end - i));
      if (Active()) out_->push_back(t);
      i = end;
    }
  }

  bool Active() const { return conditions_.Active(); }

  void Directive(int file, int depth, Name body, Name whole) {
    size_t k = 0;
    while (k < body.size() && IsIdentChar(body[k])) ++k;
    const Name name = body.substr(0, k);
    const Name arg = body.substr(k);
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
    // The name in the file's own case: the lowered text only lends its place.
    const QByteArray &lower = files_[size_t(file)].lower;
    const qsizetype offset = wanted.data() - lower.constData();
    const QString including = files_[size_t(file)].path;
    QByteArray original = ReadSourceFile(including).bytes.mid(offset, qsizetype(wanted.size()));
    if (original.size() != qsizetype(wanted.size()))
      original = QByteArray(wanted.data(), qsizetype(wanted.size()));
    const QString found = ResolveIncludeFile(original, including, folders_, finder_);
    if (found.isEmpty() || depth > 16) return;
    const QString canonical = QFileInfo(found).absoluteFilePath();
    if (active_.contains(canonical)) return;
    int index = fileIndex_.value(canonical, -1);
    if (index < 0) {
      const SourceFile read = ReadSourceFile(canonical);
      if (read.status != SourceStatus::Ok) return;
      index = int(files_.size());
      files_.push_back({read.diskPath.isEmpty() ? canonical : read.diskPath, read.bytes.toLower()});
      fileIndex_.insert(canonical, index);
    }
    active_.insert(canonical);
    Lex(index, depth + 1);
    active_.remove(canonical);
  }

  std::deque<FileText> &files_;
  QHash<QString, int> &fileIndex_;
  const QStringList &folders_;
  FileFinder &finder_;
  QStringList &problems_;
  std::vector<Token> *out_ = nullptr;
  bool nest_ = false;
  Conditions conditions_;
  QSet<QString> active_;
};

// ---------------------------------------------------------------- symbols

enum class SymKind : unsigned char {
  Unit,
  Routine,
  Type,
  Const,
  Var,
  Field,
  Property,
  Param,
  EnumValue,
  Other,
};

struct Scope;

struct Sym {
  SymKind kind = SymKind::Other;
  XrefKind xkind = XrefKind::Type;
  bool counted = false;  // a declaration the book lists
  const Token *name = nullptr;
  int module = 0;
  Scope *members = nullptr;  // a unit's interface, a class's or record's members
  Sym *ancestor = nullptr;
  bool ancestryLeavesBook = false;  // a class whose ancestors are (partly) outside the book
  Sym *type = nullptr;              // the type of a value, what an alias names, a function's result
  int minParams = 0;
  int maxParams = 0;
  std::string signature;
  const Token *body = nullptr;  // a routine's implementation heading
  bool hasBody = false;
  bool forwardType = false;  // "TFoo = class;" until its full declaration
  bool indexed = false;      // a property with an index: "Items[i]" is of its type
  QByteArray owner;
  int decl = -1;
  int bodyDecl = -1;
};

struct Scope {
  std::unordered_map<Name, std::vector<Sym *>> names;
  Sym *owner = nullptr;  // the class or record whose members these are
  void Add(Sym *sym) {
    if (sym->name) names[sym->name->text].push_back(sym);
  }
  const std::vector<Sym *> *Find(Name name) const {
    auto it = names.find(name);
    return it == names.end() ? nullptr : &it->second;
  }
};

struct UsesEntry {
  Name name;
  int module = -1;  // the book's module of that name, -1 for a unit outside the book
};

struct Module {
  int file = 0;
  std::vector<Token> tokens;
  Name name;
  Sym *unit = nullptr;
  Scope iface;
  Scope impl;
  std::vector<UsesEntry> ifaceUses, implUses;
  enum class State { None, Interface, Done } state = State::None;
  bool isProgram = false;
  size_t implStart = 0;  // the token after "implementation"
};

// What names are looked up in, innermost last.
struct Frame {
  enum class Kind { Plain, Members, WithMembers, Opaque } kind = Kind::Plain;
  Scope *scope = nullptr;
  Sym *type = nullptr;  // Members, WithMembers
};

const Sym *const kUnknown = nullptr;

class Resolver {
 public:
  Resolver(const QStringList &modules, const QStringList &folders, const QString &projectPath)
      : folders_(folders) {
    for (const QString &path : modules) {
      const SourceFile read = ReadSourceFile(path);
      if (read.status != SourceStatus::Ok) {
        result_.problems << SourceFileMessage(read, path);
        continue;
      }
      const QString canonical =
          QFileInfo(read.diskPath.isEmpty() ? path : read.diskPath).absoluteFilePath();
      if (fileIndex_.contains(canonical)) continue;
      const int index = int(files_.size());
      files_.push_back({canonical, read.bytes.toLower()});
      fileIndex_.insert(canonical, index);
      auto module = std::make_unique<Module>();
      module->file = index;
      nestOf_.push_back(CommentsNestByDefault(canonical, projectPath));
      modules_.push_back(std::move(module));
    }
    for (size_t m = 0; m < modules_.size(); ++m) {
      Tokeniser tokeniser(files_, fileIndex_, folders_, finder_, result_.problems);
      tokeniser.Read(modules_[m]->file, nestOf_[m], modules_[m]->tokens);
      ReadName(*modules_[m], int(m));
    }
  }

  CrossReferences Run() {
    for (size_t m = 0; m < modules_.size(); ++m) ParseInterface(int(m));
    for (size_t m = 0; m < modules_.size(); ++m) ParseImplementation(int(m));
    return Finish();
  }

 private:
  // ------------------------------------------------------------ plumbing
  Module &M() { return *modules_[size_t(module_)]; }
  const Token &T(size_t i) const {
    static const Token kEnd{";", 0, 0, 0, 0, TokKind::Symbol};
    const auto &tokens = modules_[size_t(module_)]->tokens;
    return i < tokens.size() ? tokens[i] : kEnd;
  }
  bool AtEnd() const { return pos_ >= modules_[size_t(module_)]->tokens.size(); }
  Name Text(size_t i) const { return T(i).text; }
  bool Is(Name word) const { return !AtEnd() && Text(pos_) == word; }
  bool IsAt(size_t i, Name word) const { return Text(i) == word; }
  bool IsName(size_t i) const {
    const Token &t = T(i);
    return t.kind == TokKind::Ident && !ReservedWords().count(t.text) &&
           i < modules_[size_t(module_)]->tokens.size();
  }
  void Skip(Name word) {
    if (Is(word)) ++pos_;
  }
  // Skips to the token after the next ";" at this level of brackets.
  void SkipPast(Name stop) {
    int depth = 0;
    while (!AtEnd()) {
      const Name t = Text(pos_);
      if (t == "(" || t == "[") ++depth;
      if ((t == ")" || t == "]") && depth > 0) --depth;
      ++pos_;
      if (depth == 0 && t == stop) return;
    }
  }
  // The index after the bracket that closes the one at i.
  size_t Closing(size_t i) const {
    int depth = 0;
    const size_t n = modules_[size_t(module_)]->tokens.size();
    for (size_t k = i; k < n; ++k) {
      const Name t = Text(k);
      if (t == "(" || t == "[" || t == "(.") ++depth;
      if (t == ")" || t == "]" || t == ".)") {
        if (--depth == 0) return k + 1;
      }
    }
    return n;
  }

  Sym *NewSym(SymKind kind, const Token *name) {
    syms_.push_back(std::make_unique<Sym>());
    Sym *s = syms_.back().get();
    s->kind = kind;
    s->name = name;
    s->module = module_;
    return s;
  }
  Scope *NewScope() {
    scopes_.push_back(std::make_unique<Scope>());
    return scopes_.back().get();
  }
  void Use(const Token &t, Sym *sym) {
    if (sym && sym->counted) uses_.push_back({&t, sym});
  }

  // ------------------------------------------------------------ modules
  void ReadName(Module &m, int index) {
    module_ = index;
    pos_ = 0;
    if (Is("unit") || Is("program") || Is("library") || Is("package")) {
      m.isProgram = !Is("unit");
      ++pos_;
      if (IsName(pos_)) {
        const size_t at = pos_;
        m.name = Text(at);
        // A dotted unit name: the last part names it for now.
        while (IsAt(pos_ + 1, ".") && IsName(pos_ + 2)) pos_ += 2;
        m.unit = NewSym(SymKind::Unit, &T(at));
        m.unit->xkind = XrefKind::Unit;
        m.unit->counted = true;
        m.unit->members = &m.iface;
      }
    } else {
      m.isProgram = true;
    }
    if (!m.unit) {
      m.unit = NewSym(SymKind::Unit, nullptr);
      m.unit->members = &m.iface;
    }
    moduleByName_.emplace(m.name, index);
  }

  std::vector<UsesEntry> ReadUses() {
    std::vector<UsesEntry> list;
    ++pos_;  // "uses"
    while (!AtEnd() && !Is(";")) {
      if (IsName(pos_)) {
        size_t at = pos_;
        while (IsAt(pos_ + 1, ".") && IsName(pos_ + 2)) pos_ += 2;
        UsesEntry e;
        e.name = Text(pos_);
        auto it = moduleByName_.find(at == pos_ ? e.name : Name());
        if (it != moduleByName_.end() && !modules_[size_t(it->second)]->isProgram) {
          e.module = it->second;
          Use(T(at), modules_[size_t(it->second)]->unit);
        }
        list.push_back(e);
        ++pos_;
        if (Is("in")) {
          ++pos_;
          if (!AtEnd() && T(pos_).kind == TokKind::String) ++pos_;
        }
      } else {
        ++pos_;
      }
      if (Is(",")) ++pos_;
    }
    Skip(";");
    return list;
  }

  void ParseInterface(int index) {
    Module &m = *modules_[size_t(index)];
    if (m.state != Module::State::None) return;
    m.state = Module::State::Interface;
    const int outerModule = module_;
    const size_t outerPos = pos_;
    auto outerFrames = std::move(frames_);
    const bool outerImpl = inImpl_;
    module_ = index;
    pos_ = 0;
    frames_.clear();
    inImpl_ = false;
    if (Is("unit") || Is("program") || Is("library") || Is("package")) SkipPast(";");
    if (!m.isProgram) {
      Skip("interface");
      if (Is("uses")) {
        m.ifaceUses = ReadUses();
        for (const UsesEntry &e : m.ifaceUses)
          if (e.module >= 0) ParseInterface(e.module);
      }
      ParseDeclarations(&m.iface, Level::Interface);
      while (!AtEnd() && !Is("implementation")) {
        ++pos_;
        ParseDeclarations(&m.iface, Level::Interface);
      }
      Skip("implementation");
      m.implStart = pos_;
    }
    module_ = outerModule;
    pos_ = outerPos;
    frames_ = std::move(outerFrames);
    inImpl_ = outerImpl;
  }

  void ParseImplementation(int index) {
    Module &m = *modules_[size_t(index)];
    if (m.state == Module::State::Done) return;
    m.state = Module::State::Done;
    module_ = index;
    frames_.clear();
    pos_ = m.implStart;
    inImpl_ = true;
    if (m.isProgram) {
      while (!AtEnd() && (Is("program") || Is("library") || Is("package"))) SkipPast(";");
    }
    if (Is("uses")) m.implUses = ReadUses();
    for (;;) {
      ParseDeclarations(&m.impl, Level::Implementation);
      if (AtEnd()) break;
      if (Is("begin") || Is("initialization")) {
        ++pos_;
        StatementList();
      } else if (Is("finalization")) {
        ++pos_;
        StatementList();
      } else if (Is("end")) {
        ++pos_;
        if (Is(".")) break;
      } else {
        ++pos_;
      }
    }
  }

  // ------------------------------------------------------------ lookup
  Sym *Pick(const std::vector<Sym *> &found, int args) {
    Sym *first = found.front();
    if (first->kind != SymKind::Routine || args < 0) return first;
    for (Sym *s : found)
      if (s->kind == SymKind::Routine && s->minParams <= args && args <= s->maxParams) return s;
    return first;
  }

  // Where the class's ancestors end, the search found nothing: whether the
  // book knows all of them.
  Sym *FindMember(Sym *type, Name name, int args, bool *complete) {
    *complete = true;
    int guard = 0;
    for (Sym *c = Resolved(type); c && guard < 64; c = Resolved(c->ancestor), ++guard) {
      if (c->members)
        if (const auto *found = c->members->Find(name)) return Pick(*found, args);
      if (c->ancestryLeavesBook) {
        *complete = false;
        return nullptr;
      }
    }
    return nullptr;
  }

  // A type as far as aliases lead; null when it is no type of the book.
  Sym *Resolved(Sym *s) {
    for (int guard = 0; s && guard < 16; ++guard) {
      if (s->kind != SymKind::Type) return nullptr;
      if (s->members) return s;
      s = s->type;
    }
    return nullptr;
  }

  // What "X.Name" looks in when X is `s`: a unit, or a type with members.
  struct Container {
    Module *unit = nullptr;
    Sym *type = nullptr;
  };
  Container ContainerOf(Sym *s) {
    Container c;
    if (!s) return c;
    if (s->kind == SymKind::Unit) {
      for (auto &m : modules_)
        if (m->unit == s && !m->isProgram) c.unit = m.get();
      return c;
    }
    if (s->kind == SymKind::Type)
      c.type = Resolved(s);
    else if (s->kind != SymKind::EnumValue && s->kind != SymKind::Other)
      c.type = Resolved(s->type);
    return c;
  }

  Sym *Lookup(Name name, int args) {
    for (size_t f = frames_.size(); f-- > 0;) {
      Frame &frame = frames_[f];
      switch (frame.kind) {
        case Frame::Kind::Plain:
          if (const auto *found = frame.scope->Find(name)) return Pick(*found, args);
          break;
        case Frame::Kind::Members:
        case Frame::Kind::WithMembers: {
          bool complete = true;
          if (Sym *s = FindMember(frame.type, name, args, &complete)) return s;
          // Every class outside the book derives from TObject: its members
          // hide the book's names of the same spelling.
          if (!complete && (frame.kind == Frame::Kind::WithMembers || IsObjectMember(name)))
            return nullptr;
          break;
        }
        case Frame::Kind::Opaque:
          return nullptr;
      }
    }
    Module &m = M();
    if (inImpl_)
      if (const auto *found = m.impl.Find(name)) return Pick(*found, args);
    if (const auto *found = m.iface.Find(name)) return Pick(*found, args);
    if (!m.name.empty() && name == m.name) return m.unit;
    auto byName = [&](const std::vector<UsesEntry> &list) -> Sym * {
      for (size_t u = list.size(); u-- > 0;)
        if (list[u].name == name)
          return list[u].module >= 0 ? modules_[size_t(list[u].module)]->unit : nullptr;
      return nullptr;
    };
    if (inImpl_)
      if (Sym *s = byName(m.implUses)) return s;
    if (Sym *s = byName(m.ifaceUses)) return s;
    auto inUnits = [&](const std::vector<UsesEntry> &list) -> Sym * {
      for (size_t u = list.size(); u-- > 0;) {
        if (list[u].module < 0) continue;
        if (const auto *found = modules_[size_t(list[u].module)]->iface.Find(name))
          return Pick(*found, args);
      }
      return nullptr;
    };
    if (inImpl_)
      if (Sym *s = inUnits(m.implUses)) return s;
    return inUnits(m.ifaceUses);
  }

  static bool IsObjectMember(Name name) {
    static const std::unordered_set<Name> members = {"create",
                                                     "destroy",
                                                     "free",
                                                     "classname",
                                                     "classtype",
                                                     "classparent",
                                                     "classinfo",
                                                     "inheritsfrom",
                                                     "instancesize",
                                                     "newinstance",
                                                     "freeinstance",
                                                     "fieldaddress",
                                                     "methodaddress",
                                                     "methodname",
                                                     "dispatch",
                                                     "dispatchstr",
                                                     "defaulthandler",
                                                     "afterconstruction",
                                                     "beforedestruction",
                                                     "getinterface",
                                                     "tostring",
                                                     "equals",
                                                     "gethashcode",
                                                     "unitname",
                                                     "classnameis",
                                                     "initinstance",
                                                     "cleanupinstance",
                                                     "safecallexception",
                                                     "getinterfaceentry",
                                                     "getinterfacetable",
                                                     "qualifiedclassname",
                                                     "disposeof"};
    return members.count(name) > 0;
  }

  // The number of arguments of a call whose "(" is at i; 0 without one.
  int ArgumentsAt(size_t i) const {
    if (!IsAt(i, "(")) return 0;
    if (IsAt(i + 1, ")")) return 0;
    int depth = 0, count = 1;
    const size_t n = modules_[size_t(module_)]->tokens.size();
    for (size_t k = i; k < n; ++k) {
      const Name t = Text(k);
      if (t == "(" || t == "[") ++depth;
      if (t == ")" || t == "]") {
        if (--depth == 0) return count;
      }
      if (depth == 1 && t == ",") ++count;
      if (t == ";" || t == "begin" || t == "end") break;
    }
    return -1;
  }

  // The innermost class of the method being read; null outside one.
  Sym *MethodClass() const {
    for (size_t f = frames_.size(); f-- > 0;)
      if (frames_[f].kind == Frame::Kind::Members) return frames_[f].type;
    return nullptr;
  }

  // Resolves the name chain at pos_ ("a.b.c", "TFoo(x).Bar", "inherited
  // Foo", "Self.X") and leaves pos_ after its last name. Returns what the
  // chain names, null when unknown.
  Sym *Chain() {
    Sym *cur = nullptr;
    bool known = true;
    if (Is("inherited")) {
      ++pos_;
      Sym *cls = MethodClass();
      if (!IsName(pos_)) return nullptr;
      const size_t at = pos_++;
      if (!cls) return nullptr;
      Sym *parent = Resolved(Resolved(cls) ? Resolved(cls)->ancestor : nullptr);
      if (!parent) return nullptr;
      bool complete = true;
      cur = FindMember(parent, Text(at), ArgumentsAt(pos_), &complete);
      Use(T(at), cur);
    } else if (Text(pos_) == "self" && MethodClass() && !FindLocal("self")) {
      ++pos_;
      cur = MethodClass();
    } else {
      const size_t at = pos_++;
      cur = Lookup(Text(at), ArgumentsAt(pos_));
      Use(T(at), cur);
    }
    for (;;) {
      if (!cur) known = false;
      if (Is("(") || Is("[")) {
        // A type cast keeps the type; a call gives the function's result,
        // an index something we do not follow.
        const bool cast = Is("(") && cur && cur->kind == SymKind::Type;
        const bool call = Is("(") && cur && cur->kind == SymKind::Routine;
        const bool item = Is("[") && cur && cur->kind == SymKind::Property && cur->indexed;
        const size_t close = Closing(pos_);
        Sym *after = cast ? cur : (call || item ? cur->type : nullptr);
        // The arguments are code too.
        ++pos_;
        Expression(close - 1);
        pos_ = close;
        cur = after;
        continue;
      }
      if (Is("^")) {
        ++pos_;
        cur = nullptr;
        continue;
      }
      if (Is(".") && IsName(pos_ + 1)) {
        const size_t at = pos_ + 1;
        pos_ += 2;
        if (!known || !cur) {
          cur = nullptr;
          continue;
        }
        Container c = ContainerOf(cur);
        Sym *next = nullptr;
        if (c.unit) {
          if (const auto *found = c.unit->iface.Find(Text(at)))
            next = Pick(*found, ArgumentsAt(pos_));
        } else if (c.type) {
          bool complete = true;
          next = FindMember(c.type, Text(at), ArgumentsAt(pos_), &complete);
        }
        Use(T(at), next);
        cur = next;
        continue;
      }
      return cur;
    }
  }

  bool FindLocal(Name name) {
    for (size_t f = frames_.size(); f-- > 0;)
      if (frames_[f].kind == Frame::Kind::Plain && frames_[f].scope->Find(name)) return true;
    return false;
  }

  // Resolves every name from pos_ to `end` (exclusive).
  void Expression(size_t end) {
    while (pos_ < end && !AtEnd()) {
      if (IsName(pos_) || Is("inherited")) {
        // A record constant's field label, a named argument: not a use.
        if (IsAt(pos_ + 1, ":") && !IsAt(pos_ + 1, ":=") && labelsAreFields_) {
          pos_ += 2;
          continue;
        }
        const size_t before = pos_;
        Chain();
        if (pos_ == before) ++pos_;
        continue;
      }
      if (Is(".") && IsName(pos_ + 1)) {
        pos_ += 2;  // a member of something we did not follow
        continue;
      }
      ++pos_;
    }
    pos_ = std::max(pos_, end);
  }

  // Where an expression that runs to one of `stops` (at bracket level 0) ends.
  size_t ExpressionEnd(std::initializer_list<Name> stops) const {
    int depth = 0;
    const size_t n = modules_[size_t(module_)]->tokens.size();
    for (size_t k = pos_; k < n; ++k) {
      const Name t = Text(k);
      if (t == "(" || t == "[") ++depth;
      if ((t == ")" || t == "]")) {
        if (depth == 0) return k;
        --depth;
      }
      if (depth == 0) {
        for (Name s : stops)
          if (t == s) return k;
        if (t == "end" || t == "begin" || t == "until" || t == "except" || t == "finally" ||
            t == "else" || t == "implementation" || t == "procedure" || t == "function" ||
            t == "initialization" || t == "finalization")
          return k;
      }
      if (depth > 0 && (t == "begin" || t == "end")) return k;
    }
    return n;
  }

  // ------------------------------------------------------------ statements
  void StatementList() {
    while (!AtEnd()) {
      if (Is("end") || Is("until") || Is("except") || Is("finally") || Is("finalization") ||
          Is("initialization"))
        return;
      if (Is(";")) {
        ++pos_;
        continue;
      }
      const size_t before = pos_;
      Statement();
      if (pos_ == before) ++pos_;
    }
  }

  void Statement() {
    if (AtEnd()) return;
    // A label.
    if ((IsName(pos_) || T(pos_).kind == TokKind::Number) && IsAt(pos_ + 1, ":")) pos_ += 2;
    const Name w = Text(pos_);
    if (w == "begin") {
      ++pos_;
      StatementList();
      Skip("end");
    } else if (w == "asm") {
      while (!AtEnd() && !Is("end")) ++pos_;
      Skip("end");
    } else if (w == "if") {
      ++pos_;
      Expression(ExpressionEnd({"then"}));
      Skip("then");
      if (!Is("else")) Statement();
      if (Is("else")) {
        ++pos_;
        Statement();
      }
    } else if (w == "while" || w == "for") {
      ++pos_;
      Expression(ExpressionEnd({"do"}));
      Skip("do");
      Statement();
    } else if (w == "repeat") {
      ++pos_;
      StatementList();
      if (Is("until")) {
        ++pos_;
        Expression(ExpressionEnd({";"}));
      }
    } else if (w == "case") {
      ++pos_;
      Expression(ExpressionEnd({"of"}));
      Skip("of");
      while (!AtEnd() && !Is("end")) {
        if (Is("else") || Is("otherwise")) {
          ++pos_;
          StatementList();
          break;
        }
        if (Is(";")) {
          ++pos_;
          continue;
        }
        const size_t before = pos_;
        Expression(ExpressionEnd({":"}));
        Skip(":");
        Statement();
        if (pos_ == before) ++pos_;
      }
      Skip("end");
    } else if (w == "try") {
      ++pos_;
      StatementList();
      if (Is("finally")) {
        ++pos_;
        StatementList();
      } else if (Is("except")) {
        ++pos_;
        ExceptPart();
      }
      Skip("end");
    } else if (w == "with") {
      ++pos_;
      WithStatement();
    } else if (w == "goto") {
      SkipSimple();
    } else {
      const size_t end = ExpressionEnd({";"});
      if (w == "raise") ++pos_;
      Expression(end);
    }
  }

  void SkipSimple() { pos_ = ExpressionEnd({";"}); }

  void ExceptPart() {
    while (!AtEnd() && !Is("end")) {
      if (Is(";")) {
        ++pos_;
        continue;
      }
      if (Is("on")) {
        ++pos_;
        Scope *scope = NewScope();
        Sym *var = nullptr;
        if (IsName(pos_) && IsAt(pos_ + 1, ":")) {
          var = NewSym(SymKind::Var, &T(pos_));
          pos_ += 2;
        }
        Sym *type = IsName(pos_) ? Chain() : nullptr;
        if (var) {
          var->type = type;
          scope->Add(var);
        }
        Skip("do");
        frames_.push_back({Frame::Kind::Plain, scope, nullptr});
        Statement();
        frames_.pop_back();
        continue;
      }
      if (Is("else")) {
        ++pos_;
        StatementList();
        return;
      }
      const size_t before = pos_;
      StatementList();
      if (pos_ == before) ++pos_;
    }
  }

  void WithStatement() {
    size_t pushed = 0;
    while (!AtEnd() && !Is("do")) {
      const size_t end = ExpressionEnd({",", "do"});
      Sym *subject = nullptr;
      // "with X do" where X is one name chain whose type the book declares.
      const size_t start = pos_;
      if (IsName(pos_) || Is("self") || Is("inherited")) subject = Chain();
      const bool whole = pos_ == end;
      Expression(end);
      Container c = whole && pos_ == end && start != end ? ContainerOf(subject) : Container();
      if (subject && subject->kind == SymKind::Type && whole) c.type = Resolved(subject);
      if (c.type)
        frames_.push_back({Frame::Kind::WithMembers, nullptr, c.type});
      else
        frames_.push_back({Frame::Kind::Opaque, nullptr, nullptr});
      ++pushed;
      Skip(",");
    }
    Skip("do");
    Statement();
    frames_.resize(frames_.size() - pushed);
  }

  // ------------------------------------------------------------ declarations
  enum class Level { Interface, Implementation, Local, Members };

  void ParseDeclarations(Scope *scope, Level level) {
    while (!AtEnd()) {
      const Name w = Text(pos_);
      if (w == "type") {
        ++pos_;
        TypeSection(scope, level);
      } else if (w == "const" || w == "resourcestring") {
        ++pos_;
        ConstSection(scope, level);
      } else if (w == "var" || w == "threadvar") {
        ++pos_;
        VarSection(scope, level, SymKind::Var);
      } else if (w == "label" || w == "exports") {
        SkipPast(";");
      } else if (w == "uses") {
        (void)ReadUses();
      } else if (IsRoutineWord(pos_) || (w == "class" && IsRoutineWord(pos_ + 1)) ||
                 (w == "generic" && IsRoutineWord(pos_ + 1))) {
        Routine(scope, level);
      } else if (w == "[") {
        pos_ = Closing(pos_);
      } else {
        return;
      }
    }
  }

  bool IsRoutineWord(size_t i) const {
    const Name w = Text(i);
    return w == "procedure" || w == "function" || w == "constructor" || w == "destructor" ||
           w == "operator";
  }

  bool Counts(Level level) const {
    return level == Level::Interface || level == Level::Implementation;
  }

  void TypeSection(Scope *scope, Level level) {
    while (!AtEnd()) {
      if (Is("generic")) ++pos_;
      if (!IsName(pos_) || !(IsAt(pos_ + 1, "=") || IsAt(pos_ + 1, "<"))) return;
      const size_t at = pos_++;
      Scope *params = nullptr;
      if (Is("<")) {
        params = NewScope();
        while (!AtEnd() && !Is(">") && !Is("=")) {
          if (IsName(pos_)) params->Add(NewSym(SymKind::Type, &T(pos_)));
          ++pos_;
        }
        Skip(">");
      }
      if (!Is("=")) {
        SkipPast(";");
        continue;
      }
      ++pos_;
      if (params) frames_.push_back({Frame::Kind::Plain, params, nullptr});
      TypeDeclaration(scope, level, &T(at));
      if (params) frames_.pop_back();
    }
  }

  Sym *DeclareType(Scope *scope, Level level, const Token *name, XrefKind kind) {
    // The full declaration of a class declared "forward" earlier in the same scope.
    if (const auto *found = scope->Find(name->text)) {
      for (Sym *s : *found)
        if (s->forwardType) {
          s->forwardType = false;
          s->name = name;
          s->xkind = kind;
          s->counted = true;
          return s;
        }
    }
    Sym *s = NewSym(SymKind::Type, name);
    s->xkind = kind;
    s->counted = Counts(level) || level == Level::Members;
    if (level == Level::Members && scope->owner) s->owner = OwnerName(scope->owner);
    scope->Add(s);
    return s;
  }

  QByteArray OwnerName(Sym *owner) {
    QByteArray n;
    if (!owner->owner.isEmpty()) n = owner->owner + '.';
    const Token *t = owner->name;
    if (!t) return n;
    const QByteArray &lower = files_[size_t(t->file)].lower;
    (void)lower;
    return n + OriginalText(*t);
  }

  QByteArray OriginalText(const Token &t) {
    // The name as the file spells it: the lowered text sits at the same
    // place as the original bytes.
    auto &cache = originals_[t.file];
    if (cache.isEmpty()) cache = ReadSourceFile(files_[size_t(t.file)].path).bytes;
    const qsizetype offset = t.text.data() - files_[size_t(t.file)].lower.constData();
    if (offset < 0 || offset + qsizetype(t.text.size()) > cache.size())
      return QByteArray(t.text.data(), qsizetype(t.text.size()));
    return cache.mid(offset, qsizetype(t.text.size()));
  }

  void TypeDeclaration(Scope *scope, Level level, const Token *name) {
    Skip("type");
    Skip("packed");
    if (Is("class") || Is("object") || Is("interface") || Is("dispinterface") || Is("record")) {
      const bool isRecord = Is("record");
      const bool isClass = Is("class") || Is("interface") || Is("dispinterface");
      ++pos_;
      if (isClass && (Is(";"))) {
        // "TFoo = class;": declared in full later on.
        if (!scope->Find(name->text)) {
          Sym *s = NewSym(SymKind::Type, name);
          s->forwardType = true;
          s->xkind = XrefKind::Class;
          scope->Add(s);
        }
        ++pos_;
        return;
      }
      if (isClass && Is("of")) {
        ++pos_;
        Sym *s = DeclareType(scope, level, name, XrefKind::Type);
        s->type = Chain();
        SkipPast(";");
        return;
      }
      const bool helper = Is("helper");
      Sym *s = DeclareType(scope, level, name, isRecord ? XrefKind::Record : XrefKind::Class);
      s->members = NewScope();
      s->members->owner = s;
      if (helper) {
        // Helpers add members to another type; looking in them is left out.
        s->members = nullptr;
        ++pos_;
      }
      while (Is("abstract") || Is("sealed")) ++pos_;
      s->ancestryLeavesBook = !isRecord;
      if (Is("(")) {
        ++pos_;
        bool first = true;
        while (!AtEnd() && !Is(")")) {
          if (IsName(pos_)) {
            Sym *a = Chain();
            if (first) {
              s->ancestor = a;
              s->ancestryLeavesBook = !Resolved(a);
            }
            first = false;
            if (Is("<")) pos_ = SkipAngles(pos_);
          } else {
            ++pos_;
          }
        }
        Skip(")");
      } else if (Text(pos_ - 1) == "object") {
        s->ancestryLeavesBook = false;
      }
      if (Is("for")) {
        ++pos_;
        Chain();
      }
      if (Is(";")) {  // "TFoo = class(TBar);"
        ++pos_;
        return;
      }
      if (Is("[")) pos_ = Closing(pos_);  // an interface's GUID
      Scope *members = s->members ? s->members : NewScope();
      members->owner = s;
      Members(members, isRecord);
      Skip("end");
      HintsAndSemicolon();
      return;
    }
    if (Is("(")) {
      Sym *s = DeclareType(scope, level, name, XrefKind::Enumeration);
      (void)s;
      ++pos_;
      while (!AtEnd() && !Is(")")) {
        if (IsName(pos_)) {
          Sym *v = NewSym(SymKind::EnumValue, &T(pos_));
          scope->Add(v);
          ++pos_;
          if (Is("=") || Is(":=")) {
            ++pos_;
            Expression(ExpressionEnd({",", ")"}));
          }
        } else {
          ++pos_;
        }
      }
      Skip(")");
      HintsAndSemicolon();
      return;
    }
    if (IsRoutineWord(pos_) || Is("reference")) {
      Sym *s = DeclareType(scope, level, name, XrefKind::Type);
      (void)s;
      ProceduralType();
      return;
    }
    Sym *s = DeclareType(scope, level, name, XrefKind::Type);
    s->type = TypeExpression({";"});
    HintsAndSemicolon();
  }

  size_t SkipAngles(size_t i) const {
    int depth = 0;
    const size_t n = modules_[size_t(module_)]->tokens.size();
    for (size_t k = i; k < n; ++k) {
      if (Text(k) == "<") ++depth;
      if (Text(k) == ">" && --depth == 0) return k + 1;
      if (Text(k) == ";") return k;
    }
    return n;
  }

  // "procedure(a: T) of object", "reference to function: T", "... is nested":
  // the parameters name nothing outside, the result type ends at a stop.
  void ProceduralSignature(std::initializer_list<Name> resultStops) {
    if (Is("reference")) pos_ += 2;
    const bool function = Is("function");
    ++pos_;
    Scope dummy;
    Parameters(&dummy, nullptr);
    if (function && Is(":")) {
      ++pos_;
      TypeExpression(resultStops);
    }
    if (Is("of")) pos_ += 2;
    if (Is("is")) pos_ += 2;
  }

  // "procedure(a: T) of object; cdecl;" after the "=" of a type.
  void ProceduralType() {
    ProceduralSignature({";", "of"});
    Skip(";");
    while (RoutineDirectives().count(Text(pos_)) && !IsAt(pos_ + 1, ":") && !IsAt(pos_ + 1, ",") &&
           !IsAt(pos_ + 1, "=")) {
      SkipPast(";");
    }
  }

  // A type written where it is used: the named type it is (null when it is
  // none the book declares); a record or enumeration written in place gets
  // a type of its own.
  Sym *TypeExpression(std::initializer_list<Name> stops) {
    if (Is("packed")) ++pos_;
    if (Is("record") || Is("object")) {
      Sym *s = NewSym(SymKind::Type, nullptr);
      s->members = NewScope();
      s->members->owner = s;
      ++pos_;
      Members(s->members, true);
      Skip("end");
      return s;
    }
    if (Is("(")) {
      // The values of an enumeration written in place are no declarations
      // the book links to: they are stepped over.
      while (!AtEnd() && !Is(")")) ++pos_;
      Skip(")");
      return nullptr;
    }
    if (IsRoutineWord(pos_) || Is("reference")) {
      ProceduralSignature({";", "of", ")", "="});
      return nullptr;
    }
    if (Is("specialize")) ++pos_;
    const size_t end = ExpressionEnd(stops);
    Sym *named = nullptr;
    if (IsName(pos_)) {
      const size_t start = pos_;
      named = Chain();
      if (Is("<")) {
        pos_ = SkipAnglesResolving(pos_);
        named = nullptr;
      }
      if (pos_ != end || start == end) named = nullptr;
    }
    // "string[20]", "array of X", "set of X", "^X", "1..9": every name in
    // it is a use.
    const bool before = labelsAreFields_;
    labelsAreFields_ = false;
    Expression(end);
    labelsAreFields_ = before;
    return named && named->kind == SymKind::Type ? named : nullptr;
  }

  size_t SkipAnglesResolving(size_t i) {
    const size_t end = SkipAngles(i);
    pos_ = i + 1;
    Expression(end > 0 ? end - 1 : end);
    return end;
  }

  void HintsAndSemicolon() {
    while (Is("deprecated") || Is("platform") || Is("experimental") || Is("unimplemented") ||
           Is("library")) {
      ++pos_;
      if (!AtEnd() && T(pos_).kind == TokKind::String) ++pos_;
    }
    Skip(";");
  }

  // The members of a class, object, interface or record up to its "end".
  void Members(Scope *members, bool isRecord) {
    Sym *owner = members->owner;
    // Inside the declaration the class's own and inherited names are known.
    if (owner && owner->members == members)
      frames_.push_back({Frame::Kind::Members, nullptr, owner});
    else
      frames_.push_back({Frame::Kind::Plain, members, nullptr});
    while (!AtEnd() && !Is("end")) {
      const Name w = Text(pos_);
      const size_t before = pos_;
      if (w == "private" || w == "protected" || w == "public" || w == "published" ||
          w == "automated" || w == "strict") {
        ++pos_;
      } else if (w == "[") {
        pos_ = Closing(pos_);
      } else if (w == "class" || w == "static") {
        ++pos_;
      } else if (w == "type") {
        ++pos_;
        TypeSection(members, Level::Members);
      } else if (w == "const") {
        ++pos_;
        ConstSection(members, Level::Members);
      } else if (w == "var" || w == "threadvar") {
        ++pos_;
        VarSection(members, Level::Members, SymKind::Field);
      } else if (IsRoutineWord(pos_) || w == "generic") {
        Skip("generic");
        Method(members, owner);
      } else if (w == "property") {
        Property(members, owner);
      } else if (w == "case" && isRecord) {
        VariantPart(members);
      } else if (IsName(pos_)) {
        FieldList(members, SymKind::Field);
      } else {
        ++pos_;
      }
      if (pos_ == before) ++pos_;
    }
    frames_.pop_back();
  }

  void VariantPart(Scope *members) {
    ++pos_;  // case
    if (IsName(pos_) && IsAt(pos_ + 1, ":")) {
      Sym *tag = NewSym(SymKind::Field, &T(pos_));
      members->Add(tag);
      pos_ += 2;
    }
    TypeExpression({"of"});
    Skip("of");
    while (!AtEnd() && !Is("end") && !Is(")")) {
      Expression(ExpressionEnd({":"}));
      Skip(":");
      if (!Is("(")) break;
      ++pos_;
      while (!AtEnd() && !Is(")")) {
        const size_t before = pos_;
        if (Is("case"))
          VariantPart(members);
        else if (IsName(pos_))
          FieldList(members, SymKind::Field);
        else
          ++pos_;
        if (pos_ == before) ++pos_;
      }
      Skip(")");
      Skip(";");
    }
  }

  // "a, b: T;" of a class, record or var section.
  void FieldList(Scope *scope, SymKind kind, Level level = Level::Members) {
    std::vector<Sym *> names;
    while (IsName(pos_)) {
      Sym *s = NewSym(kind, &T(pos_));
      if (kind == SymKind::Var && Counts(level)) {
        s->counted = true;
        s->xkind = XrefKind::Variable;
      }
      names.push_back(s);
      ++pos_;
      if (!Is(",")) break;
      ++pos_;
    }
    if (!Is(":")) {
      SkipPast(";");
      for (Sym *s : names) scope->Add(s);
      return;
    }
    ++pos_;
    Sym *type = TypeExpression({";", "=", "absolute", "end"});
    for (Sym *s : names) s->type = type;
    if (Is("=") || Is("absolute")) {
      ++pos_;
      ValueExpression();
    }
    // The names are known only after their declaration.
    for (Sym *s : names) scope->Add(s);
    HintsAndSemicolon();
    // "cvar; external;" after a variable; in a class "public" starts a section.
    while (kind == SymKind::Var &&
           (Is("cvar") || Is("external") ||
            ((Is("public") || Is("export")) && (IsAt(pos_ + 1, ";") || IsAt(pos_ + 1, "name")))) &&
           !IsAt(pos_ + 1, ":") && !IsAt(pos_ + 1, ","))
      SkipPast(";");
  }

  void ValueExpression() {
    const bool before = labelsAreFields_;
    labelsAreFields_ = true;
    Expression(ExpressionEnd({";"}));
    labelsAreFields_ = before;
  }

  void VarSection(Scope *scope, Level level, SymKind kind) {
    while (IsName(pos_) && !IsRoutineWord(pos_)) {
      const size_t before = pos_;
      FieldList(scope, kind, level);
      if (pos_ == before) break;
    }
  }

  void ConstSection(Scope *scope, Level level) {
    while (IsName(pos_) && (IsAt(pos_ + 1, "=") || IsAt(pos_ + 1, ":"))) {
      Sym *s = NewSym(SymKind::Const, &T(pos_));
      s->counted = Counts(level);
      s->xkind = XrefKind::Constant;
      ++pos_;
      if (Is(":")) {
        ++pos_;
        s->type = TypeExpression({"=", ";"});
      }
      if (Is("=")) {
        ++pos_;
        ValueExpression();
      }
      scope->Add(s);
      HintsAndSemicolon();
    }
  }

  void Property(Scope *members, Sym *owner) {
    ++pos_;
    if (!IsName(pos_)) {
      SkipPast(";");
      return;
    }
    Sym *s = NewSym(SymKind::Property, &T(pos_));
    ++pos_;
    if (Is("[")) {
      s->indexed = true;
      Scope dummy;
      ++pos_;
      ParameterGroups(&dummy, nullptr, "]");
    }
    if (Is(":")) {
      ++pos_;
      s->type = TypeExpression(
          {";", "read", "write", "index", "default", "stored", "implements", "nodefault"});
    } else if (owner) {
      // A property raised to a new visibility keeps its ancestor's type.
      bool complete = true;
      if (Sym *a = FindMember(Resolved(owner->ancestor), s->name->text, -1, &complete))
        s->type = a->type;
    }
    // "read GetX write SetX index 3 default 0 stored False": names of the class.
    const size_t end = ExpressionEnd({";"});
    Expression(end);
    Skip(";");
    if (Is("default") && IsAt(pos_ + 1, ";")) pos_ += 2;
    HintsAndSemicolon();
    members->Add(s);
  }

  // A parameter list at "(" (or none): its names go into `scope`; the count
  // and the types' text into `routine`.
  void Parameters(Scope *scope, Sym *routine) {
    if (!Is("(")) return;
    ++pos_;
    ParameterGroups(scope, routine, ")");
  }

  void ParameterGroups(Scope *scope, Sym *routine, Name close) {
    int count = 0, required = 0;
    std::string signature;
    while (!AtEnd() && !Is(close)) {
      if (Is(";")) {
        ++pos_;
        continue;
      }
      while (Is("const") || Is("var") || Is("out") || Is("constref") || Is("[")) {
        if (Is("["))
          pos_ = Closing(pos_);
        else
          ++pos_;
      }
      std::vector<Sym *> names;
      while (IsName(pos_)) {
        names.push_back(NewSym(SymKind::Param, &T(pos_)));
        ++pos_;
        if (!Is(",")) break;
        ++pos_;
      }
      Sym *type = nullptr;
      const size_t typeStart = pos_;
      if (Is(":")) {
        ++pos_;
        if (Is("array") && IsAt(pos_ + 1, "of")) {
          pos_ += 2;
          if (Is("const"))
            ++pos_;
          else
            TypeExpression({";", close, "="});
        } else {
          type = TypeExpression({";", close, "="});
        }
      }
      std::string typeText;
      for (size_t k = typeStart; k < pos_; ++k) typeText += std::string(Text(k)) + ' ';
      bool defaulted = false;
      if (Is("=")) {
        defaulted = true;
        ++pos_;
        Expression(ExpressionEnd({";", close}));
      }
      for (Sym *s : names) {
        s->type = type;
        scope->Add(s);
        ++count;
        if (!defaulted) ++required;
        signature += typeText + ';';
      }
      if (names.empty() && !Is(";") && !Is(close)) ++pos_;
    }
    Skip(close);
    if (routine) {
      routine->maxParams = count;
      routine->minParams = required;
      routine->signature = signature;
    }
  }

  XrefKind RoutineKind(Name w) const {
    if (w == "function") return XrefKind::Function;
    if (w == "constructor") return XrefKind::Constructor;
    if (w == "destructor") return XrefKind::Destructor;
    if (w == "operator") return XrefKind::Operator;
    return XrefKind::Procedure;
  }

  // A heading from its kind word to the end of its directives. `scope`
  // receives its parameters; returns whether it ends in "forward" or
  // "external" (no body follows).
  struct Heading {
    XrefKind kind = XrefKind::Procedure;
    std::vector<size_t> nameParts;  // "TFoo.Bar": TFoo, Bar
    bool noBody = false;
    Sym *result = nullptr;
  };
  Heading ReadHeading(Sym *routine, Scope *params) {
    Heading h;
    Skip("class");
    Skip("generic");
    h.kind = RoutineKind(Text(pos_));
    ++pos_;
    // The name: "Foo", "TFoo.Bar", "TList<T>.Add", or an operator's sign.
    if (h.kind == XrefKind::Operator && !IsName(pos_)) {
      h.nameParts.push_back(pos_++);
    } else {
      while (!AtEnd()) {
        if (T(pos_).kind == TokKind::Ident)
          h.nameParts.push_back(pos_++);
        else
          break;
        if (Is("<")) pos_ = SkipAngles(pos_);
        if (Is(".") && T(pos_ + 1).kind == TokKind::Ident) {
          ++pos_;
          continue;
        }
        break;
      }
    }
    headingParts_ = h.nameParts;
    Parameters(params, routine);
    if (Is(":")) {
      ++pos_;
      // An operator's result may be named: "operator +(a, b: T) r: T".
      if (IsName(pos_) && IsAt(pos_ + 1, ":")) pos_ += 2;
      h.result = TypeExpression({";"});
    } else if (h.kind == XrefKind::Operator && IsName(pos_) && IsAt(pos_ + 1, ":")) {
      pos_ += 2;
      h.result = TypeExpression({";"});
    }
    Skip(";");
    while (!AtEnd()) {
      const Name w = Text(pos_);
      if (w == "[") {
        pos_ = Closing(pos_);
        Skip(";");
        continue;
      }
      if (!RoutineDirectives().count(w) || IsAt(pos_ + 1, ":") || IsAt(pos_ + 1, ",") ||
          IsAt(pos_ + 1, "=") || IsAt(pos_ + 1, ":="))
        break;
      if (w == "forward" || w == "external") h.noBody = true;
      const size_t end = ExpressionEnd({";"});
      pos_ = end;
      Skip(";");
    }
    return h;
  }

  void Method(Scope *members, Sym *owner) {
    const Token *kindTok = &T(pos_);
    (void)kindTok;
    Sym *s = NewSym(SymKind::Routine, nullptr);
    Scope params;
    Heading h = ReadHeading(s, &params);
    if (h.nameParts.empty()) return;
    s->name = &T(h.nameParts.back());
    s->xkind = h.kind;
    s->counted = true;
    s->type = h.result;
    if (owner) s->owner = OwnerName(owner);
    members->Add(s);
  }

  void Routine(Scope *scope, Level level) {
    Sym *s = NewSym(SymKind::Routine, nullptr);
    Scope *params = NewScope();
    // A method's heading reads its parameter types among its class's names.
    const size_t start = pos_;
    size_t probe = pos_;
    if (IsAt(probe, "class") || IsAt(probe, "generic")) ++probe;
    ++probe;
    Sym *cls = nullptr;
    std::vector<size_t> qualifiers;
    while (T(probe).kind == TokKind::Ident && IsAt(probe + 1, ".") &&
           T(probe + 2).kind == TokKind::Ident && level != Level::Interface) {
      qualifiers.push_back(probe);
      probe += 2;
    }
    if (!qualifiers.empty()) {
      // The class, then the classes nested in it.
      Sym *c = Lookup(Text(qualifiers.front()), -1);
      Use(T(qualifiers.front()), c);
      c = Resolved(c);
      for (size_t q = 1; q < qualifiers.size() && c; ++q) {
        bool complete = true;
        Sym *inner = FindMember(c, Text(qualifiers[q]), -1, &complete);
        Use(T(qualifiers[q]), inner);
        c = Resolved(inner);
      }
      cls = c;
    }
    pos_ = start;
    if (cls) frames_.push_back({Frame::Kind::Members, nullptr, cls});
    // The qualifiers were looked up above; the heading must not count them again.
    const size_t usesBefore = uses_.size();
    Heading h = ReadHeading(s, params);
    if (!qualifiers.empty()) {
      // Drop uses the heading recorded for its qualifiers a second time.
      std::vector<std::pair<const Token *, Sym *>> kept;
      for (size_t u = usesBefore; u < uses_.size(); ++u) {
        bool qualifier = false;
        for (size_t q : qualifiers) qualifier = qualifier || uses_[u].first == &T(q);
        if (!qualifier) kept.push_back(uses_[u]);
      }
      uses_.resize(usesBefore);
      uses_.insert(uses_.end(), kept.begin(), kept.end());
    }
    if (h.nameParts.empty()) {
      if (cls) frames_.pop_back();
      return;
    }
    const Token *nameTok = &T(h.nameParts.back());
    s->name = nameTok;
    s->xkind = h.kind;
    s->type = h.result;
    // The declaration this heading implements: a method of its class, or a
    // routine of the interface or declared "forward".
    Sym *declared = nullptr;
    if (!qualifiers.empty()) {
      if (cls && cls->members) declared = Match(*cls->members, s, nameTok->text);
    } else if (level != Level::Interface) {
      declared = Match(*scope, s, nameTok->text);
      if (!declared && level == Level::Implementation)
        declared = Match(M().iface, s, nameTok->text);
    }
    Sym *routine = declared ? declared : s;
    if (declared) {
      if (!h.noBody) {
        declared->hasBody = true;
        declared->body = nameTok;
      }
      if (declared->type == nullptr) declared->type = h.result;
    } else if (qualifiers.empty()) {
      s->counted = true;
      if (!h.noBody && level != Level::Interface) {
        s->hasBody = true;
        s->body = nameTok;
      }
      scope->Add(s);
    }
    if (level == Level::Interface || h.noBody) {
      if (cls) frames_.pop_back();
      return;
    }
    // The body: parameters and the result, then locals and nested routines.
    if (h.kind == XrefKind::Function || h.kind == XrefKind::Operator) {
      Sym *result = NewSym(SymKind::Var, nullptr);
      static const Token kResult{"result", 0, 0, 0, 0, TokKind::Ident};
      result->name = &kResult;
      result->type = routine->type ? routine->type : h.result;
      params->Add(result);
    }
    frames_.push_back({Frame::Kind::Plain, params, nullptr});
    ParseDeclarations(params, Level::Local);
    if (Is("begin")) {
      ++pos_;
      StatementList();
      Skip("end");
    } else if (Is("asm")) {
      while (!AtEnd() && !Is("end")) ++pos_;
      Skip("end");
    }
    Skip(";");
    frames_.pop_back();
    if (cls) frames_.pop_back();
  }

  // The routine of `scope` named `name` that the heading of `s` implements:
  // same parameter types, or the only one without a body when the heading
  // leaves its parameters out.
  Sym *Match(Scope &scope, Sym *s, Name name) {
    const auto *found = scope.Find(name);
    if (!found) return nullptr;
    Sym *byCount = nullptr;
    int open = 0;
    for (Sym *c : *found) {
      if (c->kind != SymKind::Routine || c->hasBody) continue;
      ++open;
      if (c->signature == s->signature) return c;
      if (c->maxParams == s->maxParams && !byCount) byCount = c;
    }
    if (s->maxParams == 0 && s->signature.empty() && open == 1) {
      for (Sym *c : *found)
        if (c->kind == SymKind::Routine && !c->hasBody) return c;
    }
    return byCount;
  }

  // ------------------------------------------------------------ result
  XrefPlace PlaceOf(const Token &t) const { return {t.file, t.line, t.column, t.ordinal}; }

  CrossReferences Finish() {
    CrossReferences &r = result_;
    for (const FileText &f : files_) r.files << f.path;
    for (auto &owned : syms_) {
      Sym *s = owned.get();
      if (!s->counted || !s->name || s->forwardType) continue;
      if (s->kind == SymKind::Unit && !s->name) continue;
      XrefDeclaration d;
      d.place = PlaceOf(*s->name);
      d.kind = s->xkind;
      d.name = OriginalText(*s->name);
      d.owner = s->owner;
      d.parameters = s->kind == SymKind::Routine ? s->maxParams : -1;
      d.module = -1;
      s->decl = int(r.declarations.size());
      r.declarations.push_back(d);
      if (s->kind == SymKind::Routine && s->body && s->body != s->name) {
        XrefDeclaration b = d;
        b.place = PlaceOf(*s->body);
        b.declaredAt = s->decl;
        s->bodyDecl = int(r.declarations.size());
        r.declarations[size_t(s->decl)].body = s->bodyDecl;
        r.declarations.push_back(b);
      }
    }
    for (auto &owned : syms_) {
      Sym *s = owned.get();
      if (s->decl < 0) continue;
      Sym *unit = modules_[size_t(s->module)]->unit;
      const int m = unit->decl >= 0 ? unit->decl : s->decl;
      r.declarations[size_t(s->decl)].module = m;
      if (s->bodyDecl >= 0) r.declarations[size_t(s->bodyDecl)].module = m;
    }
    // A use at a declaration's own name (a heading read twice) is none.
    for (const auto &[token, sym] : uses_) {
      if (sym->decl < 0 || token == sym->name || token == sym->body) continue;
      XrefUse u;
      u.place = PlaceOf(*token);
      u.length = int(token->text.size());
      u.declaration = sym->decl;
      r.uses.push_back(u);
    }
    std::sort(r.uses.begin(), r.uses.end(), [](const XrefUse &a, const XrefUse &b) {
      return std::tie(a.place.file, a.place.line, a.place.column) <
             std::tie(b.place.file, b.place.line, b.place.column);
    });
    r.uses.erase(std::unique(r.uses.begin(), r.uses.end(),
                             [](const XrefUse &a, const XrefUse &b) {
                               return a.place.file == b.place.file &&
                                      a.place.line == b.place.line &&
                                      a.place.column == b.place.column;
                             }),
                 r.uses.end());
    return std::move(result_);
  }

  const QStringList &folders_;
  FileFinder finder_;
  std::deque<FileText> files_;
  QHash<QString, int> fileIndex_;
  QHash<int, QByteArray> originals_;
  std::vector<bool> nestOf_;
  std::vector<std::unique_ptr<Module>> modules_;
  std::unordered_map<Name, int> moduleByName_;
  std::vector<std::unique_ptr<Sym>> syms_;
  std::vector<std::unique_ptr<Scope>> scopes_;
  std::vector<std::pair<const Token *, Sym *>> uses_;
  std::vector<Frame> frames_;
  std::vector<size_t> headingParts_;
  CrossReferences result_;
  int module_ = 0;
  size_t pos_ = 0;
  bool inImpl_ = false;
  bool labelsAreFields_ = false;
};

}  // namespace

CrossReferences ResolveCrossReferences(const QStringList &modules,
                                       const QStringList &includeFolders,
                                       const QString &projectPath) {
  Resolver resolver(modules, includeFolders, projectPath);
  return resolver.Run();
}

}  // namespace scrivane
