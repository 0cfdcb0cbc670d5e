// The source's own layout: a unit's lines drawn where the file has their
// words, in the columns of its blanks, with the styles the rules found.
#include <QByteArray>
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include "listing/UnitListingRenderer.h"
#include "print/PageCanvas.h"

namespace scrivane {

namespace {
// Where `word` ends in text from `at` when blanks stand between some of its
// characters there; -1 when it is not there.
qsizetype SpreadWordEnd(QByteArrayView text, qsizetype at, QByteArrayView word) {
  qsizetype r = at;
  for (qsizetype k = 0; k < word.size(); ++k, ++r) {
    if (k > 0)
      while (r < text.size() && (text[r] == ' ' || text[r] == '\t')) ++r;
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (r >= text.size() || lower(text[r]) != lower(word[k])) return -1;
  }
  return r;
}
}  // namespace

using unitlisting::ClassOf;
using unitlisting::IsSectionLineStart;

bool UnitListingRenderer::OwnLayoutAt(int position) const {
  const LineList &lines = model_.ListingLines;
  if (settings_.Layout != 1 || !lines.startsFileLine(position)) return false;
  const int file = lines.fileIndex(position);
  return file < model_.OwnLines.size() && lines.fileLine(position) <= model_.OwnLines[file].size();
}

QByteArrayView UnitListingRenderer::OwnText() {
  // Asked for at every word and blank: looked up once a line.
  if (ownTextFile_ != own_.File || ownTextLine_ != own_.Line) {
    const LineList &own = std::as_const(model_.OwnLines)[own_.File];
    ownText_ = own_.Line >= 1 && own_.Line <= own.size() ? own[own_.Line - 1] : QByteArrayView();
    ownTextFile_ = own_.File;
    ownTextLine_ = own_.Line;
  }
  return ownText_;
}

// Characters, not bytes, in a UTF-8 file; a tab runs to the next multiple of eight.
int UnitListingRenderer::OwnColumns(QByteArrayView text) const {
  const bool utf8 = model_.SourceEncoding == TextEncoding::Utf8;
  // Most words hold neither a tab nor a byte of a longer character.
  if (!std::any_of(text.begin(), text.end(),
                   [&](char c) { return c == '\t' || (utf8 && (c & 0x80)); }))
    return int(text.size());
  int columns = 0;
  for (const char c : text) {
    if (c == '\t')
      columns = columns / 8 * 8 + 8;
    else if (model_.SourceEncoding != TextEncoding::Utf8 ||
             (static_cast<unsigned char>(c) & 0xC0) != 0x80)
      ++columns;
  }
  return columns;
}

// Blanks, tabs and control characters are passed, not drawn: they only move
// the column.
void UnitListingRenderer::PassOwnBlanks() {
  const QByteArrayView text = OwnText();
  const qsizetype from = own_.At;
  while (own_.At < text.size() && static_cast<unsigned char>(text[own_.At]) <= ' ') {
    own_.Column = text[own_.At] == '\t' ? own_.Column / 8 * 8 + 8 : own_.Column + 1;
    ++own_.At;
  }
  if (StructureSink *sink = Structure(); sink && own_.At > from)
    sink->blanks(text.sliced(from, own_.At - from));
}

// Where the next text goes: on the line's first row at its column (exact in
// a fixed-pitch font), on a wrapped row after what was drawn.
void UnitListingRenderer::PlaceOwnColumn(int column) {
  if (cursor_->Y != ownRowY_) own_.Flowing = true;
  if (!own_.Flowing && fixedAdvance64_ > 0) {
    row_->X = ownStartX_ + PageCanvas::Round64((column - own_.Indent) * fixedAdvance64_);
  } else if (!own_.Flowing || row_->X > row_->RowStartX()) {
    // After the text before, the file's blanks as blanks of the base font.
    row_->X += PageCanvas::Round64(std::max(column - own_.EndColumn, 0) * ownBlank64_);
  }
}

// Opens the row the file's current line (nextLine: the line after it)
// prints on: its number, and where its rows start. False when the row does
// not fit above the foot of the page.
bool UnitListingRenderer::OpenOwnRow(bool nextLine) {
  if (nextLine) {
    if (own_.RowOpen) {
      if (!cursor_->NextRowFits()) return false;
      cursor_->NextRow();
    }
    own_.Line += 1;
    own_.At = 0;
    own_.Column = 0;
    own_.Flowing = false;
  }
  if (settings_.LineNo == 1) NumberRow();
  PassOwnBlanks();
  own_.Indent = own_.EndColumn = own_.Column;
  own_.RowOpen = true;
  ownRowY_ = cursor_->Y;
  if (FileLineNumbers()) DrawLineNumber(own_.Line);
  // The block diagram's brackets stand left of the text they enclose: a
  // "begin" its author wrote at the margin had its bracket drawn over the
  // line numbers. With the diagram on, the text starts one step in.
  const int leftX = g().LeftX + (settings_.Blocks == 1 ? g().IndentWidth : 0);
  const int rightmostStart = std::max(leftX, g().RightX - (g().RightX - g().LeftX) / 4);
  ownStartX_ = std::min(leftX + PageCanvas::Round64(own_.Indent * ownBlank64_), rightmostStart);
  row_->SetRowStartX(ownStartX_);
  row_->X = ownStartX_;
  TellRow(own_.Line, own_.File, ownStartX_);
  ReportDeclarationPlace(own_.File, own_.Line, cursor_->Y);
  return true;
}

bool UnitListingRenderer::CarryOwn(int piece) {
  if (!carry_)
    carry_ =
        CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(), -1, OwnRow{}};
  carry_->Piece = piece;
  carry_->Own = own_;
  carry_->Own.RowOpen = false;
  carry_->Own.Flowing = true;
  cursor_->Y += g().LineStep;
  return false;
}

