#include "project/CrossReferences.h"

#include <QFileInfo>
#include <algorithm>
#include <tuple>
#include <unordered_map>

#include "platform/Paths.h"
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

CrossReferences Resolver::Run() {
  for (size_t m = 0; m < modules_.size(); ++m) ParseInterface(int(m));
  for (size_t m = 0; m < modules_.size(); ++m) ParseImplementation(int(m));
  return Finish();
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
size_t Resolver::Closing(size_t i) const {
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

Sym *Resolver::NewSym(SymKind kind, const Token *name) {
  syms_.push_back(std::make_unique<Sym>());
  Sym *s = syms_.back().get();
  s->kind = kind;
  s->name = name;
  s->module = module_;
  return s;
}

Scope *Resolver::NewScope() {
  scopes_.push_back(std::make_unique<Scope>());
  return scopes_.back().get();
}

void Resolver::Use(const Token &t, Sym *sym) {
  // A class declared forward counts once its full declaration comes.
  if (sym && (sym->counted || sym->forwardType)) uses_.push_back({&t, sym});
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

std::vector<UsesEntry> Resolver::ReadUses() {
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

QByteArray Resolver::OwnerName(Sym *owner) {
  QByteArray n;
  if (!owner->owner.isEmpty()) n = owner->owner + '.';
  const Token *t = owner->name;
  if (!t) return n;
  const QByteArray &lower = files_[size_t(t->file)].lower;
  (void)lower;
  return n + OriginalText(*t);
}

QByteArray Resolver::OriginalText(const Token &t) {
  // The name as the file spells it: the lowered text sits at the same
  // place as the original bytes.
  auto &cache = originals_[t.file];
  if (cache.isEmpty()) cache = ReadSourceFile(files_[size_t(t.file)].path).bytes;
  const qsizetype offset = t.text.data() - files_[size_t(t.file)].lower.constData();
  if (offset < 0 || offset + qsizetype(t.text.size()) > cache.size())
    return QByteArray(t.text.data(), qsizetype(t.text.size()));
  return cache.mid(offset, qsizetype(t.text.size()));
}

CrossReferences Resolver::Finish() {
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
                             return a.place.file == b.place.file && a.place.line == b.place.line &&
                                    a.place.column == b.place.column;
                           }),
               r.uses.end());
  return std::move(result_);
}

}  // namespace xref

CrossReferences ResolveCrossReferences(const QStringList &modules,
                                       const QStringList &includeFolders,
                                       const QString &projectPath) {
  xref::Resolver resolver(modules, includeFolders, projectPath);
  return resolver.Run();
}

}  // namespace scrivane