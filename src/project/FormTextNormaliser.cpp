// The thirty replacement steps of a form's text, in one pass, and done
// literally as the yardstick the one pass is checked against.
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "project/SourceLexer.h"

namespace scrivane {
namespace {

struct ReplacementStep {
  std::string_view find;
  std::string_view replacement;
};

QByteArrayView View(std::string_view text) {
  return QByteArrayView(text.data(), qsizetype(text.size()));
}

// The normalisation table; its order matters, every step works on the
// result of the step before.
constexpr std::array<ReplacementStep, 30> kNormaliseSteps{{
    {"\t", " "},          {"'", " ' "},       {"{", " { "},
    {"}", " } "},         {"(", " ( "},       {")", " ) "},
    {"[", " ["},          {"]", "] "},        {"+", " + "},
    {"-", " - "},         {",", ", "},        {";", "; "},
    {"*", " * "},         {"=", " = "},       {":", " : "},
    {":  =", ":="},       {"(  *", "(*"},     {"*  )", "*)"},
    {"    ", " "},        {"   ", " "},       {"  ", " "},
    {") ;", ");"},        {"' (* '", "'(*'"}, {"' *) '", "'*)'"},
    {"' { '", "'{'"},     {"' } '", "'}'"},   {"{ @newpage }", "@@@@@"},
    {"(* . *)", "(*.*)"}, {"(* .", "(*."},    {"//", "// "},
}};

// Steps 1 to 15 replace single characters by texts that hold no character
// of a later step among them, so one pass over the line does all fifteen.
// Every entry is written as four bytes (the buffer has room to spare) and the
// output moves on by its length: no branch and no call per character. The
// flags note which characters the later steps look for.
enum : unsigned char {
  kColon = 1,
  kEquals = 2,
  kOpenParen = 4,
  kStar = 8,
  kCloseParen = 16,
  kQuote = 32,
  kOpenBrace = 64,
  kSlash = 128,
};

struct CharExpansion {
  std::array<std::array<std::array<char, 4>, 256>, 2> text{};  // [lowered][byte]
  std::array<unsigned char, 256> length{};
  std::array<unsigned char, 256> flag{};
  constexpr CharExpansion() {
    for (int c = 0; c < 256; ++c) {
      text[0][c][0] = char(c);
      text[1][c][0] = (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : char(c);
      length[c] = 1;
    }
    for (int i = 0; i < 15; ++i) {
      const auto c = static_cast<unsigned char>(kNormaliseSteps[i].find[0]);
      const std::string_view replacement = kNormaliseSteps[i].replacement;
      const size_t n = replacement.size();
      for (size_t k = 0; k < n; ++k) text[0][c][k] = text[1][c][k] = replacement[k];
      length[c] = static_cast<unsigned char>(n);
    }
    flag[':'] = kColon;
    flag['='] = kEquals;
    flag['('] = kOpenParen;
    flag['*'] = kStar;
    flag[')'] = kCloseParen;
    flag['\''] = kQuote;
    flag['{'] = kOpenBrace;
    flag['/'] = kSlash;
  }
};
constexpr CharExpansion kExpansion;

// A run of n blanks after the three shortening steps (four, three, two
// blanks to one, each scanning left to right without overlap).
int ShortenedRun(int n) {
  n = n / 4 + n % 4;
  n = n / 3 + n % 3;
  return n / 2 + n % 2;
}

// First occurrence of find in text at or after from, or -1. Lines are short
// and patterns are a few bytes: a memchr for the first byte beats the
// general search.
qsizetype FindFrom(QByteArrayView text, QByteArrayView find, qsizetype from) {
  const char *data = text.data();
  const qsizetype last = text.size() - find.size();
  while (from <= last) {
    const void *hit = std::memchr(data + from, find[0], size_t(last - from + 1));
    if (!hit) return -1;
    const qsizetype at = static_cast<const char *>(hit) - data;
    if (std::memcmp(data + at, find.data(), size_t(find.size())) == 0) return at;
    from = at + 1;
  }
  return -1;
}

// ReplaceAll's result written over the text itself, for a replacement no
// longer than what it replaces; returns the new size.
qsizetype ReplaceInPlace(char *data, qsizetype size, const ReplacementStep &step) {
  const QByteArrayView find = View(step.find), replacement = View(step.replacement);
  const QByteArrayView text(data, size);
  qsizetype at = FindFrom(text, find, 0);
  if (at < 0) return size;
  qsizetype read = 0, write = 0;
  while (at >= 0) {
    std::memmove(data + write, data + read, size_t(at - read));
    write += at - read;
    std::memcpy(data + write, replacement.data(), size_t(replacement.size()));
    write += replacement.size();
    read = at + find.size();
    at = FindFrom(text, find, read);  // bytes from `read` on are still the original ones
  }
  std::memmove(data + write, data + read, size_t(size - read));
  return write + size - read;
}

}  // namespace

QByteArray ReplaceAll(const QByteArray &text, QByteArrayView find, QByteArrayView replacement) {
  if (find.isEmpty()) return text;
  qsizetype at = text.indexOf(find);
  if (at < 0) return text;
  QByteArray result;
  result.reserve(text.size() + replacement.size() * 4);
  qsizetype from = 0;
  while (at >= 0) {
    result.append(text.constData() + from, at - from);
    result.append(replacement);
    from = at + find.size();
    at = text.indexOf(find, from);
  }
  result.append(text.constData() + from, text.size() - from);
  return result;
}

QByteArray NormaliseLineReference(const QByteArray &line) {
  QByteArray text = line + ' ';
  for (size_t i = 0; i + 1 < kNormaliseSteps.size(); ++i)
    text = ReplaceAll(text, View(kNormaliseSteps[i].find), View(kNormaliseSteps[i].replacement));
  // Step 30, "//" to "// ", also puts a blank before a "//" written straight
  // after a word ("x//note"): without it the comment's words were taken for
  // code, and a "begin" in them started a block.
  QByteArray result;
  qsizetype from = 0;
  for (qsizetype at = text.indexOf("//"); at >= 0; at = text.indexOf("//", from)) {
    result.append(text.constData() + from, at - from);
    if (!result.isEmpty() && result.back() != ' ') result.append(' ');
    result.append("// ");
    from = at + 2;
  }
  result.append(text.constData() + from, text.size() - from);
  return result;
}

QByteArrayView FormTextNormaliser::Normalise(QByteArrayView line, bool lowerCase) {
  // Steps 1 to 15, with the appended blank, written straight into a buffer
  // large enough for the worst case (every character tripled) plus the three
  // bytes that the four-byte writes may run over.
  const size_t need = size_t(line.size()) * 3 + 4;
  if (text_.size() < need) text_.resize(std::max<size_t>({need, text_.size() * 2, 1024}));
  char *const data = text_.data();
  char *out = data;
  unsigned flags = 0;
  const auto &table = kExpansion.text[lowerCase ? 1 : 0];
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    std::memcpy(out, table[byte].data(), 4);
    out += kExpansion.length[byte];
    flags |= kExpansion.flag[byte];
  }
  *out++ = ' ';
  qsizetype size = out - data;
  auto present = [flags](unsigned wanted) { return (flags & wanted) == wanted; };

