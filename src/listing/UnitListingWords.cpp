// A line's words as the listing draws them: each in its style's font,
// wrapped onto the next row or carried to the next page, and the names
// among them linked to their declarations.
#include <QByteArray>
#include <QRect>
#include <utility>

#include "listing/UnitListingRenderer.h"
#include "platform/Text1252.h"
#include "print/PageCanvas.h"

namespace scrivane {

namespace unitlisting {

// Compared in lower case: by the time a line is drawn its first word may
// have been upper-cased as a reserved word (or written capitalised in the
// source), and its underline must still stop at the last letter.
// Only a word of a section word's length is lowered: every line drawn asks.
bool IsSectionLineStart(QByteArrayView word) {
  const qsizetype size = word.size();
  if (size != 6 && size != 7 && size != 9 && size != 14) return false;
  return IsSectionWord(LoweredWord(word).view());
}

// What a word is, for an output that keeps words: its style's class, and
// among plain code a number apart from a name.
WordClass ClassOf(const LineWord &word) {
  switch (word.Lex) {
    case Lexeme::String:
      return WordClass::String;
    case Lexeme::Comment:
      return WordClass::Comment;
    case Lexeme::Directive:
      return WordClass::Directive;
    case Lexeme::Code:
      break;
  }
  switch (word.Kind) {
    case TokenClass::Reserved:
      return WordClass::Reserved;
    case TokenClass::Section:
      return WordClass::Section;
    case TokenClass::ProcName:
      return WordClass::RoutineName;
    case TokenClass::Comment:
      return WordClass::Comment;
    case TokenClass::Message:
      return WordClass::String;
    case TokenClass::Plain:
      break;
  }
  const QByteArrayView text(word.Text);
  if (text.isEmpty()) return WordClass::Identifier;
  const unsigned char c = static_cast<unsigned char>(text[0]);
  if ((c >= '0' && c <= '9') || ((c == '$' || c == '%' || c == '&') && text.size() > 1))
    return WordClass::Number;
  if (c == '_' || c >= 0x80 || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'))
    return WordClass::Identifier;
  return WordClass::Symbol;
}

}  // namespace unitlisting

namespace {

// How many of a reserved word's last bytes are the ";", "," or ")" that
// follow it ("end;", "end,", "end);"), less than the whole word.
qsizetype PunctuationTail(const QByteArray &text) {
  qsizetype tail = 0;
  while (tail < text.size() - 1 &&
         (text[text.size() - 1 - tail] == ';' || text[text.size() - 1 - tail] == ',' ||
          text[text.size() - 1 - tail] == ')'))
    ++tail;
  return tail;
}

// Calls visit with the text of the word `ahead` words after the reader's and
// of each word glued after it, up to the next blank (the sentinel left out):
// what must fit on one row. Stops early when visit returns false.
template <class Visit>
void ForEachGluedWord(ClassedWordReader &words, size_t ahead, Visit visit) {
  for (size_t k = ahead;; ++k) {
    const LineWord &word = words.Peek(k);
    if (!visit(QByteArrayView(word.Text))) return;
    if (word.BlankAfter || words.IndexAhead(k + 1) >= words.LineSize()) return;
  }
}

// That run as one text.
QByteArray GluedRun(ClassedWordReader &words, size_t ahead) {
  QByteArray run;
  ForEachGluedWord(words, ahead, [&](QByteArrayView text) {
    run += text;
    return true;
  });
  return run;
}

}  // namespace

using unitlisting::ClassOf;
using unitlisting::IsSectionLineStart;

void UnitListingRenderer::SelectFont(TokenClass kind) {
  PageCanvas &canvas = *canvas_;
  switch (kind) {
    case TokenClass::Plain:
      canvas.SetFont(fonts_.base);
      break;
    case TokenClass::Reserved:
      canvas.SetFont(fonts_.reserve);
      break;
    case TokenClass::Comment:
      canvas.SetFont(fonts_.comment);
      break;
    case TokenClass::Message:
      canvas.SetFont(fonts_.message);
      break;
    case TokenClass::Section:
      canvas.SetFont(fonts_.section);
      break;
    case TokenClass::ProcName:
      canvas.SetFont(fonts_.proc);
      break;
  }
}
// Draws the words of line_ from word `from` on (that one from byte `offset`
// on; `place`: where the lexer stands before it); false when a row did not
// fit and the rest is carried to the next page.
bool UnitListingRenderer::DrawWords(qsizetype from, const LineLexer::Place &place,
                                    qsizetype offset) {
  ClassedWordReader words(*line_, from, place);
  const bool sectionLine = IsSectionLineStart(line_->FirstWord());
  for (; !words.AtEnd(); words.Advance())
    if (!DrawWord(words, sectionLine, words.IndexAhead() == from ? offset : 0)) {
      // The page ends below the last row drawn, as after a finished line.
      cursor_->Y += g().LineStep;
      return false;
    }
  return true;
}

void UnitListingRenderer::DrawCarriedRows(CarriedRows carried) {
  row_->SetRowStartX(carried.RowStartX);
  row_->X = carried.RowStartX;
  if (settings_.LineNo == 1) NumberRow();  // a continuation row, numbered as one
  line_ = carried.Line;
  spellings_ = std::move(carried.Spellings);
  if (DrawWords(carried.Word, carried.Place, carried.Offset)) FinishLine();
}
void UnitListingRenderer::ReportDeclarationPlace(int part, int line, int y) {
  CrossLinks *links = l_.CrossLinks;
  const int file = XrefFileOf(part);
  if (!links || file < 0) return;
  // With the cross-reference document, a row of uses is a place its
  // entries lead to, and it tells them its page.
  bool place = links->IsTarget(file, line);
  if (links->EntriesPrinted && !place) {
    placeUses_ = links->UsesOn(file, line, placeUses_);
    place = placeUses_.first < placeUses_.last;
  }
  if (!place) return;
  if (NavigationSink *navigation = canvas_->Navigation())
    navigation->anchor(CrossLinks::PlaceKey(file, line), y);
  if (links->EntriesPrinted) {
    if (noted_.isNull() || notedPart_ != part) {
      // As the index names it: "controls.pp/control.inc" for an include file.
      noted_ = FileNamePartOf(l_.Names().UnitNameText);
      if (part > 0 && part < model_.SourceParts.size())
        noted_ += '/' + Encode1252(FileNamePart(model_.SourceParts[part].shown));
      notedPart_ = part;
    }
    links->NoteRow(file, line, cursor_->Page, noted_);
  }
}

void UnitListingRenderer::LinkUses(const LineWord &word, QByteArrayView text, int x, int y) {
  NavigationSink *navigation = canvas_->Navigation();
  if (!navigation) return;
  const int part = drawingOwn_ ? own_.File : fileIndex_;
  if (!drawingOwn_) spellings_.PassTo(word.Offset, part);
  // A joined header's row counts on the file line each word was written on.
  const int line = drawingOwn_ ? own_.Line : spellings_.line;
  if (!drawingOwn_ && spellings_.part != part) return;
  const int file = XrefFileOf(part);
  if (file < 0) return;
  const CrossLinks &links = *l_.CrossLinks;
  if (usesPart_ != part || usesLine_ != line) {
    usesOn_ = links.UsesOn(file, line, usesOn_);
    usesFrom_ = usesOn_.first;
    declarationsOn_ = links.EntriesPrinted ? links.DeclarationsOn(file, line, declarationsOn_)
                                           : CrossLinks::LineUses{};
    declarationsFrom_ = declarationsOn_.first;
    usesPart_ = part;
    usesLine_ = line;
  }
  if (usesOn_.first == usesOn_.last && declarationsOn_.first == declarationsOn_.last) return;
  // Reserved words are counted as the references count them; only names
  // drawn in the code's own styles are links.
  const bool linkable = word.Kind == TokenClass::Plain || word.Kind == TokenClass::ProcName;
  PageCanvas &canvas = *canvas_;
  ForEachIdentifier(text, [&](qsizetype at, qsizetype size) {
    const QByteArrayView name = text.sliced(at, size);
    const int column = drawingOwn_ ? int(own_.At + at) + 1 : 0;
    const int ordinal = drawingOwn_ ? 0 : spellings_.Next(name);
    // A word moved to the next row or broken across rows is no link.
    if (!linkable || x < 0) return;
    QByteArray &key = linkKey_;
    if (const int use = drawingOwn_ ? links.UseAtColumn(usesOn_, column, int(size))
                                    : links.UseByOrdinal(usesOn_, name, ordinal, &usesFrom_);
        use >= 0) {
      links.TargetKeyInto(links.References().uses[size_t(use)].declaration, key);
    } else if (declarationsOn_.first < declarationsOn_.last) {
      // A name where it is declared leads to its entry in the cross-reference.
      int d = drawingOwn_
                  ? links.DeclarationAtColumn(declarationsOn_, column, int(size))
                  : links.DeclarationByOrdinal(declarationsOn_, name, ordinal, &declarationsFrom_);
      if (d >= 0 && links.References().declarations[size_t(d)].declaredAt >= 0)
        d = links.References().declarations[size_t(d)].declaredAt;
      if (d < 0 || !CrossLinks::Listed(links.References().declarations[size_t(d)])) return;
      key = CrossLinks::EntryKey(d);
    } else {
      return;
    }
    const int left = x + (at > 0 ? canvas.TextWidth(text.first(at)) : 0);
    const int right = x + canvas.TextWidth(text.first(at + size));
    navigation->link(QRect(left, y, right - left, canvas.TextHeight(name)), key);
  });
}

bool UnitListingRenderer::DrawWord(ClassedWordReader &words, bool sectionLine, qsizetype offset) {
  PageCanvas &canvas = *canvas_;
  RowWriter &row = *row_;
  // Read in place, not copied: the reader has just written the word, and a
  // copy read its parts back whole before the writes were done, once for
  // every word drawn. The reference holds until the reader reads ahead.
  const LineWord &word = words.Peek();
  const TokenClass kind = word.Kind;
  SelectFont(kind);
  TellWord(ClassOf(word), offset > 0);
  const int start = row.X;
  const int y = cursor_->Y;
  // ahead: 0 for this word, 1 for the next one.
  auto carryFrom = [&](size_t ahead, qsizetype nextOffset) {
    carry_ = CarriedRows{line_,      words.IndexAhead(ahead), words.PlaceAhead(ahead),
                         nextOffset, row.RowStartX(),         -1,
                         OwnRow{}};
    return false;
  };

  const bool blank = word.BlankAfter && !drawingOwn_;
  const bool upperName = kind == TokenClass::ProcName && settings_.UpperCaseRoutineNames == 1;
  // Here too for the rest of a name broken across pages: the word is cut
  // afresh from the line on each page.
  const QByteArray upper = upperName ? word.Text.toUpper() : QByteArray();
  const QByteArray &text = upperName ? upper : word.Text;
  // Where the word was drawn whole, for its links.
  int drawnX = -1;
  if (offset > 0) {
    // The rest of a word broken across the foot of the previous page.
    if (const qsizetype drawn = row.DrawWholeOrBroken(QByteArrayView(text).sliced(offset), blank);
        drawn >= 0)
      return carryFrom(0, offset + drawn);
  } else if (upperName) {
    if (const qsizetype drawn = row.DrawWholeOrBroken(text, blank); drawn >= 0)
      return carryFrom(0, drawn);
    drawnX = row.LastWholeX;
  } else if (sectionLine) {
    canvas.TextOut(start, y, text);
    drawnX = start;
    row.X = start + canvas.TextWidth(blank ? text + ' ' : text);
  } else if (const qsizetype tail = kind == TokenClass::Reserved ? PunctuationTail(text) : 0;
             tail > 0) {
    // "end;", "override;", an anonymous method's "end,": the punctuation is
    // never in the reserved-word style.
    const QByteArray head = text.chopped(tail);
    canvas.TextOut(start, y, head);
    const int headWidth = canvas.TextWidth(head);
    canvas.SetFont(fonts_.base);
    TellWord(WordClass::Symbol, true);
    const QByteArray punctuation = text.right(tail);
    canvas.TextOut(start + headWidth, y, punctuation);
    // The head's width in its own font: the whole word measured in the
    // base font is narrower than a bold head, and "virtual; abstract;"
    // printed as "virtual;abstract;".
    row.X = start + headWidth + canvas.TextWidth(blank ? punctuation + ' ' : punctuation);
  } else {
    if (const qsizetype drawn = row.DrawWholeOrBroken(text, blank); drawn >= 0)
      return carryFrom(0, drawn);
    drawnX = row.LastWholeX;
  }
  if (l_.CrossLinks && word.Lex == Lexeme::Code && offset == 0)
    LinkUses(word, text, drawnX, cursor_->Y);

  // A word glued to the one before it ("'x';") shares its row: the row
  // breaks only where a blank stands, before the whole glued run.
  const bool lastReal = words.IndexAhead(1) >= words.LineSize();
  if (!lastReal && blank && NextRunOverflows(words) && !row.NewRow()) return carryFrom(1, 0);
  return true;
}

// Whether the glued run after the current word, and a blank, would pass the
// row's right limit, in the current word's font: summed piece by piece
// where the font gives every advance, rather than copied and measured.
bool UnitListingRenderer::NextRunOverflows(ClassedWordReader &words) {
  PageCanvas &canvas = *canvas_;
  long long width64 = 0, piece = 0;
  bool summed = canvas.BlankWidth64(&width64);
  if (summed)
    ForEachGluedWord(words, 1, [&](QByteArrayView text) {
      summed = canvas.TextWidth64(text, &piece);
      width64 += piece;
      return summed;
    });
  return summed ? row_->Overflows64(width64) : row_->NextWordOverflows(GluedRun(words, 1));
}
}  // namespace scrivane