// The words of line_ from `from` on, each where the file has it. A word not
// found where the file goes on (text the reader changed) ends the matching:
// the rest of the file's line is drawn as it stands, in the plain style.
bool UnitListingRenderer::DrawOwnWords(qsizetype from, const LineLexer::Place &place,
                                       qsizetype offset, int piece) {
  ClassedWordReader words(*line_, from, place);
  const bool sectionLine = IsSectionLineStart(line_->FirstWord());
  for (; !words.AtEnd() && !own_.Lost; words.Advance()) {
    const LineWord &peeked = words.Peek();
    if (peeked.Text.isEmpty()) continue;
    const qsizetype size = peeked.Text.size();
    const qsizetype index = words.IndexAhead();
    if (offset == 0 || index != from) {
      PassOwnBlanks();
      // A joined header goes on on the file's next line.
      while (own_.At >= OwnText().size() && own_.Line < own_.LastLine) {
        if (!OpenOwnRow(true)) {
          carry_ =
              CarriedRows{line_, index, words.PlaceAhead(), 0, row_->RowStartX(), -1, OwnRow{}};
          return CarryOwn(piece);
        }
      }
      const QByteArrayView text = OwnText();
      // The same bytes, mostly; else the same but for the case the options set.
      const bool found =
          own_.At + size <= text.size() &&
          (std::memcmp(text.data() + own_.At, peeked.Text.constData(), size_t(size)) == 0 ||
           QByteArrayView(text.data() + own_.At, size).compare(peeked.Text, Qt::CaseInsensitive) ==
               0);
      if (!found) {
        // The reader glues some code the file spaces (") ;"): drawn apart,
        // as the file has it.
        if (const qsizetype end = SpreadWordEnd(text, own_.At, peeked.Text); end > 0) {
          if (!DrawSpreadWord(peeked, end, false)) {
            own_.Lost = true;
            carry_ = CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(),
                                 -1,    OwnRow{}};
            return CarryOwn(piece);
          }
          continue;
        }
        own_.Lost = true;
        break;
      }
      // A tab or a control character inside a string or a comment is a
      // blank that takes its columns.
      if (std::any_of(peeked.Text.begin(), peeked.Text.end(),
                      [](char c) { return static_cast<unsigned char>(c) < ' '; })) {
        if (!DrawSpreadWord(peeked, own_.At + size, true)) {
          own_.Lost = true;
          carry_ = CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(),
                               -1,    OwnRow{}};
          return CarryOwn(piece);
        }
        continue;
      }
      PlaceOwnColumn(own_.Column);
    }
    const int rowY = cursor_->Y;
    drawingOwn_ = true;
    const bool drawn = DrawWord(words, sectionLine, index == from ? offset : 0);
    drawingOwn_ = false;
    if (cursor_->Y != rowY) own_.Flowing = true;
    if (!drawn && carry_ && carry_->Word == index)
      return CarryOwn(piece);  // the word itself goes on
    own_.Column += OwnColumns(QByteArrayView(OwnText().data() + own_.At, size));
    own_.EndColumn = own_.Column;
    own_.At += size;
    if (!drawn) return CarryOwn(piece);
  }
  return true;
}

