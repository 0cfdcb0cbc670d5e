#pragma once
// The cross-reference resolver: a recursive-descent reading of Pascal that
// keeps the scopes a name is looked up in and records each use of a
// declaration the book counts. Its parts live in CrossReferences.cpp
// (modules and the result), XrefExpressions.cpp (lookup, expressions and
// statements), XrefDeclarations.cpp (types and sections) and
// XrefRoutines.cpp (headings and bodies).
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/Paths.h"
#include "project/CrossReferences.h"
#include "project/XrefOutsideClasses.h"
#include "project/XrefTokens.h"

namespace scrivane::xref {

// Two resolvers read the implementations beside each other, each giving
// serials from the same start; each module's serials are then renumbered
// as if the modules had been read one after another. A reader's part: the
// serials it gave one module [from, to), and where they start in that
// order. Some modules declare nothing: their parts are empty and start
// where the reader's next part starts, so a part is found by its serials,
// never by its start alone (sorted by their start only, such a tie fell
// either way, and a unit's routines took the serials of another's
// constants: a wrong link one run in thirty).
class SerialMap {
 public:
  struct Part {
    int from = 0, to = 0, start = 0;
  };
  explicit SerialMap(std::vector<Part> parts) : parts_(std::move(parts)) {
    std::erase_if(parts_, [](const Part &p) { return p.to <= p.from; });
    std::sort(parts_.begin(), parts_.end(),
              [](const Part &a, const Part &b) { return a.from < b.from; });
  }
  // A serial the reader gave in the order of modules; one no part of the
  // reader holds (read before the implementations) as it is.
  int operator()(int given) const {
    auto after = std::upper_bound(parts_.begin(), parts_.end(), given,
                                  [](int s, const Part &p) { return s < p.from; });
    if (after == parts_.begin()) return given;
    const Part &p = *(after - 1);
    return given < p.to ? p.start + (given - p.from) : given;
  }

 private:
  std::vector<Part> parts_;
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

// A spelling the resolver keeps (Resolver::Keep), compared as Pascal
// compares names.
using KeptName = LengthPrefixedText<Name>;

// A symbol's name as it stands in the source: its place and spelling, not
// the rest of the token it was read from.
// 'x', '''' or #13: one character, which a Char takes.
bool IsCharLiteral(Name text);

struct SymName {
  XrefPlace at;
  KeptName text;
};

// Held for every declaration the book reads until the references are made:
// flags and counts first, so that a unit of 200,000 short routines keeps
// as little as it can for each.
struct Sym {
  SymKind kind = SymKind::Other;
  XrefKind xkind = XrefKind::Type;
  // Bits, not bools: 200,000 routines paid 12 bytes each for them.
  bool counted : 1 = false;  // a declaration the book lists
  // Made while a routine's body was read: dropped when its outermost
  // routine ends, unless it is a declaration the book lists.
  bool local : 1 = false;
  bool ancestryLeavesBook : 1 = false;  // a class whose ancestors are (partly) outside the book
  bool ancestorIsObject : 1 = false;    // ... and the one outside is TObject itself
  bool hasBody : 1 = false;
  bool forwardType : 1 = false;    // "TFoo = class;" until its full declaration
  bool indexed : 1 = false;        // a property with an index: "Items[i]" is of its type
  bool pointer : 1 = false;        // a "^T" type (its `element` is T), not an array
  bool interfaceType : 1 = false;  // an interface, which classes of other lines implement
  bool named : 1 = false;
  bool bodied : 1 = false;
  bool implicit : 1 = false;    // a class constructor or destructor: the program never calls it
  bool generic : 1 = false;     // "TList<T> = class": what "TList<Integer>" names
  bool classOf : 1 = false;     // "class of T" (`type` is T): no alias of T
  bool helper : 1 = false;      // "class helper for T" (`type` is T, `signature` T's name)
  bool set : 1 = false;         // "set of T": only a set, "[...]", goes into it
  bool overloaded : 1 = false;  // a routine declared "overload": others of its name may be outside
  int serial = 0;               // the order of making: the order of the declarations
  int module = 0;
  int minParams = 0;
  int maxParams = 0;
  int decl = -1;
  int bodyDecl = -1;
  // Where a routine's body names it: only the place is asked for, and the
  // name's view was 16 bytes more in each of a unit's 200,000 routines.
  XrefPlace bodyAt;
  // A class whose ancestry leaves the book at a class of the run-time
  // library or the LCL: which one, so that its members are known. Kept in
  // what was padding before `members`.
  OutsideClass outside = kNoOutsideClass;
  Scope *members = nullptr;  // a unit's interface, a class's or record's members
  Sym *ancestor = nullptr;
  Sym *type = nullptr;  // the type of a value, what an alias names, a function's result
  // What a "^T" type points at, what an "array of T" holds; a class's or
  // record's default property, which "List[I]" means.
  Sym *element = nullptr;
  // A routine's parameters' types, lower case, then "|" and its result's
  // type when that is one name; a value's type or what an alias names when
  // that is one name (TypeNameOf).
  KeptName signature;
  KeptName owner;  // a member's class ("TOuter.TInner")
  SymName nameAt;

