#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "format/FormatSettings.h"
#include "format/IniFile.h"

using namespace scrivane;

namespace {

FormatSettings FromText(const QByteArray &text) {
  IniFile ini;
  ini.Parse(text);
  FormatSettings settings;
  settings.LoadFromIni(ini);
  return settings;
}

}  // namespace

TEST(FormatSettings, EmptyFileGivesDefaultsAndSavedDefaultsReadBackEqual) {
  const FormatSettings loaded = FromText("");
  EXPECT_EQ(loaded, FormatSettings());
  EXPECT_EQ(loaded.Top, 5);
  EXPECT_EQ(loaded.RStyle, 1);
  EXPECT_EQ(loaded.Hint, 1);
  EXPECT_EQ(loaded.User, "Scrivane");

  IniFile ini;
  loaded.SaveToIni(ini);
  const QByteArray written = ini.ToBytes();
  for (const char *key : {"BName=Arial", "Top=5", "Equal=1", "Line3C=0", "Begins=0", "Align=0",
                          "Title8=", "Reserve=0"})
    EXPECT_TRUE(written.contains(key)) << key;
  EXPECT_FALSE(written.contains("User"));
  EXPECT_FALSE(written.contains("FilesSave"));
}

TEST(FormatSettings, ChangedValuesSurviveSaveAndLoad) {
  FormatSettings changed;
  changed.BName = QStringLiteral("Courier New");
  changed.BSize = 9;
  changed.BColor = 0x00FF8040;
  changed.HStyle = 3;
  changed.CColor = 12;
  changed.Top = 2;
  changed.Measure = 1;
  changed.Begins = -7;
  changed.Include = 1;
  changed.Title3 = "Caf\xe9 Street";
  IniFile ini;
  changed.SaveToIni(ini);
  FormatSettings reread;
  reread.LoadFromIni(ini);
  EXPECT_EQ(reread, changed);
}

TEST(FormatSettings, IntegerTextsConvertOrFallBackToTheDefault) {
  constexpr int kDefault = -12345;  // stands for "the key's default"
  struct Row {
    const char *text;
    int expected;
  } rows[] = {
      {"12", 12},
      {"0x0C", 12},
      {"0X0c", 12},
      {"$C", 12},
      {"$c", 12},
      {"-3", -3},
      {"twelve", kDefault},
      {"", kDefault},
      {"0x", kDefault},
      {"$", kDefault},
      {"12pt", kDefault},
      {"$G", kDefault},
      {"99999999999", kDefault},
      {"0", 0},
      // A sign may stand before "$", leading zeros do not count towards the
      // eight digits, and blanks inside are no digits.
      {"-$C", -12},
      {"+$c", 12},
      {"$000000000C", 12},
      {"0x00000000010", 16},
      {"$ C", kDefault},
      {"$123456789", kDefault},
      {"$-C", kDefault},
      {"--$C", kDefault},
  };
  // Begins is read and written back as it stands, so it shows the bare rule;
  // a font size must also be at least one point.
  for (const Row &row : rows) {
    const FormatSettings read = FromText(QByteArray("[Switch]\nBegins=") + row.text +
                                         "\n[Fonts]\nBSize=" + row.text + "\n");
    EXPECT_EQ(read.Begins, row.expected == kDefault ? 0 : row.expected) << row.text;
    EXPECT_EQ(read.BSize, row.expected == kDefault || row.expected < 1 ? 10 : row.expected)
        << row.text;
  }
  // A colour written in hexadecimal uses all 32 bits.
  EXPECT_EQ(FromText("[Fonts]\nBColor=$FFFFFFFF\nHColor=0xFF0000\n").BColor, 0xFFFFFFFFu);
  EXPECT_EQ(FromText("[Fonts]\nHColor=0xFF0000\n").HColor, 0xFF0000u);
}