// The word in pieces between the file's blanks, each at the file's column,
// in the word's style ("end ;": the ";" never in the reserved words').
// whole: the word holds the blanks too (text the reader keeps as it is).
bool UnitListingRenderer::DrawSpreadWord(const LineWord &word, qsizetype end, bool whole) {
  const QByteArrayView text = OwnText();
  const qsizetype start = own_.At;
  qsizetype k = 0;
  while (own_.At < end) {
    PassOwnBlanks();
    if (own_.At >= end) break;
    if (whole) k = own_.At - start;
    qsizetype n = 0;
    while (own_.At + n<end &&static_cast<unsigned char>(text[own_.At + n])> ' ') ++n;
    const QByteArrayView piece =
        QByteArrayView(word.Text).sliced(k, std::min(n, word.Text.size() - k));
    PlaceOwnColumn(own_.Column);
    SelectFont(word.Kind == TokenClass::Reserved && piece == ";" ? TokenClass::Plain : word.Kind);
    TellWord(word.Kind == TokenClass::Reserved && piece == ";" ? WordClass::Symbol : ClassOf(word),
             k > 0);
    const int rowY = cursor_->Y;
    const qsizetype drawn = row_->DrawWholeOrBroken(piece, false);
    if (cursor_->Y != rowY) own_.Flowing = true;
    if (drawn >= 0) return false;
    own_.Column += OwnColumns(text.sliced(own_.At, n));
    own_.EndColumn = own_.Column;
    own_.At += n;
    k += n;
  }
  return true;
}

// What the words did not cover: the rest of the file's line and of the
// lines a joined header took, as they stand.
bool UnitListingRenderer::DrawOwnRest(int piece) {
  for (;;) {
    PassOwnBlanks();
    const QByteArrayView text = OwnText();
    if (own_.At < text.size()) {
      qsizetype end = own_.At;
      while (end < text.size() && static_cast<unsigned char>(text[end]) > ' ') ++end;
      PlaceOwnColumn(own_.Column);
      canvas_->SetFont(fonts_.base);
      TellWord(WordClass::Identifier);
      const int rowY = cursor_->Y;
      const QByteArrayView word = text.sliced(own_.At, end - own_.At);
      const qsizetype drawn = row_->DrawWholeOrBroken(word, false);
      if (cursor_->Y != rowY) own_.Flowing = true;
      const qsizetype taken = drawn < 0 ? word.size() : drawn;
      own_.Column += OwnColumns(word.first(taken));
      own_.EndColumn = own_.Column;
      own_.At += taken;
      if (drawn >= 0) {
        carry_ = CarriedRows{line_, line_->Size(), LineLexer::Place{}, 0, row_->RowStartX(),
                             -1,    OwnRow{}};
        return CarryOwn(piece);
      }
      continue;
    }
    if (own_.Line >= own_.LastLine) return true;
    if (!OpenOwnRow(true)) return CarryOwn(piece);
  }
}

