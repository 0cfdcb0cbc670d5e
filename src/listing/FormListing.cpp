#include "listing/FormListing.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "format/FormatSettings.h"
#include "listing/PageFurniture.h"
#include "listing/RowWriter.h"
#include "platform/Paths.h"
#include "print/PageCanvas.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {

constexpr int kLineNumberGap = 30;  // device units between a line number and the text margin
const FurnitureVariant kVariant{false, std::nullopt};
// Never drawn: the word after the last one, so that a line ending in "{"
// turns the format of the binary data on for the lines below.
const QByteArray kEndMarker("```");

}  // namespace

FormLine LayOutFormLine(QByteArrayView trimmedLine, FormLayoutState &state, int leftX,
                        int indentWidth, const FormatSettings &settings) {
  FormLine line;
  QList<QByteArray> words = QByteArray(trimmedLine.data(), trimmedLine.size()).split(' ');
  if (trimmedLine.isEmpty()) words.clear();
  const qsizetype count = words.size();
  words.append(kEndMarker);
  const int column = int(2 * settings.Equal * std::max(state.CurrentIndent, leftX));
  state.NextIndent = 0;
  // A string literal is kept as the form holds it, its quotes glued to its
  // words: quotes are counted in every word, so that a brace, a
  // parenthesis, an "=" or a keyword inside a text steers nothing. A text
  // never spans lines.
  bool inQuote = false, stringMode = false, afterOpenBrace = false;
  for (qsizetype n = 0; n <= count; ++n) {
    const QByteArray &word = words[n];
    const QByteArray lw = word.toLower();
    const qsizetype quotes = state.BraceMode ? 0 : word.count('\'');
    const bool literal = inQuote || quotes > 0;
    // The value of a Caption or a Hint prints as a string.
    if (!inQuote && quotes > 0)
      stringMode = n >= 2 && words[n - 1] == "=" &&
                   (words[n - 2].toLower() == "caption" || words[n - 2].toLower() == "hint");
    if (quotes % 2 == 1) inQuote = !inQuote;
    FormWordKind kind = FormWordKind::Base;
    if (!literal && lw == "}") state.BraceMode = false;
    if (afterOpenBrace && !literal) state.BraceMode = true;
    afterOpenBrace = !literal && lw == "{";
    if (!literal) {
      if (lw == "}") state.NextIndent = leftX + indentWidth;
      if (lw == "{") state.NextIndent = leftX + 3 * indentWidth;
      if (lw == ")") state.NextIndent = leftX + indentWidth;
      if (lw == "(") state.NextIndent = column;
      if (n == count - 1 && lw == "<") state.CollectionDepth += 1;
      if (n == count - 1 && lw.endsWith('>') && state.CollectionDepth > 0 &&
          (lw == ">" || lw == "end>")) {
        state.CollectionDepth -= 1;
        state.NextIndent = leftX + indentWidth;
      }
    }
    QByteArray text = word;
    if (!literal && !state.BraceMode && n < count) {
      bool keyword = false;
      if (n == 0 && (lw == "object" || lw == "inherited" || lw == "inline")) {
        state.CurrentIndent = leftX;
        state.NextIndent = leftX + indentWidth;
        line.ObjectLine = true;
        keyword = true;
      } else if (lw == "end") {
        // Inside a collection "end" closes an item: the object goes on.
        if (state.CollectionDepth == 0) state.CurrentIndent = leftX;
        keyword = true;
      }
      if (keyword && settings.ReserveWords.contains(lw)) {
        kind = FormWordKind::Reserved;
        if (settings.Reserve == 1) text = word.toUpper();
        if (settings.Reserve == 2) text = lw;
      }
      if (lw == "=" && line.AlignedWord < 0 && settings.Equal > 0) line.AlignedWord = int(n);
    }
    if (state.BraceMode) kind = FormWordKind::Brace;
    if (stringMode && literal) kind = FormWordKind::String;
    if (!inQuote) stringMode = false;
    if (n < count) line.Words.push_back(FormWord{text, kind});
  }
  if (state.CurrentIndent == 0) state.CurrentIndent = leftX;
  if (state.NextIndent == 0) state.NextIndent = state.CurrentIndent;
  return line;
}

