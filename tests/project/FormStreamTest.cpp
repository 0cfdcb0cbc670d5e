// The binary form decoder and the text form parser: table rows of bytes and
// their text or refusal, the float rule, and damaged streams.
#include <gtest/gtest.h>

#include <QFile>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "project/FormStream.h"
#include "project/FormTextParser.h"
#include "support/ExampleForm.h"
#include "support/FormStreamWriter.h"
#include "support/TestPaths.h"

using namespace formstream;
using scrivane::ConvertFormBytes;
using scrivane::ConvertFormStream;

namespace {

// A form TForm1/Form1 holding one property.
std::string OneProperty(const std::string &value) {
  return Resource("TFORM1", Stream(Object("TForm1", "Form1", Prop("P", value))));
}

std::string Text(const std::string &bytes) {
  const auto result = ConvertFormStream(bytes);
  EXPECT_TRUE(result.ok) << result.error.message << " at " << result.error.offset;
  return result.text;
}

// The text of the property line(s), without the object around them.
std::string PropertyText(const std::string &value) {
  std::string text = Text(OneProperty(value));
  const std::string head = "object Form1: TForm1\r\n  P = ";
  const std::string tail = "\r\nend\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_GE(text.size(), head.size() + tail.size());
  if (text.size() < head.size() + tail.size()) return text;
  return text.substr(head.size(), text.size() - head.size() - tail.size());
}

std::string Hex(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += char(i);
  return bytes;
}

std::string HexText(int from, int to) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (int i = from; i < to; ++i) {
    text += digits[(i >> 4) & 15];
    text += digits[i & 15];
  }
  return text;
}

struct ValueRow {
  const char *name;
  std::string value;
  std::string text;
};

TEST(FormStream, EachValueTypeAndEdgeCase) {
  const ValueRow rows[] = {
      {"int8 low", Int8(-128), "-128"},
      {"int16 high", Int16(32767), "32767"},
      {"int32 low", Int32(INT32_MIN), "-2147483648"},
      {"int64", Int64(-9223372036854775807LL - 1), "-9223372036854775808"},
      {"qword", QWord(18446744073709551615ULL), "18446744073709551615"},
      {"extended 1.5", Extended(1.5), "1.5"},
      {"extended 0.1", Extended(0.1), "0.1"},
      {"extended 1e-5", Extended(1e-5), "1e-05"},
      {"extended 1e20", Extended(1e20), "1e+20"},
      {"extended 100", Extended(100), "100"},
      {"extended 1e300", Extended(1e300), "1e+300"},
      {"extended -0", ExtendedBits(0, 0x8000), "-0"},
      {"extended inf", ExtendedBits(0x8000000000000000ULL, 0x7FFF), "inf"},
      {"extended -inf", ExtendedBits(0x8000000000000000ULL, 0xFFFF), "-inf"},
      {"extended nan", ExtendedBits(0xC000000000000000ULL, 0x7FFF), "nan"},
      // 2^-16382, the smallest normal extended: below the doubles, rounds to zero.
      {"extended tiny", ExtendedBits(0x8000000000000000ULL, 1), "0"},
      // An unnormal (integer bit clear) is read by its bits: 0.5 × 2^0.
      {"extended unnormal", ExtendedBits(0x4000000000000000ULL, 16383), "0.5"},
      // 1 + 2^-60 does not fit a double: the nearest double is 1.
      {"extended rounds", ExtendedBits(0x8000000000000010ULL, 16383), "1"},
      {"extended denormal double", ExtendedBits(0x8000000000000000ULL, 16383 - 1074), "5e-324"},
      {"single", Single(0.1f), "0.1"},
      {"double", Double(2.5), "2.5"},
      {"date", Date(45000.25), "45000.25"},
      {"currency", Currency(12345), "1.2345"},
      {"currency negative", Currency(-5000), "-0.5"},
      {"currency whole", Currency(70000), "7"},
      {"text", Str("Top Margin"), "'Top Margin'"},
      {"empty text", Str(""), "''"},
      {"quote", Str("It's"), "'It'#39's'"},
      {"controls only", Str("\r\n"), "#13#10"},
      {"control inside", Str("a\r\nb"), "'a'#13#10'b'"},
      {"high bytes raw", Str("caf\xE9"), "'caf\xE9'"},
      {"long text", LStr(std::string(300, 'x')), "'" + std::string(300, 'x') + "'"},
      {"wide text", WStr(u"a\u00e9\u20ac"), "'a'#233#8364"},
      {"wide quote", WStr(u"'"), "#39"},
      {"utf-8 text", Utf8Str("\xC3\xA9t\xC3\xA9"), "#233't'#233"},
      {"utf-8 four bytes", Utf8Str("\xF0\x9F\x98\x80"), "#128512"},
      {"utf-8 invalid byte", Utf8Str("a\xFF"), "'a'#255"},
      {"empty wide text", WStr(u""), "''"},
      {"identifier", Ident("alClient"), "alClient"},
      {"false", False(), "False"},
      {"true", True(), "True"},
      {"nil", Nil(), "nil"},
      {"set", Set({"fsBold", "fsItalic"}), "[fsBold, fsItalic]"},
      {"empty set", Set({}), "[]"},
      {"binary empty", Binary(""), "{}"},
      {"binary 31", Binary(Hex(31)), "{" + HexText(0, 31) + "}"},
      {"binary 32", Binary(Hex(32)), "{\r\n    " + HexText(0, 32) + "}"},
      {"binary 33", Binary(Hex(33)),
       "{\r\n    " + HexText(0, 32) + "\r\n    " + HexText(32, 33) + "}"},
      {"binary 64", Binary(Hex(64)),
       "{\r\n    " + HexText(0, 32) + "\r\n    " + HexText(32, 64) + "}"},
      {"empty list", List({}), "()"},
      {"list", List({Str("one"), Str("")}), "(\r\n    'one'\r\n    '')"},
      {"list in list", List({List({Int(1)}), Int(2)}), "(\r\n    (\r\n      1)\r\n    2)"},
      {"binary in list", List({Binary(Hex(32))}), "(\r\n    {\r\n      " + HexText(0, 32) + "})"},
      {"empty collection", Collection({}), "<>"},
      {"collection",
       Collection({Item(Prop("Width", Int(64))), Item(Prop("Width", Int(10)), Int(3))}),
       "<\r\n    item\r\n      Width = 64\r\n    end\r\n    item [3]\r\n      Width = 10\r\n    "
       "end>"},
      {"item order int32", Collection({Item("", Int32(70000))}),
       "<\r\n    item [70000]\r\n    end>"},
      {"collection in item", Collection({Item(Prop("Sub", Collection({Item(Prop("A", True()))})))}),
       "<\r\n    item\r\n      Sub = <\r\n        item\r\n          A = True\r\n        end>\r\n   "
       " end>"},
  };
  for (const ValueRow &row : rows) EXPECT_EQ(PropertyText(row.value), row.text) << row.name;
}

