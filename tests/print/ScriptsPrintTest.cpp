// Text in every script of Unicode's basic plane reaches the PDF: a script no
// installed font covers crashed the writer (an invalid fallback face), and
// Arabic printed blank and copied out as one repeated letter. Each line must
// print without a fault, show ink on the rendered page, and copy out of the
// PDF as the source has it.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/UnitListing.h"
#include "platform/RecordedMessages.h"
#include "print/PdfPrintTarget.h"
#include "print/PdfShaping.h"
#include "print/PrintRunner.h"
#include "print/QtTextMeasurer.h"
#include "project/Readers.h"

using namespace scrivane;

namespace {

QByteArray RunTool(const QString &program, const QStringList &args) {
  QProcess process;
  process.start(program, args);
  return process.waitForFinished(60000) ? process.readAllStandardOutput() : QByteArray();
}

// Letters only: readers mirror and move brackets in right-to-left runs, and
// drop the emoji presentation selector.
QString Letters(const QString &text) {
  return text.normalized(QString::NormalizationForm_C)
      .remove(QRegularExpression(QStringLiteral("[\\s'()\\[\\]\\x{FE0F}\\x{202A}-\\x{202E}]")));
}

// Every character of `part` is somewhere in `whole`.
bool Within(const QString &part, const QString &whole) {
  for (QChar c : part)
    if (!whole.contains(c)) return false;
  return true;
}

struct Word {
  QRectF box;  // points
  QString text;
};

std::vector<Word> WordBoxes(const QString &pdf) {
  const QString html =
      QString::fromUtf8(RunTool("pdftotext", {"-bbox", "-f", "1", "-l", "1", pdf, "-"}));
  static const QRegularExpression word(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  std::vector<Word> words;
  for (auto m = word.globalMatch(html); m.hasNext();) {
    const auto match = m.next();
    const QPointF from(match.captured(1).toDouble(), match.captured(2).toDouble());
    const QPointF to(match.captured(3).toDouble(), match.captured(4).toDouble());
    words.push_back({QRectF(from, to), match.captured(5)});
  }
  return words;
}

// Dark pixels of the rendered page (72 dpi: one pixel a point) in a box.
int Ink(const QImage &page, const QRectF &box) {
  int dark = 0;
  const QRect area = box.toAlignedRect().intersected(page.rect());
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x) dark += qGray(page.pixel(x, y)) < 128;
  return dark;
}

}  // namespace

// Scripts without a font on a default Debian desktop, then the joined and
// right-to-left ones, emoji and CJK beside Latin.
const char *const lines[] = {
    "हिन्दी",
    "বাংলা",
    "ਪੰਜਾਬੀ",
    "ગુજરાતી",
    "ଓଡ଼ିଆ",
    "தமிழ்",
    "తెలుగు",
    "ಕನ್ನಡ",
    "മലയാളം",
    "සිංහල",
    "ภาษาไทย",
    "ພາສາລາວ",
    "བོད་ཡིག",
    "မြန်မာ",
    "ភាសាខ្មែរ",
    "ᠮᠣᠩᠭᠣᠯ",
    "ܠܫܢܐ",
    "ދިވެހި",
    "ߒߞߏ",
    "አማርኛ",
    "ᏣᎳᎩ",
    "ᓀᐦᐃᔭᐍᐏᐣ",
    "ꆈꌠꁱꂷ",
    "ꦗꦮ",
    "ᬩᬮᬶ",
    "ᜆᜄᜎᜓᜄ᜔",
    "ꕙꔤ",
    "ᥖᥭᥰ",
    "'العربية مرحبا'",
    "'עברית (שלום) [עולם]'",
    "emoji 😀 ❤️ 👍",
    "漢字 かな 한글",
};

TEST(ScriptsPrint, EveryScriptPrintsVisiblyAndCopiesOutAsWritten) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty() ||
      QStandardPaths::findExecutable("pdftoppm").isEmpty())
    GTEST_SKIP() << "poppler-utils is not installed";
  QTemporaryDir dir;
  const QString unitPath = dir.filePath("scripts.pas");
  QByteArray source = "unit scripts;\n";
  // In comments, which are italic, and right-to-left text in string
  // literals too.
  for (const char *line : lines) {
    source += QByteArray("{ ") + line + " }\n";
    if (line[0] == '\'') source += QByteArray("s := ") + line + ";\n";
  }
  source += "interface\nimplementation\nend.\n";
  {
    QFile file(unitPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(source);
  }
  ProjectModel model;
  FormatSettings settings;
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  OpenPath(ctx, unitPath);
  UnitListing listing(model, settings);
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  const QString pdf = dir.filePath("scripts.pdf");
  PdfPrintTarget target(pdf);
  RunPrint(listing.Events(), target, PageRange{});
  ASSERT_TRUE(QFileInfo::exists(pdf)) << target.errorText().toStdString();

  const QString printed = Letters(QString::fromUtf8(RunTool("pdftotext", {pdf, "-"})));
  RunTool("pdftoppm",
          {"-r", "72", "-gray", "-png", "-f", "1", "-l", "1", pdf, dir.filePath("page")});
  const QImage page(dir.filePath("page-1.png"));
  ASSERT_FALSE(page.isNull());
  const std::vector<Word> words = WordBoxes(pdf);
  for (const char *line : lines) {
    const QString text = QString::fromUtf8(line);
    // Every word copies out, and has ink where pdftotext places it. (In a
    // line that runs left to right, readers give right-to-left words in the
    // order they stand on the page.)
    // Right-to-left letters copy out in an order of the reader's own: for
    // those, only which letters come out is checked.
    const bool rightToLeft = text.isRightToLeft();
    for (const QString &part : text.split(' ')) {
      const QString wanted = Letters(part);
      EXPECT_TRUE(rightToLeft ? Within(wanted, printed) : printed.contains(wanted))
          << line << ": " << part.toStdString();
      bool found = false;
      for (const Word &w : words) {
        // Readers give right-to-left letters as words of their own.
        const QString letters = Letters(w.text);
        if (letters.isEmpty() ||
            !(rightToLeft ? Within(letters, wanted) : wanted.contains(letters)))
          continue;
        found = true;
        EXPECT_GT(Ink(page, w.box), 0) << line << ": " << part.toStdString();
      }
      EXPECT_TRUE(found) << line << ": " << part.toStdString();
    }
  }
}

// No oblique face here has Arabic: comments (italic) printed it as boxes.
// A slanted font draws a box only where the upright one does too.
TEST(ScriptsPrint, SlantedTextFallsBackToAnUprightFaceThatHasTheScript) {
  QtTextMeasurer measurer(600);
  const FormatSettings settings;
  const FontSpec comment = settings.CommentFont();
  ASSERT_TRUE(comment.italic());
  FontSpec upright = comment;
  upright.style &= ~StyleItalic;
  auto boxes = [&](const FontSpec &font, const QString &text) {
    return ShapeText(text, measurer.cachedFont(font), measurer.glyphTable(font).rawFont)
        .boxes.size();
  };
  for (const char *line : lines) {
    const QString text = QString::fromUtf8(line);
    EXPECT_LE(boxes(comment, text), boxes(upright, text)) << line;
  }
  const QString arabic = QString::fromUtf8("العربية");
  EXPECT_EQ(boxes(comment, arabic), 0u);
  // Measured as drawn: the width the listing lays out is the width shaped.
  EXPECT_NEAR(
      measurer.textWidthIn(comment, arabic.toUtf8(), TextEncoding::Utf8),
      ShapeText(arabic, measurer.cachedFont(comment), measurer.glyphTable(comment).rawFont).width,
      1.5);
}
