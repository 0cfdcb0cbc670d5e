// Real units printed on the virtual printer, checked for what a reader
// trusts the paper for: every character of the source is printed, in order;
// every string literal is printed as written; no row runs into the footer or
// off the text area; the last page holds text.
//
// ctest prints every 20th unit of the Free Pascal sources. The full sweep is
// the same test with SCRIVANE_SWEEP_STEP=1 and SCRIVANE_SWEEP_ROOTS (folders
// separated by ":"), run by bench/sweep.sh; it prints how many units pass.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "format/FormatSettings.h"
#include "format/PageGeometry.h"
#include "listing/Lexer.h"
#include "listing/UnitListing.h"
#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "print/PageCanvas.h"
#include "print/PrintRunner.h"
#include "print/VirtualPrinter.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

using namespace scrivane;

namespace {

struct PrintedText {
  int sheet = 0;
  int y = 0;
  FontSpec font;
  QByteArray text;
};

// Keeps the drawn texts and nothing else.
class TextSurface : public DrawSurface {
 public:
  void drawText(int, int y, const FontSpec &font, QByteArrayView text) override {
    texts.push_back({sheet, y, font, text.toByteArray()});
  }
  // The bytes as the listing handed them over, whatever the file's encoding.
  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView text, TextEncoding) override {
    drawText(x, y, font, text);
  }
  void drawLine(int, int, int, int, const PenSpec &) override {}
  void drawRectangle(const QRect &, const PenSpec &, const BrushSpec &) override {}
  void drawImage(const QRect &, const QImage &) override {}
  std::vector<PrintedText> texts;
  int sheet = 1;
};

class TextTarget : public PrintTarget {
 public:
  PageDevice &device() override { return printer; }
  bool beginDocument(const QString &) override { return true; }
  QString errorText() const override { return {}; }
  DrawSurface &surface() override { return surface_; }
  void newSheet() override { ++surface_.sheet; }
  bool endDocument() override { return true; }
  void abortDocument() override {}
  const std::vector<PrintedText> &texts() const { return surface_.texts; }
  int sheets() const { return surface_.sheet; }
  VirtualPrinter printer;

 private:
  TextSurface surface_;
};

// Everything on; the furniture and the line numbers in fonts of their own,
// so that the unit's text can be told from them.
FormatSettings SweepSettings() {
  FormatSettings s;
  s.LineNo = s.Blocks = s.Header = s.Footer = s.Title = s.Spacer = s.Bold = s.Names = 1;
  s.Path1 = s.Path2 = 1;
  s.Reserve = 1;
  s.Line1A = 2;
  s.Line1C = 3;
  s.Line3B = 1;
  s.Line3C = 3;
  s.HName = QStringLiteral("Courier New");
  s.LColor = 4;
  s.Title1 = "Sweep";
  return s;
}

// Reserved words and routine names may be printed in upper case (Latin-1
// upper case, as the listing makes it): compared in lower case.
QByteArray NonBlankLower(QByteArrayView text) {
  QByteArray result;
  result.reserve(text.size());
  for (const char c : text)
    if (static_cast<unsigned char>(c) > ' ') result += c;
  return result.toLower();
}

// The string literals of a unit, found apart from the listing's lexer: a
// quote in code opens one, which runs to its closing quote (a doubled quote
// inside) and takes "#13"-style codes written straight after.
QList<QByteArray> StringLiterals(QByteArrayView source) {
  QList<QByteArray> literals;
  enum { Code, Brace, ParenStar } state = Code;
  ForEachLine(source, [&](QByteArrayView line) {
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
      const char c = line[i], next = i + 1 < n ? line[i + 1] : '\0';
      if (state == Brace) {
        if (c == '}') state = Code;
      } else if (state == ParenStar) {
        if (c == '*' && next == ')') state = Code, ++i;
      } else if (c == '{') {
        state = Brace;
      } else if (c == '(' && next == '*') {
        state = ParenStar, ++i;
      } else if (c == '/' && next == '/') {
        break;
      } else if (c == '\'') {
        qsizetype end = i;
        for (;;) {
          if (end < n && line[end] == '\'') {
            for (++end; end < n && !(line[end] == '\'' && (end + 1 >= n || line[end + 1] != '\''));)
              end += line[end] == '\'' ? 2 : 1;
            end = std::min(end + 1, n);
          } else if (end + 1 < n && line[end] == '#' && (std::isdigit(static_cast<unsigned char>(line[end + 1])) || line[end + 1] == '$')) {
            for (end += 2; end < n && std::isxdigit(static_cast<unsigned char>(line[end]));) ++end;
          } else {
            break;
          }
        }
        literals << line.sliced(i, end - i).toByteArray();
        i = end - 1;
      }
    }
  });
  return literals;
}

struct SweepResult {
  bool loaded = false;
  int pages = 0;
  QString fault;  // empty when the unit passes
  QByteArray lastBodyText;
};

