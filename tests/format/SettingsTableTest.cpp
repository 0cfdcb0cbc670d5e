#include <gtest/gtest.h>

#include <QFile>

#include "format/FormatSettings.h"
#include "format/IniFile.h"
#include "format/SettingOverrides.h"
#include "format/SettingsTable.h"
#include "support/TestPaths.h"

using namespace scrivane;

namespace {

// Every key as a settings file spells it, written out by hand and apart
// from the table, each with a value other than its default: a key the table
// lacks or misspells leaves its member at the default.
const char kEveryKey[] =
    "[Fonts]\nBName=Courier New\nBSize=9\nBStyle=1\nBColor=255\nHName=Liberation "
    "Serif\nHSize=12\nHStyle=3\n"
    "HColor=0xFF00\nRStyle=2\nRColor=4\nCStyle=1\nCColor=12\nMStyle=3\nMColor=9\nLStyle=2\nLColor="
    "8\n"
    "[Margins]\nTop=2\nBottom=1\nLeft=3\nRight=0\nSpace=1\nIndent=2\nEqual=0\n"
    "[Header]\nLine1A=1\nLine1B=2\nLine1C=4\nBorder=2\n[Footer]\nLine3B=3\nLine3C=5\n"
    "[Main]\nStyle=1\nHint=0\nMeasure=1\nReserve=2\nPagesPerSheet=4\n"
    "[Switch]\nLineNo=1\nLineNumbersFrom=1\nFollowIncludes=0\nFormData=0\nImplementationRoutines="
    "0\nLayout=1\nCrossLinks=0\n"
    "Blocks=1\nAuto=1\nHeader=1\nFooter=1\nTitle=1\nPath1=1\nPath2=1\nSpacer=1\nLower=1\nBold="
    "1\nNames=1\nBegins=7\n"
    "Include=1\n"
    "[Image]\nPrint=1\nAlign=2\n"
    "[Title]\nTitle1=Stock\nTitle2=Two\nTitle3=Caf\xe9\nTitle4=Four\nTitle5=Five\nTitle6="
    "Six\nTitle7=Seven\n"
    "Title8=Eight\n[Owner]\nUser=Ada\n";

// The value the row's member holds, as the file writes it.
QString MemberText(const FormatSettings &settings, const SettingRow &row) {
  if (row.number) return QString::number(settings.*row.number);
  if (row.colour) return QString::number(settings.*row.colour);
  if (row.face) return settings.*row.face;
  return QString::fromLatin1(settings.*row.text);
}

FormatSettings Loaded(const IniFile &ini) {
  FormatSettings settings;
  settings.LoadFromIni(ini);
  return settings;
}

}  // namespace