  // Steps 16 to 18 only where their characters occur at all.
  if (present(kColon | kEquals)) size = ReplaceInPlace(data, size, kNormaliseSteps[15]);
  if (present(kOpenParen | kStar)) size = ReplaceInPlace(data, size, kNormaliseSteps[16]);
  if (present(kStar | kCloseParen)) size = ReplaceInPlace(data, size, kNormaliseSteps[17]);

  // Steps 19 to 21 act on each run of blanks alone; the text only shrinks,
  // so it is rewritten in place. Runs of up to four blanks, nearly all of
  // them, become one blank without a branch; a longer run gets its further
  // blanks when it ends.
  {
    char *write = data;
    const char *read = data;
    const char *const end = data + size;
    int run = 0;
    for (; read < end; ++read) {
      const char c = *read;
      const bool blank = c == ' ';
      if (run > 4 && !blank)
        for (int n = ShortenedRun(run) - 1; n > 0; --n) *write++ = ' ';
      *write = c;
      write += !(blank && run > 0);
      run = blank ? run + 1 : 0;
    }
    if (run > 4)
      for (int n = ShortenedRun(run) - 1; n > 0; --n) *write++ = ' ';
    size = write - data;
  }

  // Steps 22 to 29, skipped where their leading character never occurs.
  if (present(kCloseParen)) size = ReplaceInPlace(data, size, kNormaliseSteps[21]);
  if (present(kQuote)) {
    for (int i = 22; i <= 25; ++i) size = ReplaceInPlace(data, size, kNormaliseSteps[i]);
  }
  if (present(kOpenBrace)) size = ReplaceInPlace(data, size, kNormaliseSteps[26]);
  if (present(kOpenParen)) {
    size = ReplaceInPlace(data, size, kNormaliseSteps[27]);
    size = ReplaceInPlace(data, size, kNormaliseSteps[28]);
  }

