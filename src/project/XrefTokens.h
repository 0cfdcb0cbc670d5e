#pragma once
// The words of Pascal source as the cross-reference resolver reads them:
// tokens cut from a module and the include files it brings in, after the
// conditional compilation the compiler would follow.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "project/SourceFile.h"

namespace scrivane {

class FileFinder;

namespace xref {

// A word of the source as it is spelt there. Pascal ignores the case of
// names and keywords, so words compare and hash without it: the resolver
// reads the file's own bytes and keeps no lowered copy of a book's text.
class Name {
 public:
  constexpr Name() = default;
  constexpr Name(const char *text) : view_(text) {}
  constexpr Name(std::string_view view) : view_(view) {}
  constexpr Name(const char *data, size_t size) : view_(data, size) {}

  static constexpr char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; }
  const char *data() const { return view_.data(); }
  size_t size() const { return view_.size(); }
  bool empty() const { return view_.empty(); }
  char operator[](size_t i) const { return view_[i]; }
  char front() const { return view_.front(); }
  char back() const { return view_.back(); }
  Name substr(size_t from, size_t count = std::string_view::npos) const {
    return view_.substr(from, count);
  }
  void remove_suffix(size_t count) { view_.remove_suffix(count); }
  // The word in lower case, as a key of the conditions' defines and of
  // a routine's signature.
  std::string Lower() const {
    std::string s(view_);
    for (char &c : s) c = Fold(c);
    return s;
  }
  friend bool operator==(Name a, Name b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (Fold(a.view_[i]) != Fold(b.view_[i])) return false;
    return true;
  }
  // The n (below 8) bytes at p as the low bytes of a word, the rest 0:
  // what a copy of n bytes gives, without calling one.
  static uint64_t Tail(const char *p, size_t n) {
    if (n >= 4) {
      uint32_t lo, hi;
      std::memcpy(&lo, p, 4);
      std::memcpy(&hi, p + n - 4, 4);
      return uint64_t(lo) | uint64_t(hi) << (8 * (n - 4));
    }
    if (n >= 2) {
      uint16_t lo, hi;
      std::memcpy(&lo, p, 2);
      std::memcpy(&hi, p + n - 2, 2);
      return uint64_t(lo) | uint64_t(hi) << (8 * (n - 2));
    }
    return n ? uint64_t(static_cast<unsigned char>(*p)) : 0;
  }

 private:
  std::string_view view_;
};

// Setting each byte's 0x20 bit lowers a letter and leaves the other
// characters of a name as they are: the hash of a word is its lower case's.
struct NameHash {
  size_t operator()(Name name) const {
    const char *p = name.data();
    size_t n = name.size();
    uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    while (n >= 8) {
      uint64_t w;
      std::memcpy(&w, p, 8);
      h = (h ^ (w | 0x2020202020202020ull)) * 0xFF51AFD7ED558CCDull;
      h ^= h >> 29;
      p += 8;
      n -= 8;
    }
    uint64_t w = Name::Tail(p, n);
    w |= 0x2020202020202020ull >> (8 * (8 - n)) * (n > 0);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
    return size_t(h ^ (h >> 32));
  }
};
template <class Value>
using NameMap = std::unordered_map<Name, Value, NameHash>;

// A fixed set of words (reserved words, directives, the run-time
// library's type names), asked about for nearly every identifier read:
// open addressing, mostly empty, so that a word not in it is told after
// one or two looks, with no node to follow.
class NameSet {
 public:
  NameSet(std::initializer_list<Name> names) {
    size_t size = 16;
    while (size < 4 * names.size()) size *= 2;
    slots_.resize(size);
    mask_ = size - 1;
    for (const Name name : names) {
      size_t i = NameHash{}(name)&mask_;
      while (!slots_[i].empty() && !(slots_[i] == name)) i = (i + 1) & mask_;
      slots_[i] = name;
    }
  }
  size_t count(Name name) const {
    if (name.empty()) return 0;
    for (size_t i = NameHash{}(name)&mask_;; i = (i + 1) & mask_) {
      const Name &slot = slots_[i];
      if (slot.empty()) return 0;
      if (slot == name) return 1;
    }
  }

