#include "project/XrefResolver.h"

namespace scrivane::xref {

// Routine headings, their parameters, and the bodies that follow them.

// A parameter list at "(" (or none): its names go into `scope`; the count
// and the types' text into `routine`.
void Resolver::Parameters(Scope *scope, Sym *routine) {
  if (!Is("(")) return;
  ++pos_;
  ParameterGroups(scope, routine, ")");
}

std::vector<Sym *> Resolver::NameList(SymKind kind) {
  std::vector<Sym *> names;
  while (IsName(pos_)) {
    names.push_back(NewSym(kind, &T(pos_)));
    ++pos_;
    if (!Is(",")) break;
    ++pos_;
  }
  return names;
}

void Resolver::ParameterGroups(Scope *scope, Sym *routine, Name close) {
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
    const std::vector<Sym *> names = NameList(SymKind::Param);
    Sym *type = nullptr;
    const size_t typeStart = pos_;
    if (Is(":")) {
      ++pos_;
      if (Is("array") && IsAt(pos_ + 1, "of")) {
        pos_ += 2;
        if (Is("const")) {
          ++pos_;
        } else if (Sym *element = TypeExpression({";", close, "="})) {
          // "subs[r]" is a value of the element type, which an overload
          // may take.
          type = NewSym(SymKind::Type, nullptr);
          type->element = element;
        }
      } else {
        type = TypeExpression({";", close, "="});
      }
    }
    std::string typeText;
    for (size_t k = typeStart; k < pos_; ++k) typeText += Text(k).Lower() + ' ';
    bool defaulted = false;
    if (Is("=")) {
      defaulted = true;
      ++pos_;
      Expression(ExpressionEnd({";", close}));
    }
    // An open array is told apart from every type with a name.
    const KeptName typeName = !IsAt(typeStart, ":")          ? KeptName()
                              : IsAt(typeStart + 1, "array") ? Keep(kOpenArray)
                                                             : TypeNameOf(typeStart + 1, pos_);
    for (Sym *s : names) {
      s->type = type;
      s->signature = typeName;
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
    routine->signature = Keep(std::string_view(signature));
  }
}

XrefKind Resolver::RoutineKind(Name w) const {
  if (w == "function") return XrefKind::Function;
  if (w == "constructor") return XrefKind::Constructor;
  if (w == "destructor") return XrefKind::Destructor;
  if (w == "operator") return XrefKind::Operator;
  return XrefKind::Procedure;
}

Resolver::Heading Resolver::ReadHeading(Sym *routine, Scope *params) {
  Heading h;
  const bool ofClass = Is("class");
  Skip("class");
  Skip("generic");
  h.kind = RoutineKind(Text(pos_));
  routine->implicit =
      ofClass && (h.kind == XrefKind::Constructor || h.kind == XrefKind::Destructor);
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
    const size_t typeStart = pos_;
    h.result = TypeExpression({";"});
    h.resultName = TypeNameOf(typeStart, pos_);
    if (!h.resultName.empty()) {
      const std::string withResult =
          std::string(routine->signature.data(), routine->signature.size()) + '|' +
          Name(h.resultName).Lower();
      routine->signature = Keep(std::string_view(withResult));
    }
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
    // "public name 'x';" exports a routine; "public" before anything else
    // opens a class's section, whose fields would be lost.
    if ((w == "public" || w == "export") && !IsAt(pos_ + 1, ";") && !IsAt(pos_ + 1, "name")) break;
    if (w == "forward" || w == "external") h.noBody = true;
    if (w == "overload") h.overload = true;
    // What these directives compute may name the book's constants, and the
    // compiler reads them as it reads any expression: "message WM_FOO",
    // "external LibName name 'x' index Ordinal", "dispid Base + 1".
    if (w == "message" || w == "dispid" || w == "external") {
      ++pos_;
      if (w != "external") Expression(ExpressionEnd({";"}));
      while (w == "external") {
        Expression(ExpressionEnd({";", "name", "index", "delayed"}));
        if (!Is("name") && !Is("index") && !Is("delayed")) break;
        ++pos_;
      }
      Skip(";");
      continue;
    }
    const size_t end = ExpressionEnd({";"});
    pos_ = end;
    Skip(";");
  }
  return h;
}

void Resolver::Method(Scope *members, Sym *owner) {
  const Token *kindTok = &T(pos_);
  (void)kindTok;
  Sym *s = NewSym(SymKind::Routine, nullptr);
  std::vector<Sym *> &made = routineDepth_ > 0 ? localSyms_ : syms_;
  const size_t afterRoutine = made.size();
  Scope params;
  Heading h = ReadHeading(s, &params);
  s->overloaded = h.overload;
  // Only the heading looks its parameters up: a class of 40,000 methods
  // kept a symbol of each parameter to the end.
  size_t kept = afterRoutine;
  for (size_t i = afterRoutine; i < made.size(); ++i) {
    if (made[i]->kind == SymKind::Param)
      symPool_.Release(made[i]);
    else
      made[kept++] = made[i];
  }
  made.resize(kept);
  if (h.nameParts.empty()) return;
  SetName(s, &T(h.nameParts.back()));
  s->xkind = h.kind;
  s->counted = true;
  s->type = h.result;
  if (owner) s->owner = OwnerName(owner);
  members->Add(s);
}