  // The name where it is declared, or null; a routine's implementation
  // heading, or null.
  const SymName *NamePlace() const { return named ? &nameAt : nullptr; }
  const XrefPlace *BodyPlace() const { return bodied ? &bodyAt : nullptr; }
  // The tokens the resolver reads go once it has passed them: a symbol
  // keeps its place and the kept copy of its spelling.
  void SetName(const Token *t, KeptName text) {
    named = t != nullptr;
    if (t) nameAt = {{t->file, t->line, t->column, t->ordinal}, text};
  }
  void SetBody(const Token *t) {
    bodied = t != nullptr;
    if (t) bodyAt = {t->file, t->line, t->column, t->ordinal};
  }
};

// Symbols come from blocks of their own, apart from the scopes' small
// blocks: once the scopes are let go of, what they held is whole pages the
// system can take back before the declarations are made (a unit of
// 200,000 routines, 30 MiB at the resolver's peak).
class SymPool {
 public:
  Sym *Make() {
    if (!free_.empty()) {
      Sym *s = free_.back();
      free_.pop_back();
      *s = Sym();
      return s;
    }
    if (used_ == kBlock) {
      blocks_.push_back(std::make_unique<Sym[]>(kBlock));
      used_ = 0;
    }
    return &blocks_.back()[used_++];
  }
  // A symbol nothing points at any more: Make gives it out again.
  void Release(Sym *s) { free_.push_back(s); }

 private:
  static constexpr size_t kBlock = 1024;
  std::vector<std::unique_ptr<Sym[]>> blocks_;
  size_t used_ = kBlock;
  std::vector<Sym *> free_;
};

// The symbols of one name in a scope, in the order declared. Most names
// have one, held in place: a list of its own is made for a second only (a
// unit of 200,000 routines paid 32 bytes for each name's list of one).
class SymList {
 public:
  Sym *const *begin() const { return more_ ? more_->data() : &one_; }
  Sym *const *end() const { return begin() + size(); }
  size_t size() const { return more_ ? more_->size() : one_ ? 1 : 0; }
  bool empty() const { return size() == 0; }
  Sym *front() const { return *begin(); }
  Sym *operator[](size_t i) const { return begin()[i]; }
  void push_back(Sym *sym) {
    if (!one_) {
      one_ = sym;
      return;
    }
    if (!more_) more_ = std::make_unique<std::vector<Sym *>>(1, one_);
    more_->push_back(sym);
  }

