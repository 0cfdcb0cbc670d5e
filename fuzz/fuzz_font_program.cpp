// Any bytes, read as a font file's tables, give no font program or one
// whose advances, box and subset come out without a fault the sanitizers
// see. Seed with real fonts, e.g.
//   fuzz_font_program /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
#include <hb.h>

#include "print/FontProgram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  using namespace scrivane;
  hb_blob_t *blob = hb_blob_create(reinterpret_cast<const char *>(data), unsigned(size),
                                   HB_MEMORY_MODE_READONLY, nullptr, nullptr);
  hb_face_t *face = hb_face_create(blob, 0);
  const auto font = FontProgram::Read([face](const char *tag) {
    unsigned length = 0;
    hb_blob_t *table = hb_face_reference_table(face, HB_TAG(tag[0], tag[1], tag[2], tag[3]));
    const char *bytes = hb_blob_get_data(table, &length);
    QByteArray copy(bytes, qsizetype(length));
    hb_blob_destroy(table);
    return copy;
  });
  if (font) {
    const std::vector<unsigned> glyphs{
        0, 1, 3, 36, 68, font->glyphCount() - 1, font->glyphCount(), 70000};
    for (unsigned g : glyphs) font->advance(g);
    font->box(glyphs);
    font->Subset(glyphs);
  }
  hb_face_destroy(face);
  hb_blob_destroy(blob);
  return 0;
}
