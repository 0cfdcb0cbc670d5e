// Whole documents: the example project's units on the virtual printer
// against reviewed records, and a real unit through the PDF target.
// SCRIVANE_REGENERATE=1 rewrites the records on purpose.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "format/FormatSettings.h"
#include "listing/UnitListing.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "print/PdfPrintTarget.h"
#include "print/PrintRunner.h"
#include "print/VirtualPrinter.h"
#include "project/Readers.h"
#include "support/TestPaths.h"

using namespace scrivane;

namespace {

FormatSettings EverythingOn() {
  FormatSettings s;
  s.LineNo = s.Blocks = s.Header = s.Footer = s.Title = s.Spacer = s.Bold = 1;
  s.Line1A = 2;
  s.Line1C = 3;
  s.Line3B = 1;
  s.Line3C = 3;
  s.Border = 2;
  s.Title1 = "Scrivane Examples";
  s.Title6 = "A. Designer";
  return s;
}

// Loads an example unit the way the window's unit command does.
void LoadExample(ProjectModel &model, const FormatSettings &settings, const QString &name) {
  RecordedMessages messages;
  ReaderContext ctx{model, settings, messages, false, {}};
  ClearForOpen(model);
  OpenPath(ctx, testsupport::examplesDir() + QLatin1Char('/') + name);
  ASSERT_TRUE(messages.warnings.isEmpty() && messages.informations.isEmpty());
  ASSERT_FALSE(model.SourceLines.isEmpty());
}

QStringList RecordDocument(const QString &unit) {
  ProjectModel model;
  const FormatSettings settings = EverythingOn();
  LoadExample(model, settings, unit);
  UnitListing listing(model, settings);
  listing.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  listing.ResetListingState();
  // Record paths relative to the examples so the records do not depend on the checkout.
  listing.Names().ProjectNameText = "examples/" + Encode1252(unit);
  model.ListingLines = model.SourceLines;
  model.UnitHighlighted = true;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  RunPrint(listing.Events(), target, PageRange{});
  QStringList lines = target.lines();
  lines.replaceInStrings(testsupport::sourceDir(), QStringLiteral("SOURCE"));
  return lines;
}

}  // namespace

TEST(UnitListingDocument, ExampleUnitsMatchTheirRecords) {
  for (const QString &unit : {QStringLiteral("textutil.pas")}) {
    const QStringList lines = RecordDocument(unit);
    const QString path = testsupport::sourceDir() + QStringLiteral("/tests/listing/golden/") +
                         QFileInfo(unit).completeBaseName() + QStringLiteral(".txt");
    if (qEnvironmentVariableIntValue("SCRIVANE_REGENERATE") == 1) {
      QDir().mkpath(QFileInfo(path).path());
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
      continue;
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "no record " << path.toStdString();
    const QStringList expected = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), expected.size()) << unit.toStdString();
    for (int k = 0; k < lines.size(); ++k)
      ASSERT_EQ(lines[k], expected[k]) << unit.toStdString() << " record line " << k + 1;
  }
}

TEST(UnitListingDocument, PdfHoldsEveryLineOfTheUnitInOrder) {
  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  ProjectModel model;
  FormatSettings settings;  // no furniture: the text is the unit's text alone
  LoadExample(model, settings, QStringLiteral("stock.pas"));
  UnitListing listing(model, settings);
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  QTemporaryDir dir;
  const QString pdf = dir.filePath(QStringLiteral("stock.pdf"));
  PdfPrintTarget target(pdf);
  const PrintOutcome outcome = RunPrint(listing.Events(), target, PageRange{});
  EXPECT_GE(outcome.PagesPrinted, 2);

  QProcess process;
  process.start(pdftotext, {pdf, QStringLiteral("-")});
  ASSERT_TRUE(process.waitForFinished(20000));
  // Blanks depend on how the reader groups glyphs; the characters and their
  // order must be exactly the unit's.
  auto squeeze = [](QString text) { return text.remove(QRegularExpression(QStringLiteral("\\s"))); };
  QString expected;
  for (const QByteArray &line : model.SourceLines)
    if (line.trimmed() != "@@@@@") expected += Decode1252(line);
  EXPECT_EQ(squeeze(QString::fromUtf8(process.readAllStandardOutput())), squeeze(expected));
}
