// Units in UTF-8 and in Windows-1252: which encoding a file is read in, and
// that a UTF-8 unit reaches the PDF with every character, its byte-order
// mark left out.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>

#include "format/FormatSettings.h"
#include "listing/Documents.h"
#include "listing/UnitListing.h"
#include "platform/RecordedMessages.h"
#include "platform/TextEncoding.h"
#include "print/PdfPrintTarget.h"
#include "print/PrintRunner.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

using namespace scrivane;

TEST(TextEncoding, DetectsUtf8OnlyWhenTheFileIsValidUtf8BeyondAscii) {
  struct Row {
    const char *name;
    QByteArray bytes;
    TextEncoding expected;
  };
  const Row rows[] = {
      {"plain ASCII reads the same either way", "unit a; begin end.", TextEncoding::Windows1252},
      {"a byte-order mark", "\xEF\xBB\xBFunit a;", TextEncoding::Utf8},
      {"Greek in a comment", "{ \xCE\xB1\xCE\xB2 } x", TextEncoding::Utf8},
      {"a four-byte character", "s := '\xF0\x9F\x98\x80';", TextEncoding::Utf8},
      {"Windows-1252 e acute", "{ caf\xE9 }", TextEncoding::Windows1252},
      {"UTF-8 mixed with a stray 1252 byte", "\xCE\xB1 caf\xE9", TextEncoding::Windows1252},
      {"an overlong slash", "\xC0\xAF", TextEncoding::Windows1252},
      {"a UTF-16 surrogate written as UTF-8", "\xED\xA0\x80", TextEncoding::Windows1252},
      {"past U+10FFFF", "\xF4\x90\x80\x80", TextEncoding::Windows1252},
      {"a sequence cut at the end", "ok \xE2\x82", TextEncoding::Windows1252},
      {"an em dash whose last byte is no continuation", "\xE2\x80\x14 \xCE\xB1",
       TextEncoding::Windows1252},
  };
  for (const Row &row : rows) {
    EXPECT_EQ(DetectEncoding(row.bytes), row.expected) << row.name;
    // ASCII runs are checked eight bytes at a time: the same bytes at every
    // offset from such a run, and amid long ASCII, read the same.
    if (row.bytes.startsWith("\xEF\xBB\xBF")) continue;
    for (int pad = 1; pad <= 9; ++pad)
      EXPECT_EQ(DetectEncoding(QByteArray(pad, 'x') + row.bytes + QByteArray(17, 'y')),
                row.expected)
          << row.name << " after " << pad << " ASCII bytes";
  }

  // In a UTF-8 file, a text that is not UTF-8 on its own reads as 1252.
  EXPECT_EQ(DecodeText("\xCE\xB1", TextEncoding::Utf8), QString::fromUtf8("\u03B1"));
  EXPECT_EQ(DecodeText("caf\xE9", TextEncoding::Utf8), QString::fromUtf8("caf\u00E9"));
  EXPECT_EQ(DecodeText("\xCE\xB1", TextEncoding::Windows1252), QString::fromUtf8("\u00CE\u00B1"));
}

namespace {
QString PdfText(const QString &pdf) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  if (!process.waitForFinished(20000)) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}
QString Squeezed(QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s"))); }
}  // namespace

TEST(TextEncoding, Utf8UnitPrintsEveryCharacterWithoutItsByteOrderMark) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
    GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  QTemporaryDir dir;
  const QString unitPath = dir.filePath(QStringLiteral("mehrsprachig.pas"));
  const QByteArray source =
      "\xEF\xBB\xBF"
      "unit mehrsprachig;\n"
      "{ \xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC: "
      "\xCE\xB1\xCE\xB2\xCE\xB3 }\n"  // Ελληνικά: αβγ
      "interface\n"
      "procedure \xC3\x9C"
      "bersicht;\n"  // Übersicht
      "implementation\n"
      "procedure \xC3\x9C"
      "bersicht;\n"
      "begin\n"
      "  WriteLn('\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82');  // \xE4\xBD\xA0\xE5\xA5\xBD "
      "\xE4\xB8\x96\xE7\x95\x8C\n"  // Привет, 你好 世界
      "end;\n"
      "end.\n";
  {
    QFile file(unitPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(source);
  }
  const SourceFile read = ReadSourceFile(unitPath);
  ASSERT_EQ(read.encoding, TextEncoding::Utf8);
  EXPECT_FALSE(read.bytes.startsWith("\xEF\xBB\xBF"));

  ProjectModel model;
  FormatSettings settings;  // no furniture: the text is the unit's text alone
  RecordedMessages messages;
  ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  OpenPath(ctx, unitPath);
  ASSERT_TRUE(messages.warnings.isEmpty() && messages.informations.isEmpty());
  ASSERT_EQ(model.Routines.size(), 1);
  EXPECT_EQ(DecodeText(model.Routines[0].text, model.SourceEncoding).trimmed(),
            QString::fromUtf8("procedure \u00DCbersicht;"));

  UnitListing listing(model, settings);
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
  PdfPrintTarget target(pdf);
  RunPrint(listing.Events(), target, PageRange{});
  ASSERT_TRUE(QFileInfo::exists(pdf)) << target.errorText().toStdString();

  QString expected;
  for (QByteArrayView line : model.SourceLines) expected += DecodeText(line, model.SourceEncoding);
  const QString printed = PdfText(pdf);
  EXPECT_EQ(Squeezed(printed), Squeezed(expected)) << printed.toStdString();
  for (const char *word :
       {"\u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC", "\u041F\u0440\u0438\u0432\u0435\u0442",
        "\u4F60\u597D", "\u4E16\u754C", "\u00DCbersicht"})
    EXPECT_TRUE(printed.contains(QString::fromUtf8(word))) << word;
  EXPECT_FALSE(printed.contains(QChar(0xFEFF)));
}

// Delphi saves a unit as UTF-16 when it holds text outside the code page;
// such files were refused as binary.
TEST(TextEncoding, WideUnitsWithAByteOrderMarkReadAsTheirText) {
  const QString text = QString::fromUtf8(
      "unit Wide;\r\n{ \xCE\xB1\xCE\xB2 caf\xC3\xA9 \xF0\x9F\x98\x80 }\r\ninterface\r\nend.\r\n");
  QTemporaryDir dir;
  struct Row {
    const char *name;
    QStringConverter::Encoding encoding;
  } rows[] = {{"utf16le", QStringConverter::Utf16LE},
              {"utf16be", QStringConverter::Utf16BE},
              {"utf32le", QStringConverter::Utf32LE},
              {"utf32be", QStringConverter::Utf32BE}};
  for (const Row &row : rows) {
    QStringEncoder encode(row.encoding, QStringConverter::Flag::WriteBom);
    const QString path = dir.filePath(QString::fromLatin1(row.name) + ".pas");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(encode.encode(text));
    file.close();
    const SourceFile read = ReadSourceFile(path);
    EXPECT_EQ(read.status, SourceStatus::Ok) << row.name;
    EXPECT_EQ(read.encoding, TextEncoding::Utf8) << row.name;
    EXPECT_EQ(read.bytes, text.toUtf8()) << row.name;
  }
}
