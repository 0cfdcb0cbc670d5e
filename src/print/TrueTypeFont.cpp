#include "print/TrueTypeFont.h"

#include <algorithm>
#include <array>

namespace scrivane {

namespace {

// Big-endian reads that give 0 past the end: a short table is caught by the
// explicit size checks, and a damaged offset must not read out of bounds.
quint32 U16(const QByteArray &b, qsizetype at) {
  if (at < 0 || at + 2 > b.size()) return 0;
  return (quint32(quint8(b[at])) << 8) | quint8(b[at + 1]);
}
qint32 S16(const QByteArray &b, qsizetype at) { return qint16(quint16(U16(b, at))); }
quint32 U32(const QByteArray &b, qsizetype at) { return (U16(b, at) << 16) | U16(b, at + 2); }

void Put16(QByteArray &b, quint32 v) {
  b.append(char((v >> 8) & 0xFF));
  b.append(char(v & 0xFF));
}
void Put32(QByteArray &b, quint32 v) {
  Put16(b, v >> 16);
  Put16(b, v & 0xFFFF);
}
void Set32(QByteArray &b, qsizetype at, quint32 v) {
  b[at] = char(v >> 24);
  b[at + 1] = char((v >> 16) & 0xFF);
  b[at + 2] = char((v >> 8) & 0xFF);
  b[at + 3] = char(v & 0xFF);
}

quint32 Checksum(const QByteArray &b, qsizetype from, qsizetype length) {
  quint32 sum = 0;
  for (qsizetype i = 0; i < length; i += 4) {
    quint32 word = 0;
    for (int k = 0; k < 4; ++k) word = (word << 8) | (i + k < length ? quint8(b[from + i + k]) : 0);
    sum += word;
  }
  return sum;
}

QByteArray PostScriptNameOf(const QByteArray &name) {
  const quint32 count = U16(name, 2);
  const quint32 strings = U16(name, 4);
  QByteArray mac;
  for (quint32 i = 0; i < count; ++i) {
    const qsizetype r = 6 + qsizetype(i) * 12;
    const quint32 platform = U16(name, r), nameId = U16(name, r + 6);
    const quint32 length = U16(name, r + 8), offset = U16(name, r + 10);
    if (nameId != 6 || qsizetype(strings + offset + length) > name.size()) continue;
    const QByteArray raw = name.mid(strings + offset, length);
    QByteArray text;
    if (platform == 3 || platform == 0) {
      for (qsizetype k = 1; k < raw.size(); k += 2)
        if (raw[k - 1] == 0) text.append(raw[k]);
    } else {
      text = raw;
    }
    QByteArray clean;
    for (char c : text)
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-') clean.append(c);
    if (clean.isEmpty()) continue;
    if (platform == 3) return clean;
    if (mac.isEmpty()) mac = clean;
  }
  return mac;
}

}  // namespace

std::optional<TrueTypeFont> TrueTypeFont::read(const TableReader &table) {
  TrueTypeFont f;
  f.head_ = table("head");
  f.hhea_ = table("hhea");
  f.hmtx_ = table("hmtx");
  f.maxp_ = table("maxp");
  f.loca_ = table("loca");
  f.glyf_ = table("glyf");
  if (f.head_.size() < 54 || f.hhea_.size() < 36 || f.maxp_.size() < 6 || f.loca_.isEmpty() || f.glyf_.isEmpty())
    return std::nullopt;
  f.cvt_ = table("cvt ");
  f.fpgm_ = table("fpgm");
  f.prep_ = table("prep");
  f.unitsPerEm_ = int(U16(f.head_, 18));
  if (f.unitsPerEm_ < 16) return std::nullopt;
  f.xMin_ = S16(f.head_, 36);
  f.yMin_ = S16(f.head_, 38);
  f.xMax_ = S16(f.head_, 40);
  f.yMax_ = S16(f.head_, 42);
  f.longOffsets_ = S16(f.head_, 50) == 1;
  f.glyphCount_ = int(U16(f.maxp_, 4));
  f.metricCount_ = int(U16(f.hhea_, 34));
  if (f.glyphCount_ == 0 || f.metricCount_ == 0 || f.metricCount_ > f.glyphCount_) return std::nullopt;
  if (f.hmtx_.size() < qsizetype(f.metricCount_) * 4) return std::nullopt;
  if (f.loca_.size() < qsizetype(f.glyphCount_ + 1) * (f.longOffsets_ ? 4 : 2)) return std::nullopt;
  f.ascent_ = S16(f.hhea_, 4);
  f.descent_ = S16(f.hhea_, 6);
  f.capHeight_ = f.ascent_;
  const QByteArray os2 = table("OS/2");
  if (os2.size() >= 6) f.weightClass_ = int(U16(os2, 4));
  if (os2.size() >= 90 && U16(os2, 0) >= 2) f.capHeight_ = S16(os2, 88);
  const QByteArray post = table("post");
  if (post.size() >= 16) {
    f.italicAngle_ = double(qint32(U32(post, 4))) / 65536.0;
    f.fixedPitch_ = U32(post, 12) != 0;
  }
  f.postScriptName_ = PostScriptNameOf(table("name"));
  return f;
}

int TrueTypeFont::advance(unsigned glyph) const {
  const unsigned index = std::min<unsigned>(glyph, unsigned(metricCount_ - 1));
  return int(U16(hmtx_, qsizetype(index) * 4));
}

bool TrueTypeFont::glyphRange(unsigned glyph, quint32 *start, quint32 *end) const {
  if (glyph >= unsigned(glyphCount_)) return false;
  if (longOffsets_) {
    *start = U32(loca_, qsizetype(glyph) * 4);
    *end = U32(loca_, qsizetype(glyph) * 4 + 4);
  } else {
    *start = U16(loca_, qsizetype(glyph) * 2) * 2;
    *end = U16(loca_, qsizetype(glyph) * 2 + 2) * 2;
  }
  return *start <= *end && qsizetype(*end) <= glyf_.size();
}

QByteArray TrueTypeFont::subset(const std::vector<unsigned> &glyphs) const {
  std::vector<bool> keep(size_t(glyphCount_), false);
  std::vector<unsigned> pending;
  pending.push_back(0);
  for (unsigned g : glyphs)
    if (g < unsigned(glyphCount_)) pending.push_back(g);
  // A composite glyph is drawn from other glyphs, which must come along.
  while (!pending.empty()) {
    const unsigned g = pending.back();
    pending.pop_back();
    if (keep[g]) continue;
    keep[g] = true;
    quint32 start = 0, end = 0;
    if (!glyphRange(g, &start, &end) || end - start < 10 || S16(glyf_, start) >= 0) continue;
    qsizetype at = qsizetype(start) + 10;
    for (int guard = 0; guard < 1024 && at + 4 <= qsizetype(end); ++guard) {
      const quint32 flags = U16(glyf_, at);
      const unsigned component = U16(glyf_, at + 2);
      if (component < unsigned(glyphCount_) && !keep[component]) pending.push_back(component);
      at += 4 + ((flags & 0x0001) ? 4 : 2);
      if (flags & 0x0008) at += 2;
      else if (flags & 0x0040) at += 4;
      else if (flags & 0x0080) at += 8;
      if (!(flags & 0x0020)) break;
    }
  }

  QByteArray glyf, loca;
  loca.reserve(qsizetype(glyphCount_ + 1) * 4);
  for (int g = 0; g < glyphCount_; ++g) {
    Put32(loca, quint32(glyf.size()));
    quint32 start = 0, end = 0;
    if (keep[size_t(g)] && glyphRange(unsigned(g), &start, &end) && end > start) {
      glyf.append(glyf_.constData() + start, end - start);
      while (glyf.size() % 4) glyf.append('\0');
    }
  }
  Put32(loca, quint32(glyf.size()));

  QByteArray head = head_;
  Set32(head, 8, 0);               // checkSumAdjustment, set below
  head[50] = 0, head[51] = 1;      // the new 'loca' has long offsets

  struct Table {
    const char *tag;
    const QByteArray *data;
  };
  std::array<Table, 9> all{{{"cvt ", &cvt_},
                            {"fpgm", &fpgm_},
                            {"glyf", &glyf},
                            {"head", &head},
                            {"hhea", &hhea_},
                            {"hmtx", &hmtx_},
                            {"loca", &loca},
                            {"maxp", &maxp_},
                            {"prep", &prep_}}};  // in tag order, as the directory wants
  std::vector<Table> tables;
  for (const Table &t : all)
    if (!t.data->isEmpty()) tables.push_back(t);
  const int count = int(tables.size());
  int power = 1, log2 = 0;
  while (power * 2 <= count) power *= 2, ++log2;

  QByteArray out;
  Put32(out, 0x00010000);
  Put16(out, quint32(count));
  Put16(out, quint32(power * 16));
  Put16(out, quint32(log2));
  Put16(out, quint32(count * 16 - power * 16));
  qsizetype offset = 12 + qsizetype(count) * 16;
  qsizetype headOffset = 0;
  for (const Table &t : tables) {
    out.append(t.tag, 4);
    Put32(out, Checksum(*t.data, 0, t.data->size()));
    Put32(out, quint32(offset));
    Put32(out, quint32(t.data->size()));
    if (t.data == &head) headOffset = offset;
    offset += (t.data->size() + 3) & ~qsizetype(3);
  }
  for (const Table &t : tables) {
    out.append(*t.data);
    while (out.size() % 4) out.append('\0');
  }
  Set32(out, headOffset + 8, 0xB1B0AFBAu - Checksum(out, 0, out.size()));
  return out;
}

}  // namespace scrivane