 private:
  std::vector<Name> slots_;  // an empty name: a free slot
  size_t mask_ = 0;
};

// What a resolver's scopes hold, by name: looked up far more often than
// added to, and mostly missed (a name is looked for in each scope from
// the innermost out). Open addressing over slots that keep a part of each
// name's hash, so that a miss seldom reads a name; the entries in blocks
// that never move, since what a scope holds is pointed at from elsewhere.
// A table of a few names is searched in order, without slots: a routine's
// parameters and locals, a small class's members.
// find() gives the entry (its `first` the name, `second` the value) or
// end(), null.
template <class Value>
class NameTable {
 public:
  struct Entry {
    Name first;
    Value second;
  };
  NameTable() = default;
  NameTable(NameTable &&) noexcept = default;
  NameTable &operator=(NameTable &&) noexcept = default;

  size_t size() const { return count_; }
  Entry *end() const { return nullptr; }
  Entry *find(Name name) const {
    if (!slots_) {
      for (size_t i = 0; i < count_; ++i)
        if (blocks_[0][i].first == name) return &blocks_[0][i];
      return nullptr;
    }
    const size_t hash = NameHash{}(name);
    const auto part = uint32_t(hash);
    for (size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const uint64_t slot = slots_[i];
      if (slot == 0) return nullptr;
      if (uint32_t(slot >> 32) == part) {
        Entry &e = At(uint32_t(slot) - 1);
        if (e.first == name) return &e;
      }
    }
  }
  Value &operator[](Name name) {
    if (Entry *e = find(name)) return e->second;
    return Add(name).second;
  }
  // Each entry in the order added.
  template <class F>
  void forEach(F f) const {
    for (size_t i = 0; i < count_; ++i) {
      const Entry &e = At(i);
      f(e.first, e.second);
    }
  }

