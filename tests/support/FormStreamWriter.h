#pragma once
// A small encoder of binary form streams for the tests: each function gives
// the bytes of one piece, and pieces are joined with +, so a test states its
// stream as it would be read.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

namespace formstream {

inline std::string Byte(unsigned value) { return std::string(1, char(value & 0xFF)); }
inline std::string Little(std::uint64_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes += char((value >> (8 * i)) & 0xFF);
  return bytes;
}
inline std::string Short(std::string_view text) {
  return Byte(unsigned(text.size())) + std::string(text);
}

// Values: a type byte and its data.
inline std::string Int8(int value) { return Byte(2) + Little(std::uint64_t(value), 1); }
inline std::string Int16(int value) { return Byte(3) + Little(std::uint64_t(value), 2); }
inline std::string Int32(std::int64_t value) { return Byte(4) + Little(std::uint64_t(value), 4); }
inline std::string Int64(std::int64_t value) { return Byte(19) + Little(std::uint64_t(value), 8); }
inline std::string QWord(std::uint64_t value) { return Byte(22) + Little(value, 8); }
// The smallest integer type that holds the value, as the IDE writes it.
inline std::string Int(std::int64_t value) {
  if (value >= -128 && value <= 127) return Int8(int(value));
  if (value >= -32768 && value <= 32767) return Int16(int(value));
  if (value >= INT32_MIN && value <= INT32_MAX) return Int32(value);
  return Int64(value);
}
inline std::string ExtendedBits(std::uint64_t mantissa, unsigned exponentAndSign) {
  return Byte(5) + Little(mantissa, 8) + Little(exponentAndSign, 2);
}
// A normal double (or zero) widened into the 10-byte form.
inline std::string Extended(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const unsigned sign = (bits >> 63) ? 0x8000u : 0u;
  const int exponent = int((bits >> 52) & 0x7FF);
  if (exponent == 0) return ExtendedBits(0, sign);
  const std::uint64_t mantissa =
      (std::uint64_t(1) << 63) | ((bits & ((std::uint64_t(1) << 52) - 1)) << 11);
  return ExtendedBits(mantissa, unsigned(exponent - 1023 + 16383) | sign);
}
inline std::string Single(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return Byte(15) + Little(bits, 4);
}
inline std::string DoubleOf(unsigned type, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return Byte(type) + Little(bits, 8);
}
inline std::string Double(double value) { return DoubleOf(21, value); }
inline std::string Date(double value) { return DoubleOf(17, value); }
inline std::string Currency(std::int64_t tenThousandths) {
  return Byte(16) + Little(std::uint64_t(tenThousandths), 8);
}
inline std::string Str(std::string_view text) { return Byte(6) + Short(text); }
inline std::string LStr(std::string_view text) {
  return Byte(12) + Little(text.size(), 4) + std::string(text);
}
inline std::string Utf8Str(std::string_view text) {
  return Byte(20) + Little(text.size(), 4) + std::string(text);
}
inline std::string WStr(std::u16string_view text) {
  std::string bytes = Byte(18) + Little(text.size(), 4);
  for (char16_t unit : text) bytes += Little(unit, 2);
  return bytes;
}
inline std::string Ident(std::string_view name) { return Byte(7) + Short(name); }
inline std::string False() { return Byte(8); }
inline std::string True() { return Byte(9); }
inline std::string Nil() { return Byte(13); }
inline std::string Binary(std::string_view data) {
  return Byte(10) + Little(data.size(), 4) + std::string(data);
}
inline std::string Set(std::initializer_list<std::string_view> names) {
  std::string bytes = Byte(11);
  for (std::string_view name : names) bytes += Short(name);
  return bytes + Byte(0);
}
inline std::string List(std::initializer_list<std::string> values) {
  std::string bytes = Byte(1);
  for (const std::string &value : values) bytes += value;
  return bytes + Byte(0);
}
// A collection item: its order (an integer value, or nothing) and properties.
inline std::string Item(const std::string &properties, const std::string &order = {}) {
  return order + Byte(1) + properties + Byte(0);
}
inline std::string Collection(std::initializer_list<std::string> items) {
  std::string bytes = Byte(14);
  for (const std::string &item : items) bytes += item;
  return bytes + Byte(0);
}

inline std::string Prop(std::string_view name, const std::string &value) {
  return Short(name) + value;
}

// Prefix byte: bit 0 inherited, bit 1 child position (then `position`, an
// integer value), bit 2 inline.
inline std::string Prefix(unsigned flags, const std::string &position = {}) {
  return Byte(0xF0 | flags) + position;
}
inline std::string Object(std::string_view className, std::string_view name,
                          const std::string &properties, const std::string &children = {},
                          const std::string &prefix = {}) {
  return prefix + Short(className) + Short(name) + properties + Byte(0) + children + Byte(0);
}

inline std::string Stream(const std::string &object) { return "TPF0" + object; }
// The resource header the IDE writes before a binary form.
inline std::string Resource(std::string_view name, const std::string &stream) {
  return Byte(255) + Little(10, 2) + std::string(name) + Byte(0) + Little(0x1030, 2) +
         Little(stream.size(), 4) + stream;
}

}  // namespace formstream