FormListing::FormListing(const ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), job_(settings, *this) {}

void FormListing::ResetListingState() {
  job_.Names.UnitNameText = HeaderNameText(model_.CurrentUnitPath, settings_.Path1 != 0);
  job_.Names.ProjectNameText = HeaderNameText(model_.OpenedPath, settings_.Path2 != 0);
  pageStarts_.clear();
}

void FormListing::BeginJob() {
  // A new job paginates afresh: its printer may break lines elsewhere.
  pageStarts_.clear();
}

QString FormListing::JobTitle() const { return model_.OpenedPath; }

QString FormListing::DocumentTitle() const { return FileNamePart(model_.CurrentUnitPath); }

QString FormListing::PageLabelName() const {
  return DecodeText(FileNamePartOf(job_.Names.UnitNameText), TextEncoding::Windows1252);
}

int FormListing::ItemCount() const { return int(model_.ListingLines.size()); }

void FormListing::StartPage(PageCursor &cursor, int &position) {
  // A page of text keeps each row whole, "Left = 192" as the form file has
  // it, indented as on paper: the aligned "=" made a column as wide as the
  // widest name of the form. Line numbers stand in a column of their own.
  if (StructureSink *structure = cursor.Canvas.Structure()) {
    std::vector<int> starts{cursor.Geometry.LeftX};
    if (settings_.LineNo == 1) starts.insert(starts.begin(), 0);
    structure->columns(starts, -1, INT_MAX);
  }
  if (settings_.Header == 1) {
    PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts, kVariant);
    furniture.DrawPageHeader(cursor.Page, cursor.Y);
  }
  // The whole state is restored, so that a page drawn again equals its
  // first drawing whatever was drawn in between.
  if (cursor.Page == 1) {
    position = 0;
    state_ = FormLayoutState{};
  } else if (cursor.Page < int(pageStarts_.size()) && pageStarts_[cursor.Page].Saved) {
    state_ = pageStarts_[cursor.Page].State;
  }
  firstLineY_ = cursor.Y;
}

void FormListing::NumberRow(PageCursor &cursor, int fileLine) {
  PageCanvas &canvas = cursor.Canvas;
  canvas.SetFont(settings_.LineFont());
  const QByteArray number = QByteArray::number(fileLine > 0 ? fileLine : state_.LineCounter) + ':';
  canvas.TextOut(cursor.Geometry.LeftX - canvas.TextWidth(number) - kLineNumberGap, cursor.Y,
                 number);
  if (fileLine == 0) state_.LineCounter += 1;
}