// A damaged settings file is read for what it holds; the message names the
// file and where to look, a few of each kind, and nothing when all is well.
TEST(FormatSettings, DamagedFileIsReadAndToldWhere) {
  struct Row {
    QByteArray text;
    QString told;  // after "The settings file /s/scrivn.ini is damaged: "
  } rows[] = {
      {"[Fonts]\nBSize=12\nBName=\n; note\n# note\n\n", ""},
      {"[Fonts]\nBSize=twelve\n", "[Fonts] BSize=twelve is not a number"},
      {"[Fonts\nBSize=12\n", "line 1 is not a setting"},
      {"[Fonts]\nBSize 12\n[Main]\nHint=\x1b[2J\n",
       "lines 2, 4 are not settings; [Main] Hint=\uFFFD[2J is not a number"},
      {"\x01\n\x02\n\x03\n\x04\n\x05\n[Switch]\nLineNo=a\nBlocks=b\nAuto=c\nHeader=d\nFooter=e\n",
       "lines 1, 2, 3 and 2 more are not settings; [Switch] LineNo=a is not a number; [Switch] "
       "Blocks=b is not a "
       "number; [Switch] Auto=c is not a number; 2 more values are not numbers"},
  };
  for (const Row &row : rows) {
    IniFile ini;
    ini.Parse(row.text);
    FormatSettings settings;
    QStringList garbled;
    settings.LoadFromIni(ini, &garbled);
    const QString message = SettingsDamageMessage("/s/scrivn.ini", ini, garbled);
    if (row.told.isEmpty()) {
      EXPECT_TRUE(message.isEmpty()) << message.toStdString();
      continue;
    }
    EXPECT_EQ(message, "The settings file /s/scrivn.ini is damaged: " + row.told +
                           ". The defaults stand for what could not be read.");
    // What could be read was.
    EXPECT_EQ(settings.BSize, row.text.contains("BSize=12") ? 12 : FormatSettings().BSize)
        << message.toStdString();
  }
}

TEST(FormatSettings, TextsAreCutAndUserIsKeptButNeverWritten) {
  const QByteArray fifty(50, 'a');
  const FormatSettings settings =
      FromText("[Title]\nTitle1=" + fifty + "\n[Fonts]\nBName=" + fifty +
               "\nHName=\n[Owner]\nUser=" + QByteArray(50, 'u') + "\n");
  EXPECT_EQ(settings.Title1, QByteArray(35, 'a'));
  EXPECT_EQ(settings.BName, QString(35, u'a'));
  EXPECT_EQ(settings.HName, QStringLiteral("Arial"));  // an empty face cannot be drawn
  EXPECT_EQ(settings.User, QByteArray(40, 'u'));

  IniFile ini;
  ini.Parse("[Owner]\nUser=Hand Made\n");
  FormatSettings changed = settings;
  changed.User = "Changed in memory";
  changed.SaveToIni(ini);
  EXPECT_EQ(ini.Value("Owner", "User"), "Hand Made");
}

TEST(FormatSettings, SaveToFileKeepsOtherSectionsAndReportsFailure) {
  QTemporaryDir dir;
  const QString path = dir.filePath("scrivn.ini");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[FilesSave]\nFile1=c:\\work\\a.dpr\n[Mine]\nColour=red\n[Fonts]\nBSize=8\n");
  file.close();

  FormatSettings settings = LoadFormatSettings(path);
  EXPECT_EQ(settings.BSize, 8);
  settings.BSize = 14;
  QString error;
  ASSERT_TRUE(SaveFormatSettings(settings, path, &error)) << error.toStdString();
  IniFile reread;
  ASSERT_TRUE(reread.Load(path));
  EXPECT_EQ(reread.Value("FilesSave", "File1"), "c:\\work\\a.dpr");
  EXPECT_EQ(reread.Value("Mine", "Colour"), "red");
  EXPECT_EQ(reread.Value("Fonts", "BSize"), "14");

  const QString unwritable = dir.filePath("no-such-folder/scrivn.ini");
  EXPECT_FALSE(SaveFormatSettings(settings, unwritable, &error));
  EXPECT_EQ(error, "Unable to write to " + unwritable);
}

