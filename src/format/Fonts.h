#pragma once
// A font as a plain value: what the settings describe and the page canvas
// draws with. Sizes are in points; the canvas turns them into device pixels.
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>

namespace scrivane {

// Style bits as stored in the settings (bit 0 bold, bit 1 italic); underline
// is never stored but the section font of the unit listing needs it.
enum FontStyleBits : int { StyleBold = 1, StyleItalic = 2, StyleUnderline = 4 };

// A Windows colour reference: 0x00BBGGRR (red in the low byte).
using ColorRef = std::uint32_t;

struct FontSpec {
  QString face = QStringLiteral("Arial");
  int pointSize = 10;
  int style = 0;       // FontStyleBits
  ColorRef color = 0;  // 0x00BBGGRR

  bool bold() const { return style & StyleBold; }
  bool italic() const { return style & StyleItalic; }
  bool underline() const { return style & StyleUnderline; }
  // The numbers first, and a face shared with the other's is not compared
  // letter by letter: fonts are compared on every word drawn or measured.
  friend bool operator==(const FontSpec &a, const FontSpec &b) {
    return a.color == b.color && SameGlyphs(a, b);
  }
  // Face, size and style: the same glyphs and widths, whatever the colour.
  friend bool SameGlyphs(const FontSpec &a, const FontSpec &b) {
    return a.pointSize == b.pointSize && a.style == b.style &&
           (a.face.constData() == b.face.constData() ? a.face.size() == b.face.size()
                                                     : a.face == b.face);
  }
};

// Colour, size, face (exact) and style: the attributes the printer font is
// compared by before it is replaced.
inline bool FontsEqual(const FontSpec &a, const FontSpec &b) { return a == b; }

// SameGlyphs, true only when the faces are the same string.
inline bool SameGlyphsSharingFace(const FontSpec &a, const FontSpec &b) {
  return a.pointSize == b.pointSize && a.style == b.style &&
         a.face.constData() == b.face.constData() && a.face.size() == b.face.size();
}

// to = from, without touching the face when it is already from's own text:
// assigning shared text counts its references up and down, atomically, and
// the canvas changes font on almost every word.
inline void AssignFont(FontSpec &to, const FontSpec &from) {
  if (to.face.constData() != from.face.constData() || to.face.size() != from.face.size())
    to.face = from.face;
  to.pointSize = from.pointSize;
  to.style = from.style;
  to.color = from.color;
}

// What was found for the fonts asked for lately, whatever their colour: a
// listing switches between a few fonts word by word, and finding a font's
// tables afresh each time cost more than measuring the word.
template <class T, std::size_t N = 8>
class RecentFonts {
 public:
  const T *find(const FontSpec &font) {
    for (const Slot &slot : slots_)
      if (slot.value && SameGlyphsSharingFace(slot.font, font)) return slot.value;
    // The same face in a string of its own (the header's and the body's
    // names are read apart) is compared letter by letter once, then found
    // by its own slot.
    for (const Slot &slot : slots_)
      if (slot.value && SameGlyphs(slot.font, font)) {
        const T *value = slot.value;
        add(font, value);
        return value;
      }
    return nullptr;
  }
  void add(const FontSpec &font, const T *value) {
    slots_[next_] = {font, value};
    next_ = (next_ + 1) % N;
  }
  void clear() { slots_ = {}; }

 private:
  struct Slot {
    FontSpec font;
    const T *value = nullptr;
  };
  std::array<Slot, N> slots_{};
  std::size_t next_ = 0;
};

}  // namespace scrivane