 private:
  Sym *one_ = nullptr;
  std::unique_ptr<std::vector<Sym *>> more_;
};

struct Scope {
  // The symbols of one name; those before firstOpen are no routine still
  // waiting for its body, and never will be again: a unit declaring one
  // name 100,000 times had each heading look at every one before it.
  struct Named : SymList {
    uint32_t firstOpen = 0;
  };
  NameTable<Named> names;
  Sym *owner = nullptr;  // the class or record whose members these are
  void Add(Sym *sym) {
    if (const SymName *name = sym->NamePlace()) names[name->text].push_back(sym);
  }
  const SymList *Find(Name name) const {
    const auto *found = names.find(name);
    return found ? &found->second : nullptr;
  }
};

struct UsesEntry {
  Name name;
  int module = -1;  // the book's module of that name, -1 for a unit outside the book
};

// The tokens of a module as the resolver reads them: cut when it first
// looks at them, and dropped once it has passed the declaration or the
// statement they belong to, so that a book is never held as tokens whole.
class TokenWindow {
 public:
  void Start(std::unique_ptr<Tokeniser> lexer) { lexer_ = std::move(lexer); }
  // Whether the module has a token i; cuts the tokens up to it.
  bool Has(size_t i) { return i < end_ || CutTo(i); }
  // Null past the end, and for a token already dropped (which the
  // resolver never looks back at).
  const Token *At(size_t i) {
    if (i >= first_ && i < end_) return &tokens_[i - first_];
    return i >= first_ && CutTo(i) ? &tokens_[i - first_] : nullptr;
  }
  // Reads on to the module's end: what follows "end." may still bring in
  // include files.
  void Drain() {
    Token t;
    while (lexer_ && lexer_->Next(t)) {
    }
    lexer_.reset();
  }
  // Tokens are let go of in batches, so that those kept move seldom.
  // The first token kept, null when none is; whether any was dropped.
  const Token *DropBefore(size_t i) {
    if (i <= first_) return nullptr;
    const size_t passed = std::min(i, end_) - first_;
    if (passed < 4096 || passed * 2 < tokens_.size()) return nullptr;
    tokens_.erase(tokens_.begin(), tokens_.begin() + std::ptrdiff_t(passed));
    first_ += passed;
    return tokens_.empty() ? nullptr : &tokens_.front();
  }

 private:
  [[gnu::noinline]] bool CutTo(size_t i) {
    while (i >= end_) {
      // Cut where it is kept, not copied there.
      if (lexer_ && lexer_->Next(tokens_.emplace_back())) {
        ++end_;
        continue;
      }
      if (lexer_) tokens_.pop_back();
      lexer_.reset();
      return false;
    }
    return true;
  }
  std::vector<Token> tokens_;  // token first_ onwards
  size_t first_ = 0;
  size_t end_ = 0;                    // first_ + tokens_.size()
  std::unique_ptr<Tokeniser> lexer_;  // null once the module is read to its end
};

struct Module {
  int file = 0;
  TokenWindow tokens;
  std::vector<int> includes;  // the include files its text brings in, in the order read
  Name name;
  Sym *unit = nullptr;
  Scope iface;
  Scope impl;
  std::vector<UsesEntry> ifaceUses, implUses;
  // Its helpers in the order declared: those of the interface are read
  // before any implementation, those of the implementation only by the
  // resolver that reads it.
  std::vector<Sym *> ifaceHelpers, implHelpers;
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

// The signature of a parameter "array of T": no type's name has a blank.
constexpr const char *kOpenArray = "array of";

// Code nested deeper than this (statements, expressions, routines,
// types) is no code anyone wrote: the book is read without cross
// references rather than overflow the stack.
constexpr int kMostNesting = 400;
// Thrown where the code nests deeper than a resolver follows.
struct NestedTooDeep {
  QString path;
  int line = 0;
};

// What the resolvers of one book share: the files as the modules' tokens
// bring them in, and the modules with their interfaces.
struct SharedBook {
  explicit SharedBook(const QStringList &folders) : folders(folders) {}
  const QStringList &folders;
  FileFinder finder;
  std::deque<FileText> files;
  QHash<QString, int> fileIndex;
  // Held while files, fileIndex or finder change or are looked at, and
  // while a file's read text is let go of: two resolvers may read
  // implementations that bring in the same include file.
  std::mutex filesLock;
  std::vector<bool> nestOf;
  std::vector<std::unique_ptr<Module>> modules;
  NameMap<int> moduleByName;
  // Once every interface is read: each name an interface declares, with
  // the modules that declare it. A name in code not found nearer was
  // looked for in the interface of every unit used, one lookup each;
  // here it is one, and most names of a book's units (those of units
  // outside it, the run-time library's) end there.
  struct Declaring {
    int module;
    const SymList *syms;
  };
  NameTable<std::vector<Declaring>> interfaceNames;
  bool interfacesRead = false;
  // Whether an interface declares a helper: most books have none, and
  // "X.Name" need not look for one.
  bool interfaceHelpers = false;
  void IndexInterfaces() {
    for (size_t m = 0; m < modules.size(); ++m) {
      modules[m]->iface.names.forEach([&](Name name, const Scope::Named &syms) {
        interfaceNames[name].push_back({int(m), &syms});
      });
      interfaceHelpers = interfaceHelpers || !modules[m]->ifaceHelpers.empty();
    }
    interfacesRead = true;
  }
};

class Resolver {
 public:
  Resolver(const QStringList &modules, const QStringList &folders, const QString &projectPath);
  ~Resolver();
  // The book's references. With `together`, the implementations are read
  // by two resolvers at once, each taking the next module not yet taken;
  // nothing when one of them met what the other may have changed (a
  // method body for a class of another module), and the book must be read
  // again one module after another.
  std::optional<CrossReferences> Run(bool together);