SweepResult PrintAndCheck(const QString &path) {
  SweepResult result;
  const FormatSettings settings = SweepSettings();
  ProjectModel model;
  RecordedMessages messages;
  ReaderContext ctx{model, settings, messages, false, {}};
  ClearForOpen(model);
  ParsePas(ctx, path);
  if (model.CurrentUnitPath.isEmpty()) return result;  // not a text file: nothing to print
  result.loaded = true;

  UnitListing listing(model, settings);
  listing.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  model.UnitHighlighted = true;
  TextTarget target;
  const PrintOutcome outcome = RunPrint(listing.Events(), target, PageRange{});
  result.pages = outcome.PagesPrinted;

  TSpecialCanvas canvas(target.printer);
  canvas.SetMeasureMode();
  const PageGeometry g = ComputePageGeometry(canvas, settings);
  const int footerRule = canvas.PageHeight - g.BottomMargin - g.LineStep;
  const FontSpec headerFont = settings.HeaderFont();
  QByteArray printed, printedAsDrawn;
  bool lastPageHasText = false;
  for (const PrintedText &t : target.texts()) {
    if (t.font == headerFont) continue;
    const int height = target.printer.fixedMeasurer().textHeight(t.font, "X");
    if (t.y + height > footerRule && result.fault.isEmpty())
      result.fault = QStringLiteral("page %1: row at y %2 runs into the footer: %3")
                         .arg(t.sheet).arg(t.y).arg(QString::fromLatin1(t.text));
    if (t.font == settings.LineFont()) continue;
    printed += NonBlankLower(t.text);
    printedAsDrawn += t.text;
    if (t.sheet == target.sheets()) {
      lastPageHasText = lastPageHasText || !NonBlankLower(t.text).isEmpty();
      if (!t.text.trimmed().isEmpty()) result.lastBodyText = t.text.trimmed();
    }
  }
  QByteArray source;
  LineNormaliser normaliser;
  CommentCarry carry;
  const QByteArray bytes = ReadSourceFile(path).bytes;
  ForEachLine(bytes, [&](QByteArrayView line) {
    if (normaliser.Normalise(line.trimmed(), false, carry).trimmed() != kNewPageMarker) source += NonBlankLower(line);
  });
  // Each literal is found in the drawn texts after the one before it; a
  // literal broken across rows is drawn in pieces that follow one another.
  qsizetype from = 0;
  for (const QByteArray &literal : StringLiterals(bytes)) {
    const qsizetype at = printedAsDrawn.indexOf(literal, from);
    if (at < 0) {
      if (result.fault.isEmpty())
        result.fault = QStringLiteral("string literal %1 is not printed as written").arg(QString::fromLatin1(literal));
      break;
    }
    from = at + literal.size();
  }
  // An empty unit prints one page of furniture.
  const bool lastPageFault = source.isEmpty() ? target.sheets() != 1 : !lastPageHasText;
  if (lastPageFault && result.fault.isEmpty())
    result.fault = QStringLiteral("the last of %1 pages holds no text").arg(target.sheets());
  if (printed != source && result.fault.isEmpty()) {
    qsizetype at = 0;
    while (at < printed.size() && at < source.size() && printed[at] == source[at]) ++at;
    result.fault = QStringLiteral("printed text differs from the source at character %1: source \"%2\", printed \"%3\"")
                       .arg(at)
                       .arg(QString::fromLatin1(source.mid(std::max<qsizetype>(0, at - 30), 70)))
                       .arg(QString::fromLatin1(printed.mid(std::max<qsizetype>(0, at - 30), 70)));
  }
  return result;
}

QStringList UnitsUnder(const QStringList &roots) {
  QStringList files;
  for (const QString &root : roots) {
    QDirIterator it(root, {"*.pas", "*.pp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) files << it.next();
  }
  files.sort();
  return files;
}

const char kFpcRoot[] = "/usr/share/fpcsrc";

TEST(ListingSweep, RealUnitsPrintEveryCharacterInsideThePage) {
  const int stepSetting = qEnvironmentVariableIntValue("SCRIVANE_SWEEP_STEP");
  const int step = stepSetting > 0 ? stepSetting : 20;
  const QString roots = qEnvironmentVariable("SCRIVANE_SWEEP_ROOTS", QString::fromLatin1(kFpcRoot));
  const QStringList files = UnitsUnder(roots.split(QLatin1Char(':'), Qt::SkipEmptyParts));
  if (files.isEmpty()) GTEST_SKIP() << "no units under " << roots.toStdString();
  int checked = 0, passed = 0;
  for (qsizetype i = 0; i < files.size(); i += step) {
    const SweepResult result = PrintAndCheck(files[i]);
    if (!result.loaded) continue;
    ++checked;
    if (result.fault.isEmpty()) ++passed;
    else ADD_FAILURE() << files[i].toStdString() << ": " << result.fault.toStdString();
  }
  std::printf("sweep: %d of %d units pass (%s, every %d)\n", passed, checked, qPrintable(roots), step);
  EXPECT_GT(checked, 0);
}

TEST(ListingSweep, PparserEndsOnThePageOfItsEnd) {
  const QString path = QString::fromLatin1(kFpcRoot) + "/3.2.2/packages/fcl-passrc/src/pparser.pp";
  if (!QFileInfo::exists(path)) GTEST_SKIP() << "fpc-source is not installed";
  const SweepResult result = PrintAndCheck(path);
  EXPECT_TRUE(result.fault.isEmpty()) << result.fault.toStdString();
  EXPECT_EQ(result.lastBodyText, "END.");
}

}  // namespace
