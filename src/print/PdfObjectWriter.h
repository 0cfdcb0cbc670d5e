#pragma once
// The object layer of the PDF files we write: numbered objects and
// compressed streams appended to the output as they are made, with the
// offset of each kept for the cross-reference table, and the number
// formatting every object uses.
#include <zlib.h>

#include <QIODevice>
#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane {

// On a long listing level 3 takes about the time of the fastest level and
// gives a file a tenth smaller; the default level (6) is another eighth
// smaller but makes the whole print about half as slow again.
constexpr int kPageCompression = 3;
constexpr int kFontCompression = 6;

// A number as PDF wants it: no exponent, at most three decimals, trailing
// zeros dropped. Formatting through printf was a large part of the time a
// long listing took, so integers are written by hand.
void AppendNumber(std::string &out, double value);
void AppendInt(std::string &out, long long value);
void AppendHex4(std::string &out, unsigned value);
void AppendHex2(std::string &out, unsigned value);
// UTF-16BE hex of a text, as ToUnicode maps and text strings want it.
void AppendUtf16Hex(std::string &out, const QString &text);

class PdfObjectWriter {
 public:
  PdfObjectWriter() = default;
  ~PdfObjectWriter();
  PdfObjectWriter(const PdfObjectWriter &) = delete;
  PdfObjectWriter &operator=(const PdfObjectWriter &) = delete;

  // Appends to the file; written to the output in large pieces.
  void put(std::string_view text);
  // Hands everything put so far to the output.
  void drain();
  // A new object number; its object may be written later.
  int newObject();
  void beginObject(int object);
  void putObject(int object, std::string_view body);
  // A stream object, compressed; extra goes into its dictionary.
  void putStream(int object, std::string_view data, int level, std::string_view extra = {});
  std::string deflate(std::string_view data, int level);

  QIODevice *output = nullptr;  // not owned
  bool writeFailed = false;
  quint64 written = 0;  // bytes put so far
  // Objects 1-4 are fixed: the catalog, the page tree, the resources every
  // page shares and the document information.
  static constexpr int kCatalog = 1, kPages = 2, kResources = 3, kInfo = 4;
  std::vector<quint64> offsets{0, 0, 0, 0, 0};  // by object number

 private:
  std::string buffer_;
  z_stream z_{};
  bool zReady_ = false;
};

}  // namespace scrivane
