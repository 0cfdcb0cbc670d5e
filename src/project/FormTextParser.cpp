#include "project/FormTextParser.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace scrivane {
namespace {

constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }

bool EqualsIgnoringCase(std::string_view word, std::string_view lowerLiteral) {
  if (word.size() != lowerLiteral.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (LowerAscii(word[i]) != lowerLiteral[i]) return false;
  return true;
}

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

struct Failure {
  const char *message;
  std::size_t offset;
};

enum class Token { End, Symbol, Integer, Float, String, Char };

class Parser {
 public:
  explicit Parser(std::string_view text) : in_(text) {
    if (in_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
    Next();
  }

  std::string Run() {
    out_ = "TPF0";
    ReadObject(0);
    return std::move(out_);
  }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
  std::string out_;

  // The current token.
  Token token_ = Token::End;
  std::size_t tokenAt_ = 0;
  std::string_view symbol_;  // Symbol text, or the Char
  std::int64_t integer_ = 0;
  double float_ = 0;
  std::string bytes_;        // String: 8-bit form
  std::u16string wide_;      // String: UTF-16 form
  bool wideNeeded_ = false;  // a #code above 127 makes it a wide text

  [[noreturn]] static void Fail(const char *message, std::size_t offset) {
    throw Failure{message, offset};
  }
  [[noreturn]] void Unexpected() {
    Fail(token_ == Token::End ? "unexpected end of text" : "unexpected token", tokenAt_);
  }

  char At(std::size_t i) const { return i < in_.size() ? in_[i] : '\0'; }

  void Next() {
    while (pos_ < in_.size() && static_cast<unsigned char>(in_[pos_]) <= ' ') ++pos_;
    tokenAt_ = pos_;
    if (pos_ >= in_.size()) {
      token_ = Token::End;
      return;
    }
    const char c = in_[pos_];
    if (IsIdentStart(c)) {
      const std::size_t start = pos_;
      while (pos_ < in_.size() && (IsIdentChar(in_[pos_]) || in_[pos_] == '.')) ++pos_;
      symbol_ = in_.substr(start, pos_ - start);
      token_ = Token::Symbol;
    } else if (IsDigit(c) || ((c == '-' || c == '+') && IsDigit(At(pos_ + 1))) || c == '$' ||
               (c == '-' && At(pos_ + 1) == '$')) {
      ReadNumber();
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else {
      symbol_ = in_.substr(pos_, 1);
      ++pos_;
      token_ = Token::Char;
    }
  }

  void ReadNumber() {
    const std::size_t start = pos_;
    bool negative = false;
    if (in_[pos_] == '-' || in_[pos_] == '+') negative = in_[pos_++] == '-';
    if (At(pos_) == '$') {
      ++pos_;
      const std::size_t digits = pos_;
      std::uint64_t value = 0;
      while (std::isxdigit(static_cast<unsigned char>(At(pos_)))) {
        if (pos_ - digits >= 16) Fail("number out of range", start);
        const char h = At(pos_++);
        value = value * 16 + std::uint64_t(IsDigit(h) ? h - '0' : LowerAscii(h) - 'a' + 10);
      }
      if (pos_ == digits) Fail("invalid number", start);
      integer_ = negative ? -std::int64_t(value) : std::int64_t(value);
      token_ = Token::Integer;
      return;
    }
    while (IsDigit(At(pos_))) ++pos_;
    bool isFloat = false;
    if (At(pos_) == '.' && IsDigit(At(pos_ + 1))) {
      isFloat = true;
      ++pos_;
      while (IsDigit(At(pos_))) ++pos_;
    }
    if ((At(pos_) == 'e' || At(pos_) == 'E') &&
        (IsDigit(At(pos_ + 1)) ||
         ((At(pos_ + 1) == '-' || At(pos_ + 1) == '+') && IsDigit(At(pos_ + 2))))) {
      isFloat = true;
      pos_ += 2;
      while (IsDigit(At(pos_))) ++pos_;
    }
    const std::string_view text = in_.substr(start, pos_ - start);
    const std::string_view unsignedText = text.substr(text[0] == '-' || text[0] == '+' ? 1 : 0);
    // A suffix marks a single, currency or date; the value is what counts.
    const char suffix = LowerAscii(At(pos_));
    if (suffix == 's' || suffix == 'c' || suffix == 'd') {
      isFloat = true;
      ++pos_;
    }
    if (!isFloat) {
      std::uint64_t magnitude = 0;
      const auto parsed = std::from_chars(unsignedText.data(),
                                          unsignedText.data() + unsignedText.size(), magnitude);
      if (parsed.ec == std::errc() &&
          magnitude <= std::uint64_t(std::numeric_limits<std::int64_t>::max()) + negative) {
        integer_ = negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
        token_ = Token::Integer;
        return;
      }
    }
    double value = 0;
    const auto parsed =
        std::from_chars(unsignedText.data(), unsignedText.data() + unsignedText.size(), value);
    if (parsed.ec != std::errc() && parsed.ec != std::errc::result_out_of_range)
      Fail("invalid number", start);
    float_ = negative ? -value : value;
    token_ = Token::Float;
  }

  void ReadString() {
    bytes_.clear();
    wide_.clear();
    wideNeeded_ = false;
    std::string raw;  // quoted bytes since the last code, for the wide form
    auto flushRaw = [&] {
      AppendUtf8AsUtf16(raw, wide_);
      raw.clear();
    };
    for (;;) {
      const char c = At(pos_);
      if (pos_ < in_.size() && c == '\'') {
        ++pos_;
        for (;;) {
          if (pos_ >= in_.size() || in_[pos_] == '\r' || in_[pos_] == '\n')
            Fail("unterminated text", tokenAt_);
          if (in_[pos_] == '\'') {
            if (At(pos_ + 1) != '\'') break;
            ++pos_;
          }
          bytes_ += in_[pos_];
          raw += in_[pos_];
          ++pos_;
        }
        ++pos_;
      } else if (pos_ < in_.size() && c == '#') {
        const std::size_t at = pos_++;
        std::uint32_t code = 0;
        const bool hex = At(pos_) == '$';
        if (hex) ++pos_;
        const std::size_t digits = pos_;
        while (hex ? std::isxdigit(static_cast<unsigned char>(At(pos_))) != 0 : IsDigit(At(pos_))) {
          const char d = At(pos_++);
          code = code * (hex ? 16 : 10) +
                 std::uint32_t(IsDigit(d) ? d - '0' : LowerAscii(d) - 'a' + 10);
          if (code > 0xFFFF) Fail("character code out of range", at);
        }
        if (pos_ == digits) Fail("invalid character code", at);
        if (code > 127) wideNeeded_ = true;
        bytes_ += char(code & 0xFF);
        flushRaw();
        wide_ += char16_t(code);
      } else {
        break;
      }
    }
    flushRaw();
    token_ = Token::String;
  }

  static void AppendUtf8AsUtf16(std::string_view bytes, std::u16string &out) {
    std::size_t i = 0;
    while (i < bytes.size()) {
      const unsigned char lead = static_cast<unsigned char>(bytes[i]);
      const int extra = lead >= 0xF0 && lead < 0xF5   ? 3
                        : lead >= 0xE0 && lead < 0xF0 ? 2
                        : lead >= 0xC2 && lead < 0xE0 ? 1
                                                      : 0;
      std::uint32_t value = extra == 3   ? lead & 7u
                            : extra == 2 ? lead & 15u
                            : extra == 1 ? lead & 31u
                                         : lead;
      bool valid = extra > 0 && i + std::size_t(extra) < bytes.size();
      for (int k = 1; valid && k <= extra; ++k) {
        const unsigned char next = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
        valid = (next & 0xC0) == 0x80;
        value = value << 6 | (next & 0x3Fu);
      }
      if (!valid) {  // ASCII, or a byte that is not UTF-8: its own code
        out += char16_t(lead);
        ++i;
        continue;
      }
      if (value >= 0x10000) {
        value -= 0x10000;
        out += char16_t(0xD800 + (value >> 10));
        out += char16_t(0xDC00 + (value & 0x3FF));
      } else {
        out += char16_t(value);
      }
      i += std::size_t(extra) + 1;
    }
  }

  bool IsSymbol(std::string_view lowerWord) const {
    return token_ == Token::Symbol && EqualsIgnoringCase(symbol_, lowerWord);
  }
  bool IsChar(char c) const { return token_ == Token::Char && symbol_[0] == c; }
  void ExpectChar(char c) {
    if (!IsChar(c)) Unexpected();
    Next();
  }

  void Byte(unsigned value) { out_ += char(value & 0xFF); }
  void Unsigned(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) Byte(unsigned(value >> (8 * i)));
  }
  void ShortText(std::string_view text, std::size_t at) {
    if (text.size() > 255) Fail("name longer than 255 characters", at);
    Byte(unsigned(text.size()));
    out_.append(text);
  }
  void Integer(std::int64_t value) {
    if (value >= -128 && value <= 127) {
      Byte(2);
      Unsigned(std::uint64_t(value), 1);
    } else if (value >= -32768 && value <= 32767) {
      Byte(3);
      Unsigned(std::uint64_t(value), 2);
    } else if (value >= INT32_MIN && value <= INT32_MAX) {
      Byte(4);
      Unsigned(std::uint64_t(value), 4);
    } else {
      Byte(19);
      Unsigned(std::uint64_t(value), 8);
    }
  }
  void Extended(double value) {
    // A double widens exactly into the 10-byte form.
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 63;
    int exponent = int((bits >> 52) & 0x7FF);
    std::uint64_t fraction = bits & ((std::uint64_t(1) << 52) - 1);
    std::uint64_t mantissa = 0;
    int extendedExponent = 0;
    if (exponent == 0x7FF) {
      extendedExponent = 0x7FFF;
      mantissa = (std::uint64_t(1) << 63) | (fraction << 11);
    } else if (exponent == 0 && fraction == 0) {
      extendedExponent = 0;
    } else {
      if (exponent == 0) {  // denormal: normalise
        exponent = 1;
        while (!(fraction & (std::uint64_t(1) << 52))) {
          fraction <<= 1;
          --exponent;
        }
        fraction &= (std::uint64_t(1) << 52) - 1;
      }
      extendedExponent = exponent - 1023 + 16383;
      mantissa = (std::uint64_t(1) << 63) | (fraction << 11);
    }
    Byte(5);
    Unsigned(mantissa, 8);
    Unsigned(std::uint64_t(extendedExponent) | (negative ? 0x8000u : 0u), 2);
  }

  static void CheckDepth(int depth, std::size_t at) {
    if (depth > kFormNestingLimit) Fail("nesting deeper than 256 levels", at);
  }

  bool AtObjectStart() const {
    return IsSymbol("object") || IsSymbol("inherited") || IsSymbol("inline");
  }

  void ReadObject(int depth) {
    CheckDepth(depth, tokenAt_);
    unsigned flags = IsSymbol("inherited") ? 1 : IsSymbol("inline") ? 4 : 0;
    if (!AtObjectStart()) Unexpected();
    Next();
    if (token_ != Token::Symbol) Unexpected();
    std::string_view objectName, className = symbol_;
    std::size_t nameAt = tokenAt_, classAt = tokenAt_;
    Next();
    if (IsChar(':')) {
      Next();
      if (token_ != Token::Symbol) Unexpected();
      objectName = className;
      className = symbol_;
      classAt = tokenAt_;
      Next();
    }
    std::int64_t position = 0;
    if (IsChar('[')) {
      Next();
      if (token_ != Token::Integer) Unexpected();
      position = integer_;
      Next();
      ExpectChar(']');
      flags |= 2;
    }
    if (flags) {
      Byte(0xF0 | flags);
      if (flags & 2) Integer(position);
    }
    ShortText(className, classAt);
    ShortText(objectName, nameAt);
    while (!IsSymbol("end") && !AtObjectStart()) ReadProperty(depth + 1);
    Byte(0);
    while (!IsSymbol("end")) ReadObject(depth + 1);
    Byte(0);
    Next();
  }

  void ReadProperty(int depth) {
    if (token_ != Token::Symbol) Unexpected();
    ShortText(symbol_, tokenAt_);
    Next();
    ExpectChar('=');
    ReadValue(depth);
  }

  void ReadValue(int depth) {
    CheckDepth(depth, tokenAt_);
    switch (token_) {
      case Token::Integer:
        Integer(integer_);
        return Next();
      case Token::Float:
        Extended(float_);
        return Next();
      case Token::String:
        return ReadConcatenatedString();
      case Token::Symbol:
        if (IsSymbol("true")) {
          Byte(9);
        } else if (IsSymbol("false")) {
          Byte(8);
        } else if (IsSymbol("nil")) {
          Byte(13);
        } else {
          Byte(7);
          ShortText(symbol_, tokenAt_);
        }
        return Next();
      case Token::Char:
        break;
      case Token::End:
        Unexpected();
    }
    switch (symbol_[0]) {
      case '[': {
        Next();
        Byte(11);
        while (!IsChar(']')) {
          if (token_ != Token::Symbol) Unexpected();
          ShortText(symbol_, tokenAt_);
          Next();
          if (IsChar(','))
            Next();
          else if (!IsChar(']'))
            Unexpected();
        }
        Byte(0);
        return Next();
      }
      case '(':
        Next();
        Byte(1);
        while (!IsChar(')')) ReadValue(depth + 1);
        Byte(0);
        return Next();
      case '<':
        Next();
        Byte(14);
        while (!IsChar('>')) {
          if (!IsSymbol("item")) Unexpected();
          Next();
          if (IsChar('[')) {
            Next();
            if (token_ != Token::Integer) Unexpected();
            Integer(integer_);
            Next();
            ExpectChar(']');
          }
          Byte(1);
          while (!IsSymbol("end")) ReadProperty(depth + 2);
          Byte(0);
          Next();
        }
        Byte(0);
        return Next();
      case '{':
        return ReadBinary();
      default:
        Unexpected();
    }
  }

  void ReadConcatenatedString() {
    std::string bytes = bytes_;
    std::u16string wide = wide_;
    bool wideNeeded = wideNeeded_;
    Next();
    while (IsChar('+')) {
      Next();
      if (token_ != Token::String) Unexpected();
      bytes += bytes_;
      wide += wide_;
      wideNeeded = wideNeeded || wideNeeded_;
      Next();
    }
    if (wideNeeded) {
      Byte(18);
      Unsigned(wide.size(), 4);
      for (char16_t unit : wide) Unsigned(unit, 2);
    } else if (bytes.size() > 255) {
      Byte(12);
      Unsigned(bytes.size(), 4);
      out_ += bytes;
    } else {
      Byte(6);
      Byte(unsigned(bytes.size()));
      out_ += bytes;
    }
  }

  // Hex digits up to "}", blanks and line ends between them ignored.
  void ReadBinary() {
    const std::size_t at = tokenAt_;
    std::string data;
    int half = -1;
    for (;; ++pos_) {
      if (pos_ >= in_.size()) Fail("unterminated binary value", at);
      const char c = in_[pos_];
      if (c == '}') break;
      if (static_cast<unsigned char>(c) <= ' ') continue;
      if (!std::isxdigit(static_cast<unsigned char>(c))) Fail("invalid hexadecimal digit", pos_);
      const int digit = IsDigit(c) ? c - '0' : LowerAscii(c) - 'a' + 10;
      if (half < 0) {
        half = digit;
      } else {
        data += char(half * 16 + digit);
        half = -1;
      }
    }
    if (half >= 0) Fail("odd number of hexadecimal digits", pos_);
    ++pos_;
    Byte(10);
    Unsigned(data.size(), 4);
    out_ += data;
    Next();
  }
};

}  // namespace

bool LooksLikeFormText(std::string_view bytes) {
  std::size_t i = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) <= ' ') ++i;
  std::size_t end = i;
  while (end < bytes.size() && IsIdentChar(bytes[end])) ++end;
  const std::string_view word = bytes.substr(i, end - i);
  return EqualsIgnoringCase(word, "object") || EqualsIgnoringCase(word, "inherited") ||
         EqualsIgnoringCase(word, "inline");
}

FormStreamResult FormTextToStream(std::string_view text) {
  FormStreamResult result;
  try {
    result.stream = Parser(text).Run();
    result.ok = true;
  } catch (const Failure &failure) {
    result.error = FormStreamError{failure.message, failure.offset};
  }
  return result;
}

FormTextResult ConvertFormBytes(std::string_view bytes) {
  if (!LooksLikeFormText(bytes)) return ConvertFormStream(bytes);
  const FormStreamResult stream = FormTextToStream(bytes);
  if (!stream.ok) {
    FormTextResult failed;
    failed.error = stream.error;
    return failed;
  }
  return ConvertFormStream(stream.stream);
}

}  // namespace scrivane
