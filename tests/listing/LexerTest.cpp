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

// What the listing draws of each line (its words, a blank after each unless
// the next is glued to it) and one letter per word: P plain, R reserved,
// C comment, M message, S section, N procedure name. Comments are followed
// from line to line.
struct Printed {
  QList<QByteArray> texts, kinds;
};
Printed PrintLines(const QList<QByteArray> &sourceLines, const FormatSettings &settings,
                   CodeWordRules *rules = nullptr, bool lowerCase = false) {
  static const char letters[] = "PRCMSN";
  Printed printed;
  LineNormaliser normaliser;
  CommentCarry carry;
  ScanState state;
  for (const QByteArray &source : sourceLines) {
    const QByteArray line = normaliser.Normalise(source, lowerCase, carry).trimmed().toByteArray();
    auto words = SplitWords(line, state);
    ClassifyLine(words, line, settings, rules);
    QByteArray kinds, text;
    for (size_t i = 0; i + 1 < words.size(); ++i) {
      kinds += letters[int(words[i].Kind)];
      text += words[i].Text + (words[i].BlankAfter ? " " : "");
    }
    printed.texts << text.chopped(text.endsWith(' ') ? 1 : 0);
    printed.kinds << kinds;
  }
  return printed;
}

// Before, every replacement step ran over the whole line: "s := '';"
// printed "s := ' ' ;", "{$IFDEF X}" printed "{ $IFDEF X }" (a plain
// comment to Pascal), "a <= b" printed "a < = b", "1.5e-3" printed
// "1.5e - 3", and comment text lost its own spacing.
TEST(NormaliseLine, CodeIsSpacedWhileStringsDirectivesAndCommentsPrintAsWritten) {
  struct Row {
    const char *source, *printed, *kinds;
  } rows[] = {
      {"s := '';", "s := '';", "PPMP"},
      {"s:='a(b)+c;d';", "s := 'a(b)+c;d';", "PPMP"},
      {"writeln('It''s');", "writeln ( 'It''s' );", "PPMP"},
      {"c := '''' + #39 + 'a'#13'b'#$0A;", "c := '''' + #39 + 'a'#13'b'#$0A;", "PPMPMPMP"},
      {"Mask := '(*.*)'; s := '{'; t := '}//'", "Mask := '(*.*)'; s := '{'; t := '}//'",
       "PPMPPPMPPPM"},
      {"if x = 'a  b' then Close('Close');", "if x = 'a  b' then Close ( 'Close' );", "RPPMRPPMP"},
      {"{$IFDEF DEBUG}", "{$IFDEF DEBUG}", "P"},
      {"(*$R *.res*) {$R *.DFM}x", "(*$R *.res*) {$R *.DFM} x", "PPP"},
      {"if a<=b then a:=b", "if a <= b then a := b", "RPPPRPPP"},
      {"a>=b; a<>b; a><b; a+=1; a-=1; a*=2; a/=2; a**2; r:=1..9",
       "a >= b; a<>b; a><b; a += 1; a -= 1; a *= 2; a /= 2; a ** 2; r := 1..9",
       "PPPPPPPPPPPPPPPPPPPPPPP"},
      {"x:=1.5e-3+$FF-&17*%101/1.5E+10-2e-3;", "x := 1.5e-3 + $FF - &17 * %101/1.5E+10 - 2e-3;",
       "PPPPPPPPPPP"},
      {"y:=a1e-3+$1E-3;", "y := a1e - 3 + $1E - 3;", "PPPPPPPPP"},
      {"a[i]:=f(x,y);", "a [i] := f ( x, y );", "PPPPPPPP"},
      {"x := 1; // a 'b", "x := 1; // a 'b", "PPPCCC"},
      {"x:=1;//note", "x := 1; //note", "PPPC"},
      {"{-----}", "{-----}", "C"},
      {"{ Name    Value }", "{ Name    Value }", "CCCCCCC"},
      {"//===  x  ===", "//===  x  ===", "CCCCC"},
      {"(* a  b *) begin", "(* a  b *) begin", "CCCCCR"},
      {"{a\tb}", "{a      b}", "CCCCCCC"},
      {"s := 'don''t {here}';{c}x", "s := 'don''t {here}'; {c} x", "PPMPCP"},
      {"{ @newpage }", "@@@@@", "P"},
      {"{@newpage}", "@@@@@", "P"},
      {"{ @NEWPAGE }", "{ @NEWPAGE }", "CCC"},
      {"procedure TForm1.Button1Click(Sender: TObject);",
       "procedure TForm1.Button1Click ( Sender : TObject );", "RPPPPPP"},
      {"x<>y", "x<>y", "P"},
      {"a\tb", "a b", "PP"},
      {"a          b", "a b", "PP"},
      {"(*)", "(*)", "C"},
      {"s := 'unclosed", "s := 'unclosed", "PPM"},
      {"c := ^[; if c = ^] then", "c := ^[; if c = ^] then", "PPPRPPPR"},
      {"x := p^[i] + a[p^];", "x := p^ [i] + a [p^] ;", "PPPPPPPP"},
  };
  FormatSettings settings;
  for (const Row &row : rows) {
    const Printed printed = PrintLines({row.source}, settings);
    EXPECT_EQ(printed.texts[0], QByteArray(row.printed)) << "source: " << row.source;
    EXPECT_EQ(printed.kinds[0].toStdString(), row.kinds) << "source: " << row.source;
  }
  // With the lower option code and comments are lowered, strings and
  // directives keep their case; "{ @NEWPAGE }" then asks for a new page.
  EXPECT_EQ(
      PrintLines({"S := 'Ab' + {$I X.inc} {Note}", "{ @NEWPAGE }"}, settings, nullptr, true).texts,
      (QList<QByteArray>{"s := 'Ab' + {$I X.inc} {note}", "@@@@@"}));
}

