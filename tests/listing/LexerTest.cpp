#include <gtest/gtest.h>

#include <random>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"

using namespace scrivane;

namespace {

struct TextRow {
  const char *input;
  const char *expected;
};

TEST(NormaliseLine, SetsPunctuationApartAndGluesQuotedForms) {
  const TextRow rows[] = {
      {"x:=a+b;", "x := a + b; "},
      {"procedure TForm1.Button1Click(Sender: TObject);",
       "procedure TForm1.Button1Click ( Sender : TObject ); "},
      {"{$R *.DFM}", " { $R * .DFM } "},
      {"{@newpage}", " @@@@@ "},
      {"{ @newpage }", " @@@@@ "},
      {"{ @NEWPAGE }", " { @NEWPAGE } "},
      {"x := 1; // note", "x := 1; //  note "},
      {"s := '{';", "s := '{' ; "},
      {"s := '(*';", "s := '(*' ; "},
      {"writeln('It''s');", "writeln ( ' It ' ' s ' ); "},
      {"Mask := '(*.*)';", "Mask := ' (*.*) ' ; "},
      {"x<>y", "x<>y "},
      {"a\tb", "a b "},
      {"", " "},
      {"a          b", "a b "},
      {"(*)", " (*) "},
  };
  for (const TextRow &row : rows)
    EXPECT_EQ(NormaliseLine(row.input), QByteArray(row.expected)) << "input: " << row.input;
}

TEST(NormaliseLine, OnePassVersionEqualsTheThirtyStepsOnRandomLines) {
  // Characters that take part in the replacement steps, heavily weighted.
  static const char alphabet[] = "''{}()[]+-,;*=:@/\t .$newpageNEWPAGExyz019  ";
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pick(0, int(sizeof(alphabet)) - 2);
  std::uniform_int_distribution<int> length(0, 90);
  for (int i = 0; i < 200000; ++i) {
    QByteArray line;
    const int n = length(random);
    for (int k = 0; k < n; ++k) line.append(alphabet[pick(random)]);
    if (i % 50 == 0) line += "{ @newpage }(* . *)' (* '";
    ASSERT_EQ(NormaliseLine(line), NormaliseLineReference(line)) << "line: " << line.constData();
  }
}

TEST(NormaliseLine, ReusedNormaliserGivesEachLineItsOwnResult) {
  // One normaliser over lines that grow and shrink, so that its buffers are
  // reused and regrown; the lower-case option lowers before the steps, which
  // turns an upper-case page-break directive into the marker.
  static const char alphabet[] = "''{}()[]+-,;*=:@/\t .$newpageNEWPAGExyzXYZ019     ";
  std::mt19937 random(7031);
  std::uniform_int_distribution<int> pick(0, int(sizeof(alphabet)) - 2);
  std::uniform_int_distribution<int> length(0, 3000);
  LineNormaliser normaliser;
  for (int i = 0; i < 3000; ++i) {
    QByteArray line;
    const int n = i % 10 == 0 ? length(random) : length(random) % 60;
    for (int k = 0; k < n; ++k) line.append(alphabet[pick(random)]);
    if (i % 7 == 0) line += "{ @NEWPAGE }//x";
    const bool lower = i % 2 == 1;
    const QByteArray expected = NormaliseLineReference(lower ? line.toLower() : line);
    ASSERT_EQ(normaliser.Normalise(line, lower).toByteArray(), expected) << "line: " << line.constData();
  }
  EXPECT_EQ(normaliser.Normalise("{ @NEWPAGE }", true).toByteArray(), QByteArray(" @@@@@ "));
  EXPECT_EQ(normaliser.Normalise("{ @NEWPAGE }", false).toByteArray(), QByteArray(" { @NEWPAGE } "));
}

TEST(ReplaceAll, CutsAtNonOverlappingOccurrences) {
  struct Row {
    const char *text, *find, *replacement, *expected;
  } rows[] = {
      {"aaaa", "aa", "b", "bb"},      {"aaa", "aa", "b", "ba"},  {"abc", "x", "y", "abc"},
      {"", "x", "y", ""},             {"xax", "x", "", "a"},     {"    ", "  ", " ", "  "},
      {"a,b,c", ",", ", ", "a, b, c"},
  };
  for (const Row &row : rows)
    EXPECT_EQ(ReplaceAll(row.text, row.find, row.replacement), QByteArray(row.expected)) << row.text;
  const QByteArray longText = QByteArray(100000, 'a') + ";";
  EXPECT_EQ(ReplaceAll(longText, ";", "; ").size(), 100002);
}

TEST(SplitWords, KeepsEmptyAndLongWordsAndGrowsPastSeventyFiveWords) {
  auto texts = [](const std::vector<LineWord> &words) {
    QList<QByteArray> result;
    for (const LineWord &w : words) result << w.Text;
    return result;
  };
  EXPECT_EQ(texts(SplitWords("  a  b ")), (QList<QByteArray>{"a", "", "b", "```"}));
  EXPECT_EQ(texts(SplitWords("")), (QList<QByteArray>{"", "```"}));

  const QByteArray longWord(300, 'q');
  EXPECT_EQ(SplitWords(longWord + " x")[0].Text, longWord);

  QByteArray many;
  for (int i = 0; i < 200; ++i) many += "w" + QByteArray::number(i) + " ";
  const auto words = SplitWords(many);
  ASSERT_EQ(words.size(), 201u);
  EXPECT_EQ(words[199].Text, "w199");
  EXPECT_EQ(words[200].Text, kSentinelWord);
}

// Classes every word of each normalised line in turn; returns one letter per
// word (sentinel left out): P plain, R reserved, C comment, M message,
// S section, N procedure name.
QList<QByteArray> Classify(const QList<QByteArray> &sourceLines, const FormatSettings &settings,
                           QList<QByteArray> *textsOut = nullptr, CodeWordRules *rules = nullptr) {
  static const char letters[] = "PRCMSN";
  QList<QByteArray> result;
  ScanState state;
  for (const QByteArray &source : sourceLines) {
    const QByteArray line = NormaliseLine(source).trimmed();
    auto words = SplitWords(line);
    ClassifyLine(words, line, state, settings, rules);
    QByteArray kinds, texts;
    for (size_t i = 0; i + 1 < words.size(); ++i) {
      kinds += letters[int(words[i].Kind)];
      texts += words[i].Text + (i + 2 < words.size() ? " " : "");
    }
    result << kinds;
    if (textsOut) *textsOut << texts;
  }
  return result;
}

TEST(ClassifyWord, FollowsCommentAndStringStateAcrossWordsAndLines) {
  const FormatSettings settings;
  struct Row {
    QList<QByteArray> lines;
    QList<QByteArray> kinds;
  } rows[] = {
      // "s := '{';" : the quoted brace is one word, no comment starts.
      {{"s := '{';", "x"}, {"PPPP", "P"}},
      // A directive is code.
      {{"{$R *.DFM}"}, {"PPPPP"}},
      {{"{ text }"}, {"PCP"}},
      {{"(* a", "b *)", "c"}, {"PC", "CP", "P"}},
      {{"{ a", "b }", "c"}, {"PC", "CP", "P"}},
      // The string state ends with the line.
      {{"writeln('It''s');", "x"}, {"PPPMPPMPP", "P"}},
      {{"x := 1; // a 'b", "y"}, {"PPPPCCCC", "P"}},
      // A quote inside a comment does not start a string.
      {{"{ don't }", "z"}, {"PCCCP", "P"}},
      {{"s := '(*';", "t"}, {"PPPP", "P"}},
  };
  for (const Row &row : rows) {
    // Reserved words would show as R; make none of these reserved.
    FormatSettings plain = settings;
    plain.ReserveWords.clear();
    EXPECT_EQ(Classify(row.lines, plain), row.kinds) << row.lines.join(" | ").constData();
  }
}

TEST(ClassifyWord, CommentOrStringEndsOnlyAtItsOwnCloser) {
  // Before, "//" ended a brace comment or a string, "{" or "(*" inside a
  // string opened a comment, and "(*" inside a brace comment ran past its "}".
  const FormatSettings settings;  // begin, then, if reserved: R shows code
  struct Row {
    QList<QByteArray> lines;
    QList<QByteArray> kinds;
  } rows[] = {
      {{"{ See http://example.org/notes begin }", "begin"}, {"PCCCCCCP", "R"}},
      {{"{ See http://example.org/notes", "begin }", "begin"}, {"PCCCCC", "CP", "R"}},
      {{"if Url = 'http://example.org/a' then Exit;"}, {"RPPPMMMMPRP"}},
      {{"(* see // here *) begin"}, {"PCCCCPR"}},
      {{"{ a (* b } begin"}, {"PCCCPR"}},
      {{"s := 'a{b'; begin", "begin"}, {"PPPMMMPPR", "R"}},
      {{"s := 'a(*b'; begin", "begin"}, {"PPPMMMPPR", "R"}},
      {{"(* { *) begin"}, {"PCPR"}},
  };
  for (const Row &row : rows)
    EXPECT_EQ(Classify(row.lines, settings), row.kinds) << row.lines.join(" | ").constData();
}

TEST(ClassifyWord, ReservedWordsFollowTheUsersListAndCase) {
  FormatSettings settings;
  settings.Reserve = 1;
  QList<QByteArray> texts;
  EXPECT_EQ(Classify({"Begin x end;"}, settings, &texts), QList<QByteArray>{"RPR"});
  EXPECT_EQ(texts[0], "BEGIN x END;");

  settings.Reserve = 2;
  texts.clear();
  Classify({"BEGIN"}, settings, &texts);
  EXPECT_EQ(texts[0], "begin");

  settings.Reserve = 0;
  settings.ReserveWords.removeAll("begin");
  texts.clear();
  EXPECT_EQ(Classify({"Begin"}, settings, &texts), QList<QByteArray>{"P"});
  EXPECT_EQ(texts[0], "Begin");

  // In the initial list but never a candidate.
  EXPECT_EQ(Classify({"procedure x; override;"}, FormatSettings()), QList<QByteArray>{"RPP"});
  EXPECT_FALSE(IsReservedCandidate("override"));
}

TEST(ClassifyWord, SectionWordsOnlyStartingALine) {
  FormatSettings settings;
  EXPECT_EQ(Classify({"implementation", "x implementation", "Private"}, settings),
            (QList<QByteArray>{"S", "PR", "S"}));
  settings.ReserveWords.clear();
  EXPECT_EQ(Classify({"interface"}, settings), QList<QByteArray>{"S"});
}

TEST(ClassifyWord, RulesSeeOnlyCodeWords) {
  struct Recorder : CodeWordRules {
    QList<QByteArray> seen;
    void OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView) override {
      seen << words[size_t(index)].Text;
      // A rule may mark the next word as a procedure name; the lexer keeps it.
      if (words[size_t(index)].Text == "procedure") words[size_t(index) + 1].Kind = TokenClass::ProcName;
    }
  } rules;
  const FormatSettings settings;
  const auto kinds = Classify({"procedure p; { c } 'q'"}, settings, nullptr, &rules);
  EXPECT_EQ(rules.seen, (QList<QByteArray>{"procedure", "p;", "}", "'", "```"}));
  EXPECT_EQ(kinds, QList<QByteArray>{"RNPCPPMP"});
}

}  // namespace