struct ObjectRow {
  const char *name;
  std::string object;
  std::string text;
};

TEST(FormStream, ObjectHeadersAndNesting) {
  const ObjectRow rows[] = {
      {"inherited", Object("TForm2", "Form2", "", "", Prefix(1)),
       "inherited Form2: TForm2\r\nend\r\n"},
      {"position", Object("TButton", "OK", "", "", Prefix(2, Int8(2))),
       "object OK: TButton [2]\r\nend\r\n"},
      {"both", Object("TButton", "OK", "", "", Prefix(3, Int32(-70000))),
       "inherited OK: TButton [-70000]\r\nend\r\n"},
      {"inline", Object("TFrame1", "Frame", "", "", Prefix(4)), "inline Frame: TFrame1\r\nend\r\n"},
      {"no name", Object("TPanel", "", Prop("OnClick", Ident("PanelClick"))),
       "object TPanel\r\n  OnClick = PanelClick\r\nend\r\n"},
      {"long class name", Object(std::string(239, 'T'), "X", ""),
       "object X: " + std::string(239, 'T') + "\r\nend\r\n"},
      {"children",
       Object("TA", "A", Prop("P", Int(1)), Object("TB", "B", "", Object("TC", "C", ""))),
       "object A: TA\r\n  P = 1\r\n  object B: TB\r\n    object C: TC\r\n    end\r\n  "
       "end\r\nend\r\n"},
  };
  for (const ObjectRow &row : rows) {
    EXPECT_EQ(Text(Resource("X", Stream(row.object))), row.text) << row.name;
    // The bare object stream, as Free Pascal writes it, reads the same.
    EXPECT_EQ(Text(Stream(row.object)), row.text) << row.name << " (no resource header)";
  }
}

struct RefusalRow {
  const char *name;
  std::string bytes;
  std::string message;
  std::size_t offset;
};

std::string Nested(int depth) {
  std::string value = Int(1);
  for (int i = 0; i < depth; ++i) value = List({value});
  return OneProperty(value);
}

