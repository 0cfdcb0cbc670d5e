#include "project/SourceFile.h"
#include "project/XrefResolver.h"

namespace scrivane::xref {

// Declaration sections: types, classes and records with their members,
// constants, variables and properties.

void Resolver::ParseDeclarations(Scope *scope, Level level) {
  while (!AtEnd()) {
    Passed();
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

void Resolver::TypeSection(Scope *scope, Level level) {
  const size_t pendingBefore = pendingPointers_.size();
  while (!AtEnd()) {
    // Attributes before a type ("[TestFixture] TTests = class"): they
    // name classes outside the book's declarations, and end no section.
    while (Is("[")) pos_ = Closing(pos_);
    if (Is("generic")) ++pos_;
    if (!IsName(pos_) || !(IsAt(pos_ + 1, "=") || IsAt(pos_ + 1, "<"))) break;
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
    // The name's own copy: reading the declaration cuts more tokens, which
    // may move the window's.
    const Token name = T(at);
    // Known as generic from its start: its members name it ("List: TList<T>").
    declaringGeneric_ = params != nullptr;
    TypeDeclaration(scope, level, &name);
    declaringGeneric_ = false;
    if (params) frames_.pop_back();
  }
  // "PFoo = ^TFoo" may come before TFoo, in the same section.
  for (size_t i = pendingBefore; i < pendingPointers_.size(); ++i) {
    const auto &[pointer, name] = pendingPointers_[i];
    if (const auto *found = scope->Find(name.text))
      for (Sym *t : *found)
        if (t->kind == SymKind::Type) {
          pointer->element = t;
          Use(name, t);
          break;
        }
  }
  pendingPointers_.resize(pendingBefore);
}

Sym *Resolver::DeclareType(Scope *scope, Level level, const Token *name, XrefKind kind) {
  // The full declaration of a class declared "forward" earlier in the same scope.
  if (const auto *found = scope->Find(name->text)) {
    for (Sym *s : *found)
      if (s->forwardType) {
        // "TFoo = class;" names the class declared in full here.
        const SymName forward = s->nameAt;
        s->forwardType = false;
        s->generic = declaringGeneric_;
        declaringGeneric_ = false;
        SetName(s, name);
        s->xkind = kind;
        s->counted = true;
        uses_.push_back({forward.at, int(forward.text.size()), s->serial});
        return s;
      }
  }
  Sym *s = NewSym(SymKind::Type, name);
  s->xkind = kind;
  s->generic = declaringGeneric_;
  declaringGeneric_ = false;
  // A type a routine declares for itself counts too: its uses there link
  // to it ("Default(TInferredType)", "PRangeItem(Values[i])").
  s->counted = true;
  if (level == Level::Members && scope->owner) s->owner = OwnerName(scope->owner);
  scope->Add(s);
  return s;
}

void Resolver::TypeDeclaration(Scope *scope, Level level, const Token *name) {
  // "type helper for Integer" is a record helper by another name.
  const bool typeHelper = Is("type") && IsAt(pos_ + 1, "helper");
  if (!typeHelper) Skip("type");
  Skip("packed");
  if (Is("class") || Is("object") || Is("interface") || Is("dispinterface") || Is("record") ||
      typeHelper) {
    const bool isRecord = Is("record") || typeHelper;
    const bool isClass = Is("class") || Is("interface") || Is("dispinterface");
    const bool isInterface = Is("interface") || Is("dispinterface");
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
      s->classOf = true;
      SkipPast(";");
      return;
    }
    const bool helper = Is("helper");
    const bool objectClass = Text(pos_ - 1) == "class" && !helper;
    Sym *s = DeclareType(scope, level, name, isRecord ? XrefKind::Record : XrefKind::Class);
    s->interfaceType = isInterface;
    s->members = NewScope();
    s->members->owner = s;
    if (helper) ++pos_;
    while (Is("abstract") || Is("sealed")) ++pos_;
    s->ancestryLeavesBook = !isRecord;
    // "class" alone derives from TObject.
    s->ancestorIsObject = objectClass;
    if (objectClass) s->outside = OutsideObjectClass();
    if (Is("(")) {
      ++pos_;
      bool first = true;
      while (!AtEnd() && !Is(")")) {
        if (IsName(pos_)) {
          const size_t at = pos_;
          Sym *a = Chain();
          if (first) {
            s->ancestor = a;
            s->ancestryLeavesBook = !Resolved(a);
            s->ancestorIsObject =
                objectClass && s->ancestryLeavesBook && pos_ == at + 1 && Text(at) == "tobject";
            // "class(TForm)", "class(Forms.TForm)", "class(Vcl.Forms.TForm)":
            // a class the table may know.
            bool oneName = (pos_ - at) % 2 == 1;
            for (size_t k = at + 1; k < pos_ && oneName; k += 2) oneName = IsAt(k, ".");
            s->outside = objectClass && s->ancestryLeavesBook && oneName
                             ? FindOutsideClass(Text(pos_ - 1))
                             : kNoOutsideClass;
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
      const size_t typeStart = pos_;
      Sym *extended = Resolved(Chain());
      if (Is("<")) pos_ = SkipAngles(pos_);
      if (helper) {
        // What the helper lacks, the type it helps has: a helper of no
        // ancestor looks there next, as the compiler does.
        s->helper = true;
        s->type = extended;
        s->signature = TypeNameOf(typeStart, pos_);
        if (!s->ancestor) {
          s->ancestor = extended;
          s->ancestryLeavesBook = !extended;
          s->ancestorIsObject = false;
          // A helper for the LCL's TImageList calls its members unqualified.
          s->outside = extended ? kNoOutsideClass : FindOutsideClass(Name(s->signature));
        }
        classHelpers_.clear();
        if (level == Level::Interface)
          M().ifaceHelpers.push_back(s);
        else if (level == Level::Implementation)
          M().implHelpers.push_back(s);
      }
    }
    if (Is(";")) {  // "TFoo = class(TBar);"
      ++pos_;
      return;
    }
    if (Is("[")) pos_ = Closing(pos_);  // an interface's GUID
    Scope *members = s->members ? s->members : NewScope();
    members->owner = s;
    // A class of 40,000 methods held its tokens whole: 120 MiB.
    Members(members, isRecord, true);
    Skip("end");
    HintsAndSemicolon();
    return;
  }
  if (Is("(")) {
    Sym *s = DeclareType(scope, level, name, XrefKind::Enumeration);
    ++pos_;
    while (!AtEnd() && !Is(")")) {
      if (IsName(pos_)) {
        Sym *v = NewSym(SymKind::EnumValue, &T(pos_));
        v->type = s;  // what overload takes it
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
  const size_t typeStart = pos_;
  s->set = Is("set") && IsAt(pos_ + 1, "of");
  s->type = TypeExpression({";"});
  s->signature = TypeNameOf(typeStart, pos_);
  HintsAndSemicolon();
}

size_t Resolver::SkipAngles(size_t i) const {
  int depth = 0;
  size_t k = i;
  for (; Has(k); ++k) {
    if (Text(k) == "<") ++depth;
    if (Text(k) == ">" && --depth == 0) return k + 1;
    if (Text(k) == ";") return k;
  }
  return k;
}

// "procedure(a: T) of object", "reference to function: T", "... is nested":
// the parameters name nothing outside, the result type ends at a stop.
void Resolver::ProceduralSignature(std::initializer_list<Name> resultStops) {
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
void Resolver::ProceduralType() {
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
Sym *Resolver::TypeExpression(std::initializer_list<Name> stops) {
  const Nested nested(*this);
  if (Is("packed")) ++pos_;
  if (Is("^") && IsName(pos_ + 1) && ExpressionEnd(stops) == pos_ + 2) {
    // What "p^" leads to.
    Sym *p = NewSym(SymKind::Type, nullptr);
    p->pointer = true;
    ++pos_;
    const Token name = T(pos_);
    p->element = Chain();
    if (!p->element) pendingPointers_.push_back({p, name});
    return p;
  }
  if (Is("array")) {
    size_t of = pos_ + 1;
    if (IsAt(of, "[")) of = Closing(of);
    if (IsAt(of, "of") && !IsAt(of + 1, "const")) {
      // What "a[i]" leads to; the bounds name things too.
      ++pos_;
      Expression(of);
      pos_ = of + 1;
      Sym *a = NewSym(SymKind::Type, nullptr);
      a->element = TypeExpression(stops);
      return a;
    }
  }
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
      // "TList<Integer>" has the members of the generic TList<T> (never
      // those of a plain TList of the same name).
      if (named && !named->generic) named = nullptr;
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

size_t Resolver::SkipAnglesResolving(size_t i) {
  const size_t end = SkipAngles(i);
  pos_ = i + 1;
  Expression(end > 0 ? end - 1 : end);
  return end;
}

void Resolver::HintsAndSemicolon() {
  while (Is("deprecated") || Is("platform") || Is("experimental") || Is("unimplemented") ||
         Is("library")) {
    ++pos_;
    if (!AtEnd() && T(pos_).kind == TokKind::String) ++pos_;
  }
  Skip(";");
}

// The members of a class, object, interface or record up to its "end".
void Resolver::Members(Scope *members, bool isRecord, bool dropPassed) {
  Sym *owner = members->owner;
  // Inside the declaration the class's own and inherited names are known.
  if (owner && owner->members == members)
    frames_.push_back({Frame::Kind::Members, nullptr, owner});
  else
    frames_.push_back({Frame::Kind::Plain, members, nullptr});
  while (!AtEnd() && !Is("end")) {
    if (dropPassed) Passed();
    const Name w = Text(pos_);
    const size_t before = pos_;
    if (w == "private" || w == "protected" || w == "public" || w == "published" ||
        w == "automated" || w == "strict") {
      ++pos_;
    } else if (w == "[") {
      pos_ = Closing(pos_);
    } else if (w == "class" && IsRoutineWord(pos_ + 1)) {
      Method(members, owner);  // its heading tells a class destructor by its "class"
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

void Resolver::VariantPart(Scope *members) {
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
void Resolver::FieldList(Scope *scope, SymKind kind, Level level) {
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
  const size_t typeStart = pos_;
  Sym *type = TypeExpression({";", "=", "absolute", "end"});
  const KeptName typeName = TypeNameOf(typeStart, pos_);
  for (Sym *s : names) {
    s->type = type;
    s->signature = typeName;
  }
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

void Resolver::ValueExpression() {
  const bool before = labelsAreFields_;
  labelsAreFields_ = true;
  Expression(ExpressionEnd({";"}));
  labelsAreFields_ = before;
}

void Resolver::VarSection(Scope *scope, Level level, SymKind kind) {
  while (IsName(pos_) && !IsRoutineWord(pos_)) {
    if (!IsAt(pos_ + 1, ":") && !IsAt(pos_ + 1, ",")) {
      // In a class, "public" after "class var X: T;" starts a section: read
      // as a field running to the next ";", it took the member after it.
      const Name w = Text(pos_);
      if (level == Level::Members &&
          (w == "private" || w == "protected" || w == "public" || w == "published" ||
           w == "automated" || w == "strict" || w == "property" || w == "static" || w == "generic"))
        break;
      // "cdecl;" after a procedure variable, or a macro standing for one
      // ("extdecl;"): a word of the declaration before, not a variable.
      const size_t before = pos_;
      SkipPast(";");
      if (pos_ == before) break;
      continue;
    }
    const size_t before = pos_;
    FieldList(scope, kind, level);
    if (pos_ == before) break;
  }
}

KeptName Resolver::LiteralTypeOf(size_t from, size_t to) {
  if (to > from + 1 && (Text(from) == "-" || Text(from) == "+")) ++from;
  if (to != from + 1) return {};
  const Token &t = T(from);
  if (t.kind == TokKind::Number) {
    const std::string_view digits(t.text.data(), t.text.size());
    const bool real = digits[0] != '$' && digits.find_first_of(".eE") != std::string_view::npos;
    return Keep(real ? "double" : "integer");
  }
  if (t.kind == TokKind::String) return Keep(IsCharLiteral(t.text) ? "char" : "string");
  return {};
}

void Resolver::ConstSection(Scope *scope, Level level) {
  while (IsName(pos_) && (IsAt(pos_ + 1, "=") || IsAt(pos_ + 1, ":"))) {
    Sym *s = NewSym(SymKind::Const, &T(pos_));
    s->counted = Counts(level);
    s->xkind = XrefKind::Constant;
    ++pos_;
    if (Is(":")) {
      const size_t typeStart = ++pos_;
      s->type = TypeExpression({"=", ";"});
      s->signature = TypeNameOf(typeStart, pos_);
    }
    if (Is("=")) {
      const size_t valueStart = ++pos_;
      ValueExpression();
      // "RT_CURSOR = 1", "Sep = ','": a number, a character or a string,
      // which tells an overload taking a string from one taking a number.
      if (s->signature.empty()) s->signature = LiteralTypeOf(valueStart, pos_);
    }
    scope->Add(s);
    HintsAndSemicolon();
  }
}

Sym *Resolver::AccessorOf(Sym *owner, Name name, std::string_view parameters) {
  int guard = 0;
  for (Sym *c = Resolved(owner); c && guard < 64; c = Resolved(c->ancestor), ++guard) {
    const SymList *found = c->members ? c->members->Find(name) : nullptr;
    if (!found) continue;
    for (Sym *r : *found) {
      if (r->kind != SymKind::Routine) return nullptr;
      std::string_view taken(r->signature.data(), r->signature.size());
      taken = taken.substr(0, taken.find('|'));
      if (taken == parameters) return r;
    }
    return nullptr;
  }
  return nullptr;
}

void Resolver::Property(Scope *members, Sym *owner) {
  ++pos_;
  if (!IsName(pos_)) {
    SkipPast(";");
    return;
  }
  Sym *s = NewSym(SymKind::Property, &T(pos_));
  ++pos_;
  // The index's parameters as a routine's signature spells them, which
  // the overloads of its reader and writer are told apart by.
  std::string indexes;
  if (Is("[")) {
    s->indexed = true;
    Scope dummy;
    Sym parameters;
    ++pos_;
    ParameterGroups(&dummy, &parameters, "]");
    indexes.assign(parameters.signature.data(), parameters.signature.size());
  }
  std::string valueText;
  if (Is(":")) {
    const size_t typeStart = ++pos_;
    s->type = TypeExpression(
        {";", "read", "write", "index", "default", "stored", "implements", "nodefault"});
    s->signature = TypeNameOf(typeStart, pos_);
    valueText = ": ";
    for (size_t k = typeStart; k < pos_; ++k) valueText += Text(k).Lower() + ' ';
    valueText += ';';
  } else if (owner) {
    // A property raised to a new visibility keeps its ancestor's type and
    // index: "property Items; default;".
    bool complete = true;
    if (Sym *a = FindMember(Resolved(owner->ancestor), s->nameAt.text, -1, &complete)) {
      s->type = a->type;
      s->indexed = a->indexed;
    }
  }
  // "read GetX write SetX index 3 default 0 stored False": names of the class.
  const size_t end = ExpressionEnd({";"});
  // "Values[Key: string]: string read GetValue write SetValue": of
  // GetValue(Index: Integer) and GetValue(AKey: string), the reader is the
  // one taking the index's parameters, the writer the one taking them and
  // the value. An "index 3" specifier adds a parameter: left as it was.
  bool indexSpecifier = false;
  for (size_t k = pos_; k < end; ++k) indexSpecifier = indexSpecifier || Text(k) == "index";
  while (s->indexed && owner && !indexSpecifier && pos_ < end) {
    size_t at = pos_;
    while (at < end && !((Text(at) == "read" || Text(at) == "write") && IsName(at + 1) &&
                         at + 2 <= end && (at + 2 == end || !IsAt(at + 2, "."))))
      ++at;
    Expression(at);
    pos_ = at;
    if (at >= end) break;
    const bool writes = Text(at) == "write";
    Sym *accessor = AccessorOf(owner, Text(at + 1), writes ? indexes + valueText : indexes);
    if (!accessor) break;
    Use(T(at + 1), accessor);
    pos_ = at + 2;
  }
  Expression(end);
  Skip(";");
  if (Is("default") && IsAt(pos_ + 1, ";")) {
    pos_ += 2;
    if (owner && owner->members && s->indexed) owner->element = s;
  }
  HintsAndSemicolon();
  members->Add(s);
}

}  // namespace scrivane::xref
