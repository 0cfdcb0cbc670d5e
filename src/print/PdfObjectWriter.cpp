#include "print/PdfObjectWriter.h"

#include <charconv>
#include <cmath>

namespace scrivane {

void AppendNumber(std::string &out, double value) {
  long long thousandths = std::llround(value * 1000.0);
  if (thousandths < 0) {
    out += '-';
    thousandths = -thousandths;
  }
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, thousandths / 1000).ptr;
  out.append(buffer, end);
  int fraction = int(thousandths % 1000);
  if (fraction == 0) return;
  char digits[4] = {char('0' + fraction / 100), char('0' + fraction / 10 % 10), char('0' + fraction % 10), 0};
  int length = 3;
  while (digits[length - 1] == '0') --length;
  out += '.';
  out.append(digits, length);
}

void AppendInt(std::string &out, long long value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

void AppendHex4(std::string &out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  out += kHex[(value >> 12) & 0xF];
  out += kHex[(value >> 8) & 0xF];
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

void AppendHex2(std::string &out, unsigned value) {
  static const char kHex[] = "0123456789ABCDEF";
  out += kHex[(value >> 4) & 0xF];
  out += kHex[value & 0xF];
}

void AppendUtf16Hex(std::string &out, const QString &text) {
  for (QChar c : text) AppendHex4(out, c.unicode());
}

PdfObjectWriter::~PdfObjectWriter() {
  if (zReady_) deflateEnd(&z_);
}

void PdfObjectWriter::put(std::string_view text) {
  buffer_.append(text);
  written += text.size();
  if (buffer_.size() >= (1 << 18)) drain();
}

void PdfObjectWriter::drain() {
  qint64 done = 0;
  const qint64 total = qint64(buffer_.size());
  while (!writeFailed && done < total) {
    const qint64 n = output ? output->write(buffer_.data() + done, total - done) : -1;
    if (n <= 0) writeFailed = true;
    else done += n;
  }
  buffer_.clear();
}

int PdfObjectWriter::newObject() {
  offsets.push_back(0);
  return int(offsets.size()) - 1;
}

void PdfObjectWriter::beginObject(int object) {
  offsets[size_t(object)] = written;
  std::string head;
  AppendInt(head, object);
  head += " 0 obj\n";
  put(head);
}

void PdfObjectWriter::putObject(int object, std::string_view body) {
  beginObject(object);
  put(body);
  put("\nendobj\n");
}

std::string PdfObjectWriter::deflate(std::string_view data, int level) {
  if (!zReady_) {
    if (deflateInit(&z_, level) != Z_OK) return {};
    zReady_ = true;
  }
  deflateReset(&z_);
  deflateParams(&z_, level, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z_, uLong(data.size())), '\0');
  z_.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z_.avail_in = uInt(data.size());
  z_.next_out = reinterpret_cast<Bytef *>(out.data());
  z_.avail_out = uInt(out.size());
  ::deflate(&z_, Z_FINISH);
  out.resize(out.size() - z_.avail_out);
  return out;
}

void PdfObjectWriter::putStream(int object, std::string_view data, int level, std::string_view extra) {
  const std::string packed = deflate(data, level);
  std::string head = "<< /Length ";
  AppendInt(head, qint64(packed.size()));
  head += " /Filter /FlateDecode";
  head += extra;
  head += " >>\nstream\n";
  beginObject(object);
  put(head);
  put(packed);
  put("\nendstream\nendobj\n");
}

}  // namespace scrivane