TEST(FormStream, RefusalsNameTheReasonAndTheOffset) {
  const std::string good = OneProperty(Int(1));  // header 20 bytes, then "TPF0" at 20
  const RefusalRow rows[] = {
      {"empty", "", "unexpected end of data", 0},
      {"first byte", "\x01" + good.substr(1), "invalid resource header", 0},
      {"resource type", Byte(255) + Little(11, 2) + good.substr(3), "invalid resource header", 1},
      {"name without end", Byte(255) + Little(10, 2) + "TFORM1", "unexpected end of data", 9},
      {"signature", Resource("X", "TPF1" + Object("T", "N", "")), "invalid signature", 11},
      {"text form", "object Form1: TForm1\r\nend\r\n", "invalid resource header", 0},
      {"value type 23", OneProperty(Byte(23)), "invalid value type", 35},
      {"value type 255", OneProperty(Byte(255)), "invalid value type", 35},
      {"value type 0", OneProperty(Byte(0)), "invalid value type", 35},
      {"length past the end", OneProperty(Byte(10) + Little(0xFFFFFFFF, 4) + std::string(10, 'x')),
       "length beyond the end of data", 36},
      // Seven UTF-16 units need 14 bytes; 12 are left.
      {"wide length past the end", OneProperty(Byte(18) + Little(7, 4) + std::string(10, 'x')),
       "length beyond the end of data", 36},
      {"position not an integer",
       Resource("X", Stream(Object("T", "N", "", "", Prefix(2, Str("a"))))), "invalid integer type",
       16},
      {"item order not an integer", OneProperty(Byte(14) + Str("a") + Byte(1) + Byte(0) + Byte(0)),
       "invalid integer type", 36},
      {"item without list byte", OneProperty(Byte(14) + Int8(1) + Byte(7)),
       "invalid collection item", 38},
      {"cut in a property", good.substr(0, good.size() - 3), "unexpected end of data",
       good.size() - 3},
      {"nesting", Nested(10000), "nesting deeper than 256 levels", 290},
  };
  for (const RefusalRow &row : rows) {
    const auto result = ConvertFormStream(row.bytes);
    EXPECT_FALSE(result.ok) << row.name;
    EXPECT_EQ(result.error.message, row.message) << row.name;
    EXPECT_EQ(result.error.offset, row.offset) << row.name;
    EXPECT_TRUE(result.text.empty()) << row.name;
  }
  EXPECT_TRUE(ConvertFormStream(Nested(250)).ok);
}

TEST(FormStream, FloatTextIgnoresTheLocale) {
  const char *previous = std::setlocale(LC_ALL, nullptr);
  const std::string saved = previous ? previous : "C";
  // A locale with a decimal comma, where one is installed.
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) std::setlocale(LC_ALL, "fr_FR.UTF-8");
  EXPECT_EQ(PropertyText(Extended(1.5)), "1.5");
  EXPECT_EQ(PropertyText(Double(-2.25)), "-2.25");
  std::setlocale(LC_ALL, saved.c_str());
}

// The shortest text reads back to the same double, for doubles of every size.
TEST(FormStream, FloatTextReadsBackToTheSameDouble) {
  std::uint64_t state = 88172645463325252ULL;
  for (int i = 0; i < 20000; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    double value;
    std::memcpy(&value, &state, sizeof value);
    if (!std::isfinite(value)) continue;
    const std::string text = PropertyText(Extended(value));
    if (value == 0 || std::fpclassify(value) == FP_SUBNORMAL)
      continue;  // the writer widens normals only
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
    EXPECT_EQ(text.find(','), std::string::npos);
    // Shortest: no longer than the fewest "%g" digits that read back.
    char fewest[400];
    for (int precision = 1; precision <= 17; ++precision) {
      std::snprintf(fewest, sizeof fewest, "%.*g", precision, value);
      if (std::strtod(fewest, nullptr) == value) break;
    }
    EXPECT_LE(text.size(), std::strlen(fewest)) << text << " against " << fewest;
  }
}

// Every cut and every flipped byte of a good stream gives a text or a
// refusal: never a crash, a hang or an allocation beyond the input.
TEST(FormStream, DamagedStreamsFailCleanly) {
  const std::string good = ExampleMainForm();
  ASSERT_TRUE(ConvertFormStream(good).ok);
  for (std::size_t cut = 0; cut < good.size(); ++cut) {
    const auto result = ConvertFormStream(std::string_view(good).substr(0, cut));
    EXPECT_FALSE(result.ok) << "cut at " << cut;
    EXPECT_LE(result.error.offset, cut);
  }
  const unsigned char flips[] = {0x01, 0x80, 0xFF};
  for (std::size_t at = 0; at < good.size(); ++at) {
    for (unsigned char flip : flips) {
      std::string damaged = good;
      damaged[at] = char(damaged[at] ^ flip);
      const auto result = ConvertFormStream(damaged);
      if (result.ok) {
        EXPECT_LE(result.text.size(), damaged.size() * 64 + (1u << 20));
      } else {
        EXPECT_LE(result.error.offset, damaged.size());
        EXPECT_FALSE(result.error.message.empty());
      }
    }
  }
}

