#include "project/CrossReferences.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <exception>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "platform/Paths.h"
#include "platform/ShortRunHeap.h"
#include "project/IncludeFiles.h"
#include "project/Readers.h"
#include "project/SourceFile.h"
#include "project/SourceLexer.h"
#include "project/XrefResolver.h"

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

namespace xref {

Resolver::Resolver(const QStringList &modules, const QStringList &folders,
                   const QString &projectPath)
    : ownBook_(std::make_unique<SharedBook>(folders)),
      book_(*ownBook_),
      folders_(book_.folders),
      finder_(book_.finder),
      files_(book_.files),
      fileIndex_(book_.fileIndex),
      nestOf_(book_.nestOf),
      modules_(book_.modules),
      moduleByName_(book_.moduleByName) {
  for (const QString &path : modules) {
    MappedSourceFile read = MapSourceFile(path);
    if (read.file.status != SourceStatus::Ok) {
      result_.problems << SourceFileMessage(read.file, path);
      continue;
    }
    const QString canonical =
        QFileInfo(read.file.diskPath.isEmpty() ? path : read.file.diskPath).absoluteFilePath();
    if (fileIndex_.contains(canonical)) continue;
    const int index = int(files_.size());
    files_.push_back({canonical, std::move(read)});
    fileIndex_.insert(canonical, index);
    auto module = std::make_unique<Module>();
    module->file = index;
    nestOf_.push_back(CommentsNestByDefault(canonical, projectPath));
    modules_.push_back(std::move(module));
  }
  for (size_t m = 0; m < modules_.size(); ++m) {
    Module &module = *modules_[m];
    module.tokens.Start(std::make_unique<Tokeniser>(files_, fileIndex_, folders_, finder_,
                                                    book_.filesLock, module.file, nestOf_[m],
                                                    module.includes));
    ReadName(module, int(m));
  }
}

Resolver::Resolver(Resolver &main, Helper)
    : book_(main.book_),
      folders_(book_.folders),
      finder_(book_.finder),
      files_(book_.files),
      fileIndex_(book_.fileIndex),
      nestOf_(book_.nestOf),
      modules_(book_.modules),
      moduleByName_(book_.moduleByName),
      serials_(main.serials_),
      nextImplementation_(main.nextImplementation_),
      mustReadAlone_(main.mustReadAlone_) {}

Resolver::~Resolver() = default;

std::optional<CrossReferences> Resolver::Run(bool together) {
  for (size_t m = 0; m < modules_.size(); ++m) ParseInterface(int(m));
  book_.IndexInterfaces();
  if (together && modules_.size() > 1 && std::thread::hardware_concurrency() > 1) {
    if (!ReadImplementationsTogether()) return std::nullopt;
  } else {
    for (size_t m = 0; m < modules_.size(); ++m) ParseImplementation(int(m));
  }
  return Finish();
}

bool Resolver::MayChange(const Sym *owner) {
  if (!mustReadAlone_ || (owner && owner->module == module_)) return true;
  mustReadAlone_->store(true);
  return false;
}

void Resolver::ReadImplementationsTaken() {
  for (;;) {
    const size_t m = nextImplementation_->fetch_add(1);
    if (m >= modules_.size() || mustReadAlone_->load()) return;
    ImplementationPart part;
    part.module = int(m);
    part.serialFrom = serials_;
    part.usesFrom = uses_.size();
    ParseImplementation(int(m));
    part.serialTo = serials_;
    part.usesTo = uses_.size();
    parts_.push_back(part);
  }
}

// Each module's implementation reads only the interfaces, which are all
// read by now, and its own declarations: two resolvers take the modules
// one at a time. The result is the one reading them in order gives: each
// module's symbols are numbered on from the module before it, and its uses
// follow that module's.
bool Resolver::ReadImplementationsTogether() {
  const int base = serials_;
  const size_t usesBase = uses_.size();
  std::atomic<size_t> next{0};
  std::atomic<bool> alone{false};
  nextImplementation_ = &next;
  mustReadAlone_ = &alone;
  helper_.reset(new Resolver(*this, Helper{}));
  std::exception_ptr helperFailed;
  std::thread other([this, &helperFailed] {
    try {
      helper_->ReadImplementationsTaken();
    } catch (...) {
      helperFailed = std::current_exception();
      mustReadAlone_->store(true);
    }
  });
  try {
    ReadImplementationsTaken();
  } catch (...) {
    alone.store(true);
    other.join();
    throw;
  }
  other.join();
  nextImplementation_ = nullptr;
  mustReadAlone_ = nullptr;
  helper_->nextImplementation_ = nullptr;
  helper_->mustReadAlone_ = nullptr;
  if (helperFailed) std::rethrow_exception(helperFailed);
  if (alone.load()) return false;

  // Every module's part in module order, with the resolver that read it.
  struct Taken {
    const ImplementationPart *part;
    Resolver *reader;
    int serialStart;  // its first symbol's serial in the order of modules
  };
  std::vector<Taken> taken;
  for (Resolver *r : {this, helper_.get()})
    for (const ImplementationPart &p : r->parts_) taken.push_back({&p, r, 0});
  std::sort(taken.begin(), taken.end(),
            [](const Taken &a, const Taken &b) { return a.part->module < b.part->module; });
  int serial = base;
  for (Taken &t : taken) {
    t.serialStart = serial;
    serial += t.part->serialTo - t.part->serialFrom;
  }
  // Each reader's parts, by the serials it gave them.
  std::vector<SerialMap::Part> mineParts, helpersParts;
  for (const Taken &t : taken)
    (t.reader == this ? mineParts : helpersParts)
        .push_back({t.part->serialFrom, t.part->serialTo, t.serialStart});
  const SerialMap mine(std::move(mineParts)), helpers(std::move(helpersParts));
  // A serial a reader gave (from base on) in the order of modules.
  auto renumber = [&](Resolver *reader, int given) {
    if (given < base) return given;
    return reader == this ? mine(given) : helpers(given);
  };
  for (Resolver *r : {this, helper_.get()})
    for (Sym *s : r->syms_) s->serial = renumber(r, s->serial);
  std::vector<XrefUse> uses(uses_.begin(), uses_.begin() + std::ptrdiff_t(usesBase));
  for (const Taken &t : taken)
    for (size_t u = t.part->usesFrom; u < t.part->usesTo; ++u) {
      XrefUse use = t.reader->uses_[u];
      use.declaration = renumber(t.reader, use.declaration);
      uses.push_back(use);
    }
  uses_ = std::move(uses);
  // The helper's symbols stay in its pool until the result is made.
  syms_.insert(syms_.end(), helper_->syms_.begin(), helper_->syms_.end());
  helper_->syms_.clear();
  serials_ = serial;
  return true;
}

// Skips to the token after the next ";" at this level of brackets.
void Resolver::SkipPast(Name stop) {
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
void Resolver::NestsTooDeep() const {
  NestedTooDeep deep;
  const Token &at = T(pos_);
  deep.line = at.line;
  const std::lock_guard<std::mutex> lock(book_.filesLock);
  if (at.file >= 0 && size_t(at.file) < files_.size()) deep.path = files_[size_t(at.file)].path;
  throw deep;
}

size_t Resolver::Closing(size_t i) const {
  // Each module numbers its tokens from 0, and a module's interface may
  // be read in the middle of another's.
  auto key = [this](size_t at) { return size_t(module_) << 40 | at; };
  if (const auto known = closings_.find(key(i)); known != closings_.end()) return known->second;
  int depth = 0;
  size_t k = i;
  opens_.clear();
  for (; Has(k); ++k) {
    const Name t = Text(k);
    if (t == "(" || t == "[" || t == "(.") {
      ++depth;
      opens_.push_back(k);
    }
    if (t == ")" || t == "]" || t == ".)") {
      if (!opens_.empty()) {
        closings_.emplace(key(opens_.back()), k + 1);
        opens_.pop_back();
      }
      if (--depth == 0) return k + 1;
    }
  }
  // Brackets never closed (code being written) close at the end: kept,
  // so that each one nested in the others is not looked for to the end again.
  for (const size_t open : opens_) closings_.emplace(key(open), k);
  return k;
}

Sym *Resolver::NewSym(SymKind kind, const Token *name) {
  Sym *s = symPool_.Make();
  (routineDepth_ > 0 ? localSyms_ : syms_).push_back(s);
  s->kind = kind;
  SetName(s, name);
  s->module = module_;
  s->local = routineDepth_ > 0;
  s->serial = serials_++;
  return s;
}

Scope *Resolver::NewScope() {
  auto &pool = routineDepth_ > 0 ? localScopes_ : scopes_;
  pool.push_back(std::make_unique<Scope>());
  return pool.back().get();
}

void Resolver::Use(const Token &t, Sym *sym) {
  // A class declared forward counts once its full declaration comes.
  if (sym && (sym->counted || sym->forwardType) && !t.macro)
    uses_.push_back({PlaceOf(t), int(t.text.size()), sym->serial});
}

void Resolver::DropLocals() {
  // Nothing looks a local symbol up once its routine has ended; a listed
  // one keeps its own place and name for the result, and what it pointed
  // at goes with the rest.
  auto lasting = [](Sym *s) { return s && !s->local ? s : nullptr; };
  for (Sym *s : localSyms_) {
    if (!s->counted) {
      symPool_.Release(s);
      continue;
    }
    s->type = lasting(s->type);
    s->ancestor = lasting(s->ancestor);
    s->element = lasting(s->element);
    s->members = nullptr;
    s->local = false;
    syms_.push_back(s);
  }
  localSyms_.clear();
  localScopes_.clear();
}

// ------------------------------------------------------------ modules
void Resolver::ReadName(Module &m, int index) {
  module_ = index;
  pos_ = 0;
  if (Is("unit") || Is("program") || Is("library") || Is("package")) {
    m.isProgram = !Is("unit");
    ++pos_;
    if (IsName(pos_)) {
      const size_t at = pos_;
      // A dotted unit name ("Acme.Util") is known whole; its last part
      // carries its links.
      while (IsAt(pos_ + 1, ".") && IsName(pos_ + 2)) pos_ += 2;
      m.name = DottedName(at, pos_);
      m.unit = NewSym(SymKind::Unit, &T(pos_));
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

Name Resolver::DottedName(size_t first, size_t last) {
  if (first == last) return Keep(Text(first));
  std::string joined;
  for (size_t k = first; k <= last; k += 2) {
    if (k > first) joined += '.';
    joined.append(Text(k).data(), Text(k).size());
  }
  return Keep(std::string_view(joined));
}

size_t Resolver::DottedUnitAt(size_t at, Sym **unit) {
  Module &m = M();
  // The longest run of names that is a unit's whole name.
  size_t last = at;
  while (IsAt(last + 1, ".") && IsName(last + 2)) last += 2;
  for (; last > at; last -= 2) {
    const Name name = DottedName(at, last);
    if (!m.name.empty() && name == m.name) {
      *unit = m.unit;
      return last;
    }
    for (const std::vector<UsesEntry> *list : {&m.implUses, &m.ifaceUses}) {
      if (list == &m.implUses && !inImpl_) continue;
      for (const UsesEntry &e : *list)
        if (e.name == name) {
          *unit = e.module >= 0 ? modules_[size_t(e.module)]->unit : nullptr;
          return last;
        }
    }
  }
  return at;
}

std::vector<UsesEntry> Resolver::ReadUses() {
  std::vector<UsesEntry> list;
  ++pos_;  // "uses"
  while (!AtEnd() && !Is(";")) {
    if (IsName(pos_)) {
      const size_t at = pos_;
      while (IsAt(pos_ + 1, ".") && IsName(pos_ + 2)) pos_ += 2;
      UsesEntry e;
      e.name = DottedName(at, pos_);
      auto it = moduleByName_.find(e.name);
      if (it != moduleByName_.end() && !modules_[size_t(it->second)]->isProgram) {
        e.module = it->second;
        Use(T(pos_), modules_[size_t(it->second)]->unit);
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

void Resolver::ParseInterface(int index) {
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

void Resolver::ParseImplementation(int index) {
  Module &m = *modules_[size_t(index)];
  if (m.state == Module::State::Done) return;
  m.state = Module::State::Done;
  module_ = index;
  frames_.clear();
  // Nothing of the module read before counts here, however the modules
  // are shared out.
  lastCall_ = 0;
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

KeptName Resolver::OwnerName(Sym *owner) {
  std::string n(owner->owner.data(), owner->owner.size());
  if (!n.empty()) n += '.';
  if (const SymName *t = owner->NamePlace()) n.append(t->text.data(), t->text.size());
  return Keep(std::string_view(n));
}

namespace {
bool SamePlace(const XrefPlace &a, const XrefPlace *b) {
  return b && a.file == b->file && a.line == b->line && a.column == b->column;
}
bool SamePlace(const XrefPlace &a, const SymName *t) { return t && SamePlace(a, &t->at); }
}  // namespace

void Resolver::ForgetLookups() {
  for (auto &m : modules_) {
    m->iface.names = {};
    m->impl.names = {};
  }
  book_.interfaceNames = {};
  for (Resolver *r : {this, helper_.get()}) {
    if (!r) continue;
    std::vector<std::unique_ptr<Scope>>().swap(r->scopes_);
    std::vector<std::unique_ptr<Scope>>().swap(r->localScopes_);
    std::vector<uint32_t>().swap(r->keptSlots_);
    r->keptCount_ = 0;
    std::unordered_map<size_t, size_t>().swap(r->closings_);
  }
}

CrossReferences Resolver::Finish() {
  CrossReferences &r = result_;
  // The files are numbered as the modules read one after another meet
  // them: the modules, then each include file where it first comes in.
  for (auto &m : modules_) m->tokens.Drain();
  // What the scopes held goes back to the system before the declarations
  // are made beside the symbols.
  ForgetLookups();
  ReturnFreedHeapOver(16ul << 20);
  std::vector<int> number(files_.size(), -1);
  int numbered = 0;
  for (auto &m : modules_) number[size_t(m->file)] = numbered++;
  for (auto &m : modules_)
    for (const int f : m->includes)
      if (number[size_t(f)] < 0) number[size_t(f)] = numbered++;
  for (int &n : number)
    if (n < 0) n = numbered++;
  r.files.resize(qsizetype(files_.size()));
  for (size_t f = 0; f < files_.size(); ++f) r.files[number[f]] = files_[f].path;
  auto placeOf = [&](const XrefPlace &at) {
    XrefPlace p = at;
    p.file = number[size_t(p.file)];
    return p;
  };
  // Declarations in the order they were read.
  std::sort(syms_.begin(), syms_.end(),
            [](const auto &a, const auto &b) { return a->serial < b->serial; });
  std::vector<Sym *> bySerial(size_t(serials_), nullptr);
  // Counted first: grown by doubling, the declarations of a unit of
  // 200,000 short routines held 35 MB at the moment of their last move,
  // with every symbol still held beside them.
  auto declares = [](const Sym *s) { return s->counted && s->named && !s->forwardType; };
  auto bodyApart = [](const Sym *s) {
    return s->kind == SymKind::Routine && s->bodied && !SamePlace(s->bodyAt, s->NamePlace());
  };
  // The names, and each owner once (the resolver kept one copy of each),
  // go into one text made to its size.
  size_t count = 0;
  qsizetype textSize = 0;
  auto roomFor = [](size_t size) { return qsizetype(XrefText::Room(size)); };
  std::unordered_map<const char *, XrefText> owners;
  for (const Sym *s : syms_) {
    if (!declares(s)) continue;
    count += bodyApart(s) ? 2 : 1;
    textSize += roomFor(s->nameAt.text.size());
    if (!s->owner.empty() && owners.emplace(s->owner.data(), XrefText()).second)
      textSize += roomFor(s->owner.size());
  }
  r.declarations.reserve(count);
  r.texts = QByteArray(textSize, Qt::Uninitialized);
  char *text = r.texts.data();
  auto copy = [&text](Name name) {
    const XrefText kept(text);
    text = XrefText::Write(text, name.data(), name.size());
    return kept;
  };
  for (Sym *s : syms_) {
    bySerial[size_t(s->serial)] = s;
    if (!declares(s)) continue;
    XrefDeclaration d;
    d.place = placeOf(s->nameAt.at);
    d.kind = s->xkind;
    // Tokens are read from the file's own bytes: the name as it spells it.
    d.name = copy(s->nameAt.text);
    if (!s->owner.empty()) {
      XrefText &owner = owners[s->owner.data()];
      if (owner.isNull()) owner = copy(s->owner);
      d.owner = owner;
    }
    d.parameters = s->kind == SymKind::Routine ? s->maxParams : -1;
    d.module = -1;
    s->decl = int(r.declarations.size());
    r.declarations.push_back(d);
    if (bodyApart(s)) {
      XrefDeclaration b = d;
      b.place = placeOf(s->bodyAt);
      b.declaredAt = s->decl;
      s->bodyDecl = int(r.declarations.size());
      r.declarations[size_t(s->decl)].body = s->bodyDecl;
      r.declarations.push_back(b);
    }
  }
  for (const Sym *s : syms_) {
    if (s->decl < 0) continue;
    Sym *unit = modules_[size_t(s->module)]->unit;
    const int m = unit->decl >= 0 ? unit->decl : s->decl;
    r.declarations[size_t(s->decl)].module = m;
    if (s->bodyDecl >= 0) r.declarations[size_t(s->bodyDecl)].module = m;
  }
  // A use at a declaration's own name (a heading read twice) is none.
  size_t kept = 0;
  for (XrefUse u : uses_) {
    const Sym *sym = bySerial[size_t(u.declaration)];
    if (!sym || sym->decl < 0 || SamePlace(u.place, sym->NamePlace()) ||
        SamePlace(u.place, sym->BodyPlace()))
      continue;
    u.declaration = sym->decl;
    u.place.file = number[size_t(u.place.file)];
    uses_[kept++] = u;
  }
  uses_.resize(kept);
  // The symbols are done with: let go of before the uses are sorted and
  // copied to their size.
  std::vector<Sym *>().swap(bySerial);
  std::vector<Sym *>().swap(syms_);
  for (Resolver *reader : {this, helper_.get()})
    if (reader) reader->symPool_ = {};
  r.uses = std::move(uses_);
  // An include file two units read gives each place a use from each: the
  // one kept is the earlier declaration's, whatever else the book holds
  // (the order of equal places was the sort's, and moved with the rest).
  std::sort(r.uses.begin(), r.uses.end(), [](const XrefUse &a, const XrefUse &b) {
    return std::tie(a.place.file, a.place.line, a.place.column, a.declaration) <
           std::tie(b.place.file, b.place.line, b.place.column, b.declaration);
  });
  r.uses.erase(std::unique(r.uses.begin(), r.uses.end(),
                           [](const XrefUse &a, const XrefUse &b) {
                             return a.place.file == b.place.file && a.place.line == b.place.line &&
                                    a.place.column == b.place.column;
                           }),
               r.uses.end());
  r.uses.shrink_to_fit();
  return std::move(result_);
}

}  // namespace xref

CrossReferences ResolveCrossReferences(const QStringList &modules,
                                       const QStringList &includeFolders,
                                       const QString &projectPath) {
  try {
    {
      xref::Resolver resolver(modules, includeFolders, projectPath);
      if (std::optional<CrossReferences> refs = resolver.Run(true)) return std::move(*refs);
    }
    xref::Resolver alone(modules, includeFolders, projectPath);
    return std::move(*alone.Run(false));
  } catch (const xref::NestedTooDeep &deep) {
    // Nothing is linked rather than some of it: the print goes on without.
    CrossReferences none;
    none.notFollowed = QStringLiteral(
                           "%1:%2: the code nests more than %3 levels deep here, so names are "
                           "not followed: printed without cross references.")
                           .arg(EscapeControlCharacters(deep.path, true))
                           .arg(deep.line)
                           .arg(xref::kMostNesting);
    return none;
  }
}

}  // namespace scrivane