// Every key: read from a file, given to --set and completed, saved and read
// back, one member each.
TEST(SettingsTable, EveryKeyIsReadSetSavedAndReadBack) {
  IniFile every;
  every.Parse(kEveryKey);
  const FormatSettings fromFile = Loaded(every);
  const FormatSettings defaults;
  const QStringList names = SettingNames();
  int keysInFile = 0;
  for (const QByteArray &line : QByteArray(kEveryKey).split('\n')) keysInFile += line.contains('=');
  EXPECT_EQ(qsizetype(keysInFile), SettingRows().size())
      << "a key of the table is missing from the file above";

  for (const SettingRow &row : SettingRows()) {
    SCOPED_TRACE(row.Name().toStdString());
    const QString value = MemberText(fromFile, row);
    EXPECT_NE(value, MemberText(defaults, row)) << "not read from the file";
    EXPECT_TRUE(names.contains(row.Name()));

    // --set gives this one member the value; nothing else changes.
    QString error;
    const SettingOverride set = ParseSettingOverride(row.Name() + "=" + value, &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    IniFile ini;
    ApplySettingOverrides(ini, {set});
    FormatSettings expected;
    if (row.number) expected.*row.number = fromFile.*row.number;
    if (row.colour) expected.*row.colour = fromFile.*row.colour;
    if (row.face) expected.*row.face = fromFile.*row.face;
    if (row.text) expected.*row.text = fromFile.*row.text;
    EXPECT_EQ(Loaded(ini), expected);

    // Saved into an empty file, it reads back as it was (the owner's name is
    // never written, so it reads as the default).
    IniFile saved;
    expected.SaveToIni(saved);
    EXPECT_EQ(Loaded(saved), row.type == SettingType::Owner ? defaults : expected);
    EXPECT_EQ(saved.Contains(row.section, row.key), row.type != SettingType::Owner);
  }

  // The whole file saved over itself changes nothing, and into an empty
  // one reads back the same.
  IniFile again = every;
  fromFile.SaveToIni(again);
  EXPECT_EQ(again.ToBytes(), every.ToBytes());
  IniFile fresh;
  fromFile.SaveToIni(fresh);
  FormatSettings withoutOwner = fromFile;
  withoutOwner.User = defaults.User;
  EXPECT_EQ(Loaded(fresh), withoutOwner);
}

// --set takes what the readers would use and refuses the rest.
TEST(SettingsTable, SetRefusesValuesTheReadersWouldNotUse) {
  const struct {
    const char *text;
    const char *error;
  } cases[] = {
      {"Switch.LineNo=1", ""},
      {"Switch.LineNo=2", "--set Switch.LineNo: takes 0 or 1, not 2"},
      {"Main.PagesPerSheet=4", ""},
      {"Main.PagesPerSheet=3", "--set Main.PagesPerSheet: takes 1, 2 or 4, not 3"},
      {"Fonts.BSize=72", ""},
      {"Fonts.BSize=3", "--set Fonts.BSize: takes 4 to 72, not 3"},
      {"Fonts.BColor=0xFFFFFF", ""},
      {"Fonts.BColor=-1", "--set Fonts.BColor: takes 0 to 0xFFFFFF, not -1"},
      {"Header.Line1A=5", "--set Header.Line1A: takes 0 to 4, not 5"},
      {"Margins.Left=$0A", ""},  // the nearest entry of the list
      {"Switch.Begins=-7", ""},
      {"Owner.User="
       "0123456789012345678901234567890123456789",
       ""},
      {"Owner.User="
       "01234567890123456789012345678901234567890",
       "--set Owner.User: at most 40 characters"},
  };
  for (const auto &c : cases) {
    QString error;
    ParseSettingOverride(QString::fromLatin1(c.text), &error);
    EXPECT_EQ(error.toStdString(), c.error) << c.text;
  }
}

// The man page lists every key the table holds, as the table says it.
// SCRIVANE_REGENERATE=1 leaves the page with a fresh list in the build
// folder; scripts/regenerate-goldens.sh copies it into docs/man.
TEST(SettingsTable, ManPageListsEveryKey) {
  const QString path = testsupport::sourceDir() + "/docs/man/scrivane-print.1";
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString page = QString::fromUtf8(file.readAll());
  const qsizetype start = page.indexOf(QStringLiteral(".SH SETTINGS\n"));
  const qsizetype end = page.indexOf(QStringLiteral(".SH "), start + 1);
  ASSERT_GT(start, 0);
  ASSERT_GT(end, start);
  const QString section = SettingsManSection();
  if (testsupport::regeneratingGoldens()) {
    QFile fresh(QStringLiteral(SCRIVANE_BINARY_DIR "/tests/scrivane-print.1"));
    ASSERT_TRUE(fresh.open(QIODevice::WriteOnly));
    fresh.write((page.left(start) + section + page.mid(end)).toUtf8());
    return;
  }
  EXPECT_EQ(page.mid(start, end - start).toStdString(), section.toStdString())
      << "run scripts/regenerate-goldens.sh";
  for (const SettingRow &row : SettingRows())
    EXPECT_TRUE(section.contains(".B " + row.Name() + "\n"));
}