// The worked example: every kind of line of the text form in one object.
TEST(FormStream, WorkedExample) {
  const std::string panel = Object("TPanel", "", Prop("OnClick", Ident("PanelClick")));
  const std::string ok = Object(
      "TButton", "OK", Prop("Glyph.Data", Binary(Hex(40))) + Prop("Data", Binary("\x0A\x0B")), "",
      Prefix(2, Int8(2)));
  const std::string form = Object(
      "TForm1", "Form1",
      Prop("Left", Int16(192)) + Prop("Caption", Str("It's")) +
          Prop("Font.Style", Set({"fsBold", "fsItalic"})) + Prop("Hint", Str("a\r\nb")) +
          Prop("Scale", Extended(1.5)) + Prop("Tag", Int32(-40000)) + Prop("Visible", False()) +
          Prop("Items.Strings", List({Str("one"), Str("")})) +
          Prop("Columns",
               Collection({Item(Prop("Width", Int(64))), Item(Prop("Width", Int(10)), Int(3))})),
      ok + panel);
  EXPECT_EQ(Text(Resource("TFORM1", Stream(form))),
            "object Form1: TForm1\r\n"
            "  Left = 192\r\n"
            "  Caption = 'It'#39's'\r\n"
            "  Font.Style = [fsBold, fsItalic]\r\n"
            "  Hint = 'a'#13#10'b'\r\n"
            "  Scale = 1.5\r\n"
            "  Tag = -40000\r\n"
            "  Visible = False\r\n"
            "  Items.Strings = (\r\n"
            "    'one'\r\n"
            "    '')\r\n"
            "  Columns = <\r\n"
            "    item\r\n"
            "      Width = 64\r\n"
            "    end\r\n"
            "    item [3]\r\n"
            "      Width = 10\r\n"
            "    end>\r\n"
            "  object OK: TButton [2]\r\n"
            "    Glyph.Data = {\r\n"
            "      000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F\r\n"
            "      2021222324252627}\r\n"
            "    Data = {0A0B}\r\n"
            "  end\r\n"
            "  object TPanel\r\n"
            "    OnClick = PanelClick\r\n"
            "  end\r\n"
            "end\r\n");
}

// The shipped example form is what our encoder writes, and its text is the
// reviewed golden file. SCRIVANE_REGENERATE=1 rewrites the golden text and
// leaves the encoder's bytes in the build folder: the shipped example is
// replaced by scripts/regenerate-goldens.sh, on purpose, never by a test.
TEST(FormStream, ExampleFormAndItsGoldenText) {
  const std::string bytes = ExampleMainForm();
  const QString dfm = testsupport::examplesDir() + "/mainform.dfm";
  const QString golden = testsupport::sourceDir() + "/tests/project/golden/mainform.DDT";
  const std::string text = Text(bytes);
  if (testsupport::regeneratingGoldens()) {
    QFile out(QStringLiteral(SCRIVANE_BINARY_DIR) + "/tests/mainform.dfm");
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes.data(), qint64(bytes.size()));
    QFile goldenOut(golden);
    ASSERT_TRUE(goldenOut.open(QIODevice::WriteOnly | QIODevice::Truncate));
    goldenOut.write(text.data(), qint64(text.size()));
    return;
  }
  QFile shipped(dfm);
  ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
  EXPECT_EQ(shipped.readAll().toStdString(), bytes)
      << "examples/mainform.dfm differs from the encoder (scripts/regenerate-goldens.sh writes it "
         "again)";
  QFile reviewed(golden);
  ASSERT_TRUE(reviewed.open(QIODevice::ReadOnly));
  EXPECT_EQ(text, reviewed.readAll().toStdString());
}