// The compiler reads a signed number in assembler as one token, and brace
// comments nest or not as the mode says.
TEST(NormaliseLine, AssemblerNumbersAndNestedCommentsAsTheCompilerReadsThem) {
  FormatSettings settings;
  EXPECT_EQ(PrintLines({"asm", "imul edx, edx, -2048144777", "push -1", "mov eax, [ebp-8]", "end;",
                        "x:=a-1;"},
                       settings)
                .texts,
            (QList<QByteArray>{"asm", "imul edx, edx, -2048144777", "push -1", "mov eax, [ebp - 8]",
                               "end;", "x := a - 1;"}));
  const struct {
    bool nest;
    QList<QByteArray> lines;
    QList<QByteArray> kinds;
  } rows[] = {
      {true, {"{ a { b } c } x", "y"}, {"CCCCCCCP", "P"}},
      {false, {"{ a { b } c } x", "y"}, {"CCCCCPPP", "P"}},
      {true, {"{$mode delphi}", "{ a { b } c }"}, {"P", "CCCCCPP"}},
      {false, {"{$MODESWITCH NestedComments}", "{ a { b", "} c } x"}, {"P", "CCCC", "CCCP"}},
      {true, {"{$modeswitch nestedcomments-}{ a { b } c"}, {"PCCCCCP"}},
  };
  for (const auto &row : rows) {
    LineNormaliser normaliser;
    CommentCarry carry;
    carry.NestComments = row.nest;
    ScanState state;
    state.NestComments = row.nest;
    QList<QByteArray> kinds;
    for (const QByteArray &source : row.lines) {
      const QByteArray line = normaliser.Normalise(source, false, carry).trimmed().toByteArray();
      auto words = SplitWords(line, state);
      ClassifyLine(words, line, settings, nullptr);
      QByteArray k;
      for (size_t i = 0; i + 1 < words.size(); ++i) k += "PRCMSN"[int(words[i].Kind)];
      kinds << k;
      // The reader's state and the listing's agree at every line's end.
      EXPECT_EQ(carry.InBrace, state.InBraceComment) << row.lines.join('|').constData();
      EXPECT_EQ(carry.BraceDepth, state.BraceDepth) << row.lines.join('|').constData();
    }
    EXPECT_EQ(kinds, row.kinds) << row.lines.join('|').constData();
  }
}

