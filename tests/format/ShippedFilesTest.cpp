#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "platform/Paths.h"
#include "support/TestPaths.h"

namespace {

QByteArray ReadAll(const QString &path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// Every topic is in the resource file and every link leads to a shipped topic.
TEST(ShippedFiles, HelpTopicsAreRegisteredAndLinksResolve) {
  const QString helpDir = testsupport::sourceDir() + "/docs/help";
  const QString qrc = QString::fromUtf8(ReadAll(helpDir + "/help.qrc"));
  const QStringList topics = QDir(helpDir).entryList({"*.html"}, QDir::Files);
  for (const char *required : {"1000.html", "1002.html", "1004.html", "1006.html", "1009.html"})
    EXPECT_TRUE(topics.contains(required)) << required;
  const QRegularExpression link(R"(href="([^"#]+))");
  for (const QString &topic : topics) {
    EXPECT_TRUE(qrc.contains(QStringLiteral("<file alias=\"%1\">%1</file>").arg(topic)))
        << topic.toStdString();
    const QString html = QString::fromUtf8(ReadAll(helpDir + "/" + topic));
    for (const auto &match : link.globalMatch(html))
      EXPECT_TRUE(topics.contains(match.captured(1)))
          << topic.toStdString() << " links to " << match.captured(1).toStdString();
  }
}

// The example project names its units with quotes and a form comment, and
// every unit it or a uses clause names is shipped in lower case.
TEST(ShippedFiles, ExampleProjectNamesExistingUnits) {
  const QString dir = testsupport::examplesDir();
  const QByteArray project = ReadAll(dir + "/inventory.dpr");
  EXPECT_TRUE(project.contains("in 'mainform.pas' {Form1}"));
  for (const char *unit : {"mainform.pas", "stock.pas", "reports.pas", "textutil.pas"}) {
    EXPECT_TRUE(QFile::exists(dir + "/" + unit)) << unit;
    EXPECT_EQ(scrivane::FindFileAnyCase(dir + "/" + QString(unit).toUpper()), dir + "/" + unit);
  }
  EXPECT_TRUE(ReadAll(dir + "/stock.pas").contains("{ @newpage }"));
}
