// The resolver's tables of names against a std::map of lowered names.
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "project/XrefTokens.h"

using namespace scrivane::xref;

TEST(XrefNames, TableFindsEverySpellingAtEverySize) {
  std::mt19937 random(11);
  // Letters and the bytes beside them, which folding leaves alone.
  auto spelling = [&](std::string s) {
    static const std::string kBytes = "aAzZ09_@[`{";
    for (size_t n = random() % 12; n > 0; --n) s += kBytes[random() % kBytes.size()];
    for (char &c : s)
      if (random() % 2 && c >= 'a' && c <= 'z') c = char(c - 32);
    return s;
  };
  auto lowered = [](std::string s) {
    for (char &c : s) c = Name::Fold(c);
    return s;
  };
  NameTable<int> table;
  std::map<std::string, int> expected;
  std::deque<std::string> keys;  // a table keeps views of its names
  std::vector<const int *> places;
  auto check = [&] {
    for (const auto &[known, value] : expected) {
      const std::string asked = spelling(known).substr(0, known.size());
      ASSERT_EQ(NameHash{}(Name(asked)), NameHash{}(Name(known)));
      const auto *found = table.find(Name(asked));
      ASSERT_NE(found, table.end()) << asked;
      EXPECT_EQ(found->second, value);
    }
    EXPECT_EQ(table.find(Name(spelling("absent"))), table.end());
  };
  // Past the few searched in order, the growing blocks (504 entries)
  // and 62 blocks (where a shift overflowed).
  for (int added = 0; added < 70000; ++added) {
    keys.push_back(spelling("n" + std::to_string(random() % 1000000)));
    if (!expected.emplace(lowered(keys.back()), added).second) continue;
    table[Name(keys.back())] = added;
    places.push_back(&table.find(Name(keys.back()))->second);
    if (expected.size() < 12 || expected.size() == 505) check();
  }
  check();
  // Entries never move: the resolver keeps pointers to what scopes hold.
  size_t i = 0;
  table.forEach([&](Name, const int &value) { EXPECT_EQ(&value, places[i++]); });
  EXPECT_EQ(i, expected.size());
}

TEST(XrefNames, FixedSetsAnswerAsTheirWords) {
  const NameSet set = {"begin", "end", "a", "TStringList"};
  for (const char *in : {"BEGIN", "End", "A", "tstringlist"}) EXPECT_EQ(set.count(in), 1u) << in;
  for (const char *out : {"", "beg", "ends", "b", "TStringList2", "{nd"})
    EXPECT_EQ(set.count(out), 0u) << out;
  EXPECT_EQ(ReservedWords().count("Specialize"), 1u);
  EXPECT_EQ(ReservedWords().count("read"), 0u);
}

// Free Pascal's own defines are shared by every module's conditions; what
// one module undefines or defines stays its own.
TEST(XrefNames, BuiltInDefinesFollowTheModulesDirectives) {
  auto active = [](Conditions &c, Name directive, Name arg) {
    c.Follow(directive, arg);
    const bool on = c.Active();
    c.Follow("endif", "");
    return on;
  };
  Conditions module, other;
  EXPECT_TRUE(active(module, "ifdef", "LINUX"));
  EXPECT_FALSE(active(module, "ifdef", "windows"));
  module.Follow("undef", "Linux");
  module.Follow("define", "windows");
  EXPECT_FALSE(active(module, "ifdef", "linux"));
  EXPECT_TRUE(active(module, "ifndef", "linux"));
  EXPECT_TRUE(active(module, "if", "defined(windows) and not defined(linux)"));
  EXPECT_TRUE(active(other, "if", "defined(linux) and not defined(windows)"));
  module.Follow("define", "linux");
  module.Follow("undef", "windows");
  EXPECT_TRUE(active(module, "ifdef", "linux"));
  EXPECT_FALSE(active(module, "ifdef", "windows"));
}