void Resolver::Routine(Scope *scope, Level level) {
  ++routineDepth_;
  ReadRoutine(scope, level);
  if (--routineDepth_ == 0) DropLocals();
}

void Resolver::ReadRoutine(Scope *scope, Level level) {
  const Nested nested(*this);
  Sym *s = NewSym(SymKind::Routine, nullptr);
  Scope *params = NewScope();
  // A method's heading reads its parameter types among its class's names.
  const size_t start = pos_;
  size_t probe = pos_;
  if (IsAt(probe, "class") || IsAt(probe, "generic")) ++probe;
  ++probe;
  Sym *cls = nullptr;
  std::vector<size_t> qualifiers;
  // "TList<T>.TItem.Add": a generic class's parameters come between its
  // name and the dot (read as a routine of its own, the method's calls
  // linked to its body).
  while (T(probe).kind == TokKind::Ident && level != Level::Interface) {
    const size_t dot = IsAt(probe + 1, "<") ? SkipAngles(probe + 1) : probe + 1;
    if (!IsAt(dot, ".") || T(dot + 1).kind != TokKind::Ident) break;
    qualifiers.push_back(probe);
    probe = dot + 1;
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
  s->overloaded = h.overload;
  if (!qualifiers.empty()) {
    // Drop uses the heading recorded for its qualifiers a second time.
    std::vector<XrefUse> kept;
    for (size_t u = usesBefore; u < uses_.size(); ++u) {
      const XrefPlace &at = uses_[u].place;
      bool qualifier = false;
      for (size_t q : qualifiers) {
        const Token &t = T(q);
        qualifier = qualifier || (at.file == t.file && at.line == t.line && at.column == t.column);
      }
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
  SetName(s, nameTok);
  s->xkind = h.kind;
  s->type = h.result;
  // The declaration this heading implements: a method of its class, or a
  // routine of the interface or declared "forward".
  Sym *declared = nullptr;
  if (!qualifiers.empty()) {
    if (cls && cls->members && MayChange(cls)) declared = Match(*cls->members, s, nameTok->text);
  } else if (level != Level::Interface) {
    declared = Match(*scope, s, nameTok->text);
    if (!declared && level == Level::Implementation) declared = Match(M().iface, s, nameTok->text);
  }
  Sym *routine = declared ? declared : s;
  if (declared) {
    if (!h.noBody) {
      declared->hasBody = true;
      declared->SetBody(nameTok);
    }
    // A type made inside the heading goes with the routine's locals.
    const bool lasts = !h.result || !h.result->local || declared->local;
    // Other modules may look at the type of what the interface declared.
    if (declared->type == nullptr && lasts && h.result && MayChange(nullptr))
      declared->type = h.result;
  } else if (qualifiers.empty()) {
    s->counted = true;
    if (!h.noBody && level != Level::Interface) {
      s->hasBody = true;
      s->SetBody(nameTok);
    }
    scope->Add(s);
  }
  if (level == Level::Interface || h.noBody) {
    if (cls) frames_.pop_back();
    return;
  }
  // The body: parameters and the result, then locals and nested routines.
  if (h.kind == XrefKind::Function || h.kind == XrefKind::Operator) {
    Sym *result = AddResult(params);
    result->type = routine->type ? routine->type : h.result;
    result->signature = h.resultName;
  }
  openRoutines_.push_back(routine);
  RoutineBody(params);
  Skip(";");
  openRoutines_.pop_back();
  if (cls) frames_.pop_back();
}

Sym *Resolver::AddResult(Scope *params) {
  Sym *result = NewSym(SymKind::Var, nullptr);
  static const Token kResult{"result", 0, 0, 0, 0, TokKind::Ident};
  SetName(result, &kResult);
  params->Add(result);
  return result;
}

void Resolver::RoutineBody(Scope *params) {
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
  frames_.pop_back();
}

// The routine of `scope` named `name` that the heading of `s` implements:
// same parameter types, or the only one without a body when the heading
// leaves its parameters out.
Sym *Resolver::Match(Scope &scope, Sym *s, Name name) {
  const auto it = scope.names.find(name);
  if (it == scope.names.end()) return nullptr;
  Scope::Named &found = it->second;
  auto waiting = [](const Sym *c) { return c->kind == SymKind::Routine && !c->hasBody; };
  while (found.firstOpen < found.size() && !waiting(found[found.firstOpen])) ++found.firstOpen;
  const auto from = found.begin() + std::ptrdiff_t(found.firstOpen);
  Sym *byCount = nullptr;
  int open = 0;
  for (auto c = from; c != found.end(); ++c) {
    if (!waiting(*c)) continue;
    ++open;
    if ((*c)->signature == s->signature) return *c;
    if ((*c)->maxParams == s->maxParams && !byCount) byCount = *c;
  }
  if (s->maxParams == 0 && s->signature.empty() && open == 1) {
    for (auto c = from; c != found.end(); ++c)
      if (waiting(*c)) return *c;
  }
  return byCount;
}

}  // namespace scrivane::xref