void UnitListingRenderer::LayOutOwnLine(int &position, std::optional<CarriedRows> carried) {
  PageCanvas &canvas = *canvas_;
  PageCursor &cursor = *cursor_;
  const LineList &lines = model_.ListingLines;
  const int first = carried ? carried->Piece : position;
  // The listing lines the reader split off the same line of the file, or
  // off the lines of a header it joined.
  const int firstLine = lines.fileLine(first);
  const int lastLine =
      carried ? carried->Own.LastLine
              : std::max(firstLine, model_.JoinedLines.value(
                                        ProjectModel::JoinedKey(lines.fileIndex(first), firstLine),
                                        firstLine));
  int last = first;
  while (last + 1 < lines.size() && !lines.startsFileLine(last + 1) &&
         lines.fileIndex(last + 1) == lines.fileIndex(first) &&
         lines.fileLine(last + 1) >= firstLine && lines.fileLine(last + 1) <= lastLine)
    ++last;
  bool rule = false;
  int piece = first;
  if (carried) {
    own_ = carried->Own;
    line_ = carried->Line;
    if (lines.hasOtherFiles()) partName_ = model_.PartNameOf(lines, first);
    row_->SetRowStartX(carried->RowStartX);
    row_->X = carried->RowStartX;
    ownStartX_ = carried->RowStartX;
    ownRowY_ = cursor.Y;
    if (settings_.LineNo == 1) NumberRow();  // a continuation row, numbered as one
    own_.RowOpen = true;
    own_.Flowing = true;
    rule = RuleDue();
    if (!DrawOwnWords(carried->Word, carried->Place, carried->Offset, piece)) return;
    ++piece;
  } else {
    const int file = lines.fileIndex(first);
    const int line = lines.fileLine(first);
    own_ = OwnRow{};
    own_.File = file;
    own_.Line = line;
    own_.LastLine = lastLine;
    const QByteArrayView trimmed = lines[first].trimmed();
    if (settings_.Auto == 1 && trimmed.isEmpty() && last == first && own_.LastLine == line) {
      position = last;
      return;
    }
  }
  for (; piece <= last; ++piece) {
    fileLine_ = lines.fileLine(piece);
    startsFileLine_ = lines.startsFileLine(piece);
    fileIndex_ = lines.fileIndex(piece);
    const QByteArrayView text = lines[piece];
    const auto headings = ClassLine(text, text.trimmed());
    if (s_.layout.LineX == 0) s_.layout.LineX = g().LeftX;
    if (s_.layout.NextLineX == 0) s_.layout.NextLineX = s_.layout.LineX;
    if (piece == first && line_->FirstWord() == kNewPageMarker) {
      BreakPage();  // as in the recomputed layout
      s_.layout.LineX = s_.layout.NextLineX;
      position = last;
      return;
    }
    if (piece == first) {
      if (s_.layout.BlankBefore) {
        s_.layout.BlankBefore = false;
        if (cursor.Y < canvas.PageHeight - g().BottomMargin - canvas.TextHeight("X") &&
            cursor.Y > textTop_) {
          if (settings_.LineNo == 1) NumberRow();
          TellRow(0, own_.File, g().LeftX);
          cursor.Y += g().LineStep;
        }
      }
      OpenOwnRow(false);
    } else {
      // A heading split off the line prints on the line's row.
      s_.layout.BlankBefore = false;
    }
    if (settings_.Blocks == 1) {
      if (StructureSink *sink = Structure();
          sink && (s_.layout.BlockOpened || s_.layout.BlockClosed))
        sink->bracket(s_.layout.BlockOpened, s_.layout.BlockClosed && (s_.layout.BlockOpened ||
                                                                       s_.layout.BlockCount() > 0));
      const int computedX = s_.layout.LineX;
      s_.layout.LineX = ownStartX_;
      DrawBlockMarks(canvas, s_.layout, ownRowY_, g().LineStep, g().IndentWidth);
      s_.layout.LineX = computedX;
    }
    s_.layout.BlockOpened = s_.layout.BlockClosed = false;
    for (const auto &[name, kind] : headings) RecordIndexEntry(name, kind);
    ReportHeading(ownRowY_);
    rule = rule || RuleDue();
    if (!DrawOwnWords(0, line_->Start(), 0, piece)) return;
    s_.layout.LineX = s_.layout.NextLineX;
  }
  if (!DrawOwnRest(last)) return;
  position = last;
  FinishRow(rule);
}
}  // namespace scrivane