TEST(FormatSettings, ResolveLengthsUsesTheTablesAndTheNearestEntry) {
  struct Row {
    int measure, top, bottom, left, right, indent;
    PageLengths expected;
  } rows[] = {
      {0, 0, 0, 0, 0, 0, {0.5, 0.75, 0.75, 0.75, 0.1}},
      {0, 4, 3, 2, 1, 2, {1.5, 1.5, 1.25, 1.0, 0.2}},
      {1, 0, 1, 2, 3, 0, {0.788, 2.5 * 0.394, 3.0 * 0.394, 3.5 * 0.394, 0.25 * 0.394}},
      // Indices without an entry take the nearest one, never a zero margin.
      {0, 5, 5, 4, 5, 7, {1.5, 1.5, 1.5, 1.5, 0.2}},
      {1, 5, 9, 4, 5, 3, {4.0 * 0.394, 4.0 * 0.394, 4.0 * 0.394, 4.0 * 0.394, 0.75 * 0.394}},
      {0, -1, -1, -1, -1, -1, {0.5, 0.75, 0.75, 0.75, 0.1}},
  };
  for (const Row &row : rows) {
    FormatSettings settings;
    settings.Measure = row.measure;
    settings.Top = row.top;
    settings.Bottom = row.bottom;
    settings.Left = row.left;
    settings.Right = row.right;
    settings.Indent = row.indent;
    const PageLengths got = settings.ResolveLengths();
    SCOPED_TRACE(testing::Message() << "measure " << row.measure << " top " << row.top);
    EXPECT_DOUBLE_EQ(got.Top, row.expected.Top);
    EXPECT_DOUBLE_EQ(got.Bottom, row.expected.Bottom);
    EXPECT_DOUBLE_EQ(got.Left, row.expected.Left);
    EXPECT_DOUBLE_EQ(got.Right, row.expected.Right);
    EXPECT_DOUBLE_EQ(got.Indent, row.expected.Indent);
    EXPECT_EQ(settings.Top, row.top);  // the stored index is not changed
  }
}

TEST(FormatSettings, DerivedFontsAndColours) {
  FormatSettings settings;
  settings.BName = QStringLiteral("Courier New");
  settings.BSize = 9;
  settings.BStyle = 2;
  settings.BColor = 0x123456;
  settings.RStyle = 7;  // only bold and italic are style bits of the file
  settings.RColor = 9;
  settings.CColor = 16;
  settings.LColor = -1;
  settings.MColor = 15;
  EXPECT_EQ(settings.BaseFont(), (FontSpec{"Courier New", 9, StyleItalic, 0x123456}));
  EXPECT_EQ(settings.HeaderFont(), (FontSpec{"Arial", 10, 0, 0}));
  EXPECT_EQ(settings.ReserveFont(),
            (FontSpec{"Courier New", 9, StyleBold | StyleItalic, 0x0000FF}));
  EXPECT_EQ(settings.CommentFont().color, 0u);
  EXPECT_EQ(settings.LineFont().color, 0u);
  EXPECT_EQ(settings.MessageFont().color, 0xFFFFFFu);
  EXPECT_EQ(settings.ProcFont(), (FontSpec{"Courier New", 9, StyleBold, 0x123456}));
  EXPECT_EQ(ColorFromIndex(1), 0x000080u);
  EXPECT_EQ(ColorFromIndex(12), 0xFF0000u);
}

TEST(FormatSettings, InitialReserveWordsAreNinetyFiveSortedLowerCaseWords) {
  const QList<QByteArray> words = FormatSettings::InitialReserveWords();
  ASSERT_EQ(words.size(), 95);
  EXPECT_TRUE(std::is_sorted(words.begin(), words.end()));
  for (const QByteArray &word : words) EXPECT_EQ(word, word.toLower());
  EXPECT_TRUE(words.contains("end;"));
  EXPECT_TRUE(words.contains("xor"));
  EXPECT_EQ(FormatSettings().ReserveWords, words);
}

