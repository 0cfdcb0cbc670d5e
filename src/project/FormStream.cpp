#include "project/FormStream.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace scrivane {
namespace {

enum ValueType : unsigned char {
  kNull = 0,
  kList = 1,
  kInt8 = 2,
  kInt16 = 3,
  kInt32 = 4,
  kExtended = 5,
  kString = 6,
  kIdent = 7,
  kFalse = 8,
  kTrue = 9,
  kBinary = 10,
  kSet = 11,
  kLString = 12,
  kNil = 13,
  kCollection = 14,
  kSingle = 15,
  kCurrency = 16,
  kDate = 17,
  kWString = 18,
  kInt64 = 19,
  kUtf8String = 20,
  kDouble = 21,
  kQWord = 22,
};

struct Failure {
  const char *message;
  std::size_t offset;
};

constexpr char kLineEnd[] = "\r\n";

class Decoder {
 public:
  explicit Decoder(std::string_view input)
      // Output grows with indentation as well as with the input; a cap far
      // above any real form keeps a hostile stream from filling memory.
      : in_(input), limit_(input.size() * 64 + (std::size_t(1) << 20)) {}

  std::string Run() {
    ReadHeader();
    if (Left() < 4 || in_.substr(pos_, 4) != "TPF0") Fail("invalid signature", pos_);
    pos_ += 4;
    ReadObject(0);
    return std::move(out_);
  }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
  std::size_t limit_;
  std::string out_;

  [[noreturn]] static void Fail(const char *message, std::size_t offset) {
    throw Failure{message, offset};
  }

  std::size_t Left() const { return in_.size() - pos_; }

  void Need(std::size_t count) {
    if (Left() < count) Fail("unexpected end of data", in_.size());
  }

  unsigned char Byte() {
    Need(1);
    return static_cast<unsigned char>(in_[pos_++]);
  }

  std::uint64_t Unsigned(int size) {
    Need(std::size_t(size));
    std::uint64_t value = 0;
    for (int i = 0; i < size; ++i)
      value |= std::uint64_t(static_cast<unsigned char>(in_[pos_ + i])) << (8 * i);
    pos_ += std::size_t(size);
    return value;
  }

  std::string_view Bytes(std::size_t count) {
    Need(count);
    const std::string_view bytes = in_.substr(pos_, count);
    pos_ += count;
    return bytes;
  }

  std::string_view ShortText() { return Bytes(Byte()); }

  // A 32-bit length, checked against what is left before anything is
  // allocated for it.
  std::size_t Length(std::size_t unitSize) {
    const std::size_t at = pos_;
    const std::uint64_t length = Unsigned(4);
    if (length > Left() / unitSize) Fail("length beyond the end of data", at);
    return std::size_t(length);
  }

  void Put(std::string_view text) {
    if (out_.size() + text.size() > limit_) Fail("form text too large", pos_);
    out_.append(text);
  }
  void Indent(int level) {
    for (int i = 0; i < level; ++i) Put("  ");
  }
  void EndLine() { Put(kLineEnd); }

  static void CheckDepth(int level, std::size_t at) {
    if (level > kFormNestingLimit) Fail("nesting deeper than 256 levels", at);
  }

  void ReadHeader() {
    if (Left() >= 4 && in_.substr(0, 4) == "TPF0") return;  // a bare object stream
    if (Byte() != 255) Fail("invalid resource header", 0);
    if (Unsigned(2) != 10) Fail("invalid resource header", 1);
    const std::size_t nameEnd = in_.find('\0', pos_);
    if (nameEnd == std::string_view::npos) Fail("unexpected end of data", in_.size());
    pos_ = nameEnd + 1;
    Unsigned(2);  // flags
    Unsigned(4);  // data size: not trusted, the stream says where it ends
  }

  std::int64_t Integer(unsigned char type, std::size_t at) {
    switch (type) {
      case kInt8:
        return std::int8_t(Unsigned(1));
      case kInt16:
        return std::int16_t(Unsigned(2));
      case kInt32:
        return std::int32_t(Unsigned(4));
      case kInt64:
        return std::int64_t(Unsigned(8));
      default:
        Fail("invalid integer type", at);
    }
  }

  void ReadObject(int level) {
    CheckDepth(level, pos_);
    unsigned flags = 0;
    std::int64_t position = 0;
    if (Byte() >= 0xF0) {
      flags = static_cast<unsigned char>(in_[pos_ - 1]) & 0x0F;
      if (flags & 2) {
        const std::size_t at = pos_;
        position = Integer(Byte(), at);
      }
    } else {
      --pos_;
    }
    const std::string_view className = ShortText();
    const std::string_view objectName = ShortText();
    Indent(level);
    Put((flags & 1) ? "inherited " : (flags & 4) ? "inline " : "object ");
    if (!objectName.empty()) {
      Put(objectName);
      Put(": ");
    }
    Put(className);
    if (flags & 2) {
      Put(" [");
      Put(std::to_string(position));
      Put("]");
    }
    EndLine();
    ReadProperties(level + 1);
    while (Byte() != 0) {
      --pos_;
      ReadObject(level + 1);
    }
    Indent(level);
    Put("end");
    EndLine();
  }