// Text forms read into the same object text as their binary twins.
TEST(FormText, SameTextAsTheBinaryTwin) {
  const std::string binaryText = Text(ExampleMainForm());
  // The golden text is itself a text form.
  const auto again = ConvertFormBytes(binaryText);
  ASSERT_TRUE(again.ok) << again.error.message << " at " << again.error.offset;
  EXPECT_EQ(again.text, binaryText);

  struct Row {
    const char *name;
    std::string text;
    std::string binary;
  };
  const Row rows[] = {
      {"layout of another writer",
       "\xEF\xBB\xBFOBJECT Form1: TForm1\n  Items = (\n    'one'\n    ''\n  )\n  Data = {\n    "
       "0A0B\n  }\n"
       "  Cols = <  \n  item[3]\n  W = 1\n  end>\nend",
       Stream(Object("TForm1", "Form1",
                     Prop("Items", List({Str("one"), Str("")})) + Prop("Data", Binary("\x0A\x0B")) +
                         Prop("Cols", Collection({Item(Prop("W", Int(1)), Int(3))}))))},
      {"quotes doubled and joined", "object A: TA\n  S = 'It''s' + #13#10 +\n 'x'\nend\n",
       Stream(Object("TA", "A", Prop("S", Str("It's\r\nx"))))},
      {"wide character code", "object A: TA\n  S = 'a'#8364\nend\n",
       Stream(Object("TA", "A", Prop("S", WStr(u"a\u20ac"))))},
      {"numbers",
       "object A: TA\n  I = -70000\n  H = $10\n  F = 1.5\n  E = 1E3\n  B = "
       "9223372036854775807\nend\n",
       Stream(Object("TA", "A",
                     Prop("I", Int(-70000)) + Prop("H", Int(16)) + Prop("F", Extended(1.5)) +
                         Prop("E", Extended(1000)) + Prop("B", Int64(9223372036854775807LL))))},
      {"flags", "inherited A: TA\n  inline B: TB [2]\n  end\nend\n",
       Stream(Object("TA", "A", "", Object("TB", "B", "", "", Prefix(6, Int(2))), Prefix(1)))},
      {"long text", "object A: TA\n  S = '" + std::string(300, 'y') + "'\nend\n",
       Stream(Object("TA", "A", Prop("S", LStr(std::string(300, 'y')))))},
      {"values", "object A: TA\n  A = [x, y]\n  B = nil\n  C = TRUE\n  D = false\n  E = [] \nend\n",
       Stream(Object("TA", "A",
                     Prop("A", Set({"x", "y"})) + Prop("B", Nil()) + Prop("C", True()) +
                         Prop("D", False()) + Prop("E", Set({}))))},
  };
  for (const Row &row : rows) {
    const auto fromText = ConvertFormBytes(row.text);
    ASSERT_TRUE(fromText.ok) << row.name << ": " << fromText.error.message << " at "
                             << fromText.error.offset;
    EXPECT_EQ(fromText.text, Text(row.binary)) << row.name;
  }
}

TEST(FormText, MalformedTextFormsAreRefused) {
  struct Row {
    const char *name;
    std::string text;
    std::string message;
    std::size_t offset;
  };
  const Row rows[] = {
      {"no end", "object A: TA\n  P = 1\n", "unexpected end of text", 21},
      {"unterminated text", "object A: TA\n  P = 'abc\nend\n", "unterminated text", 19},
      {"missing equal sign", "object A: TA\n  P 1\nend\n", "unexpected token", 17},
      {"odd hex digits", "object A: TA\n  P = {ABC}\nend\n", "odd number of hexadecimal digits",
       23},
      {"bad hex digit", "object A: TA\n  P = {AG}\nend\n", "invalid hexadecimal digit", 21},
      {"unterminated binary", "object A: TA\n  P = {AB\n", "unterminated binary value", 19},
      {"character code too large", "object A: TA\n  P = #70000\nend\n",
       "character code out of range", 19},
      {"no class", "object A:\nend\n", "unexpected end of text", 14},
      {"item without end", "object A: TA\n  P = <item\n>\nend\n", "unexpected token", 25},
      {"deep lists",
       "object A: TA\n  P = " + std::string(300, '(') + std::string(300, ')') + "\nend\n",
       "nesting deeper than 256 levels", 275},
  };
  for (const Row &row : rows) {
    const auto result = ConvertFormBytes(row.text);
    EXPECT_FALSE(result.ok) << row.name;
    EXPECT_EQ(result.error.message, row.message) << row.name;
    EXPECT_EQ(result.error.offset, row.offset) << row.name;
  }
  EXPECT_TRUE(scrivane::LooksLikeFormText("  Inline X: TX"));
  EXPECT_FALSE(scrivane::LooksLikeFormText("objects"));
  EXPECT_FALSE(scrivane::LooksLikeFormText("unit a;"));
}

}  // namespace