// A comment over several lines keeps its style on every line, whatever its
// lines begin with (pasresolver.pp's "function Lo/Hi(...)" printed as code).
TEST(NormaliseLine, EveryLineOfACommentKeepsItsStyleAndSpacing) {
  const Printed printed =
      PrintLines({"{ Built-in:", "  function Lo/Hi(i: <any integer type>): Byte", "end } begin",
                  "(* x", "  begin  'a *) end", "{$IFDEF A", "b}"},
                 FormatSettings());
  EXPECT_EQ(printed.texts,
            (QList<QByteArray>{"{ Built-in:", "function Lo/Hi(i: <any integer type>): Byte",
                               "end } begin", "(* x", "begin  'a *) end", "{$IFDEF A", "b}"}));
  EXPECT_EQ(printed.kinds, (QList<QByteArray>{"CC", "CCCCCC", "CCR", "CC", "CCCCR", "CC", "C"}));
}

TEST(FormTextNormaliser, OnePassVersionEqualsTheThirtyStepsOnRandomLines) {
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
    ASSERT_EQ(FormTextNormaliser().Normalise(line).toByteArray(), NormaliseLineReference(line))
        << "line: " << line.constData();
  }
}

TEST(FormTextNormaliser, ReusedNormaliserGivesEachLineItsOwnResult) {
  // One normaliser over lines that grow and shrink, so that its buffers are
  // reused and regrown; the lower-case option lowers before the steps, which
  // turns an upper-case page-break directive into the marker.
  static const char alphabet[] = "''{}()[]+-,;*=:@/\t .$newpageNEWPAGExyzXYZ019     ";
  std::mt19937 random(7031);
  std::uniform_int_distribution<int> pick(0, int(sizeof(alphabet)) - 2);
  std::uniform_int_distribution<int> length(0, 3000);
  FormTextNormaliser normaliser;
  for (int i = 0; i < 3000; ++i) {
    QByteArray line;
    const int n = i % 10 == 0 ? length(random) : length(random) % 60;
    for (int k = 0; k < n; ++k) line.append(alphabet[pick(random)]);
    if (i % 7 == 0) line += "{ @NEWPAGE }//x";
    const bool lower = i % 2 == 1;
    const QByteArray expected = NormaliseLineReference(lower ? line.toLower() : line);
    ASSERT_EQ(normaliser.Normalise(line, lower).toByteArray(), expected)
        << "line: " << line.constData();
  }
  EXPECT_EQ(normaliser.Normalise("{ @NEWPAGE }", true).toByteArray(), QByteArray(" @@@@@ "));
  EXPECT_EQ(normaliser.Normalise("{ @NEWPAGE }", false).toByteArray(),
            QByteArray(" { @NEWPAGE } "));
}

