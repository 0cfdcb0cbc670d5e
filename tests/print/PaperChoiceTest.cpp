// The paper a document is laid out on, from the user's choice down to the
// locale, as a pure function of what each source says.
#include <gtest/gtest.h>

#include "print/PaperChoice.h"

namespace {
using scrivane::ChoosePaper;
using scrivane::PaperChoice;
using scrivane::PaperInputs;
using scrivane::PaperSize;

TEST(PaperChoice, FirstSourceThatNamesAKnownPaperWins) {
  const QString usLocale = "height=279\nwidth=216\npaper-codeset=\"UTF-8\"\n";
  struct Row {
    PaperInputs inputs;
    PaperChoice expected;
  } rows[] = {
      {{"letter", "A4", "a4", "a4\n", usLocale}, {PaperSize::Letter, "--paper"}},
      {{"A5", "", "", "", ""}, {PaperSize::A5, "--paper"}},
      {{"", "Letter", "a4", "a4\n", ""}, {PaperSize::Letter, "printer"}},
      {{"", "Legal", "", "", ""}, {PaperSize::Legal, "printer"}},
      {{"", "Executive", "a3", "", ""}, {PaperSize::A3, "PAPERSIZE"}},
      {{"", "", " Letter ", "a4\n", ""}, {PaperSize::Letter, "PAPERSIZE"}},
      {{"", "", "", "# written by paperconfig\n\nletter\n", ""},
       {PaperSize::Letter, "/etc/papersize"}},
      {{"", "", "b5", "a5 # a comment\n", ""}, {PaperSize::A5, "/etc/papersize"}},
      {{"", "", "", "", usLocale}, {PaperSize::Letter, "LC_PAPER"}},
      {{"", "", "", "tabloid\n", "height=297\nwidth=210\n"}, {PaperSize::A4, "LC_PAPER"}},
      {{"", "", "", "", "height=356\nwidth=216\n"}, {PaperSize::Legal, "LC_PAPER"}},
      {{"", "", "", "", "height=100\nwidth=100\n"}, {PaperSize::A4, "default"}},
      {{"", "", "", "", ""}, {PaperSize::A4, "default"}},
  };
  for (const Row &row : rows) {
    const PaperChoice choice = ChoosePaper(row.inputs);
    EXPECT_EQ(choice.paper, row.expected.paper) << row.expected.source.toStdString();
    EXPECT_EQ(choice.source, row.expected.source);
  }
}

}  // namespace
