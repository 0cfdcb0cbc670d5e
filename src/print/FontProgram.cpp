#include "print/FontProgram.h"

#include <hb-ot.h>
#include <hb-subset.h>
#include <hb.h>

#include <algorithm>

namespace scrivane {

namespace {

constexpr hb_tag_t Tag(const char *tag) { return HB_TAG(tag[0], tag[1], tag[2], tag[3]); }

// The tables a PDF's font file needs, and those the descriptor's metrics
// and name come from. Layout and colour tables are left out: the pages
// place every glyph themselves.
constexpr const char *kTables[] = {"head", "hhea", "hmtx", "maxp", "loca", "glyf", "cvt ",
                                   "fpgm", "prep", "CFF ", "OS/2", "post", "name"};
// Not needed in the embedded file: readers take glyphs by number.
constexpr const char *kDroppedFromFile[] = {"OS/2", "post", "name", "cmap"};

QByteArray Bytes(hb_blob_t *blob) {
  unsigned length = 0;
  const char *data = hb_blob_get_data(blob, &length);
  QByteArray bytes(data, qsizetype(length));
  hb_blob_destroy(blob);
  return bytes;
}

// A face made of the given tables, which HarfBuzz reads as it reads a
// font file: Qt gives the tables of a face, never its file (which may be
// one face of a collection, or a font loaded from memory).
hb_face_t *FaceOf(const std::vector<std::pair<const char *, QByteArray>> &tables) {
  hb_face_t *builder = hb_face_builder_create();
  for (const auto &[tag, data] : tables) {
    if (data.isEmpty()) continue;
    // The blob holds a share of the bytes rather than a copy of them: each
    // copy was fresh memory, a third of a megabyte for a face.
    auto *held = new QByteArray(data);
    hb_blob_t *blob =
        hb_blob_create(held->constData(), unsigned(held->size()), HB_MEMORY_MODE_READONLY, held,
                       [](void *bytes) { delete static_cast<QByteArray *>(bytes); });
    hb_face_builder_add_table(builder, Tag(tag), blob);
    hb_blob_destroy(blob);
  }
  hb_blob_t *file = hb_face_reference_blob(builder);
  hb_face_destroy(builder);
  hb_face_t *face = hb_face_create(file, 0);
  hb_blob_destroy(file);
  return face;
}

// A 'CFF ' table keyed by CID names its glyphs by CIDs its charset maps
// to glyph numbers, and a PDF reader takes a CID for a CID there; only a
// table keyed by glyph names takes glyph numbers as CIDs. HarfBuzz names
// the glyphs of the latter only.
bool KeyedByNames(const QByteArray &cff, const QByteArray &maxp) {
  hb_face_t *face = FaceOf({{"CFF ", cff}, {"maxp", maxp}});
  hb_font_t *font = hb_font_create(face);
  char name[64];
  const bool named = hb_font_get_glyph_name(font, 0, name, sizeof name);
  hb_font_destroy(font);
  hb_face_destroy(face);
  return named;
}

QByteArray PostScriptNameOf(hb_face_t *face) {
  char buffer[128];
  unsigned size = sizeof buffer;
  hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &size, buffer);
  QByteArray clean;
  for (unsigned i = 0; i < size && buffer[i]; ++i) {
    const char c = buffer[i];
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')
      clean.append(c);
  }
  return clean;
}

}  // namespace

std::optional<FontProgram> FontProgram::Read(const TableReader &table) {
  std::vector<std::pair<const char *, QByteArray>> tables;
  for (const char *tag : kTables) tables.emplace_back(tag, table(tag));
  const auto bytesOf = [&tables](const char *tag) {
    for (const auto &[t, data] : tables)
      if (qstrcmp(t, tag) == 0) return data;
    return QByteArray();
  };
  FontProgram f;
  if (!bytesOf("glyf").isEmpty() && !bytesOf("loca").isEmpty())
    f.outlines_ = Outlines::TrueType;
  else if (!bytesOf("CFF ").isEmpty() && KeyedByNames(bytesOf("CFF "), bytesOf("maxp")))
    f.outlines_ = Outlines::Cff;
  else
    return std::nullopt;
  if (bytesOf("head").isEmpty() || bytesOf("hhea").isEmpty() || bytesOf("hmtx").isEmpty())
    return std::nullopt;

  f.face_.reset(FaceOf(tables), hb_face_destroy);
  f.font_.reset(hb_font_create(f.face_.get()), hb_font_destroy);
  hb_font_t *font = f.font_.get();
  f.unitsPerEm_ = int(hb_face_get_upem(f.face_.get()));
  f.glyphCount_ = hb_face_get_glyph_count(f.face_.get());
  if (f.unitsPerEm_ < 16 || f.unitsPerEm_ > 16384 || f.glyphCount_ == 0) return std::nullopt;
  // What HarfBuzz cannot subset is refused now, while the pages can still
  // draw the face another way.
  if (f.Subset({}).isEmpty()) return std::nullopt;

  f.italicAngle_ = hb_style_get_value(font, HB_STYLE_TAG_SLANT_ANGLE);
  // An oblique face may say so by its angle alone.
  f.italic_ = hb_style_get_value(font, HB_STYLE_TAG_ITALIC) > 0.5f || f.italicAngle_ != 0;
  f.bold_ = hb_style_get_value(font, HB_STYLE_TAG_WEIGHT) >= 600;
  f.postScriptName_ = PostScriptNameOf(f.face_.get());
  return f;
}

int FontProgram::advance(unsigned glyph) const {
  return hb_font_get_glyph_h_advance(font_.get(), glyph);
}

std::array<int, 4> FontProgram::box(const std::vector<unsigned> &glyphs) const {
  std::array<int, 4> box{};
  bool any = false;
  for (unsigned glyph : glyphs) {
    hb_glyph_extents_t e;
    if (!hb_font_get_glyph_extents(font_.get(), glyph, &e) || (e.width == 0 && e.height == 0))
      continue;
    const std::array<int, 4> b{e.x_bearing, e.y_bearing + e.height, e.x_bearing + e.width,
                               e.y_bearing};
    box = any ? std::array<int, 4>{std::min(box[0], b[0]), std::min(box[1], b[1]),
                                   std::max(box[2], b[2]), std::max(box[3], b[3])}
              : b;
    any = true;
  }
  return box;
}

QByteArray FontProgram::Subset(const std::vector<unsigned> &glyphs) const {
  hb_subset_input_t *input = hb_subset_input_create_or_fail();
  if (!input) return {};
  hb_set_t *keep = hb_subset_input_glyph_set(input);
  hb_set_add(keep, 0);
  for (unsigned glyph : glyphs)
    if (glyph < glyphCount_) hb_set_add(keep, glyph);
  hb_set_t *drop = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
  for (const char *tag : kDroppedFromFile) hb_set_add(drop, Tag(tag));
  hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NOTDEF_OUTLINE);
  hb_face_t *result = hb_subset_or_fail(face_.get(), input);
  hb_subset_input_destroy(input);
  if (!result) return {};
  QByteArray file = outlines_ == Outlines::Cff ? Bytes(hb_face_reference_table(result, Tag("CFF ")))
                                               : Bytes(hb_face_reference_blob(result));
  hb_face_destroy(result);
  return file;
}

}  // namespace scrivane
