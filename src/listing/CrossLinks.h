#pragma once
// The cross-references of a print, as the listings use them: which use of a
// name a word of a row is, and the place its link leads to. A place is a
// declaration's row, named by its file and line in the references ("x3:120"),
// so that the row reports it wherever it prints (its unit's listing, or an
// include file's text inside it).
#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <deque>
#include <vector>

#include "project/CrossReferences.h"

namespace scrivane {

class CrossLinks {
 public:
  explicit CrossLinks(CrossReferences refs);

  const CrossReferences &References() const { return refs_; }
  // The file of the references a path names (as read, or as its real
  // path), -1 for none.
  int FileOf(const QString &path) const;
  // The declaration a use leads to: a routine's body where the book has
  // one, else the declaration itself.
  int TargetOf(int declaration) const;
  // The key of the place a row of that file and line reports.
  static QByteArray PlaceKey(int file, int line);
  QByteArray TargetKey(int declaration) const;
  // The same keys written into `key`, whose room is used again: a book
  // links some 150,000 uses, and a fresh key for each was a block of the
  // heap made and freed.
  static void PlaceKeyInto(int file, int line, QByteArray &key);
  void TargetKeyInto(int declaration, QByteArray &key) const;
  // Whether a declaration a link may lead to stands on that line.
  bool IsTarget(int file, int line) const;

  // The uses on one line of a file, in column order: [first, last). Found
  // from `near` (the uses of a line before it) as quickly as from the
  // start: a listing asks for its lines in order.
  struct LineUses {
    int first = 0, last = 0;
  };
  LineUses UsesOn(int file, int line) const;
  LineUses UsesOn(int file, int line, LineUses near) const;
  // Within those: the use at a byte column (from 1) of the file's line, or
  // the ordinal-th use spelt `name` (case ignored); -1 when none is.
  int UseAtColumn(LineUses on, int column, int length) const;
  // `from`, when given, is where to look first and is left after the use
  // found: asked in order, each is found at once.
  int UseByOrdinal(LineUses on, QByteArrayView name, int ordinal, int *from = nullptr) const;
  // The same for the declarations whose names stand on a line.
  LineUses DeclarationsOn(int file, int line) const;
  LineUses DeclarationsOn(int file, int line, LineUses near) const;
  int DeclarationAtColumn(LineUses on, int column, int length) const;
  int DeclarationByOrdinal(LineUses on, QByteArrayView name, int ordinal,
                           int *from = nullptr) const;

  // The cross-reference document: which declarations it lists (routines,
  // methods and types, each under its first declaration), and the key of
  // its entry.
  static bool Listed(const XrefDeclaration &d);
  static QByteArray EntryKey(int declaration);
  // Set when the document prints with the listings: each listed name where
  // it is declared links to its entry, and every row that holds a use
  // becomes a place to land on.
  bool EntriesPrinted = false;

  // Where the listings printed a file line that holds a declaration or a
  // use: the page and the document ("stock.pas", "controls.pp/control.inc").
  void NoteRow(int file, int line, int page, const QByteArray &document);
  struct PrintedRow {
    int page = 0;
    QByteArray document;
  };
  // Null when the line was not printed. Rows printed on the same page of
  // the same document share one.
  const PrintedRow *RowOf(int file, int line) const;

 private:
  CrossReferences refs_;
  QHash<QString, int> files_;
  std::vector<quint64> targets_;  // file << 32 | line, sorted
  std::vector<int> declarationsByPlace_;
  // The rows noted, by their file << 32 | line: open addressing over
  // printedPlaces_, at most three quarters full (0 for a free slot, so a
  // place is stored + 1), each with its page's index in printedPages_. A
  // book's 40,000 noted rows cost 2 MB as a QHash with a document each.
  std::vector<quint64> printedPlaces_;
  std::vector<quint32> printedRows_;
  size_t printedCount_ = 0;
  std::deque<PrintedRow> printedPages_;
  size_t PrintedSlot(quint64 place) const;
};

// Calls visit(offset, length) for each identifier in a word of code
// ("FList.Add(Item);" holds three), passing over numbers, strings and
// character codes.
template <class Visit>
void ForEachIdentifier(QByteArrayView word, Visit visit) {
  auto letter = [](char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  qsizetype i = 0;
  const qsizetype n = word.size();
  while (i < n) {
    const char c = word[i];
    if (letter(c)) {
      qsizetype end = i + 1;
      while (end < n && (letter(word[end]) || digit(word[end]))) ++end;
      // "&begin" names an identifier spelt like a reserved word.
      visit(i, end - i);
      i = end;
    } else if (digit(c) || c == '$' || c == '#' || c == '%') {
      ++i;
      while (i < n && (letter(word[i]) || digit(word[i]))) ++i;
    } else if (c == '\'') {
      ++i;
      while (i < n && word[i] != '\'') ++i;
      ++i;
    } else {
      ++i;
    }
  }
}

}  // namespace scrivane
