// The unit listing classes a line a window of words at a time and reads its
// words again as it draws them, so that a unit written on one line of 50 MB
// costs a byte a word. Its words, their classes and the layout state the
// line leaves must be those of the line classed whole (SplitWords and
// ClassifyLine), on real units line by line and on each written as one line,
// and a reader started at a word's saved place must go on as the first did.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "format/FormatSettings.h"
#include "listing/ClassedLine.h"
#include "listing/LayoutRules.h"
#include "listing/Lexer.h"

using namespace scrivane;

namespace {

QByteArray Describe(const LineWord &w) {
  return QByteArray::number(int(w.Kind)) + (w.BlankAfter ? " " : "|") + w.Text;
}

struct Classed {
  QList<QByteArray> words;
  LayoutState state;
  ScanState scan;
};

// The rules with the word they lowered kept to themselves: ClassifyWord
// then lowers each code word on its own, as it did before it read theirs.
struct RulesLoweringApart : CodeWordRules {
  explicit RulesLoweringApart(IndentationRules &rules) : rules(rules) {}
  void OnCodeWord(std::vector<LineWord> &words, int index, QByteArrayView trimmed) override {
    rules.OnCodeWord(words, index, trimmed);
  }
  IndentationRules &rules;
};

Classed ClassAll(const QList<QByteArray> &lines, const FormatSettings &settings, bool windowed,
                 bool loweringShared = true) {
  Classed out;
  LayoutContext context;
  context.LeftX = 100;
  context.IndentWidth = 40;
  context.Settings = &settings;
  for (const QByteArray &line : lines) {
    const QByteArrayView trimmed = QByteArrayView(line).trimmed();
    out.state.NextLineX = 0;
    IndentationRules rules(out.state, context);
    if (windowed) {
      const ClassedLine classed(line, trimmed, out.scan, settings, &rules);
      for (ClassedWordReader reader(classed, 0, classed.Start()); !reader.AtEnd(); reader.Advance())
        out.words << Describe(reader.Peek());
    } else {
      std::vector<LineWord> words = SplitWords(line, out.scan);
      RulesLoweringApart apart(rules);
      ClassifyLine(words, trimmed, settings,
                   loweringShared ? static_cast<CodeWordRules *>(&rules) : &apart);
      for (size_t i = 0; i + 1 < words.size(); ++i) out.words << Describe(words[i]);
    }
    if (out.state.LineX == 0) out.state.LineX = context.LeftX;
    if (out.state.NextLineX == 0) out.state.NextLineX = out.state.LineX;
    out.state.LineX = out.state.NextLineX;
  }
  return out;
}

TEST(ClassedLine, ClassesAsTheWholeLineOnRealUnitsAndOnThemAsOneLine) {
  const QString units[] = {
      "/usr/share/fpcsrc/3.2.2/packages/fcl-passrc/src/pastree.pp",
      "/usr/share/fpcsrc/3.2.2/rtl/objpas/classes/classes.inc",
      "/usr/lib/lazarus/2.2.6/lcl/forms.pp",
  };
  FormatSettings settings;
  settings.Bold = 1;     // routine names classed apart
  settings.Reserve = 1;  // reserved words recased
  int read = 0;
  for (const QString &path : units) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    ++read;
    QList<QByteArray> lines;
    LineNormaliser normaliser;
    CommentCarry carry;
    for (const QByteArray &raw : file.readAll().split('\n'))
      lines << normaliser.Normalise(QByteArrayView(raw).trimmed(), false, carry).toByteArray();
    const QList<QByteArray> oneLine{lines.join(' ')};
    for (const QList<QByteArray> *source :
         std::initializer_list<const QList<QByteArray> *>{&lines, &oneLine}) {
      const Classed whole = ClassAll(*source, settings, false),
                    windowed = ClassAll(*source, settings, true);
      ASSERT_EQ(windowed.words.size(), whole.words.size()) << path.toStdString();
      for (qsizetype i = 0; i < whole.words.size(); ++i)
        ASSERT_EQ(windowed.words[i], whole.words[i]) << path.toStdString() << " word " << i;
      EXPECT_TRUE(windowed.state == whole.state) << path.toStdString();
      EXPECT_TRUE(windowed.scan == whole.scan) << path.toStdString();
      // The lowered word the rules hand back is the word's own.
      const Classed apart = ClassAll(*source, settings, false, false);
      EXPECT_EQ(apart.words, whole.words) << path.toStdString();
      EXPECT_TRUE(apart.state == whole.state) << path.toStdString();
    }

    // A page that continues the line starts from a word's saved place.
    LayoutState state;
    LayoutContext context;
    context.Settings = &settings;
    IndentationRules rules(state, context);
    ScanState scan;
    const ClassedLine classed(oneLine[0], QByteArrayView(oneLine[0]).trimmed(), scan, settings,
                              &rules);
    ClassedWordReader first(classed, 0, classed.Start());
    for (; !first.AtEnd(); first.Advance()) {
      if (first.IndexAhead() % 4999 != 17) continue;
      ClassedWordReader later(classed, first.IndexAhead(), first.PlaceAhead());
      for (size_t k = 0; k < 40; ++k)
        ASSERT_EQ(Describe(later.Peek(k)), Describe(first.Peek(k)))
            << path.toStdString() << " word " << first.IndexAhead();
    }
  }
  if (read == 0) GTEST_SKIP() << "no Free Pascal or Lazarus sources";
}

}  // namespace
