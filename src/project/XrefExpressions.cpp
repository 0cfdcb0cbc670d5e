#include <algorithm>
#include <unordered_set>

#include "project/XrefResolver.h"

namespace scrivane::xref {

// Looking names up, and reading the code that uses them: expressions and
// statements.

// ------------------------------------------------------------ lookup
Sym *Resolver::Pick(const SymList &found, int args) {
  refused_ = Refused::No;
  Sym *first = found.front();
  if (first->kind != SymKind::Routine) return first;
  // "inherited Destroy" is the destructor, never the class destructor
  // declared before it.
  for (Sym *s : found)
    if (s->kind == SymKind::Routine && !s->implicit) {
      first = s;
      break;
    }
  if (args < 0) return first;
  Sym *byCount = nullptr, *fits = nullptr;
  std::vector<Sym *> fitting;
  for (Sym *s : found) {
    if (s->kind != SymKind::Routine || s->implicit || s->minParams > args || args > s->maxParams)
      continue;
    if (!byCount) byCount = s;
    if (!ArgumentsFit(s, args)) continue;
    if (fits) fitting.push_back(s);
    fits = fits ? fits : s;
  }
  if (!fits && !byCount && args == 0) {
    // "GenerateRegExprEngine := r" in the body of one of its overloads:
    // that one's result, whichever takes no arguments.
    for (auto open = openRoutines_.rbegin(); open != openRoutines_.rend(); ++open)
      if (std::find(found.begin(), found.end(), *open) != found.end()) return *open;
  }
  if (!fits) {
    // Those of its count cannot take its arguments as they look: one
    // further out may; where none does, the first of them, as before.
    refused_ = byCount ? Refused::ByLook : Refused::No;
    // Declared "overload", they leave the call to one outside the book
    // (fpwavreader's LEtoN(var fmt: TWaveFormat) does not take
    // LEtoN(Size), which is the run-time library's): no link.
    bool overloaded = byCount != nullptr;
    for (Sym *s : found)
      if (s->kind == SymKind::Routine && !s->implicit && s->minParams <= args &&
          args <= s->maxParams)
        overloaded = overloaded && s->overloaded;
    if (overloaded) refused_ = Refused::ByType;
    return byCount ? byCount : first;
  }
  if (args == 0 || !IsAt(lastCall_, "(")) return fits;
  if (fitting.empty()) {
    // One fits: its arguments are looked at only when another unit of the
    // book declares the name too, the one overload that may do better, or
    // when it is declared "overload", as others outside the book may be
    // (LEtoN(riff.ChunkHeader.Size) is the run-time library's, not
    // fpwavreader's LEtoN(var fmt: TWaveFormat)).
    if (fits->overloaded) return Closest({fits}, args);
    if (!book_.interfacesRead) return fits;
    const auto it = book_.interfaceNames.find(fits->nameAt.text);
    if (it == book_.interfaceNames.end() ||
        (it->second.size() == 1 && it->second[0].syms == &found))
      return fits;
  }
  // ValueExists(const Name: UnicodeString) and ValueExists(const Name:
  // String) both take one argument: the first was linked, whatever it was.
  fitting.insert(fitting.begin(), fits);
  return Closest(fitting, args);
}

Sym *Resolver::Closest(const std::vector<Sym *> &fitting, int args) {
  // The arguments, each from its first token to the "," or ")" after it.
  std::vector<ArgumentType> given;
  size_t from = lastCall_ + 1;
  for (size_t k = from; Has(k) && int(given.size()) < args; ++k) {
    const Name t = Text(k);
    if (t == "(" || t == "[") {
      k = Closing(k) - 1;
      continue;
    }
    if (t == "," || t == ")") {
      given.push_back(ArgumentAt(from, k));
      from = k + 1;
    }
  }
  given.resize(size_t(args));
  // How well each overload takes each argument; those that cannot take one go.
  std::vector<std::vector<int>> how;
  std::vector<Sym *> left;
  for (Sym *s : fitting) {
    std::string_view rest(s->signature.data(), s->signature.size());
    std::vector<int> levels;
    for (const ArgumentType &a : given) {
      const size_t semicolon = rest.find(';');
      levels.push_back(Takes(rest.substr(0, semicolon), a));
      rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
    }
    if (std::find(levels.begin(), levels.end(), 0) != levels.end()) continue;
    how.push_back(std::move(levels));
    left.push_back(s);
  }
  // None takes them: an overload further out may (pasuseanalyzer's
  // dbgs(TPAIdentifierAccess) leaves dbgs(Ref.Access) to pasresolver's
  // dbgs(TPSRefAccess)); where none does, the call is to one outside the
  // book (Lazarus' etsrceditmarks.pas calls LazLogger's dbgs(Line), not
  // its own dbgs(TETSrcChangeAction)).
  if (left.empty()) {
    refused_ = Refused::ByType;
    return fitting.front();
  }
  if (left.size() == 1) return left.front();
  // The one that takes every argument at least as well as every other, and
  // one better than each.
  for (size_t c = 0; c < left.size(); ++c) {
    bool best = true;
    for (size_t d = 0; d < left.size() && best; ++d) {
      if (d == c) continue;
      bool better = false;
      for (size_t i = 0; i < how[c].size(); ++i) {
        if (how[c][i] < how[d][i]) best = false;
        if (how[c][i] > how[d][i]) better = true;
      }
      best = best && better;
    }
    if (best) return left[c];
  }
  // The book cannot tell which of them is called (a variant, a value of a
  // type from outside it): the first that takes the arguments no worse
  // than any other does, as a call whose count cannot tell its overload
  // links to the first. GetValue(UTF8Decode(P), ADefault) with an Int64
  // ADefault is one of the two taking an Int64, whatever UTF8Decode gives,
  // never the first GetValue, which takes an Integer.
  for (size_t c = 0; c < left.size(); ++c) {
    bool beaten = false;
    for (size_t d = 0; d < left.size() && !beaten; ++d) {
      if (d == c) continue;
      bool noWorse = true, better = false;
      for (size_t i = 0; i < how[c].size(); ++i) {
        if (how[d][i] < how[c][i]) noWorse = false;
        if (how[d][i] > how[c][i]) better = true;
      }
      beaten = noWorse && better;
    }
    if (!beaten) return left[c];
  }
  return left.front();
}

namespace {
enum class Family { None, String, Number, Char, Boolean, Record };
Family FamilyOf(Name type) {
  static const NameSet strings = {"string",     "ansistring",    "shortstring", "unicodestring",
                                  "widestring", "rawbytestring", "utf8string"};
  static const NameSet numbers = {
      "integer",   "longint",    "cardinal",  "longword", "int64",    "qword",  "word",
      "byte",      "smallint",   "shortint",  "sizeint",  "sizeuint", "ptrint", "ptruint",
      "nativeint", "nativeuint", "double",    "single",   "extended", "real",   "currency",
      "comp",      "int8",       "int16",     "int32",    "uint8",    "uint16", "uint32",
      "uint64",    "dword",      "tdatetime", "float"};
  static const NameSet chars = {"char", "ansichar", "widechar", "unicodechar"};
  static const NameSet booleans = {"boolean", "bytebool", "wordbool", "longbool"};
  // The run-time library's records that overloads take most: an object, a
  // number or a string never goes into them (DbgS(Self) is no DbgS(TRect)).
  static const NameSet records = {"trect", "tpoint", "tsize", "tsmallpoint", "tguid", "tmethod"};
  if (type.empty()) return Family::None;
  if (strings.count(type)) return Family::String;
  if (numbers.count(type)) return Family::Number;
  if (chars.count(type)) return Family::Char;
  if (booleans.count(type)) return Family::Boolean;
  if (records.count(type)) return Family::Record;
  return Family::None;
}
// Whether a value of one family can never be passed for another: a char
// goes into a string, a whole number into a float; nothing else crosses.
bool Crosses(Family from, Family to) {
  if (from == Family::None || to == Family::None || from == to) return false;
  return !(from == Family::Char && to == Family::String);
}
// Names of one type the run-time library gives two of.
Name Canonical(Name type) {
  if (type == "longint") return "integer";
  if (type == "longword" || type == "dword") return "cardinal";
  if (type == "ansichar") return "char";
  if (type == "pansichar") return "pchar";
  return type;
}
}  // namespace

// 'x', '''' or #13: one character, which a Char takes.
bool IsCharLiteral(Name text) {
  if (text.size() == 3 && text[0] == '\'' && text[2] == '\'') return true;
  if (text.size() == 4 && text == "''''") return true;
  if (text.size() < 2 || text[0] != '#') return false;
  const bool hex = text[1] == '$';
  for (size_t i = hex ? 2 : 1; i < text.size(); ++i)
    if (!(hex ? IsIdentChar(text[i]) : IsDigit(text[i]))) return false;
  return true;
}

void Resolver::Unalias(Sym *&type, Name &name) {
  for (int guard = 0; type && guard < 16; ++guard) {
    if (type->kind != SymKind::Type) {
      type = nullptr;
      return;
    }
    if (type->members || type->element || type->pointer || type->classOf || type->set) return;
    if (type->type) {
      type = type->type;
      continue;
    }
    if (!type->signature.empty()) {
      name = type->signature;
      type = nullptr;
    }
    return;
  }
}

KeptName Resolver::TypeNameOf(size_t from, size_t to) {
  // "TSaveDialog", "Dialogs.TSaveDialog", "Vcl.Dialogs.TSaveDialog": the
  // type's own name.
  if (to <= from || (to - from) % 2 == 0) return {};
  for (size_t k = from; k + 1 < to; k += 2)
    if (!IsName(k) || !IsAt(k + 1, ".")) return {};
  const size_t at = to - 1;
  if (T(at).kind != TokKind::Ident) return {};
  return Keep(Text(at));
}

Resolver::ArgumentType Resolver::ArgumentAt(size_t from, size_t to) {
  ArgumentType a;
  using Kind = ArgumentType::Kind;
  if (to <= from) return a;
  const Token &first = T(from);
  if (to == from + 2 && (first.text == "-" || first.text == "+") &&
      T(from + 1).kind == TokKind::Number) {
    a.kind = Kind::Number;
    return a;
  }
  if (to == from + 1 && first.kind == TokKind::String)
    a.kind = IsCharLiteral(first.text) ? Kind::Char : Kind::String;
  else if (to == from + 1 && first.kind == TokKind::Number)
    a.kind = Kind::Number;
  else if (to == from + 1 && first.text == "nil")
    a.kind = Kind::Nil;
  else if (IsSetAt(from))
    a.kind = Kind::Set;
  else if (first.text == "@")
    a.kind = Kind::Address;
  if (a.kind != Kind::Unknown) return a;
  if (to > from + 1) {
    // "'(' + S + ')'": a string, whatever S is.
    int depth = 0;
    bool quoted = false, joined = false, other = false;
    for (size_t k = from; k < to && !other; ++k) {
      const Token &t = T(k);
      if (t.text == "(" || t.text == "[") ++depth;
      if (t.text == ")" || t.text == "]") --depth;
      if (depth != 0) continue;
      quoted = quoted || t.kind == TokKind::String;
      joined = joined || t.text == "+";
      other = t.reserved || (t.kind == TokKind::Symbol && t.text != "+" && t.text != ")" &&
                             t.text != "]" && t.text != "." && t.text != "^");
    }
    if (quoted && joined && !other) {
      a.kind = Kind::String;
      return a;
    }
  }
  if (to > from + 2 && first.text == "(" && Closing(from) == to) {
    // "(D as TJSONObject)": what the brackets hold, unwrapped in a loop (a
    // file of 200,000 nested brackets overflowed the stack by recursion).
    while (to > from + 2 && IsAt(from, "(") && Closing(from) == to) {
      ++from;
      --to;
    }
    return ArgumentAt(from, to);
  }
  if (to >= from + 3 && IsAt(to - 2, "as") && IsName(to - 1)) {
    // "D as TJSONObject" is a TJSONObject, when D is a value alone: "as"
    // binds as "*" does, so "A + B as T" is no T.
    int depth = 0;
    for (size_t k = from; k + 2 < to; ++k) {
      const Token &t = T(k);
      if (t.text == "(" || t.text == "[") ++depth;
      if (t.text == ")" || t.text == "]") --depth;
      if (depth == 0 && (t.reserved || (t.kind == TokKind::Symbol && t.text != ")" &&
                                        t.text != "]" && t.text != "." && t.text != "^")))
        return a;
    }
    Sym *cast = Lookup(Text(to - 1), -1);
    if (cast && cast->kind != SymKind::Type) return a;
    if (cast)
      a.type = cast;
    else
      a.name = Text(to - 1);
    a.kind = Kind::Value;
    Unalias(a.type, a.name);
    return a;
  }
  if (!IsName(from) && first.text != "self") return a;
  // "X", "Self", "A.B.C": a value whose type the book tells; "T(X)" a cast.
  Sym *s = nullptr;
  Sym *valueType = nullptr;
  if (first.text == "self" && MethodClass() && !FindLocal("self"))
    valueType = MethodClass();
  else
    s = Lookup(first.text, -1);
  size_t k = from + 1;
  if (k + 1 < to && IsAt(k, "(") && Closing(k) == to &&
      (s ? s->kind == SymKind::Type : FamilyOf(first.text) != Family::None)) {
    if (s)
      a.type = s;
    else
      a.name = first.text;
    a.kind = Kind::Value;
    Unalias(a.type, a.name);
    return a;
  }
  Sym *container = nullptr;
  for (; k < to && ((k + 1 < to && IsAt(k, ".") && IsName(k + 1)) || IsAt(k, "[") || IsAt(k, "^"));
       k += 2) {
    if (IsAt(k, "^")) {
      // "R^", "R^.X": what the book's "^T" points at.
      Sym *pointed = ElementOf(valueType ? valueType : s, true);
      if (!pointed) return a;
      valueType = pointed;
      s = nullptr;
      container = nullptr;
      k -= 1;  // the loop steps over two
      continue;
    }
    if (IsAt(k, "[")) {
      // "subs[r]", "Items[i]": an element, or what an indexed property gives.
      const size_t close = Closing(k);
      Sym *element = s && s->kind == SymKind::Property && s->indexed
                         ? s->type
                         : ElementOf(valueType ? valueType : s, false);
      if (!element && (valueType || (s && s->kind != SymKind::Type)))
        element = DefaultItemOf(valueType ? valueType : s);
      if (!element && close == to && s && !valueType && !s->type &&
          (s->kind == SymKind::Var || s->kind == SymKind::Param || s->kind == SymKind::Field)) {
        // "List[I]" with List: PPointer, "P[I]" with P: PChar, "YList[I]"
        // with YList: TDoubleDynArray: what the run-time library's pointer
        // type points at, what its dynamic array holds.
        static const NameMap<Name> pointed = {{"tdoubledynarray", "double"},
                                              {"tsingledynarray", "single"},
                                              {"tintegerdynarray", "integer"},
                                              {"tint64dynarray", "int64"},
                                              {"tbytedynarray", "byte"},
                                              {"tworddynarray", "word"},
                                              {"tlongworddynarray", "longword"},
                                              {"tcardinaldynarray", "cardinal"},
                                              {"tbooleandynarray", "boolean"},
                                              {"tstringdynarray", "string"},
                                              {"textendeddynarray", "extended"},
                                              {"ppointer", "pointer"},
                                              {"pchar", "char"},
                                              {"pansichar", "char"},
                                              {"pwidechar", "widechar"},
                                              {"pbyte", "byte"},
                                              {"pword", "word"},
                                              {"pinteger", "integer"},
                                              {"plongint", "longint"},
                                              {"pcardinal", "cardinal"},
                                              {"plongword", "longword"},
                                              {"pint64", "int64"},
                                              {"pqword", "qword"},
                                              {"pdouble", "double"},
                                              {"psingle", "single"},
                                              {"pboolean", "boolean"},
                                              {"pshortstring", "shortstring"},
                                              {"pansistring", "ansistring"},
                                              {"punicodestring", "unicodestring"}};
        if (const auto found = pointed.find(Name(s->signature)); found != pointed.end()) {
          a.kind = Kind::Value;
          a.name = found->second;
          return a;
        }
      }
      if (!element && close == to) {
        // "List[I]" of a class of the table: an item of its default
        // property, a class of the table or a string, a number...
        if (Sym *outside = OutsideClassOf(valueType ? valueType : s)) {
          const OutsideType items = OutsideDefaultItemType(outside->outside);
          if (items.cls != kNoOutsideClass) element = OutsideClassType(items.cls);
          if (!items.simple.empty()) {
            a.kind = Kind::Value;
            a.name = Name(items.simple.data(), items.simple.size());
            return a;
          }
        }
      }
      if (!element || close > to) return a;
      int depth = 0;
      for (size_t i = k + 1; i + 1 < close && element; ++i) {
        if (Text(i) == "(" || Text(i) == "[") ++depth;
        if (Text(i) == ")" || Text(i) == "]") --depth;
        if (depth == 0 && Text(i) == ",") element = ElementOf(element, false);
      }
      if (!element) return a;
      valueType = element;
      s = nullptr;
      container = nullptr;
      k = close - 2;  // the loop steps over two
      continue;
    }
    Container c = valueType ? Container{nullptr, Resolved(valueType)} : ContainerOf(s);
    const Sym *before = s;
    valueType = nullptr;
    s = nullptr;
    container = c.type;
    if (c.unit) {
      if (const auto *found = c.unit->iface.Find(Text(k + 1))) s = found->front();
    } else if (c.type) {
      bool complete = true;
      s = FindMember(c.type, Text(k + 1), -1, &complete);
    }
    // "R.TopLeft", "Canvas.Font": a field or property of a class or record
    // of the table whose own class the table holds.
    if (!s && !c.unit) {
      Sym *outside =
          c.type ? (c.type->members == &noMembers_ ? c.type : nullptr) : OutsideTypeOf(before);
      const OutsideClass member =
          outside ? OutsideMemberType(outside->outside, Text(k + 1)) : kNoOutsideClass;
      if (member != kNoOutsideClass) s = OutsideClassValue(member);
      // "List.IndexOf(P)", "Lines.Count": a number, a string, a Boolean.
      const size_t after = k + 2;
      // "Parent.Controls[I]", "ValList.Strings[I]": an item.
      if (!s && outside && IsAt(after, "[") && Closing(after) <= to) {
        const OutsideType items = OutsideItemType(outside->outside, Text(k + 1));
        if (items.cls != kNoOutsideClass) s = OutsideItems(items.cls);
        if (!items.simple.empty() && Closing(after) == to) {
          a.kind = Kind::Value;
          a.name = Name(items.simple.data(), items.simple.size());
          return a;
        }
      }
      if (!s && outside && (after == to || (IsAt(after, "(") && Closing(after) == to))) {
        const std::string_view simple = OutsideMemberSimpleType(outside->outside, Text(k + 1));
        if (!simple.empty()) {
          a.kind = Kind::Value;
          a.name = Name(simple.data(), simple.size());
          return a;
        }
      }
    }
    // "TPasUnresolvedTypeRef.Create(...)" makes one of the class named,
    // whichever ancestor declares the constructor, the book's or TObject.
    const bool constructs = before && before->kind == SymKind::Type && c.type &&
                            c.type->xkind == XrefKind::Class && !c.type->helper &&
                            (s ? s->xkind == XrefKind::Constructor : Text(k + 1) == "create");
    if (constructs && (k + 2 == to || (k + 3 < to && IsAt(k + 2, "(") && Closing(k + 2) == to))) {
      a.kind = Kind::Value;
      a.type = c.type;
      return a;
    }
    if (!s) return a;
  }
  // "F(...)", "A.F(...)": what F gives.
  const bool call = k + 1 < to && IsAt(k, "(") && Closing(k) == to;
  if (k != to && !call) return a;
  if (valueType && !call) {
    a.type = valueType;
  } else if (s && !call &&
             (s->kind == SymKind::Var || s->kind == SymKind::Param || s->kind == SymKind::Field ||
              s->kind == SymKind::Const || s->kind == SymKind::EnumValue ||
              (s->kind == SymKind::Property && !s->indexed))) {
    a.type = s->type;
    if (!a.type || Name(s->signature) == kOpenArray) a.name = s->signature;
  } else if (s && s->kind == SymKind::Type && !call && Resolved(s) && !s->interfaceType &&
             s->xkind == XrefKind::Class) {
    a.kind = Kind::ClassOf;
    a.type = Resolved(s);
    return a;
  } else if (s && s->kind == SymKind::Routine && (call || s->minParams == 0)) {
    ResultOf(s, container, a);
  } else if (!s && k == from + 1 && (first.text == "true" || first.text == "false")) {
    a.name = "boolean";
  } else if (!s && !valueType && call && k == from + 1) {
    // The run-time library's functions the book does not declare.
    static const NameSet strings = {"format",
                                    "inttostr",
                                    "floattostr",
                                    "trim",
                                    "trimleft",
                                    "trimright",
                                    "uppercase",
                                    "lowercase",
                                    "quotedstr",
                                    "inttohex",
                                    "extractfilename",
                                    "extractfilepath",
                                    "extractfileext",
                                    "changefileext",
                                    "stringreplace",
                                    "formatdatetime",
                                    "datetimetostr",
                                    "ansiuppercase",
                                    "ansilowercase",
                                    "booltostr",
                                    "includetrailingpathdelimiter",
                                    "excludetrailingpathdelimiter",
                                    "appendpathdelim",
                                    "chompathdelim"};
    static const NameSet numbers = {"length", "strtoint", "strtointdef", "pos",       "ord",
                                    "round",  "trunc",    "high",        "low",       "sizeof",
                                    "succ",   "pred",     "abs",         "strtofloat"};
    if (strings.count(first.text)) a.kind = Kind::String;
    if (numbers.count(first.text)) a.kind = Kind::Number;
    // "PPropInfo(nil)", "TStrings(P)": a cast to a type from outside the
    // book goes to the overload that names that type or a class it
    // derives from. Another function is named as no type is, so it takes
    // every overload as an unknown value would.
    if (a.kind == Kind::Unknown) {
      bool one = true;
      int depth = 0;
      for (size_t i = from + 2; i + 1 < to && one; ++i) {
        if (Text(i) == "(" || Text(i) == "[") ++depth;
        if (Text(i) == ")" || Text(i) == "]") --depth;
        one = !(depth == 0 && Text(i) == ",");
      }
      if (one) {
        a.kind = Kind::Value;
        a.name = first.text;
      }
    }
    return a;
  } else {
    return a;
  }
  Unalias(a.type, a.name);
  if (a.type || !a.name.empty()) a.kind = Kind::Value;
  return a;
}

void Resolver::ResultOf(Sym *routine, Sym *container, ArgumentType &a) {
  const auto resultName = [](const Sym *s) {
    const Name signature = s->signature;
    const size_t bar = std::string_view(signature.data(), signature.size()).rfind('|');
    return bar == std::string_view::npos ? Name() : signature.substr(bar + 1);
  };
  if (!routine->type && resultName(routine).empty()) return;
  const SymList *all = nullptr;
  const Name name = routine->nameAt.text;
  if (!container && routine->owner.size()) container = MethodClass();
  if (container) {
    for (Sym *c = Resolved(container); c && !all; c = Resolved(c->ancestor))
      if (c->members) all = c->members->Find(name);
  } else {
    Module &m = *modules_[size_t(routine->module)];
    all = m.iface.Find(name);
    if (!all || std::find(all->begin(), all->end(), routine) == all->end()) all = m.impl.Find(name);
  }
  if (!all || std::find(all->begin(), all->end(), routine) == all->end()) return;
  for (const Sym *s : *all)
    if (s->type != routine->type || !(resultName(s) == resultName(routine))) return;
  a.type = routine->type;
  if (!a.type) a.name = resultName(routine);
}

int Resolver::Takes(std::string_view parameterType, const ArgumentType &argument) {
  using Kind = ArgumentType::Kind;
  if (argument.kind == Kind::Unknown) return 1;
  // An open array or "array of const" takes "[...]" or an array, never a
  // literal or a value of a type with a name of its own.
  if (parameterType.substr(0, 10) == ": array of") {
    if (argument.kind == Kind::Set) return 2;
    if (argument.kind != Kind::Value) return 0;
    if (argument.name == kOpenArray || IsOutsideArrayType(argument.name)) return 2;
    return FamilyOf(argument.name) != Family::None || (argument.type && argument.type->members) ? 0
                                                                                                : 1;
  }
  // ": name " alone; "string[20]" and the like may take anything.
  if (parameterType.size() < 4 || parameterType.substr(0, 2) != ": ") return 1;
  const std::string_view typeName = parameterType.substr(2, parameterType.size() - 3);
  if (typeName.find(' ') != std::string_view::npos) return 1;
  Sym *wanted = Lookup(typeName, -1);
  Name wantedName;
  if (wanted && wanted->kind != SymKind::Type) wanted = nullptr;
  if (!wanted) wantedName = typeName;
  Unalias(wanted, wantedName);
  const auto enumeration = [](const Sym *t) { return t && t->xkind == XrefKind::Enumeration; };
  const Family family = FamilyOf(wantedName);
  const bool wantsMembers = wanted && wanted->members;
  const OutsideClass wantedOutside = wanted ? kNoOutsideClass : FindOutsideClass(wantedName);
  // No literal goes into a class, a record or a set of the book, nor into
  // a class of the run-time library; only "[...]" goes into a set.
  const bool wantsSet = wanted ? wanted->set : IsOutsideSetType(wantedName);
  const bool wantsNoLiteral = wantsMembers || wantsSet || wantedOutside != kNoOutsideClass;
  if (argument.kind == Kind::ClassOf) {
    if (wanted && wanted->classOf) return Resolved(wanted->type) == argument.type ? 2 : 1;
    return wantsMembers || family != Family::None ? 0 : 1;
  }
  if (argument.kind == Kind::Value && argument.type && argument.type == wanted) return 4;
  // An open array goes into an open array only.
  if (argument.kind == Kind::Value && argument.name == kOpenArray) return 0;
  // A class's instance is never its class of.
  if (argument.kind == Kind::Value && wanted && wanted->classOf)
    return argument.type && argument.type->members ? 0 : 1;
  if (argument.kind == Kind::Value && argument.type && argument.type->classOf)
    return wantsMembers ? 0 : 1;
  switch (argument.kind) {
    case Kind::Set:
      // "TJSONParser.Create(S, [])": the overload whose second parameter
      // is a set, not the one taking a Boolean.
      if (wantsSet) return 2;
      return wantsMembers || wantedOutside != kNoOutsideClass || family != Family::None ||
                     enumeration(wanted)
                 ? 0
                 : 1;
    // Nor does a literal go into an enumeration of the book.
    case Kind::Char:
      if (family == Family::Char) return 2;
      return wantsNoLiteral || enumeration(wanted) ||
                     (family != Family::None && family != Family::String)
                 ? 0
                 : 1;
    case Kind::String:
      return wantsNoLiteral || enumeration(wanted) ||
                     (family != Family::None && family != Family::String)
                 ? 0
                 : 1;
    case Kind::Number:
      return wantsNoLiteral || enumeration(wanted) ||
                     (family != Family::None && family != Family::Number)
                 ? 0
                 : 1;
    case Kind::Nil:
      return family != Family::None || wantsSet ? 0 : 1;
    case Kind::Address:
      if (wantsMembers || family != Family::None || (wanted && wanted->classOf)) return 0;
      return Canonical(wantedName) == "pointer" ? 2 : 1;
    default:
      break;
  }
  Sym *given = argument.type;
  if (given && wanted) {
    if (given == wanted) return 4;
    // A set goes into a set of the same type only (two set types of one
    // enumeration are rare).
    if (given->set || wanted->set) return 0;
    // One enumeration's values are no other's.
    if (enumeration(given) && (enumeration(wanted) || wanted->members)) return 0;
    if (enumeration(wanted) && given->members) return 0;
    if (!given->members || !wanted->members) return 1;
    if (wanted->interfaceType || given->interfaceType) return 1;
    for (Sym *c = given; c; c = Resolved(c->ancestor)) {
      if (c == wanted) return 3;
      if (c->ancestryLeavesBook) return c->ancestorIsObject ? 0 : 1;
    }
    return 0;
  }
  // Classes of the run-time library and the LCL: the table knows their
  // ancestors. A TMemoryStream goes into a TStream, not into a TStrings, a
  // string or a file; and rather into its own class or an ancestor than
  // into a type the book cannot tell (an interface it may implement).
  static const NameSet files = {"text", "textfile", "file"};
  const bool wantsFile = !wanted && files.count(wantedName) > 0;
  if (given && (wantedOutside != kNoOutsideClass || wantsFile) && given->xkind == XrefKind::Class &&
      !given->interfaceType) {
    int guard = 0;
    for (Sym *c = given; c && guard < 64; c = Resolved(c->ancestor), ++guard)
      if (c->ancestryLeavesBook) {
        if (wantsFile) return 0;
        if (c->outside == kNoOutsideClass) break;
        // A value of the table's class itself (an item of "Controls[I]")
        // goes to its own class's overload before its ancestors'.
        if (c == given && given->members == &noMembers_ && c->outside == wantedOutside) return 4;
        return OutsideClassDerives(c->outside, wantedOutside) ? 2 : 0;
      }
  }
  if (!given && !wanted) {
    const OutsideClass givenOutside = FindOutsideClass(argument.name);
    if (givenOutside != kNoOutsideClass) {
      // A TRect goes into a TRect: the records of the table are classes
      // of no ancestor to it.
      if (givenOutside == wantedOutside) return 4;
      if (family != Family::None || wantsFile) return 0;
      if (wantedOutside != kNoOutsideClass)
        return givenOutside == wantedOutside                      ? 4
               : OutsideClassDerives(givenOutside, wantedOutside) ? 2
                                                                  : 0;
    }
  }
  // A typed pointer of the book ("PBestColorData = ^TBestColorData") goes
  // into an untyped pointer, never into a number, a Boolean or a record.
  if (given && given->pointer && !wanted) {
    if (family == Family::Number || family == Family::Boolean || family == Family::Record ||
        wantsSet || wantedOutside != kNoOutsideClass)
      return 0;
    return Canonical(wantedName) == "pointer" ? 2 : 1;
  }
  if (given)
    return (given->members || given->set || enumeration(given)) &&
                   (family != Family::None || wantsSet ||
                    (given->set && wantedOutside != kNoOutsideClass))
               ? 0
               : 1;
  // A set of the run-time library's or the LCL's (Shift: TShiftState) goes
  // into that set only; a dynamic array of theirs (TStringDynArray) into
  // an open array or that type.
  const bool givenSet = IsOutsideSetType(argument.name) || IsOutsideArrayType(argument.name);
  if (wanted)
    return (wanted->members || wanted->set || enumeration(wanted)) &&
                   (givenSet || FamilyOf(argument.name) != Family::None)
               ? 0
               : 1;
  if (givenSet && Canonical(argument.name) != Canonical(wantedName))
    return wantsSet || family != Family::None || wantedOutside != kNoOutsideClass ? 0 : 1;
  // A string or a number never goes into a class of the run-time library.
  if (wantedOutside != kNoOutsideClass && FamilyOf(argument.name) != Family::None) return 0;
  if (Canonical(argument.name) == Canonical(wantedName)) return 2;
  return Crosses(FamilyOf(argument.name), family) ? 0 : 1;
}

// "[a, b]" or "[a] + S" from `at` to the end of its argument; not
// "[a] * S <> []", which is a Boolean.
bool Resolver::IsSetAt(size_t at) {
  if (!IsAt(at, "[")) return false;
  static const NameSet compares = {
      "=", "<>", "<", ">", "<=", ">=", "in", "and", "or", "xor", "not"};
  for (size_t k = at; Has(k); ++k) {
    const Name t = Text(k);
    if (t == "(" || t == "[") {
      k = Closing(k) - 1;
      continue;
    }
    if (t == "," || t == ")" || t == ";") return true;
    if (compares.count(t)) return false;
  }
  return true;
}

bool Resolver::NoneTakes(const SymList &found, int args) {
  // Without arguments the name may be no call at all: a function's result
  // set through its name, or a routine taken as a value.
  if (args <= 0) return false;
  for (const Sym *s : found)
    if (s->kind != SymKind::Routine || (s->minParams <= args && args <= s->maxParams)) return false;
  return true;
}

// Whether the arguments of the call last counted (ArgumentsAt) can be
// passed to `s` as far as their look tells: "[...]" is a set or an open
// array, a number no string, a quoted string no number; parameters of
// other types (aliases, classes, records) take anything here but a
// variable of another class or record of the book (TakesValueOf).
bool Resolver::ArgumentsFit(const Sym *s, int args) {
  if (args <= 0 || !IsAt(lastCall_, "(")) return true;
  static const std::unordered_set<std::string_view> strings = {
      ": string ",     ": ansistring ",    ": shortstring ", ": unicodestring ",
      ": widestring ", ": rawbytestring ", ": utf8string "};
  static const std::unordered_set<std::string_view> numbers = {
      ": integer ", ": longint ", ": cardinal ", ": longword ", ": int64 ",
      ": qword ",   ": word ",    ": byte ",     ": smallint ", ": shortint ",
      ": sizeint ", ": ptrint ",  ": double ",   ": single ",   ": extended "};
  static const std::unordered_set<std::string_view> others = {": boolean ", ": pointer ",
                                                              ": tobject "};
  auto takes = [&](size_t at, std::string_view type) {
    const Token &first = T(at);
    const bool other = others.count(type) > 0;
    if (IsSetAt(at))
      return !(other || strings.count(type) || numbers.count(type) || type == ": char ");
    if (first.kind == TokKind::Number) return !(other || strings.count(type) || type == ": char ");
    if (first.kind == TokKind::String) return !(other || numbers.count(type));
    return true;
  };
  auto name = [&](size_t k) {
    return IsName(k) && (IsAt(k + 1, ",") || IsAt(k + 1, ")")) ? Text(k) : Name();
  };
  std::string_view rest(s->signature.data(), s->signature.size());
  int depth = 0, index = 0;
  bool argStart = true;
  for (size_t k = lastCall_ + 1; Has(k) && index < args; ++k) {
    const Name t = Text(k);
    if (argStart && depth == 0) {
      const size_t semicolon = rest.find(';');
      if (!takes(k, rest.substr(0, semicolon))) return false;
      if (!name(k).empty() && !TakesValueOf(rest.substr(0, semicolon), name(k))) return false;
      rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
      argStart = false;
    }
    if (t == "(" || t == "[") ++depth;
    if (t == ")" || t == "]") {
      if (depth == 0) break;
      --depth;
    }
    if (depth == 0 && t == ",") {
      ++index;
      argStart = true;
    }
  }
  return true;
}

// Whether a parameter of type `parameterType` (": TFoo ") takes the
// variable, field or parameter `argument`: not when both types are classes
// or records of the book and the argument's is not the parameter's or
// derived from it (an interface may be implemented anywhere: it takes all).
bool Resolver::TakesValueOf(std::string_view parameterType, Name argument) {
  if (parameterType.size() < 4 || parameterType.substr(0, 2) != ": ") return true;
  const std::string_view typeName = parameterType.substr(2, parameterType.size() - 3);
  if (typeName.find(' ') != std::string_view::npos) return true;
  Sym *value = Lookup(argument, -1);
  if (!value || value->kind == SymKind::Type || value->kind == SymKind::Routine ||
      value->kind == SymKind::Unit || value->kind == SymKind::EnumValue)
    return true;
  Sym *given = Resolved(value->type);
  Sym *wanted = Resolved(Lookup(typeName, -1));
  // A number, a string, a character or a Boolean never goes into a class
  // or a record of the book (LEtoN(Size) with Size: UInt32 is no
  // LEtoN(var fmt: TWaveFormat)).
  if (!value->type && wanted && !wanted->interfaceType &&
      FamilyOf(value->signature) != Family::None && FamilyOf(value->signature) != Family::Record)
    return false;
  if (!given || !wanted || wanted->interfaceType) return true;
  for (Sym *c = given; c; c = Resolved(c->ancestor)) {
    if (c == wanted) return true;
    // Past the book only TObject is known to derive from nothing of it.
    if (c->ancestryLeavesBook) return !c->ancestorIsObject;
  }
  return false;
}

// Where the class's ancestors end, the search found nothing: whether the
// book knows all of them.
Sym *Resolver::FindMember(Sym *type, Name name, int args, bool *complete) {
  *complete = true;
  // Methods of a class none of which takes the call's count leave it to an
  // ancestor's overload that does (TIPCClient.ServerRunning calls
  // TIPCServerClient's class function ServerRunning(aServerID, aGlobal)):
  // the compiler would refuse the call otherwise. Past the book, one the
  // run-time library's or the LCL's class may declare is the one called
  // (TPropertyEditorHook's Create(Self) is TComponent's): no link. Where
  // no class of the chain has one, the call is to a routine further out
  // ("with Extent do SetBounds(A, B, C, D, E, F)" calls the method's own
  // six-parameter SetBounds, not TChartExtent's; Insert(S, T, 1) in a
  // control's method is the run-time library's): not found here.
  int guard = 0;
  for (Sym *c = Resolved(type); c && guard < 64; c = Resolved(c->ancestor), ++guard) {
    if (c->members)
      if (const auto *found = c->members->Find(name)) {
        if (!NoneTakes(*found, args)) return Pick(*found, args);
      }
    if (c->ancestryLeavesBook) {
      // Past the book, a class of the table says whether the name is its
      // member; of another class only TObject's members are known.
      if (c->outside != kNoOutsideClass)
        *complete = !IsOutsideMember(c->outside, name);
      else
        *complete = c->ancestorIsObject && !IsObjectMember(name);
      return nullptr;
    }
  }
  return nullptr;
}

// A type as far as aliases lead; null when it is no type of the book.
Sym *Resolver::Resolved(Sym *s) {
  for (int guard = 0; s && guard < 16; ++guard) {
    if (s->kind != SymKind::Type) return nullptr;
    if (s->members) return s;
    s = s->type;
  }
  return nullptr;
}

// What "^" (`pointer`) or an index leads to from a value or a type `s`
// whose type the book writes "^T" or "array of T"; null otherwise.
Sym *Resolver::ElementOf(Sym *s, bool pointer) {
  if (!s) return nullptr;
  Sym *t = s->kind == SymKind::Type ? s : s->type;
  for (int guard = 0; t && guard < 16; ++guard) {
    if (t->kind != SymKind::Type || t->members) return nullptr;
    if (t->element) return t->pointer == pointer ? t->element : nullptr;
    t = t->type;
  }
  return nullptr;
}

Sym *Resolver::DefaultItemOf(Sym *s) {
  if (!s) return nullptr;
  Sym *t = Resolved(s->kind == SymKind::Type ? s : s->type);
  for (int guard = 0; t && t->members && guard < 32; ++guard) {
    if (t->element && t->element->kind == SymKind::Property) return t->element->type;
    t = Resolved(t->ancestor);
  }
  return nullptr;
}

Resolver::Container Resolver::ContainerOf(Sym *s) {
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

Sym *Resolver::HelperOfClass(Sym *type) {
  if (classHelpersModule_ != module_ || classHelpersInImpl_ != inImpl_) {
    classHelpers_.clear();
    classHelpersModule_ = module_;
    classHelpersInImpl_ = inImpl_;
  }
  const auto [at, added] = classHelpers_.try_emplace(type, nullptr);
  if (added) at->second = HelperOf(type);
  return at->second;
}

Sym *Resolver::HelperOf(Sym *s) {
  Module &m = M();
  if (book_.interfacesRead && !book_.interfaceHelpers && m.implHelpers.empty()) return nullptr;
  if (!s || s->kind == SymKind::Unit || s->kind == SymKind::Routine ||
      s->kind == SymKind::EnumValue || s->kind == SymKind::Other)
    return nullptr;
  Sym *type = ContainerOf(s).type;
  // A type from outside the book is known by the name the value's
  // declaration gives it.
  const Name outside = type                       ? Name()
                       : s->kind == SymKind::Type ? Name(s->nameAt.text)
                                                  : Name(s->signature);
  if (!type && outside.empty()) return nullptr;
  const auto helps = [&](const Sym *h) {
    if (!type) return !h->type && Name(h->signature) == outside;
    // A class helper serves the class's descendants too.
    for (Sym *c = type; c; c = Resolved(c->ancestor))
      if (c == h->type) return true;
    return false;
  };
  const auto last = [&](const std::vector<Sym *> &helpers) -> Sym * {
    for (size_t i = helpers.size(); i-- > 0;)
      if (helps(helpers[i])) return helpers[i];
    return nullptr;
  };
  if (inImpl_)
    if (Sym *h = last(m.implHelpers)) return h;
  if (Sym *h = last(m.ifaceHelpers)) return h;
  // The units used, the last first: one from outside the book may have a
  // helper of its own for the type, which would be the one in scope.
  const auto inUnits = [&](const std::vector<UsesEntry> &list, bool &stop) -> Sym * {
    for (size_t u = list.size(); u-- > 0 && !stop;) {
      if (list[u].module < 0) {
        stop = true;
        break;
      }
      if (Sym *h = last(modules_[size_t(list[u].module)]->ifaceHelpers)) return h;
    }
    return nullptr;
  };
  bool stop = false;
  if (inImpl_)
    if (Sym *h = inUnits(m.implUses, stop)) return h;
  return stop ? nullptr : inUnits(m.ifaceUses, stop);
}

Sym *Resolver::Lookup(Name name, int args) {
  // Past a "with" whose members we cannot see, only a type may still be
  // found further out: a class from outside the book may have any field
  // or method, but it does not nest a type named as one of the book's.
  bool typesOnly = false;
  Sym *found = LookupFrom(frames_.size(), name, args, &typesOnly);
  if (typesOnly && found && found->kind != SymKind::Type) return nullptr;
  return found;
}

Sym *Resolver::LookupFrom(size_t frameCount, Name name, int args, bool *typesOnly) {
  // Routines none of which takes the call's number of arguments stand
  // aside for an overload further out that does (fileutil.inc's
  // CompareFilenames(A, B) is LazFileUtils' two-parameter one, not
  // FileUtil's five-parameter one); where none does, the call is to a
  // routine outside the book (dbgs(Kind, Side) is the LCL's, not the
  // book's dbgs(Kind)): no link. Those of the count whose arguments do not
  // look right for them stand aside too, but the first of them is the
  // link where nothing further out takes the call.
  Sym *firstFound = nullptr;
  // Overloads found that the book cannot tell apart end the search (the
  // first of them is the link): an overload further out is no better for it.
  const auto take = [&](const SymList &found) -> Sym * {
    if (!NoneTakes(found, args)) {
      Sym *s = Pick(found, args);
      if (refused_ == Refused::No) return s;
      if (refused_ == Refused::ByLook && !firstFound) firstFound = s;
      return nullptr;
    }
    return nullptr;
  };
  for (size_t f = frameCount; f-- > 0;) {
    Frame &frame = frames_[f];
    switch (frame.kind) {
      case Frame::Kind::Plain:
        if (const auto *found = frame.scope->Find(name))
          if (Sym *s = take(*found); s) return s;
        break;
      case Frame::Kind::Members:
      case Frame::Kind::WithMembers: {
        bool complete = true;
        if (Sym *s = FindMember(frame.type, name, args, &complete))
          return firstFound ? firstFound : s;
        // A helper of the class in scope adds its methods there too: "Extra"
        // in a method of TFoo is TFooHelper.Extra, not the unit's Extra.
        if (Sym *helper = frame.type->helper ? nullptr : HelperOfClass(frame.type)) {
          bool helped = true;
          if (Sym *s = FindMember(helper, name, args, &helped)) return firstFound ? firstFound : s;
        }
        // A member of the class outside the book hides the book's names
        // of the same spelling: every such class derives from TObject, and
        // the table knows the run-time library's and the LCL's members.
        if (!complete && LeavesAtKnownClass(frame.type)) {
          // "with Font do": a field or property of a class the table holds
          // is looked in as that class.
          if (!firstFound)
            if (const OutsideClass member =
                    OutsideMemberType(LeavingClass(frame.type)->outside, name);
                member != kNoOutsideClass)
              return OutsideClassValue(member);
          return firstFound;
        }
        if (!complete && frame.kind == Frame::Kind::Members && IsObjectMember(name))
          return firstFound;
        if (!complete && frame.kind == Frame::Kind::WithMembers) *typesOnly = true;
        break;
      }
      case Frame::Kind::Opaque:
        *typesOnly = true;
        break;
    }
  }
  Module &m = M();
  if (inImpl_)
    if (const auto *found = m.impl.Find(name))
      if (Sym *s = take(*found); s) return s;
  if (const auto *found = m.iface.Find(name))
    if (Sym *s = take(*found); s) return s;
  if (firstFound) {
    // Only routines go on being looked for past the unit's own names.
  } else if (!m.name.empty() && name == m.name) {
    return m.unit;
  }
  auto byName = [&](const std::vector<UsesEntry> &list) -> Sym * {
    for (size_t u = list.size(); u-- > 0;)
      if (list[u].name == name)
        return list[u].module >= 0 ? modules_[size_t(list[u].module)]->unit : nullptr;
    return nullptr;
  };
  if (!firstFound) {
    if (inImpl_)
      if (Sym *s = byName(m.implUses)) return s;
    if (Sym *s = byName(m.ifaceUses)) return s;
  }
  const std::vector<SharedBook::Declaring> *declaring = nullptr;
  if (book_.interfacesRead) {
    const auto it = book_.interfaceNames.find(name);
    if (it == book_.interfaceNames.end()) return firstFound;
    declaring = &it->second;
  }
  auto inUnits = [&](const std::vector<UsesEntry> &list) -> Sym * {
    for (size_t u = list.size(); u-- > 0;) {
      const int used = list[u].module;
      if (used < 0) continue;
      if (declaring) {
        for (const SharedBook::Declaring &d : *declaring)
          if (d.module == used) {
            if (Sym *s = take(*d.syms); s) return s;
            break;
          }
      } else if (const auto *found = modules_[size_t(used)]->iface.Find(name)) {
        if (Sym *s = take(*found); s) return s;
      }
    }
    return nullptr;
  };
  if (inImpl_)
    if (Sym *s = inUnits(m.implUses); s) return s;
  if (Sym *s = inUnits(m.ifaceUses); s) return s;
  return firstFound;
}

bool Resolver::IsObjectMember(Name name) {
  static const NameSet members = {"create",
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

Sym *Resolver::LeavingClass(Sym *type) {
  int guard = 0;
  for (Sym *c = Resolved(type); c && guard < 64; c = Resolved(c->ancestor), ++guard)
    if (c->ancestryLeavesBook) return c;
  return nullptr;
}

bool Resolver::LeavesAtKnownClass(Sym *type) {
  const Sym *leaving = LeavingClass(type);
  return leaving && leaving->outside != kNoOutsideClass;
}

Sym *Resolver::OutsideTypeOf(const Sym *subject) {
  if (!subject || subject->type || subject->signature.empty()) return nullptr;
  if (subject->kind != SymKind::Var && subject->kind != SymKind::Field &&
      subject->kind != SymKind::Param && subject->kind != SymKind::Property)
    return nullptr;
  const OutsideClass cls = FindOutsideClass(Name(subject->signature));
  return cls == kNoOutsideClass ? nullptr : OutsideClassType(cls);
}

Sym *Resolver::OutsideClassType(OutsideClass cls) {
  for (Sym &t : outsideTypes_)
    if (t.outside == cls) return &t;
  Sym &t = outsideTypes_.emplace_back();
  t.kind = SymKind::Type;
  t.xkind = XrefKind::Class;
  t.members = &noMembers_;
  t.ancestryLeavesBook = true;
  t.outside = cls;
  t.serial = -1;
  return &t;
}

Sym *Resolver::OutsideItems(OutsideClass cls) {
  for (Sym &p : outsideItems_)
    if (p.type->outside == cls) return &p;
  Sym &p = outsideItems_.emplace_back();
  p.kind = SymKind::Property;
  p.indexed = true;
  p.type = OutsideClassType(cls);
  p.serial = -1;
  return &p;
}

Sym *Resolver::OutsideClassOf(Sym *s) {
  if (!s) return nullptr;
  if (s->kind == SymKind::Type) return s->members == &noMembers_ ? s : nullptr;
  if (s->type) return s->type->members == &noMembers_ ? s->type : nullptr;
  return OutsideTypeOf(s);
}

Sym *Resolver::OutsideClassValue(OutsideClass cls) {
  for (Sym &v : outsideValues_)
    if (v.type->outside == cls) return &v;
  Sym &v = outsideValues_.emplace_back();
  v.kind = SymKind::Var;
  v.type = OutsideClassType(cls);
  v.serial = -1;
  return &v;
}

// The number of arguments of a call whose "(" is at i; 0 without one.
int Resolver::ArgumentsAt(size_t i) {
  lastCall_ = i;
  if (!IsAt(i, "(")) return 0;
  if (IsAt(i + 1, ")")) return 0;
  int depth = 0, count = 1;
  size_t k = i;
  for (; Has(k); ++k) {
    const Name t = Text(k);
    if (t == "(" || t == "[") {
      // An argument's own brackets are passed over whole: counted again
      // at every level, "F(F(F(...)))" took minutes.
      if (depth == 1) {
        k = Closing(k) - 1;
        continue;
      }
      ++depth;
    }
    if (t == ")" || t == "]") {
      if (--depth == 0) return count;
    }
    if (depth == 1 && t == ",") ++count;
    if (t == ";" || t == "begin" || t == "end") break;
  }
  return -1;
}

// The innermost class of the method being read; null outside one.
Sym *Resolver::MethodClass() const {
  for (size_t f = frames_.size(); f-- > 0;)
    if (frames_[f].kind == Frame::Kind::Members) return frames_[f].type;
  return nullptr;
}

// Resolves the name chain at pos_ ("a.b.c", "TFoo(x).Bar", "inherited
// Foo", "Self.X") and leaves pos_ after its last name. Returns what the
// chain names, null when unknown.
Sym *Resolver::Chain() {
  Sym *cur = nullptr;
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
    // "Acme.Util.Hello": a dotted unit's name, where no name of the
    // scope is its first part.
    Sym *unit = nullptr;
    if (size_t last; !cur && Is(".") && (last = DottedUnitAt(at, &unit)) != at) {
      Use(T(last), unit);
      pos_ = last + 1;
      if (!unit) {
        // A unit outside the book: nothing after it is the book's.
        while (Is(".") && IsName(pos_ + 1)) pos_ += 2;
        return Follow(nullptr);
      }
      return Follow(unit);
    }
    Use(T(at), cur);
    // "TFileStream.Create(...)", "TStrings(P)": a class of the table that
    // the book does not declare, followed as that class (no link), so that
    // "with TFileStream.Create(F, fmCreate) do" sees past its members.
    if (!cur && (Is(".") || Is("(")))
      if (const OutsideClass cls = FindOutsideClass(Text(at)); cls != kNoOutsideClass)
        cur = OutsideClassType(cls);
  }
  return Follow(cur);
}

// Follows what comes after a name chain's first part `cur` (casts, calls,
// indexes, "^", ".Name") and leaves pos_ after the chain.
Sym *Resolver::Follow(Sym *cur) {
  bool known = true;
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
      if (Is("[") && !item && cur) {
        // "a[i]", "a[i, j]": an element for each index; "Lines[i]" of a
        // class of the table, an item of its default property.
        after = ElementOf(cur, false);
        if (!after) after = DefaultItemOf(cur);
        if (Sym *outside = after ? nullptr : OutsideClassOf(cur))
          if (const OutsideClass items = OutsideDefaultItemType(outside->outside).cls;
              items != kNoOutsideClass)
            after = OutsideClassValue(items);
        int depth = 0;
        for (size_t k = pos_; k < close && after; ++k) {
          if (Text(k) == "(" || Text(k) == "[") ++depth;
          if (Text(k) == ")" || Text(k) == "]") --depth;
          if (depth == 1 && Text(k) == ",") after = ElementOf(after, false);
        }
      }
      // The arguments are code too.
      ++pos_;
      Expression(close - 1);
      pos_ = close;
      cur = after;
      continue;
    }
    if (Is("^")) {
      ++pos_;
      cur = ElementOf(cur, true);
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
      Sym *helper = c.unit ? nullptr : HelperOf(cur);
      bool complete = true;
      if (helper) {
        next = FindMember(helper, Text(at), ArgumentsAt(pos_), &complete);
      } else if (c.unit) {
        if (const auto *found = c.unit->iface.Find(Text(at)))
          next = Pick(*found, ArgumentsAt(pos_));
      } else if (c.type) {
        next = FindMember(c.type, Text(at), ArgumentsAt(pos_), &complete);
      }
      // A field or property of a class of the table whose own class the
      // table holds: what follows is looked for there ("with
      // TreeView1.Items do" looks in TTreeNodes).
      if (!next && !c.unit) {
        Sym *outside =
            c.type ? (c.type->members == &noMembers_ ? c.type : nullptr) : OutsideTypeOf(cur);
        if (outside) {
          const OutsideClass member = OutsideMemberType(outside->outside, Text(at));
          if (member != kNoOutsideClass) next = OutsideClassValue(member);
          // "Parent.Controls[I].Name": an item of the indexed property.
          const OutsideClass items =
              next || !Is("[") ? kNoOutsideClass : OutsideItemType(outside->outside, Text(at)).cls;
          if (items != kNoOutsideClass) next = OutsideItems(items);
        }
      }
      Use(T(at), next);
      // "TFoo.Create(...)" makes a TFoo, whichever class declares the
      // constructor: its members follow ("with TForm2.Create(nil) do
      // Prepare"). Past the book, "Create" is TObject's constructor or one
      // that hides it.
      const bool ofClass = c.type && c.type->xkind == XrefKind::Class && !c.type->helper &&
                           (cur->kind == SymKind::Type || (cur->type && cur->type->classOf));
      if (ofClass && (next ? next->kind == SymKind::Routine && next->xkind == XrefKind::Constructor
                           : !complete && Text(at) == "create")) {
        cur = c.type;
        continue;
      }
      cur = next;
      continue;
    }
    return cur;
  }
}

bool Resolver::FindLocal(Name name) {
  for (size_t f = frames_.size(); f-- > 0;)
    if (frames_[f].kind == Frame::Kind::Plain && frames_[f].scope->Find(name)) return true;
  return false;
}

// Resolves every name from pos_ to `end` (exclusive).
void Resolver::Expression(size_t end) {
  const Nested nested(*this);
  while (pos_ < end && !AtEnd()) {
    if (T(pos_).reserved && (Is("procedure") || Is("function")) && IsAnonymousAt(pos_)) {
      AnonymousMethod();
      continue;
    }
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
    if (Is("(")) {
      // "(X as TFoo).Name": a member of TFoo. `close` is past the ")".
      const size_t close = Closing(pos_);
      if (close > pos_ + 4 && close < end && IsName(close - 2) && IsAt(close - 3, "as") &&
          IsAt(close, ".") && IsName(close + 1)) {
        ++pos_;
        Expression(close - 2);
        pos_ = close - 2;
        Sym *type = Chain();
        pos_ = close;
        Follow(type && type->kind == SymKind::Type ? type : nullptr);
        continue;
      }
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
size_t Resolver::ExpressionEnd(std::initializer_list<Name> stops) const {
  int depth = 0;
  size_t k = pos_;
  for (; Has(k); ++k) {
    const Name t = Text(k);
    if (t == "(" || t == "[") ++depth;
    if ((t == ")" || t == "]")) {
      if (depth == 0) return k;
      --depth;
    }
    if (T(k).reserved && (t == "procedure" || t == "function") && IsAnonymousAt(k)) {
      k = AnonymousEnd(k) - 1;
      continue;
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
  return k;
}

// ------------------------------------------------------------ statements
void Resolver::StatementList() {
  while (!AtEnd()) {
    Passed();
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

void Resolver::Statement() {
  const Nested nested(*this);
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
    // "for var I := 1 to N do", "for var Item in List do"
    if (w == "for" && Is("var") && IsName(pos_ + 1)) {
      ++pos_;
      Sym *v = NewSym(SymKind::Var, &T(pos_));
      ++pos_;
      if (Is(":")) {
        ++pos_;
        const size_t typeStart = pos_;
        v->type = TypeExpression({":=", "in", "do"});
        v->signature = TypeNameOf(typeStart, pos_);
      }
      if (Scope *locals = InnermostLocals()) locals->Add(v);
    }
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
  } else if (w == "var" || w == "const") {
    InlineDeclaration();
  } else if (w == "goto") {
    SkipSimple();
  } else {
    const size_t end = ExpressionEnd({";"});
    if (w == "raise") ++pos_;
    Expression(end);
  }
}

bool Resolver::IsAnonymousAt(size_t k) const {
  if (k == 0 || !(IsAt(k, "procedure") || IsAt(k, "function"))) return false;
  const Name before = Text(k - 1);
  return before == ":=" || before == "(" || before == "," || before == "[";
}

size_t Resolver::AnonymousEnd(size_t k) const {
  size_t i = k + 1;
  if (IsAt(i, "(")) i = Closing(i);
  // The result type and the declarations, to the body; a local record's
  // "end" is its own. They are short: a longer way to a "begin" is no
  // anonymous method's, and looking further for each such word took
  // time by the square of the unit's length.
  int records = 0;
  for (const size_t last = i + 2048; Has(i); ++i) {
    if (i > last) return k + 1;
    const Name t = Text(i);
    if (t == "begin" || t == "asm") break;
    if (t == "record" || t == "class" || t == "object") ++records;
    if (t == "end" && records-- == 0) return k + 1;
    if (t == "implementation" || t == "initialization" || t == "finalization") return k + 1;
  }
  int depth = 0;
  for (; Has(i); ++i) {
    const Name t = Text(i);
    if (t == "begin" || t == "try" || t == "case" || t == "asm") ++depth;
    if (t == "end" && --depth == 0) return i + 1;
    if (t == "implementation" || t == "initialization" || t == "finalization") break;
  }
  return k + 1;
}

Scope *Resolver::InnermostLocals() const {
  for (size_t f = frames_.size(); f-- > 0;)
    if (frames_[f].kind == Frame::Kind::Plain) return frames_[f].scope;
  return nullptr;
}

void Resolver::AnonymousMethod() {
  const Nested nested(*this);
  const bool function = Is("function");
  const size_t end = AnonymousEnd(pos_);
  ++pos_;
  Scope *params = NewScope();
  Parameters(params, nullptr);
  if (function) {
    Sym *result = AddResult(params);
    if (Is(":")) {
      ++pos_;
      const size_t typeStart = pos_;
      result->type = TypeExpression({"begin", "asm", "var", "const", "type", "label", ";"});
      result->signature = TypeNameOf(typeStart, pos_);
    }
  }
  RoutineBody(params);
  // A method cut short ends where its words were counted to end.
  pos_ = std::max(pos_, end);
}

void Resolver::InlineDeclaration() {
  ++pos_;  // var, const
  const std::vector<Sym *> names = NameList(SymKind::Var);
  Sym *type = nullptr;
  KeptName typeName;
  if (Is(":")) {
    ++pos_;
    const size_t typeStart = pos_;
    type = TypeExpression({";", ":=", "="});
    typeName = TypeNameOf(typeStart, pos_);
  }
  if (Is(":=") || Is("=")) {
    ++pos_;
    const size_t from = pos_, end = ExpressionEnd({";"});
    // "var L := TList.Create;": of the type the value is.
    if (!type && names.size() == 1) {
      const ArgumentType value = ArgumentAt(from, end);
      if (value.kind == ArgumentType::Kind::Value && value.type) type = value.type;
    }
    Expression(end);
  }
  // The names are known only after their declaration.
  Scope *locals = InnermostLocals();
  for (Sym *s : names) {
    s->type = type;
    s->signature = typeName;
    if (locals) locals->Add(s);
  }
}

void Resolver::ExceptPart() {
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

void Resolver::WithStatement() {
  size_t pushed = 0;
  while (!AtEnd() && !Is("do")) {
    // "with FStock.Items: integer begin" stops short of its "do": it is
    // read no further, where it once took a frame for ever.
    const size_t before = pos_;
    const size_t end = ExpressionEnd({",", "do"});
    Sym *subject = nullptr;
    // "with X do" where X is one name chain whose type the book declares.
    const size_t start = pos_;
    if (IsName(pos_) || Is("self") || Is("inherited")) subject = Chain();
    if (pos_ > start && Is("as") && IsName(pos_ + 1)) {
      // "with Add as TStreamCollectionItem do": the class it is taken as.
      ++pos_;
      Sym *cast = Chain();
      subject = cast && cast->kind == SymKind::Type && pos_ == end ? cast : nullptr;
    }
    const bool whole = pos_ == end;
    Expression(end);
    Container c = whole && pos_ == end && start != end ? ContainerOf(subject) : Container();
    if (subject && subject->kind == SymKind::Type && whole) c.type = Resolved(subject);
    // A helper's members come first there too, then those of the type it helps.
    if (Sym *helper = whole && pos_ == end && start != end && !c.unit ? HelperOf(subject) : nullptr)
      c.type = helper;
    // "with SaveDialog1 do": what the LCL's class does not declare is
    // looked for further out, as the compiler does.
    if (!c.type && !c.unit && whole && pos_ == end && start != end) c.type = OutsideTypeOf(subject);
    if (c.type)
      frames_.push_back({Frame::Kind::WithMembers, nullptr, c.type});
    else
      frames_.push_back({Frame::Kind::Opaque, nullptr, nullptr});
    ++pushed;
    Skip(",");
    if (pos_ == before) break;
  }
  Skip("do");
  Statement();
  frames_.resize(frames_.size() - pushed);
}

}  // namespace scrivane::xref