  void ReadProperties(int level) {
    while (Byte() != 0) {
      --pos_;
      const std::string_view name = ShortText();
      Indent(level);
      Put(name);
      Put(" = ");
      ReadValue(level);
      EndLine();
    }
  }

  // Writes a value that starts on a line of the given level; lines the value
  // adds are one level deeper. The caller ends the value's last line.
  void ReadValue(int level) {
    const std::size_t at = pos_;
    const unsigned char type = Byte();
    switch (type) {
      case kList:
        return ReadList(level, at);
      case kInt8:
      case kInt16:
      case kInt32:
      case kInt64:
        return Put(std::to_string(Integer(type, at)));
      case kQWord:
        return Put(std::to_string(Unsigned(8)));
      case kExtended: {
        unsigned char bytes[10];
        std::memcpy(bytes, Bytes(10).data(), 10);
        return Put(ExtendedFloatText(bytes));
      }
      case kDouble:
      case kDate:
        return Put(DoubleText(BitsToDouble(Unsigned(8))));
      case kSingle: {
        const std::uint32_t bits = std::uint32_t(Unsigned(4));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return Put(SingleText(value));
      }
      case kCurrency:
        return Put(CurrencyText(std::int64_t(Unsigned(8))));
      case kString:
        return PutQuotedBytes(ShortText());
      case kLString:
        return PutQuotedBytes(Bytes(Length(1)));
      case kIdent:
        return Put(ShortText());
      case kFalse:
        return Put("False");
      case kTrue:
        return Put("True");
      case kNil:
        return Put("nil");
      case kBinary:
        return ReadBinary(level);
      case kSet:
        return ReadSet();
      case kCollection:
        return ReadCollection(level, at);
      case kWString:
        return PutWideText(Bytes(Length(2) * 2));
      case kUtf8String:
        return PutUtf8Text(Bytes(Length(1)));
      default:
        Fail("invalid value type", at);
    }
  }

  static double BitsToDouble(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  static std::string CurrencyText(std::int64_t scaled) {
    // Exact: the value is a count of ten-thousandths.
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - std::uint64_t(scaled) : std::uint64_t(scaled);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    std::uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
      std::string digits = std::to_string(fraction);
      digits.insert(0, 4 - digits.size(), '0');
      while (digits.back() == '0') digits.pop_back();
      text += '.' + digits;
    }
    return text;
  }

  void ReadList(int level, std::size_t at) {
    CheckDepth(level + 1, at);
    Put("(");
    while (Byte() != kNull) {
      --pos_;
      EndLine();
      Indent(level + 1);
      ReadValue(level + 1);
    }
    Put(")");
  }

  void ReadSet() {
    Put("[");
    bool first = true;
    for (;;) {
      const std::string_view name = ShortText();
      if (name.empty()) break;
      if (!first) Put(", ");
      first = false;
      Put(name);
    }
    Put("]");
  }

  void ReadCollection(int level, std::size_t at) {
    CheckDepth(level + 2, at);
    Put("<");
    while (Byte() != kNull) {
      const std::size_t itemAt = pos_ - 1;
      const unsigned char type = static_cast<unsigned char>(in_[itemAt]);
      EndLine();
      Indent(level + 1);
      Put("item");
      if (type != kList) {
        Put(" [");
        Put(std::to_string(Integer(type, itemAt)));
        Put("]");
        if (Byte() != kList) Fail("invalid collection item", pos_ - 1);
      }
      EndLine();
      ReadProperties(level + 2);
      Indent(level + 1);
      Put("end");
    }
    Put(">");
  }

  void ReadBinary(int level) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string_view data = Bytes(Length(1));
    Put("{");
    const bool chunked = data.size() >= 32;
    for (std::size_t i = 0; i < data.size(); i += 32) {
      if (chunked) {
        EndLine();
        Indent(level + 1);
      }
      char line[64];
      const std::size_t count = std::min<std::size_t>(32, data.size() - i);
      for (std::size_t k = 0; k < count; ++k) {
        const unsigned char b = static_cast<unsigned char>(data[i + k]);
        line[2 * k] = kHex[b >> 4];
        line[2 * k + 1] = kHex[b & 15];
      }
      Put(std::string_view(line, 2 * count));
    }
    Put("}");
  }