 private:
  // ------------------------------------------------------------ plumbing
  // A second resolver for the implementations of `main`'s book: it shares
  // the files and modules, and makes its symbols from main's next serial.
  struct Helper {};
  Resolver(Resolver &main, Helper);
  Module &M() { return *modules_[size_t(module_)]; }
  TokenWindow &Tokens() const { return modules_[size_t(module_)]->tokens; }
  const Token &T(size_t i) const {
    static const Token kEnd{";", 0, 0, 0, 0, TokKind::Symbol};
    const Token *t = Tokens().At(i);
    return t ? *t : kEnd;
  }
  bool Has(size_t i) const { return Tokens().Has(i); }
  bool AtEnd() const { return !Has(pos_); }
  // Lets go of the tokens before pos_: called only where no caller will
  // look back at them (between statements, between declarations).
  // The text before the first token kept goes back to the system too.
  void Passed() {
    // What the brackets passed closed is never asked again.
    if (closings_.size() > 4096) closings_ = {};
    if (const Token *first = Tokens().DropBefore(pos_)) {
      const std::lock_guard<std::mutex> lock(book_.filesLock);
      MappedSourceFile &source = files_[size_t(first->file)].source;
      source.ReleaseBefore(first->text.data() - source.text.data());
    }
  }
  // A copy of a name that outlives the text it was read from.
  KeptName Keep(Name name) {
    const std::string_view view(name.data(), name.size());
    if (2 * (keptCount_ + 1) > keptSlots_.size())
      RehashKept(std::max<size_t>(1024, 2 * keptSlots_.size()));
    const size_t mask = keptSlots_.size() - 1;
    for (size_t i = std::hash<std::string_view>{}(view)&mask;; i = (i + 1) & mask) {
      uint32_t &slot = keptSlots_[i];
      if (slot == kNoText) {
        slot = StoreText(view);
        ++keptCount_;
        return KeptAt(slot);
      }
      if (KeptText(slot) == view) return KeptAt(slot);
    }
  }
  // The spellings are copied one after another into blocks, each after its
  // length: a string of their own cost 32 bytes for each routine's name of
  // a few letters. A spelling is found again by its block and place, four
  // bytes in an open-addressed table: a set of views cost a unit of
  // 200,000 routines 9 MB at the resolver's peak, this one 2 MB.
  static constexpr uint32_t kNoText = ~uint32_t(0);
  static constexpr size_t kKeptBlock = size_t(1) << 16;
  uint32_t StoreText(std::string_view text) {
    const size_t need = KeptName::Room(text.size());
    if (need > keptRoom_) {
      // A block index and a place in it fit in 32 bits, kNoText aside.
      if (keptTexts_.size() >= 0xFFFF) throw std::bad_alloc();
      const size_t size = std::max(need, kKeptBlock);
      keptTexts_.push_back(std::make_unique_for_overwrite<char[]>(size));
      keptNext_ = keptTexts_.back().get();
      keptRoom_ = size;
    }
    char *at = keptNext_;
    const auto handle =
        uint32_t((keptTexts_.size() - 1) << 16 | size_t(at - keptTexts_.back().get()));
    KeptName::Write(at, text.data(), text.size());
    keptNext_ += need;
    keptRoom_ -= need;
    return handle;
  }
  KeptName KeptAt(uint32_t handle) const {
    return KeptName(keptTexts_[handle >> 16].get() + (handle & 0xFFFF));
  }
  std::string_view KeptText(uint32_t handle) const {
    const Name text = KeptAt(handle).view();
    return {text.data(), text.size()};
  }
  void RehashKept(size_t size) {
    std::vector<uint32_t> old(size, kNoText);
    old.swap(keptSlots_);
    const size_t mask = keptSlots_.size() - 1;
    for (const uint32_t handle : old) {
      if (handle == kNoText) continue;
      size_t i = std::hash<std::string_view>{}(KeptText(handle)) & mask;
      while (keptSlots_[i] != kNoText) i = (i + 1) & mask;
      keptSlots_[i] = handle;
    }
  }
  void SetName(Sym *s, const Token *t) { s->SetName(t, t ? Keep(t->text) : KeptName()); }
  Name Text(size_t i) const { return T(i).text; }
  bool Is(Name word) const { return !AtEnd() && Text(pos_) == word; }
  bool IsAt(size_t i, Name word) const { return Text(i) == word; }
  bool IsName(size_t i) const {
    const Token &t = T(i);
    return t.kind == TokKind::Ident && !t.reserved && Has(i);
  }
  void Skip(Name word) {
    if (Is(word)) ++pos_;
  }
  // Skips to the token after the next ";" at this level of brackets.
  void SkipPast(Name stop);
  // The index after the bracket that closes the one at i. Each bracket
  // met on the way has its own noted: "F(F(F(...)))" asked again at every
  // level, and a line of 200,000 brackets took minutes.
  size_t Closing(size_t i) const;
  [[noreturn]] void NestsTooDeep() const;
  mutable std::unordered_map<size_t, size_t> closings_;
  mutable std::vector<size_t> opens_;
  int nesting_ = 0;
  struct Nested {
    explicit Nested(Resolver &r) : r(r) {
      if (++r.nesting_ > kMostNesting) {
        --r.nesting_;
        r.NestsTooDeep();
      }
    }
    ~Nested() { --r.nesting_; }
    Resolver &r;
  };
  Sym *NewSym(SymKind kind, const Token *name);
  Scope *NewScope();
  void Use(const Token &t, Sym *sym);
  // ------------------------------------------------------------ modules
  void ReadName(Module &m, int index);
  std::vector<UsesEntry> ReadUses();
  // "Acme.Util" from the names at first ... last (every other token), kept.
  Name DottedName(size_t first, size_t last);
  // Where the dotted name of this unit or of a unit it uses that starts at
  // `at` ends (its last name), with that unit's symbol (null for a unit
  // outside the book); `at` when none starts there.
  size_t DottedUnitAt(size_t at, Sym **unit);
  void ParseInterface(int index);
  void ParseImplementation(int index);
  // Reading implementations beside another resolver: the modules this one
  // took, each with the serials it gave and the uses it found there.
  struct ImplementationPart {
    int module = 0;
    int serialFrom = 0, serialTo = 0;
    size_t usesFrom = 0, usesTo = 0;
  };
  void ReadImplementationsTaken();
  bool ReadImplementationsTogether();
  // Whether a heading of this module may change what `owner` (a class
  // the heading names; null: a declaration other modules may look at)
  // holds. Reading beside another resolver, only what this module
  // declares and no other module looks at: else the book must be read
  // again in order.
  bool MayChange(const Sym *owner);
  // ------------------------------------------------------------ lookup
  Sym *Pick(const SymList &found, int args);
  // Whether none of the routines found takes `args` arguments: the call
  // is to an overload further out (another unit's), as the compiler finds it.
  static bool NoneTakes(const SymList &found, int args);
  bool ArgumentsFit(const Sym *s, int args);
  bool IsSetAt(size_t at);
  bool TakesValueOf(std::string_view parameterType, Name argument);
  // Of overloads that all take the call's arguments as far as their look
  // tells, the one whose parameters take them best; the first of them when
  // the book cannot tell which.
  Sym *Closest(const std::vector<Sym *> &fitting, int args);
  // What an argument (the tokens from..to) is, as far as the book tells.
  struct ArgumentType {
    // ClassOf: a class of the book named as a value ("CreateElement(TPasVariable, ...)").
    enum class Kind { Unknown, String, Char, Number, Set, Address, Nil, Value, ClassOf };
    Kind kind = Kind::Unknown;
    Sym *type = nullptr;  // a Value's type of the book, past its aliases
    Name name;            // ... or the type from outside the book it names ("string")
  };
  ArgumentType ArgumentAt(size_t from, size_t to);
  // The result type of a call to `routine`, when every overload beside it
  // gives the same one; null otherwise.
  void ResultOf(Sym *routine, Sym *container, ArgumentType &a);
  // 0: a parameter of this type (": name ") cannot take the argument;
  // 1: it may; 2: the argument is a literal of that very type, a value of
  // a type from outside the book of the same name, or of a class derived
  // from the class of the run-time library or the LCL that the parameter
  // names; 3: of a class of the book derived from the parameter's; 4: of
  // that very type. The nearer class fits better, as for the compiler.
  int Takes(std::string_view parameterType, const ArgumentType &argument);
  // A type past its aliases: the book's type, or the name from outside the
  // book an alias ends at ("RegExprString = AnsiString").
  void Unalias(Sym *&type, Name &name);
  // The name a type written from..to is, when it is one name ("Integer",
  // "Classes.TStrings"); empty otherwise. Kept, as a value's signature.
  KeptName TypeNameOf(size_t from, size_t to);
  // "integer", "double", "char" or "string" when the tokens from `from` to
  // `to` are one literal (a number may have a sign); else nothing.
  KeptName LiteralTypeOf(size_t from, size_t to);
  // Where the class's ancestors end, the search found nothing: whether the
  // book knows all of them.
  Sym *FindMember(Sym *type, Name name, int args, bool *complete);
  Sym *LookupFrom(size_t frameCount, Name name, int args, bool *typesOnly);
  Sym *Follow(Sym *cur);
  // A type as far as aliases lead; null when it is no type of the book.
  Sym *Resolved(Sym *s);
  Sym *ElementOf(Sym *s, bool pointer);
  // What "V[i]" gives when V (a value, or a type standing for one after a
  // cast) is of a class or record of the book with a default property,
  // its own or an ancestor's; else null.
  Sym *DefaultItemOf(Sym *s);
  // What "X.Name" looks in when X is `s`: a unit, or a type with members.
  struct Container {
    Module *unit = nullptr;
    Sym *type = nullptr;
  };
  Container ContainerOf(Sym *s);
  // The helper whose members "X.Name" looks in first, X being `s`: the
  // last one in scope for X's type (a class of the book or one of its
  // ancestors, or the type from outside the book it names); null when
  // there is none, or when a unit from outside the book used after the
  // helper's unit may bring in another.
  Sym *HelperOf(Sym *s);
  // HelperOf for the class of a method's frame, asked for every name its
  // members lack: kept for the module and section it was asked in, until a
  // helper is declared.
  Sym *HelperOfClass(Sym *type);
  std::unordered_map<const Sym *, Sym *> classHelpers_;
  int classHelpersModule_ = -1;
  bool classHelpersInImpl_ = false;
  Sym *Lookup(Name name, int args);
  static bool IsObjectMember(Name name);
  // Where a class's ancestors leave the book at a class the table knows
  // (XrefOutsideClasses.h), a name FindMember did not find complete is
  // that class's member for certain.
  bool LeavesAtKnownClass(Sym *type);
  // The class of the type's ancestry that leaves the book; null when none.
  Sym *LeavingClass(Sym *type);
  // What "with X do" looks in when X's type is a class from outside the
  // book the table knows; null for any other X.
  Sym *OutsideTypeOf(const Sym *subject);
  // A type standing for a class of the table, and a value of it: no
  // declaration of the book, so no serial and no pool.
  Sym *OutsideClassType(OutsideClass cls);
  Sym *OutsideClassValue(OutsideClass cls);
  // An indexed property of a class of the table whose items are of class
  // `cls` ("Controls" of "Parent.Controls[I].Name").
  Sym *OutsideItems(OutsideClass cls);
  // The class of the table a value or type is of, when the table holds it.
  Sym *OutsideClassOf(Sym *s);
  // The number of arguments of a call whose "(" is at i; 0 without one.
  int ArgumentsAt(size_t i);
  // The innermost class of the method being read; null outside one.
  Sym *MethodClass() const;
  // Resolves the name chain at pos_ ("a.b.c", "TFoo(x).Bar", "inherited
  // Foo", "Self.X") and leaves pos_ after its last name. Returns what the
  // chain names, null when unknown.
  Sym *Chain();
  bool FindLocal(Name name);
  // Resolves every name from pos_ to `end` (exclusive).
  void Expression(size_t end);
  // Where an expression that runs to one of `stops` (at bracket level 0) ends.
  size_t ExpressionEnd(std::initializer_list<Name> stops) const;
  // ------------------------------------------------------------ statements
  void StatementList();
  void Statement();
  void SkipSimple() { pos_ = ExpressionEnd({";"}); }
  // Delphi's anonymous methods: "procedure"/"function" where a value
  // stands (after ":=", "(", "," or "["), with their own parameters,
  // declarations and body.
  bool IsAnonymousAt(size_t k) const;
  // The index after an anonymous method's final "end" (k: its first
  // word); k + 1 when none ends it.
  size_t AnonymousEnd(size_t k) const;
  void AnonymousMethod();
  // Delphi's inline "var X: T := V;" and "const C = V;" inside statements.
  void InlineDeclaration();
  // Where inline declarations and an anonymous method's names go: the
  // innermost routine's own names.
  Scope *InnermostLocals() const;
  void ExceptPart();
  void WithStatement();
  // ------------------------------------------------------------ declarations
  enum class Level { Interface, Implementation, Local, Members };
  void ParseDeclarations(Scope *scope, Level level);
  bool IsRoutineWord(size_t i) const {
    const Name w = Text(i);
    return w == "procedure" || w == "function" || w == "constructor" || w == "destructor" ||
           w == "operator";
  }
  bool Counts(Level level) const {
    return level == Level::Interface || level == Level::Implementation;
  }
  void TypeSection(Scope *scope, Level level);
  Sym *DeclareType(Scope *scope, Level level, const Token *name, XrefKind kind);
  // "TOuter.TInner" for a member of TInner, kept.
  KeptName OwnerName(Sym *owner);
  void TypeDeclaration(Scope *scope, Level level, const Token *name);
  size_t SkipAngles(size_t i) const;
  // "procedure(a: T) of object", "reference to function: T", "... is nested":
  // the parameters name nothing outside, the result type ends at a stop.
  void ProceduralSignature(std::initializer_list<Name> resultStops);
  // "procedure(a: T) of object; cdecl;" after the "=" of a type.
  void ProceduralType();
  // A type written where it is used: the named type it is (null when it is
  // none the book declares); a record or enumeration written in place gets
  // a type of its own.
  Sym *TypeExpression(std::initializer_list<Name> stops);
  size_t SkipAnglesResolving(size_t i);
  void HintsAndSemicolon();
  // The members of a class, object, interface or record up to its "end".
  // With `dropPassed`, the tokens of each member are let go of once it is
  // read: no caller looks back into a type section's declaration.
  void Members(Scope *members, bool isRecord, bool dropPassed = false);
  void VariantPart(Scope *members);
  // "a, b: T;" of a class, record or var section.
  void FieldList(Scope *scope, SymKind kind, Level level = Level::Members);
  void ValueExpression();
  void VarSection(Scope *scope, Level level, SymKind kind);
  void ConstSection(Scope *scope, Level level);
  void Property(Scope *members, Sym *owner);
  // Of the routines named `name` in `owner` or the nearest ancestor that
  // has one, the one whose parameters spell `parameters`; null when none
  // does or the name is no routine's.
  Sym *AccessorOf(Sym *owner, Name name, std::string_view parameters);
  // A parameter list at "(" (or none): its names go into `scope`; the count
  // and the types' text into `routine`.
  void Parameters(Scope *scope, Sym *routine);
  void ParameterGroups(Scope *scope, Sym *routine, Name close);
  // "a, b, c" from pos_: a new symbol of `kind` for each name, pos_ after them.
  std::vector<Sym *> NameList(SymKind kind);
  XrefKind RoutineKind(Name w) const;
  // A heading from its kind word to the end of its directives. `scope`
  // receives its parameters; returns whether it ends in "forward" or
  // "external" (no body follows).
  struct Heading {
    XrefKind kind = XrefKind::Procedure;
    std::vector<size_t> nameParts;  // "TFoo.Bar": TFoo, Bar
    bool noBody = false;
    bool overload = false;
    Sym *result = nullptr;
    KeptName resultName;  // TypeNameOf the result type
  };
  Heading ReadHeading(Sym *routine, Scope *params);
  void Method(Scope *members, Sym *owner);
  void Routine(Scope *scope, Level level);
  // A function's "Result" among its parameters, its type still to be set.
  Sym *AddResult(Scope *params);
  // A routine's or an anonymous method's locals and nested routines, then
  // its block, its parameters (and Result) in scope.
  void RoutineBody(Scope *params);
  void ReadRoutine(Scope *scope, Level level);
  // Lets go of what the outermost routine's reading made, but for the
  // declarations the book lists.
  void DropLocals();
  // The routine of `scope` named `name` that the heading of `s` implements:
  // same parameter types, or the only one without a body when the heading
  // leaves its parameters out.
  Sym *Match(Scope &scope, Sym *s, Name name);
  // ------------------------------------------------------------ result
  XrefPlace PlaceOf(const Token &t) const { return {t.file, t.line, t.column, t.ordinal}; }
  CrossReferences Finish();
  // Nothing is looked up once every module is read: the scopes, the
  // interfaces' index and the index of the kept spellings go before the
  // declarations are made, at the resolver's peak.
  void ForgetLookups();