 private:
  // Blocks of 8, 16, ... 256 entries, then of 256 each: a unit's
  // interface of a few thousand names leaves little of a block unused.
  static constexpr size_t kFirstBlock = 8, kLastBlock = 256, kGrowingBlocks = 6;
  static constexpr size_t kGrowing =
      2 * kLastBlock - kFirstBlock;  // entries before the first last-size block
  static size_t BlockOf(size_t i) {
    if (i >= kGrowing) return kGrowingBlocks + (i - kGrowing) / kLastBlock;
    return size_t(std::bit_width(i / kFirstBlock + 1)) - 1;
  }
  static size_t BlockStart(size_t b) {
    if (b >= kGrowingBlocks) return kGrowing + (b - kGrowingBlocks) * kLastBlock;
    return kFirstBlock * ((size_t(1) << b) - 1);
  }
  Entry &At(size_t i) const {
    if (i < kFirstBlock) return blocks_[0][i];
    const size_t b = BlockOf(i);
    return blocks_[b][i - BlockStart(b)];
  }
  Entry &Add(Name name) {
    const size_t i = count_;
    const size_t b = BlockOf(i);
    if (b == blocks_.size())
      blocks_.push_back(
          std::make_unique<Entry[]>(b < kGrowingBlocks ? kFirstBlock << b : kLastBlock));
    Entry &e = At(i);
    e.first = name;
    ++count_;
    if (slots_) {
      if (2 * count_ > mask_ + 1) {
        Rehash(2 * (mask_ + 1));
      } else {
        Place(NameHash{}(name), i);
      }
    } else if (count_ > kFirstBlock) {
      Rehash(4 * kFirstBlock);
    }
    return e;
  }
  void Place(size_t hash, size_t index) {
    size_t at = hash & mask_;
    while (slots_[at] != 0) at = (at + 1) & mask_;
    slots_[at] = uint64_t(uint32_t(hash)) << 32 | uint64_t(index + 1);
  }
  void Rehash(size_t size) {
    slots_ = std::make_unique<uint64_t[]>(size);
    mask_ = size - 1;
    for (size_t i = 0; i < count_; ++i) Place(NameHash{}(At(i).first), i);
  }
  std::vector<std::unique_ptr<Entry[]>> blocks_;
  std::unique_ptr<uint64_t[]> slots_;  // hash << 32 | index + 1; 0: free
  size_t mask_ = 0;
  size_t count_ = 0;
};

enum class TokKind : unsigned char { Ident, Symbol, Number, String };

struct Token {
  Name text;  // as spelt in the file
  int file = 0;
  int line = 0;
  int column = 0;
  int ordinal = 0;
  TokKind kind = TokKind::Symbol;
  bool reserved = false;  // an identifier that is a reserved word, never a name
  // Read from a macro's text: it stands where the macro's name is spelt,
  // which is not its own name.
  bool macro = false;
};

// Words that are never names. "on", "at", "out", "read" and the other
// directives are names the code may use, so they are not here.
const NameSet &ReservedWords();
// Words after a routine heading that say how it is called or built; a
// field of a class may be named like one, so a word followed by ":" or ","
// is not taken as one.
const NameSet &RoutineDirectives();

// What each byte is to the tokeniser, looked up once per byte it reads.
enum CharClass : unsigned char {
  kIdentStart = 1,  // a letter or "_"
  kIdentChar = 2,   // ... or a digit
  kBlank = 4,       // " ", tab, form feed, NUL
  kLineEnd = 8,     // CR, LF
  kBraceStop = 16,  // where a brace comment may end, nest or break a line: "}", "{", CR, LF
};
inline constexpr auto kCharClasses = [] {
  std::array<unsigned char, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    const bool digit = c >= '0' && c <= '9';
    classes[size_t(c)] = (letter ? kIdentStart : 0) | (letter || digit ? kIdentChar : 0) |
                         (c == ' ' || c == '\t' || c == '\f' || c == 0 ? kBlank : 0) |
                         (c == '\r' || c == '\n' ? kLineEnd : 0) |
                         (c == '}' || c == '{' || c == '\r' || c == '\n' ? kBraceStop : 0);
  }
  return classes;
}();
inline bool IsClass(char c, CharClass cls) {
  return kCharClasses[static_cast<unsigned char>(c)] & cls;
}
inline bool IsIdentStart(char c) { return IsClass(c, kIdentStart); }
inline bool IsIdentChar(char c) { return IsClass(c, kIdentChar); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct FileText {
  QString path;
  MappedSourceFile source;  // source.text: the file's bytes
};

// ---------------------------------------------------------------- reading

// Conditional compilation as Free Pascal 3.2 on x86-64 Linux reads it;
// "{$IF expr}" that cannot be told is taken as true, its "{$ELSE}" not.
class Conditions {
 public:
  bool Active() const { return stack_.empty() || stack_.back().active; }
  // Follows one directive (its text without the braces and "$"); true when
  // it was a conditional one.
  bool Follow(Name name, Name arg) {
    if (name == "ifdef" || name == "ifndef" || name == "if" || name == "ifopt") {
      bool value = true;
      if (name == "ifdef") value = Defined(FirstWord(arg).Lower());
      if (name == "ifndef") value = !Defined(FirstWord(arg).Lower());
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
    if (name == "define") {
      std::string word = FirstWord(arg).Lower();
      undefined_.erase(word);
      defines_.insert(std::move(word));
    }
    if (name == "undef") {
      std::string word = FirstWord(arg).Lower();
      defines_.erase(word);
      if (BuiltIn().count(word)) undefined_.insert(std::move(word));
    }
    return name == "define" || name == "undef";
  }

 private:
  // What fpc 3.2.2 defines there itself ("fpc -va" lists them): made once,
  // not for each module read (77 strings for each of a book's modules).
  static const std::unordered_set<std::string> &BuiltIn() {
    static const std::unordered_set<std::string> words = [] {
      std::unordered_set<std::string> made;
      for (const QByteArray &d : QByteArray(kBuiltIn).split(' '))
        if (!d.isEmpty()) made.insert(d.toStdString());
      return made;
    }();
    return words;
  }
  bool Defined(const std::string &word) const {
    return defines_.count(word) > 0 || (BuiltIn().count(word) > 0 && undefined_.count(word) == 0);
  }
  static constexpr const char *kBuiltIn =
      "console cpu64 cpuamd64 cpuathlon64 cpuint64 cpux64 cpux86_64 cpux86_has_cmov "
      "cpux86_has_sse2 cpux86_has_sseunit endian_little fpc fpc_abi_default "
      "fpc_dynarraycopy_fixed fpc_has_cextended fpc_has_constref fpc_has_cpstring "
      "fpc_has_feature_ansistrings fpc_has_feature_classes fpc_has_feature_commandargs "
      "fpc_has_feature_consoleio fpc_has_feature_dynarrays fpc_has_feature_dynlibs "
      "fpc_has_feature_exceptions fpc_has_feature_exitcode fpc_has_feature_fileio "
      "fpc_has_feature_heap fpc_has_feature_initfinal fpc_has_feature_objectivec1 "
      "fpc_has_feature_objects fpc_has_feature_processes fpc_has_feature_random "
      "fpc_has_feature_resources fpc_has_feature_rtti fpc_has_feature_softfpu "
      "fpc_has_feature_stackcheck fpc_has_feature_support fpc_has_feature_textio "
      "fpc_has_feature_threading fpc_has_feature_unicodestrings fpc_has_feature_variants "
      "fpc_has_feature_widestrings fpc_has_indirect_entry_information "
      "fpc_has_internal_abs_int64 fpc_has_internal_abs_long fpc_has_internal_bsf "
      "fpc_has_internal_bsr fpc_has_internal_rox fpc_has_internal_sar fpc_has_membar "
      "fpc_has_operator_enumerator fpc_has_resstrinits fpc_has_rip_relative "
      "fpc_has_type_double fpc_has_type_extended fpc_has_type_single fpc_has_unicodestring "
      "fpc_has_winlikeresources fpc_link_static fpc_little_endian fpc_rtti_packset1 "
      "fpc_setbase_used fpc_staticripfixed fpc_variantcopy_fixed "
      "fpc_widestring_equal_unicodestring fpusse64 hasunix internal_backtrace linux "
      "regcall str_concat_procs unix ver3 ver3_2 ver3_2_2 fpc_objfpc hasamiga_false_never ";
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
    depth_ = 0;
    return Or(e, at);
  }
  int depth_ = 0;  // brackets open in the condition being evaluated
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
    bool negated = false;
    while (Word(e, at, "not")) negated = !negated;
    return Atom(e, at) != negated;
  }
  bool Atom(Name e, size_t &at) {
    Blanks(e, at);
    if (at < e.size() && e[at] == '(') {
      // Brackets nested deeper than any condition is written: the rest is
      // taken as true, as what is not evaluated is, rather than overflow
      // the stack (200,000 of them did).
      if (depth_ >= 64) {
        at = e.size();
        return true;
      }
      ++at;
      ++depth_;
      const bool v = Or(e, at);
      --depth_;
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
      const bool v = Defined(e.substr(at, j - at).Lower());
      at = j;
      Blanks(e, at);
      if (at < e.size() && e[at] == ')') ++at;
      return undefined ? !v : v;
    }
    if (const int v = VersionTest(e, at); v >= 0) return v == 1;
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
  // fpc's version macros against a number ("FPC_FULLVERSION >= 30002"):
  // 1 or 0, and `at` past it; -1 and `at` as it was for anything else.
  int VersionTest(Name e, size_t &at) {
    size_t i = at;
    Blanks(e, i);
    size_t j = i;
    while (j < e.size() && IsIdentChar(e[j])) ++j;
    const std::string word = e.substr(i, j - i).Lower();
    long have = -1;
    if (word == "fpc_fullversion") have = 30202;
    if (word == "fpc_version") have = 3;
    if (word == "fpc_release" || word == "fpc_patch") have = 2;
    if (have < 0) return -1;
    Blanks(e, j);
    size_t k = j;
    while (k < e.size() && k < j + 2 && (e[k] == '<' || e[k] == '>' || e[k] == '=')) ++k;
    const Name op = e.substr(j, k - j);
    Blanks(e, k);
    long number = 0;
    size_t digits = 0;
    for (; k < e.size() && e[k] >= '0' && e[k] <= '9'; ++k, ++digits)
      number = number * 10 + (e[k] - '0');
    if (digits == 0) return -1;
    int v = -1;
    if (op == "=") v = have == number;
    if (op == "<>") v = have != number;
    if (op == "<") v = have < number;
    if (op == "<=") v = have <= number;
    if (op == ">") v = have > number;
    if (op == ">=") v = have >= number;
    if (v >= 0) at = k;
    return v;
  }
  std::unordered_set<std::string> defines_;    // by the code, past the built-in ones
  std::unordered_set<std::string> undefined_;  // built-in ones the code undefined
  std::vector<Entry> stack_;
};

// Cuts a module and the include files it brings in into tokens, as the
// compiler reads them, one at a time: the resolver asks for them as it
// reads on, and keeps only the few it may still look back at.
class Tokeniser {
 public:
  // files, fileIndex and finder are looked at and changed under filesLock:
  // another module's tokeniser may bring in files at the same time.
  Tokeniser(std::deque<FileText> &files, QHash<QString, int> &fileIndex, const QStringList &folders,
            FileFinder &finder, std::mutex &filesLock, int file, bool nest,
            std::vector<int> &includes)
      : files_(files),
        fileIndex_(fileIndex),
        folders_(folders),
        finder_(finder),
        filesLock_(filesLock),
        nest_(nest),
        includes_(includes) {
    const QByteArrayView text = files[size_t(file)].source.text;
    stack_.push_back({file, text.data(), text.size(), 0, 0, 1, 0, {}, {}, {}});
  }

  // The next token the compiler would read; false at the module's end.
  bool Next(Token &t) {
    while (!stack_.empty())
      if (Step(t) && Active()) return true;
    return false;
  }

 private:
  // Where the reading stands in one file; an include file's text is read
  // on top of the file that names it.
  struct Place {
    int file;
    const char *text;  // the file's bytes
    qsizetype size;
    int depth;
    qsizetype at;
    int line;
    qsizetype lineStart;
    // Ordinals: the names met so far on the current line; past the first
    // few, how often each was met (a line of 200,000 names, compared each
    // with all before it, took minutes).
    std::vector<Name> lineNames;
    NameMap<int> lineCounts;
    QString canonical;  // an include file's path, while it is being read
    // A macro's text ("{$define _TElfHdr_:=TElf32Hdr}") read in place of
    // its name: its tokens stand where the name does.
    bool macro = false;
    int macroLine = 0, macroColumn = 0, macroOrdinal = 0;
  };
  // Reads the innermost file to its next token (true), or past one
  // directive or to its end (false).
  bool Step(Token &t);

  bool Active() const { return conditions_.Active(); }

  void Directive(int file, int depth, Name body, Name whole);
  // "{$define X:=Y}" makes X a macro, "{$undef X}" ends it.
  void NoteMacro(bool define, Name arg);

  std::deque<FileText> &files_;
  QHash<QString, int> &fileIndex_;
  const QStringList &folders_;
  FileFinder &finder_;
  std::mutex &filesLock_;
  bool nest_ = false;
  std::vector<int> &includes_;  // each include file read, in order
  Conditions conditions_;
  const NameSet &reserved_ = ReservedWords();
  QSet<QString> active_;
  std::vector<Place> stack_;
  NameMap<Name> macros_;  // name -> its text, both in the files' bytes
  int macroDepth_ = 0;    // macros being read within one another
  // Macros read since the last token of a file, and in all: "{$define
  // A:=B B} {$define B:=A A}" would double the text at each depth.
  int macrosSinceText_ = 0;
  int macrosRead_ = 0;
};

}  // namespace xref
}  // namespace scrivane