  // Runs of printable characters in quotes, every other character as "#"
  // and its code, next to each other; an empty text is ''.
  template <class Codes>
  void PutQuoted(Codes &&forEachCode, bool printableHigh) {
    std::string text;
    bool quoted = false, any = false;
    forEachCode([&](std::uint32_t code) {
      any = true;
      const bool printable =
          code >= 32 && code != '\'' && (code < 127 || (printableHigh && code < 256));
      if (printable != quoted) {
        text += '\'';
        quoted = printable;
      }
      if (printable) {
        text += char(code);
      } else {
        text += '#';
        text += std::to_string(code);
      }
      if (text.size() >= 4096) {
        Put(text);
        text.clear();
      }
    });
    if (quoted) text += '\'';
    if (!any) text = "''";
    Put(text);
  }

  // The form's own 8-bit texts: every byte from 32 up (but the quote) is
  // printable, as the listing and the lists read the text as 8-bit.
  void PutQuotedBytes(std::string_view bytes) {
    PutQuoted(
        [&](auto &&code) {
          for (char c : bytes) code(static_cast<unsigned char>(c));
        },
        true);
  }

  // UTF-16 texts: a code unit outside ASCII has no 8-bit form, so it is
  // written as its number, which the text parsers read back as that unit.
  void PutWideText(std::string_view bytes) {
    PutQuoted(
        [&](auto &&code) {
          for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            code(std::uint32_t(static_cast<unsigned char>(bytes[i])) |
                 std::uint32_t(static_cast<unsigned char>(bytes[i + 1])) << 8);
        },
        false);
  }

  void PutUtf8Text(std::string_view bytes) {
    PutQuoted(
        [&](auto &&code) {
          std::size_t i = 0;
          while (i < bytes.size()) {
            const unsigned char lead = static_cast<unsigned char>(bytes[i]);
            int extra = lead >= 0xF0 && lead < 0xF5   ? 3
                        : lead >= 0xE0                ? 2
                        : lead >= 0xC2 && lead < 0xE0 ? 1
                                                      : 0;
            if (lead >= 0xF5) extra = 0;
            std::uint32_t value = extra == 3   ? lead & 7
                                  : extra == 2 ? lead & 15
                                  : extra == 1 ? lead & 31
                                               : lead;
            bool valid = lead < 0x80 || extra > 0;
            if (valid && extra > 0 && i + std::size_t(extra) >= bytes.size()) valid = false;
            for (int k = 1; valid && k <= extra; ++k) {
              const unsigned char next = static_cast<unsigned char>(bytes[i + std::size_t(k)]);
              if ((next & 0xC0) != 0x80) valid = false;
              value = value << 6 | (next & 0x3F);
            }
            if (valid && ((extra == 2 && (value < 0x800 || (value >= 0xD800 && value < 0xE000))) ||
                          (extra == 3 && (value < 0x10000 || value > 0x10FFFF))))
              valid = false;
            if (!valid) {  // a byte that is not UTF-8 keeps its own code
              code(lead);
              ++i;
              continue;
            }
            code(value);
            i += std::size_t(extra) + 1;
          }
        },
        false);
  }
};

template <class Float>
std::string ShortestText(Float value) {
  if (std::isnan(value)) return "nan";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string DoubleText(double value) { return ShortestText(value); }
std::string SingleText(float value) { return ShortestText(value); }

std::string ExtendedFloatText(const unsigned char bytes[10]) {
  std::uint64_t mantissa = 0;
  for (int i = 0; i < 8; ++i) mantissa |= std::uint64_t(bytes[i]) << (8 * i);
  const unsigned exponentAndSign = unsigned(bytes[8]) | unsigned(bytes[9]) << 8;
  const bool negative = exponentAndSign & 0x8000;
  const int exponent = int(exponentAndSign & 0x7FFF);
  double value;
  if (exponent == 0x7FFF) {
    value = (mantissa << 1) == 0 ? HUGE_VAL : NAN;
  } else {
    // mantissa × 2^(exponent − 16383 − 63); the integer bit is explicit, so
    // denormals and unnormals follow the same formula.
    const int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
#if LDBL_MANT_DIG >= 64 && LDBL_MAX_EXP >= 16384
    // Exact in long double, then rounded once to the nearest double.
    value = double(std::ldexp(static_cast<long double>(mantissa), scale));
#else
    value = std::ldexp(double(mantissa), scale);
#endif
  }
  return ShortestText(negative ? -value : value);
}

FormTextResult ConvertFormStream(std::string_view bytes) {
  FormTextResult result;
  try {
    result.text = Decoder(bytes).Run();
    result.ok = true;
  } catch (const Failure &failure) {
    result.error = FormStreamError{failure.message, failure.offset};
  }
  return result;
}

}  // namespace scrivane
