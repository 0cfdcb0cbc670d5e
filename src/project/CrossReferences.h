#pragma once
// Cross-references of a book: which declaration each name in the code
// names, found as Pascal finds it as far as names alone allow. The units
// and programs of a book are read with their include files; every routine,
// type, unit-level constant and variable and unit they declare is a
// declaration, and every identifier in code (not in a comment, string or
// directive) that names one of them with certainty is a use of it.
//
// A wrong link is worse than none, so what cannot be told for sure gets no
// use: a name no unit of the book declares (it may come from a unit outside
// it), a name inside a "with" whose subject's type the book does not
// declare, "Obj.Name" where Obj's type is unknown or Name is not found in
// it, what follows a call or an index ("F(x).Name", "A[i].Name"), and code
// in an {$IFDEF} branch the compiler would not read.
//
// Places. Every place names a file of Files() (a unit, a program or an
// include file; a text brought in by {$I} keeps its own file and lines),
// its line as the file numbers it from 1 (what LineList::fileLine and the
// listing's line numbers give; a row split off a file line carries the
// same number), and the byte column in that line from 1. The listing
// changes blanks, so a row finds its word by `ordinal`: the identifier is
// the ordinal-th (from 0) code identifier of that file line spelt the same
// way, case ignored ("Foo" in "Foo := Foo + 1" is 0, then 1).
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cstring>
#include <vector>

namespace scrivane {

enum class XrefKind : unsigned char {
  Unit,  // a unit, a program or a library: its name in the heading
  Procedure,
  Function,
  Constructor,
  Destructor,
  Operator,
  Class,  // class, object, interface
  Record,
  Enumeration,
  Type,  // any other type: an alias, a set, an array, a pointer, a procedure type
  Constant,
  Variable,
};
// "procedure", "class", ... as a word for listings and tests.
const char *XrefKindName(XrefKind kind);
inline bool IsRoutineKind(XrefKind kind) {
  return kind >= XrefKind::Procedure && kind <= XrefKind::Operator;
}

struct XrefPlace {
  int file = 0;    // index into CrossReferences::files
  int line = 0;    // from 1
  int column = 0;  // byte of the line, from 1
  int ordinal = 0;
};

// A text stored after its length (one byte below 255, else 255 and four
// bytes), read through a view of its bytes: eight bytes where a view took
// sixteen, in each of a unit's 200,000 declarations and of the symbols the
// resolver keeps for them. Valid while what holds the text is.
template <class View>
class LengthPrefixedText {
 public:
  LengthPrefixedText() = default;
  explicit LengthPrefixedText(const char *at) : at_(at) {}
  View view() const {
    if (!at_) return {};
    quint32 length = static_cast<unsigned char>(at_[0]);
    if (length < 255) return View(at_ + 1, length);
    std::memcpy(&length, at_ + 1, 4);
    return View(at_ + 5, length);
  }
  operator View() const { return view(); }  // NOLINT(google-explicit-constructor)
  const char *data() const { return view().data(); }
  auto size() const { return view().size(); }
  bool isEmpty() const { return !at_ || at_[0] == 0; }
  bool empty() const { return isEmpty(); }  // as the resolver's views say it
  bool isNull() const { return !at_; }
  QByteArray toByteArray() const { return view().toByteArray(); }
  bool startsWith(QByteArrayView text) const { return view().startsWith(text); }
  QByteArrayView sliced(qsizetype from) const { return view().sliced(from); }
  int compare(QByteArrayView text, Qt::CaseSensitivity cs = Qt::CaseSensitive) const {
    return view().compare(text, cs);
  }
  friend bool operator==(LengthPrefixedText a, View b) { return a.view() == b; }

  // The room `size` bytes take.
  static size_t Room(size_t size) { return size + (size < 255 ? 1 : 5); }
  // Writes the text at `at` (Room(size) bytes); the place after it.
  static char *Write(char *at, const char *text, size_t size) {
    const auto length = quint32(size);
    if (length < 255) {
      *at++ = char(length);
    } else {
      *at++ = char(255);
      std::memcpy(at, &length, 4);
      at += 4;
    }
    if (size) std::memcpy(at, text, size);
    return at + size;
  }

 private:
  const char *at_ = nullptr;
};
// A text of CrossReferences::texts.
using XrefText = LengthPrefixedText<QByteArrayView>;

struct XrefDeclaration {
  XrefPlace place;  // where the name is declared
  XrefText name;    // as written there
  XrefText owner;   // a method's class ("TOuter.TInner" for a nested one); empty otherwise
  // A routine's parameters as declared; -1 for everything else.
  int parameters = -1;
  // The unit or program that declares it (an index into declarations; a
  // unit names itself).
  int module = 0;
  // A routine declared in an interface, a class or "forward" is declared
  // again where its body is: that heading's declaration, -1 when it has
  // none in the book. A listing links a routine's uses there. The body's
  // own heading has declaredAt set to the first declaration.
  int body = -1;
  int declaredAt = -1;
  XrefKind kind = XrefKind::Procedure;
};

struct XrefUse {
  XrefPlace place;
  int length = 0;       // bytes of the name as written
  int declaration = 0;  // index into declarations: the first declaration of what it names
};

struct CrossReferences {
  // Absolute paths as found on disk: the modules in the order given, then
  // the include files in the order met.
  QStringList files;
  std::vector<XrefDeclaration> declarations;
  std::vector<XrefUse> uses;  // by file, then line and column
  // The declarations' names and owners, one after another: a QByteArray
  // of each name cost a unit of 200,000 routines 10 MiB through its print.
  // Never changed once made, so that copies share it.
  QByteArray texts;
  // Files that could not be read, as messages; the others are resolved.
  QStringList problems;
  // Why no name of the book was followed (its code nests too deeply), as
  // a message; empty when they were.
  QString notFollowed;
};

// Reads the units and programs of a book (absolute paths, the order the
// book prints them) with their include files (looked for beside the file
// that names them, then in includeFolders) and resolves their names.
// projectPath is the project file that holds them, if any: it decides
// whether brace comments nest, as for the listing.
CrossReferences ResolveCrossReferences(const QStringList &modules,
                                       const QStringList &includeFolders = {},
                                       const QString &projectPath = {});

}  // namespace scrivane