namespace {

// The hex digits of binary data from `text` on, up to its "}" (found: set
// when it is there).
qsizetype HexDigitsUpToBrace(QByteArrayView text, bool &found) {
  qsizetype digits = 0;
  for (const char c : text) {
    if (c == '}') {
      found = true;
      break;
    }
    digits += (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  }
  return digits;
}

QByteArray ThousandsApart(qsizetype n) {
  QByteArray digits = QByteArray::number(n), out;
  for (qsizetype k = 0; k < digits.size(); ++k) {
    if (k > 0 && (digits.size() - k) % 3 == 0) out += ',';
    out += digits[k];
  }
  return out;
}

}  // namespace

// "Name = {" and the data lines after it up to "}", as the one row
// "Name = { 12,345 bytes }"; `position` is moved past them. Empty when the
// line opens no binary data.
QByteArray FormListing::DataAsItsSize(QByteArrayView trimmed, int &position) const {
  const qsizetype brace = trimmed.indexOf('{');
  const qsizetype equals = trimmed.indexOf('=');
  if (brace < 0 || equals < 0 || equals > brace || trimmed.indexOf('\'') >= 0) return {};
  bool closed = false;
  qsizetype digits = HexDigitsUpToBrace(trimmed.sliced(brace + 1), closed);
  int next = position;
  while (!closed && next < int(model_.ListingLines.size())) {
    digits += HexDigitsUpToBrace(model_.ListingLines[next], closed);
    ++next;
  }
  position = next;
  return trimmed.first(brace).toByteArray() + "{ " + ThousandsApart(digits / 2) + " bytes }";
}

void FormListing::LayOutItem(PageCursor &cursor, int &position) {
  QByteArray trimmed = model_.ListingLines[position].trimmed().toByteArray();
  // With the file's line numbers only a row that starts a line of the form
  // file is numbered, with that line's number.
  const int fileLine = settings_.LineNumbersFrom == 1 ? model_.ListingLines.fileLine(position) : 0;
  const bool byFile = settings_.LineNumbersFrom == 1 && model_.ListingLines.fileLine(0) > 0;
  position += 1;
  if (settings_.FormData == 0)
    if (QByteArray size = DataAsItsSize(trimmed, position); !size.isEmpty()) trimmed = size;
  if (settings_.Auto == 1 && trimmed.isEmpty()) return;
  PageCanvas &canvas = cursor.Canvas;
  const PageGeometry &g = cursor.Geometry;

  const bool numbered = settings_.LineNo == 1 && !byFile;
  if (settings_.LineNo == 1 && fileLine > 0) NumberRow(cursor, fileLine);
  if (numbered) NumberRow(cursor);
  const FormLine line = LayOutFormLine(trimmed, state_, g.LeftX, g.IndentWidth, settings_);
  if (line.ObjectLine && cursor.Y > firstLineY_ &&
      cursor.Y < canvas.PageHeight - g.BottomMargin - canvas.TextHeight("X")) {
    cursor.NextRow();  // an empty row before every object but the first of a page
    if (numbered) NumberRow(cursor);
  }

  // Rows never start past three quarters of the text width, so that a deep
  // indent or a far alignment column still leaves room for the words.
  const int rightmostStart = std::max(g.LeftX, g.RightX - (g.RightX - g.LeftX) / 4);
  const int rowStart = std::clamp(state_.CurrentIndent, g.LeftX, rightmostStart);
  RowWriter row(cursor, rowStart, [&] {
    if (numbered) NumberRow(cursor);
  });
  const int column = int(2 * settings_.Equal * state_.CurrentIndent);
  for (std::size_t i = 0; i < line.Words.size(); ++i) {
    const FormWord &word = line.Words[i];
    switch (word.Kind) {
      case FormWordKind::Base:
        canvas.SetFont(settings_.BaseFont());
        break;
      case FormWordKind::Reserved:
        canvas.SetFont(settings_.ReserveFont());
        break;
      case FormWordKind::Brace:
        canvas.SetFont(settings_.CommentFont());
        break;
      case FormWordKind::String:
        canvas.SetFont(settings_.MessageFont());
        break;
    }
    // The "=" goes to the column unless the name already reaches past it.
    if (int(i) == line.AlignedWord && column < g.RightX) row.X = std::max(row.X, column);
    row.DrawWholeOrBroken(word.Text);
    if (i + 1 < line.Words.size() && row.NextWordOverflows(line.Words[i + 1].Text)) row.NewRow();
  }
  cursor.NextRow();
  state_.CurrentIndent = state_.NextIndent;
}

void FormListing::FinishPage(PageCursor &cursor, int) {
  if (settings_.Footer == 1) {
    PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts, kVariant);
    furniture.DrawPageFooter(cursor.Page, cursor.Y);
  }
  if (int(pageStarts_.size()) <= cursor.Page + 1) pageStarts_.resize(cursor.Page + 2);
  PageStart &next = pageStarts_[cursor.Page + 1];
  if (!next.Saved) next = PageStart{true, state_};
}

}  // namespace scrivane