TEST(ReplaceAll, CutsAtNonOverlappingOccurrences) {
  struct Row {
    const char *text, *find, *replacement, *expected;
  } rows[] = {
      {"aaaa", "aa", "b", "bb"},       {"aaa", "aa", "b", "ba"},
      {"abc", "x", "y", "abc"},        {"", "x", "y", ""},
      {"xax", "x", "", "a"},           {"    ", "  ", " ", "  "},
      {"a,b,c", ",", ", ", "a, b, c"},
  };
  for (const Row &row : rows)
    EXPECT_EQ(ReplaceAll(row.text, row.find, row.replacement), QByteArray(row.expected))
        << row.text;
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

QList<QByteArray> Classify(const QList<QByteArray> &sourceLines, const FormatSettings &settings,
                           QList<QByteArray> *textsOut = nullptr, CodeWordRules *rules = nullptr) {
  const Printed printed = PrintLines(sourceLines, settings, rules);
  if (textsOut) *textsOut << printed.texts;
  return printed.kinds;
}

TEST(ClassifyWord, CommentOrStringEndsOnlyAtItsOwnCloser) {
  // Before, "//" ended a brace comment or a string, "{" or "(*" inside a
  // string opened a comment, and "(*" inside a brace comment ran past its "}".
  const FormatSettings settings;  // begin, then, if reserved: R shows code
  struct Row {
    QList<QByteArray> lines;
    QList<QByteArray> kinds;
  } rows[] = {
      {{"{ See http://example.org/notes begin }", "begin"}, {"CCCCC", "R"}},
      {{"{ See http://example.org/notes", "begin }", "begin"}, {"CCC", "CC", "R"}},
      {{"if Url = 'http://example.org/a' then Exit;"}, {"RPPMRP"}},
      {{"(* see // here *) begin"}, {"CCCCCR"}},
      {{"{ a (* b } begin"}, {"CCCCCR"}},
      {{"s := 'a{b'; begin", "begin"}, {"PPMPR", "R"}},
      {{"s := 'a(*b'; begin", "begin"}, {"PPMPR", "R"}},
      {{"(* { *) begin"}, {"CCCR"}},
      {{"x := 1; // a 'b", "y"}, {"PPPCCC", "P"}},
      {{"{ don't }", "z"}, {"CCC", "P"}},
      {{"(* a", "b *)", "c"}, {"CC", "CC", "P"}},
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

  // Every word of the initial list can print as reserved, so the user's list
  // decides: before, only 58 words could, and "override", "published" or
  // "initialization" never printed bold.
  EXPECT_EQ(Classify({"procedure x; override;"}, FormatSettings()), QList<QByteArray>{"RPR"});
  EXPECT_EQ(Classify({"published override initialization"}, FormatSettings()),
            QList<QByteArray>{"RRR"});
  for (const QByteArray &word : FormatSettings::InitialReserveWords())
    EXPECT_TRUE(IsReservedCandidate(word)) << word.constData();
  FormatSettings without;
  without.ReserveWords.removeAll("published");
  EXPECT_EQ(Classify({"published override"}, without), QList<QByteArray>{"PR"});
  // The classic words keep their rule: only "end;" of them takes a ";".
  EXPECT_EQ(Classify({"inherited; raise;"}, FormatSettings()), QList<QByteArray>{"PP"});
  // An anonymous method's "end" is one whatever follows it.
  EXPECT_EQ(Classify({"end, 3);"}, FormatSettings()), QList<QByteArray>{"RPP"});
  EXPECT_EQ(Classify({"endless, x"}, FormatSettings()), QList<QByteArray>{"PP"});
}

TEST(ClassifyWord, SectionWordsOnlyStartingALine) {
  FormatSettings settings;
  EXPECT_EQ(Classify({"implementation", "x implementation", "Private"}, settings),
            (QList<QByteArray>{"S", "PR", "S"}));
  settings.ReserveWords.clear();
  EXPECT_EQ(Classify({"interface"}, settings), QList<QByteArray>{"S"});
}

// Directives too: the rules follow {$IF...}/{$ELSE} branches.
TEST(ClassifyWord, RulesSeeCodeWordsAndDirectivesOnly) {
  struct Recorder : CodeWordRules {
    QList<QByteArray> seen;
    void OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView) override {
      seen << words[size_t(index)].Text;
      // A rule may mark the next word as a procedure name; the lexer keeps it.
      if (words[size_t(index)].Text == "procedure")
        words[size_t(index) + 1].Kind = TokenClass::ProcName;
    }
  } rules;
  const FormatSettings settings;
  const auto kinds = Classify({"procedure p; { c } 'q' {$R x}"}, settings, nullptr, &rules);
  EXPECT_EQ(rules.seen, (QList<QByteArray>{"procedure", "p;", "{$R x}", "```"}));
  EXPECT_EQ(kinds, QList<QByteArray>{"RNCCCMP"});
}

}  // namespace

// Delphi's text blocks: the lines between the quotes are the string's, as
// written; code goes on after the closing quotes. "'''" that does not end
// its line, or an even run of quotes, opens none.
TEST(NormaliseLine, TextBlockLinesPrintAsWritten) {
  const Printed printed = PrintLines({"s:='''", "  begin x-1; end", "  it''s (* no comment",
                                      "  ''';", "if a then b:='''''';", "t:='''x'''", "begin"},
                                     FormatSettings());
  EXPECT_EQ(printed.texts,
            (QList<QByteArray>{"s := '''", "begin x-1; end", "it''s (* no comment", "''';",
                               "if a then b := '''''';", "t := '''x'''", "begin"}));
  EXPECT_EQ(printed.kinds, (QList<QByteArray>{"PPM", "M", "M", "MP", "RPRPPMP", "PPM", "R"}));
}