  std::unique_ptr<SharedBook> ownBook_;  // null in a helper
  SharedBook &book_;
  const QStringList &folders_;
  FileFinder &finder_;
  std::deque<FileText> &files_;
  // The names symbols, uses clauses and modules keep, each spelling once:
  // a file's text is let go of as it is read.
  std::vector<std::unique_ptr<char[]>> keptTexts_;
  char *keptNext_ = nullptr;
  size_t keptRoom_ = 0;
  std::vector<uint32_t> keptSlots_;  // handles from StoreText; a power of two long
  size_t keptCount_ = 0;
  QHash<QString, int> &fileIndex_;
  std::vector<bool> &nestOf_;
  std::vector<std::unique_ptr<Module>> &modules_;
  NameMap<int> &moduleByName_;
  // What lives as long as the resolver (the declarations of units, types
  // and classes), and what a routine's body made (its parameters, locals
  // and their scopes), dropped when the outermost routine ends.
  SymPool symPool_;
  // What OutsideClassType and OutsideClassValue made, one of each for
  // each class of the table asked for.
  std::deque<Sym> outsideTypes_, outsideValues_, outsideItems_;
  Scope noMembers_;
  std::vector<Sym *> syms_, localSyms_;
  std::vector<std::unique_ptr<Scope>> scopes_, localScopes_;
  int serials_ = 0;
  int routineDepth_ = 0;
  // Each use as it was read; `declaration` holds the serial of its symbol
  // until the declarations are numbered.
  std::vector<XrefUse> uses_;
  std::vector<std::pair<Sym *, Token>> pendingPointers_;  // "^T" before T's declaration
  std::vector<Frame> frames_;
  std::vector<size_t> headingParts_;
  CrossReferences result_;
  int module_ = 0;
  size_t pos_ = 0;
  size_t lastCall_ = 0;  // the "(" of the call whose arguments were last counted
  bool inImpl_ = false;
  bool labelsAreFields_ = false;
  bool declaringGeneric_ = false;  // the type declared next has parameters
  // Set by Pick: what it gives cannot take the call's arguments, as their
  // look tells (ArgumentsFit) or as their types do (Closest).
  enum class Refused { No, ByLook, ByType } refused_ = Refused::No;
  std::vector<Sym *> openRoutines_;  // the routines whose bodies are being read, innermost last
  // Reading implementations beside another resolver: the next module to
  // take (shared by both), whether either met what only one reading in
  // order may change, what this one took, and the helper itself, whose
  // symbols' names stay in its texts until the result is made.
  std::atomic<size_t> *nextImplementation_ = nullptr;
  std::atomic<bool> *mustReadAlone_ = nullptr;
  std::vector<ImplementationPart> parts_;
  std::unique_ptr<Resolver> helper_;
};

}  // namespace scrivane::xref