  // Step 30 is the one that lengthens the text: it is written into the spare
  // buffer, which has room for a blank after every pair of bytes.
  const QByteArrayView text(data, size);
  if (present(kSlash)) {
    const QByteArrayView find = View(kNormaliseSteps[29].find),
                         replacement = View(kNormaliseSteps[29].replacement);
    qsizetype at = FindFrom(text, find, 0);
    if (at >= 0) {
      // Each "//" may gain a blank on either side.
      const size_t room = size_t(size) * 2 + 1;
      if (spare_.size() < room) spare_.resize(std::max<size_t>({room, spare_.size() * 2, 1024}));
      char *write = spare_.data();
      qsizetype read = 0;
      while (at >= 0) {
        std::memcpy(write, data + read, size_t(at - read));
        write += at - read;
        // A "//" written straight after a word gets a blank before it too.
        if (write > spare_.data() && write[-1] != ' ') *write++ = ' ';
        std::memcpy(write, replacement.data(), size_t(replacement.size()));
        write += replacement.size();
        read = at + find.size();
        at = FindFrom(text, find, read);
      }
      std::memcpy(write, data + read, size_t(size - read));
      write += size - read;
      return QByteArrayView(spare_.data(), write - spare_.data());
    }
  }
  return text;
}

namespace {
// Normalised code after what came before it: one blank between them.
void AppendCode(QByteArray &out, QByteArrayView code) {
  if (!out.isEmpty() && out.back() == ' ')
    while (!code.isEmpty() && code.front() == ' ') code = code.sliced(1);
  out += code;
}
}  // namespace

QByteArray FormTextNormaliser::NormaliseKeepingStrings(QByteArrayView line, bool lowerCase) {
  QByteArray out;
  out.reserve(line.size() * 2 + 2);
  qsizetype from = 0;
  for (qsizetype at = 0; at < line.size();) {
    if (!StartsStringLiteral(line, at)) {
      ++at;
      continue;
    }
    const qsizetype end = StringLiteralEnd(line, at);
    if (at > from) AppendCode(out, Normalise(line.sliced(from, at - from), lowerCase));
    if (!out.isEmpty() && out.back() != ' ') out += ' ';
    const qsizetype literal = out.size();
    out += line.sliced(at, end - at);
    // "Set all text to lower case" asks for the strings too.
    if (lowerCase)
      for (qsizetype k = literal; k < out.size(); ++k)
        if (out[k] >= 'A' && out[k] <= 'Z') out[k] = char(out[k] + ('a' - 'A'));
    out += ' ';
    at = from = end;
  }
  if (from < line.size() || out.isEmpty()) AppendCode(out, Normalise(line.sliced(from), lowerCase));
  return out;
}

}  // namespace scrivane