// A size of 2147483647 overflowed an int on its way to device pixels, and
// sizes of 72 to 5000 points printed rows below the paper or no whole word.
TEST(FormatSettings, FontSizesAreKeptBetweenFourAndSeventyTwoPoints) {
  struct Row {
    const char *text;
    int expected;
  } rows[] = {
      {"1", 4},   {"3", 4},     {"4", 4},           {"72", 72},
      {"73", 72}, {"5000", 72}, {"2147483647", 72}, {"0", 10},
  };
  for (const Row &row : rows) {
    const FormatSettings read =
        FromText(QByteArray("[Fonts]\nBSize=") + row.text + "\nHSize=" + row.text + "\n");
    EXPECT_EQ(read.BSize, row.expected) << row.text;
    EXPECT_EQ(read.HSize, row.expected) << row.text;
  }
  FormatSettings settings;
  settings.BSize = 2147483647;
  settings.HSize = -5;
  EXPECT_EQ(settings.BaseFont().pointSize, 72);
  EXPECT_EQ(settings.ProcFont().pointSize, 72);
  EXPECT_EQ(settings.HeaderFont().pointSize, 4);
}

// A file of CR-only lines read as one line and the save appended a second set
// of keys; a header ending in several CRs lost one per save; a face name cut
// to 35 characters lost its trailing blank at the next save.
TEST(FormatSettings, SaveChangesNothingTheUserDidNotChange) {
  IniFile defaults;
  FormatSettings().SaveToIni(defaults);
  QByteArray handMade = defaults.ToBytes();
  handMade.replace("BSize=10", "BSize = 0x0A");
  handMade.replace("[Margins]", "[Margins]\r\r");
  handMade.replace("BName=Arial", "BName=" + QByteArray(34, 'c') + " and more");
  handMade.replace("Title1=", "Title1=  Workshop  ");
  for (const QByteArray &end : {QByteArray("\r"), QByteArray("\n"), QByteArray("\r\n")}) {
    QByteArray bytes = handMade;
    bytes.replace("\r\n", end);
    IniFile ini;
    ini.Parse(bytes);
    FormatSettings settings;
    settings.LoadFromIni(ini);
    EXPECT_EQ(settings.BSize, 10);
    EXPECT_EQ(settings.Title1, "Workshop");
    EXPECT_EQ(settings.BName, QString(34, u'c') + u' ');
    settings.SaveToIni(ini);
    const QByteArray firstSave = ini.ToBytes();
    // Nothing changed, nothing written: the long face name stays as it was
    // and reads as the same 35 characters every time.
    EXPECT_EQ(firstSave, bytes) << end.toHex().constData();

    IniFile again;
    again.Parse(firstSave);
    FormatSettings reread;
    reread.LoadFromIni(again);
    reread.LineNo = 1;
    reread.SaveToIni(again);
    QByteArray changedOnly = firstSave;
    changedOnly.replace("LineNo=0", "LineNo=1");
    EXPECT_EQ(again.ToBytes(), changedOnly) << end.toHex().constData();
  }
  // Found by the settings fuzz target: a face name cut inside a run of
  // blanks read back without them after a save.
  const QByteArray cutInBlanks = "[Fonts]\r\nBName=Ar-i" + QByteArray(8, '\xff') + "e=0xBN\xefme" +
                                 QByteArray(38, ' ') + "=Ar\x02" + QByteArray(3, '\0');
  IniFile ini;
  ini.Parse(cutInBlanks);
  FormatSettings first;
  first.LoadFromIni(ini);
  first.SaveToIni(ini);
  IniFile saved;
  saved.Parse(ini.ToBytes());
  FormatSettings second;
  second.LoadFromIni(saved);
  EXPECT_EQ(second.BName, first.BName);
  EXPECT_TRUE(ini.ToBytes().startsWith(cutInBlanks));
}
