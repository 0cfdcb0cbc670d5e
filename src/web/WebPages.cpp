// The recorded book written as pages: one per document, a stylesheet made
// from the format settings, and the marker that says the folder is a book.
#include <sys/mman.h>

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "format/FormatSettings.h"
#include "platform/ReplacingFile.h"
#include "platform/TemporaryFiles.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "web/WebBook.h"

namespace scrivane {

namespace {

// The block brackets a row of a listing draws at most, outermost first.
constexpr size_t kMostBracketsDrawn = 64;
// The contents a page lists in a book of many documents (PageWriter::InContents).
constexpr size_t kWholeContents = 100;
constexpr size_t kNearContents = 20;
// A page's own entries in its contents are folded past this many.
constexpr size_t kOpenEntries = 30;

const char *const kStylesheetName = "scrivane.css";

QString CssColor(ColorRef color) {
  return QStringLiteral("#%1%2%3")
      .arg(color & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((color >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((color >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

// A face name inside a quoted CSS string: quotes, backslashes and anything
// that could end the rule are dropped.
QString CssFace(const QString &face) {
  QString kept;
  for (const QChar c : face)
    if (c.isLetterOrNumber() || c == u' ' || c == u'-' || c == u'_') kept += c;
  return kept;
}

QString CssFont(const FontSpec &font, const char *fallback) {
  QString css = QStringLiteral("font-family:\"%1\",%2;font-size:%3pt;color:%4;")
                    .arg(CssFace(font.face), QLatin1String(fallback))
                    .arg(font.pointSize)
                    .arg(CssColor(font.color));
  css += font.bold() ? QStringLiteral("font-weight:bold;") : QStringLiteral("font-weight:normal;");
  css +=
      font.italic() ? QStringLiteral("font-style:italic;") : QStringLiteral("font-style:normal;");
  if (font.underline()) css += QStringLiteral("text-decoration:underline;");
  return css;
}

// codeLinks: the listings' names link to their declarations.
QString Stylesheet(const FormatSettings &settings, bool codeLinks) {
  const FontSpec reserve = settings.ReserveFont();
  FontSpec section = reserve;
  section.style |= StyleUnderline;
  QString css;
  css += QStringLiteral(
      "html{background:#222}\n"
      "body{margin:0;padding:1em 2em;background:#fff;color:#000;");
  css += CssFont(settings.HeaderFont(), "sans-serif");
  css += QStringLiteral(
      "}\n"
      "@media (prefers-color-scheme:dark){body{filter:invert(1) hue-rotate(180deg)}}\n"
      "nav.toc{font-size:smaller;border-bottom:1px solid #888;margin-bottom:1em}\n"
      "nav.toc ol{margin:0.2em 0}\n"
      "nav.toc li.more{list-style:none}\n"
      ".listing{line-height:1.25}\n"
      ".r{display:flex;align-items:flex-start}\n"
      ".r:target{background:#ffd}\n"
      ".ln{flex:0 0 "
      "6ch;text-align:right;padding-right:1.5ch;user-select:none;text-decoration:none;");
  css += CssFont(settings.LineFont(), "monospace");
  css += QStringLiteral(
      "}\n"
      ".ln::before{content:attr(data-n)}\n"
      ".t{position:relative;flex:1;min-width:0;white-space:pre-wrap;overflow-wrap:anywhere;");
  css += CssFont(settings.BaseFont(), "monospace");
  css += QStringLiteral(
      "min-height:1.25em}\n"
      ".b{position:absolute;top:0;bottom:0;border-left:1px solid currentColor;width:0.6em}\n"
      ".b.o{top:50%;border-top:1px solid currentColor}\n"
      ".b.c{bottom:50%;border-bottom:1px solid currentColor}\n"
      ".b.o.c{top:50%;bottom:auto;height:0}\n"
      "hr.rule{border:0;border-top:1px solid currentColor;margin:0.6em 0}\n"
      "h2.part{font-size:1em;border-top:1px solid currentColor;padding-top:0.3em;margin:1em 0 "
      "0.5em}\n"
      "table.doc{border-collapse:collapse}\n"
      "table.doc td{padding:0 1.5ch 0 0;vertical-align:top;white-space:pre-wrap}\n");
  const auto rule = [&css](const char *selector, const FontSpec &font, const char *fallback) {
    css += QLatin1String(selector) + u'{' + CssFont(font, fallback) + QStringLiteral("}\n");
  };
  rule(".t .kw", reserve, "monospace");
  rule(".t .sec", section, "monospace");
  rule(".t .rn", settings.ProcFont(), "monospace");
  rule(".t .cm", settings.CommentFont(), "monospace");
  rule(".t .st", settings.MessageFont(), "monospace");
  rule("table.doc", settings.BaseFont(), "monospace");
  // A name that leads to its declaration keeps its word's colour: the code
  // reads as on paper, and the pointer and the underline on hover say
  // where one can follow it.
  if (codeLinks)
    css += QStringLiteral(
        ".t a{color:inherit;text-decoration:none}.t a:hover{text-decoration:underline}\n");
  css += QStringLiteral(
      "@media print{html{background:none}body{padding:0}nav.toc{display:none}.r{break-inside:avoid}"
      ".r:target{background:none}a{color:inherit;text-decoration:none}}\n");
  return css;
}

const char *ClassName(WordClass kind) {
  switch (kind) {
    case WordClass::Reserved:
      return "kw";
    case WordClass::Section:
      return "sec";
    case WordClass::RoutineName:
      return "rn";
    case WordClass::Comment:
      return "cm";
    case WordClass::String:
      return "st";
    case WordClass::Directive:
      return "dr";
    case WordClass::Number:
      return "nm";
    case WordClass::Symbol:
      return "sy";
    case WordClass::Identifier:
      return "id";
    default:
      return "id";
  }
}

int Blanks(int pixels, int blankWidth) {
  if (blankWidth <= 0 || pixels <= 0) return 0;
  return int(std::lround(double(pixels) / blankWidth));
}

// Where every place a link may lead to is: "page.html#id", made when a
// link first asks for it.
class Places {
 public:
  using Name = std::function<QByteArray(const WebLinkKeys::Place &)>;
  Places(const WebLinkKeys &keys, Name name)
      : keys_(keys), name_(std::move(name)), names_(keys.Size()) {}
  // Null where the key's place was not printed.
  const QByteArray *Of(std::uint32_t key) {
    if (key >= names_.size()) return nullptr;
    const WebLinkKeys::Place &place = keys_.PlaceOf(key);
    if (place.document == WebLinkKeys::kNone) return nullptr;
    if (names_[key].isNull()) names_[key] = name_(place);
    return &names_[key];
  }
  const QByteArray *Find(const QByteArray &key) { return Of(keys_.Find(key)); }

 private:
  const WebLinkKeys &keys_;
  Name name_;
  std::vector<QByteArray> names_;  // by key; null: not asked for yet
};

QByteArray RowId(const WebRow &row, int index, bool listing) {
  if (listing && row.fileLine > 0)
    return row.file == 0
               ? "L" + QByteArray::number(row.fileLine)
               : "F" + QByteArray::number(row.file) + "L" + QByteArray::number(row.fileLine);
  return "r" + QByteArray::number(index);
}

// Every row's id, unique within its page.
std::vector<QByteArray> RowIds(const WebDocument &document) {
  std::vector<QByteArray> ids;
  ids.reserve(document.rows.size());
  QSet<QByteArray> used;
  used.reserve(qsizetype(document.rows.size()));
  for (size_t r = 0; r < document.rows.size(); ++r) {
    QByteArray id = RowId(document.rows[r], int(r), document.listing);
    if (used.contains(id)) id = "r" + QByteArray::number(qsizetype(r));
    used.insert(id);
    ids.push_back(std::move(id));
  }
  return ids;
}

// Text into a page as UTF-8, escaped; ASCII without markup characters (most
// of a listing) is copied as it stands.
void PutText(QByteArray &html, const QString &text) {
  bool plain = true;
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 0x20 || u >= 0x7F || u == u'&' || u == u'<' || u == u'>' || u == u'"' || u == u'\'') {
      plain = false;
      break;
    }
  }
  if (plain) {
    const qsizetype at = html.size();
    html.resize(at + text.size());
    char *out = html.data() + at;
    for (const QChar c : text) *out++ = char(c.unicode());
    return;
  }
  html += EscapeHtml(text).toUtf8();
}

// The listing's text goes into a std::string: a page of megabytes is
// written a few bytes at a time, and QByteArray's append of a literal
// took a fifth of the whole book's instructions.
template <typename Text, size_t N>
void Put(Text &html, const char (&text)[N]) {
  html.append(text, N - 1);
}
template <typename Text>
void PutNumber(Text &html, int number) {
  char buffer[16];
  html.append(buffer, size_t(std::to_chars(buffer, buffer + sizeof buffer, number).ptr - buffer));
}
// Points with one decimal, as the style attributes have them.
std::string Points(double points) {
  char buffer[32];
  return std::string(
      buffer,
      size_t(
          std::to_chars(buffer, buffer + sizeof buffer, points, std::chars_format::fixed, 1).ptr -
          buffer));
}
template <typename Text>
void PutText(Text &html, const QString &text) {
  const qsizetype size = text.size();
  const QChar *chars = text.constData();
  for (qsizetype i = 0; i < size; ++i) {
    const char16_t u = chars[i].unicode();
    if (u < 0x20 || u >= 0x7F || u == u'&' || u == u'<' || u == u'>' || u == u'"' || u == u'\'') {
      const QByteArray escaped = EscapeHtml(text).toUtf8();
      html.append(escaped.constData(), size_t(escaped.size()));
      return;
    }
  }
  const size_t at = html.size();
  html.resize(at + size_t(size));
  char *out = html.data() + at;
  for (qsizetype i = 0; i < size; ++i) *out++ = char(chars[i].unicode());
}

// ASCII bytes into a page, markup characters escaped as EscapeHtml
// escapes them; false, with nothing written, where a byte is not printable
// ASCII (a control or a byte the text's encoding must decode). Every
// string of a listing holds quotes, and taking those through a decoded
// QString cost the writing thread a tenth of its time.
template <typename Text>
bool PutAscii(Text &html, const char *bytes, size_t size) {
  size_t escapes = 0;
  for (size_t i = 0; i < size; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x20 || c >= 0x7F) return false;
    escapes += c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
  }
  if (escapes == 0) {
    html.append(bytes, size);
    return true;
  }
  html.reserve(html.size() + size + escapes * 5);
  size_t from = 0;  // the bytes not written yet, up to the next one escaped
  for (size_t i = 0; i < size; ++i) {
    const char *escaped = nullptr;
    switch (bytes[i]) {
      case '&':
        escaped = "&amp;";
        break;
      case '<':
        escaped = "&lt;";
        break;
      case '>':
        escaped = "&gt;";
        break;
      case '"':
        escaped = "&quot;";
        break;
      case '\'':
        escaped = "&#39;";
        break;
      default:
        continue;
    }
    html.append(bytes + from, i - from);
    html.append(escaped);
    from = i + 1;
  }
  html.append(bytes + from, size - from);
  return true;
}

// What a byte of a word becomes in a page where it stands for a character
// by itself (any byte of Windows-1252, an ASCII byte of UTF-8): the
// character EscapeHtml makes of it, in UTF-8. Made from EscapeHtml itself.
struct EscapedByte {
  char text[7] = {};
  std::uint8_t size = 0;
  bool itself = false;  // the byte as it is
};
const std::array<EscapedByte, 256> &EscapedBytes() {
  static const std::array<EscapedByte, 256> table = [] {
    std::array<EscapedByte, 256> bytes;
    for (int b = 0; b < 256; ++b) {
      const QByteArray escaped =
          EscapeHtml(QString(Char1252(static_cast<unsigned char>(b)))).toUtf8();
      EscapedByte &to = bytes[size_t(b)];
      to.size = std::uint8_t(std::min<qsizetype>(escaped.size(), qsizetype(sizeof to.text)));
      std::memcpy(to.text, escaped.constData(), to.size);
      to.itself = escaped.size() == 1 && escaped[0] == char(b);
    }
    return bytes;
  }();
  return table;
}

// A word's bytes into its page as DecodeText and then EscapeHtml make them,
// without a QString between: the words of a unit commented in Russian went
// through three of them each (decoded, escaped, encoded again), a third of
// the writing thread's time.
template <typename Text>
void PutDecoded(Text &html, const char *bytes, size_t size, TextEncoding encoding) {
  const QByteArrayView view(bytes, qsizetype(size));
  const bool utf8 = encoding == TextEncoding::Utf8 && !IsAscii(view) && IsValidUtf8(view);
  // QString::fromUtf8 drops a byte order mark at the start.
  if (utf8 && HasUtf8Bom(view)) return PutText(html, DecodeText(view, encoding));
  const std::array<EscapedByte, 256> &table = EscapedBytes();
  size_t from = 0;  // the bytes not written yet, each as it is
  for (size_t i = 0; i < size;) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (utf8 && c >= 0x80) {
      // Valid UTF-8: a sequence stands as it is, but for the C1 controls
      // (U+0080 to U+009F), which EscapeHtml replaces.
      if (c == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0) {
        html.append(bytes + from, i - from);
        html.append("\xEF\xBF\xBD", 3);
        from = i += 2;
      } else {
        i += c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
      }
      continue;
    }
    const EscapedByte &escaped = table[c];
    if (escaped.itself) {
      ++i;
      continue;
    }
    html.append(bytes + from, i - from);
    html.append(escaped.text, escaped.size);
    from = ++i;
  }
  html.append(bytes + from, size - from);
}

// A listing's word into its page: its bytes as they stand where they are
// ASCII (most of a listing), else as they decode.
void PutWord(WebText &html, const WebRow &row, const WebPiece &piece) {
  if (piece.size == 0) return PutText(html, piece.text);
  const char *bytes = row.bytes.data() + piece.at;
  if (!PutAscii(html, bytes, piece.size)) PutDecoded(html, bytes, piece.size, piece.encoding);
}

// A number the paper shows beside a row, as drawn.
void PutDrawnNumber(WebText &html, const std::string &number) {
  if (!PutAscii(html, number.data(), number.size()))
    PutText(html, DecodeText(QByteArrayView(number.data(), qsizetype(number.size())),
                             TextEncoding::Windows1252));
}

// The index of routines: the one document of that title that is no listing
// (a unit's title is its file's name, with its extension).
bool IsRoutineIndex(const WebDocument &document) {
  return !document.listing && document.title == QLatin1String("Index");
}

struct PageWriter {
  const WebDocuments &documents;
  const std::vector<QString> &names;
  Places &places;
  const WebBookOptions &options;
  // A row's id: Ids(d)[r] of a table, IdOf(r) of a listing's body.
  const std::vector<std::vector<QByteArray>> &tableIds;
  const std::vector<std::shared_ptr<const ListingBody>> &bodies;
  QByteArray IdOf(size_t d, size_t r) const {
    return bodies[d] ? bodies[d]->IdOf(r) : tableIds[d][r];
  }
  const std::vector<std::vector<size_t>> &formsOf;
  QByteArray html;

  // The documents listed in the contents of document current's page, in
  // order: every one in a book of up to kWholeContents documents and on its
  // first page; else the book's own documents (project file, lists, index,
  // cross-reference) and the listings within kNearContents of the current
  // one, so that the pages do not grow with the square of the units (a
  // book of 2,000 units wrote 181 MB, nearly all of it their contents).
  std::vector<size_t> ownDocuments;  // made at the first page that needs it
  bool ownDocumentsKnown = false;
  std::vector<size_t> InContents(size_t current) {
    std::vector<size_t> listed;
    if (documents.size() <= kWholeContents || current == 0) {
      for (size_t d = 0; d < documents.size(); ++d) listed.push_back(d);
      return listed;
    }
    if (!ownDocumentsKnown) {
      for (size_t d = 0; d < documents.size(); ++d)
        if (!documents[d].listing && documents[d].formOf < 0) ownDocuments.push_back(d);
      ownDocumentsKnown = true;
    }
    const size_t from = current > kNearContents ? current - kNearContents : 0;
    const size_t to = std::min(documents.size(), current + kNearContents + 1);
    listed = ownDocuments;
    for (size_t d = from; d < to; ++d) listed.push_back(d);
    std::sort(listed.begin(), listed.end());
    listed.erase(std::unique(listed.begin(), listed.end()), listed.end());
    return listed;
  }
  void Contents(size_t current) {
    html += "<nav class=\"toc\"><ol>";
    size_t last = SIZE_MAX;  // the document listed before; none yet
    const auto more = [&] {
      html +=
          "<li class=\"more\"><a href=\"index.html\" title=\"Every page of the "
          "book\">&hellip;</a></li>";
    };
    for (const size_t d : InContents(current)) {
      const bool skipped = d != (last == SIZE_MAX ? 0 : last + 1);
      if (skipped) more();
      last = d;
      html += "<li";
      // The number the list gives it, as on the first page's.
      if (skipped) html += " value=\"" + QByteArray::number(qsizetype(d + 1)) + "\"";
      html += "><a href=\"";
      PutText(html, names[d]);
      html += "\">";
      PutText(html, documents[d].title.isEmpty() ? names[d] : documents[d].title);
      html += "</a>";
      if (d == current) {
        size_t count = 0;
        const size_t start = size_t(html.size());
        const WebDocument &document = documents[d];
        const auto entry = [&](size_t r, const QString &title) {
          html += count++ ? "" : "<ol>";
          html += "<li><a href=\"#" + IdOf(d, r) + "\">";
          PutText(html, title);
          html += "</a></li>";
        };
        // A listing's body keeps its entries: a large unit's tens of
        // thousands of rows are not looked through again (nor kept).
        if (bodies[d])
          for (const ListingBody::Entry &e : bodies[d]->Entries()) entry(e.row, e.title);
        else
          for (size_t r = 0; r < document.rows.size(); ++r)
            for (const QString &title : document.rows[r].outline) entry(r, title);
        if (count) html += "</ol>";
        // A long list of the page's own entries is folded, so that the page
        // opens on its code rather than on hundreds of routines' names.
        if (count > kOpenEntries)
          html.insert(
              qsizetype(start),
              "<details><summary>" + QByteArray::number(qsizetype(count)) + " entries</summary>");
        if (count > kOpenEntries) html += "</details>";
      }
      html += "</li>";
    }
    if (last != SIZE_MAX && last + 1 < documents.size()) more();
    html += "</ol></nav>\n";
  }

  // A document drawn as text at places: its rows a table, a cell for each
  // text set apart from the one before by more than a blank or two. A
  // document that told its columns (index, cross-reference) puts each text
  // in its column's cell instead, empty cells before it: a unit's name
  // wrapped onto a row of its own stands under the units, not under the
  // names; a cell that starts right of its column's leftmost text keeps
  // that room (places under their name), a class for each room in the
  // page's style, and numbers are set right, as on paper. Without them, in the cross-reference,
  // whose rows of places and continued names start under the names, a row
  // that starts that far from the left margin starts with an empty cell.
  std::vector<double> cellRooms;  // the rooms the table's cells keep, in points
  void TableRows(const WebDocument &document, const std::vector<QByteArray> &ids) {
    html += "<table class=\"doc\">\n";
    const std::vector<int> &columns = document.columns;
    const auto columnOf = [&columns](const WebPiece &piece) {
      const int middle = piece.x + std::max(piece.width, 0) / 2;
      const auto after = std::upper_bound(columns.begin(), columns.end(), middle);
      return std::max(0, int(after - columns.begin()) - 1);
    };
    const auto sorted = [](const WebRow &row) {
      std::vector<const WebPiece *> pieces;
      for (const WebPiece &piece : row.pieces) pieces.push_back(&piece);
      std::stable_sort(pieces.begin(), pieces.end(),
                       [](const WebPiece *a, const WebPiece *b) { return a->x < b->x; });
      return pieces;
    };
    // A text that goes on with the text above it in its column (a name too
    // wide for the column, wrapped on paper) joins it in its cell: the
    // browser wraps the cell, and a reader's search finds the name whole.
    std::unordered_map<size_t, WebRow> joinedRows;  // the rows the joining changed
    const auto rowOf = [&](size_t r) -> const WebRow & {
      const auto it = joinedRows.find(r);
      return it == joinedRows.end() ? document.rows[r] : it->second;
    };
    const auto own = [&](size_t r) -> WebRow & {
      auto it = joinedRows.find(r);
      if (it == joinedRows.end()) it = joinedRows.emplace(r, document.rows[r]).first;
      return it->second;
    };
    if (!columns.empty())
      for (size_t r = 1; r < document.rows.size(); ++r) {
        for (size_t i = 0; i < rowOf(r).pieces.size();) {
          const WebPiece &piece = rowOf(r).pieces[i];
          const int at = columnOf(piece);
          size_t from = r;  // the nearest row above with a text in that column
          if (piece.joinsAbove)
            while (from-- > 0 && std::none_of(rowOf(from).pieces.begin(), rowOf(from).pieces.end(),
                                              [&](const WebPiece &p) { return columnOf(p) == at; }))
              ;
          if (!piece.joinsAbove || from >= r) {
            ++i;
            continue;
          }
          WebPiece *above = nullptr;  // its last text there
          for (WebPiece &p : own(from).pieces)
            if (columnOf(p) == at && (!above || p.x > above->x)) above = &p;
          std::vector<WebPiece> &pieces = own(r).pieces;
          if (pieces[i].joinsAbove == 2) above->text += u' ';
          above->text += pieces[i].text;
          pieces.erase(pieces.begin() + std::ptrdiff_t(i));
        }
      }
    // Where each column's leftmost cell starts.
    std::vector<int> leftmost(columns.size(), INT_MAX);
    if (!columns.empty())
      for (size_t r = 0; r < document.rows.size(); ++r) {
        const WebRow &row = rowOf(r);
        int column = -1;
        for (const WebPiece *piece : sorted(row))
          if (const int at = columnOf(*piece); at > column) {
            leftmost[size_t(at)] = std::min(leftmost[size_t(at)], piece->x);
            column = at;
          }
      }
    const auto openCell = [&](int at, const WebPiece &first) {
      const double room = (first.x - leftmost[size_t(at)]) * document.pointsPerPixel;
      if (room < 0.5 || at >= document.setRightFrom) {
        html += "<td>";
        return;
      }
      const std::string points = Points(room);
      size_t k = 0;
      while (k < cellRooms.size() && Points(cellRooms[k]) != points) ++k;
      if (k == cellRooms.size()) cellRooms.push_back(room);
      html += "<td class=\"c";
      PutNumber(html, int(k));
      html += "\">";
    };
    int leftX = INT_MAX;
    if (columns.empty() && document.title == QLatin1String("Cross-reference"))
      for (const WebRow &row : document.rows)
        for (const WebPiece &piece : row.pieces) leftX = std::min(leftX, piece.x);
    for (size_t r = 0; r < document.rows.size(); ++r) {
      const WebRow &row = rowOf(r);
      // A row whose texts all went on with those above it is no row.
      if (row.pieces.empty() && row.anchors.empty() && row.outline.empty()) continue;
      const std::vector<const WebPiece *> pieces = sorted(row);
      // An id only where a link or the contents lead: most rows of a
      // cross-reference are places, and their ids were a fifth of its page.
      if (row.anchors.empty() && row.outline.empty())
        html += "<tr>";
      else
        html += "<tr id=\"" + ids[r] + "\">";
      // The cell open: with columns, none until a text comes.
      int column = -1;
      if (columns.empty()) {
        html += "<td>";
        column = 0;
        if (!pieces.empty() &&
            pieces.front()->x - leftX > 2 * std::max(pieces.front()->blankWidth, 1))
          html += "</td><td>";
      }
      // The paper links a row's area once: so does the page, from the run
      // of texts that first leads there, not from each word, and in a
      // table that told it, from its linked column's texts alone.
      QSet<QByteArray> linked;
      const QByteArray *open = nullptr;
      const auto closeLink = [&] {
        if (open) html += "</a>";
        open = nullptr;
      };
      const WebPiece *before = nullptr;
      for (const WebPiece *piece : pieces) {
        const int at = columns.empty() ? 0 : columnOf(*piece);
        const bool mayLink =
            columns.empty() || document.linkedColumn < 0 || at == document.linkedColumn;
        const QByteArray *target =
            piece->link.isEmpty() || !mayLink ? nullptr : places.Find(piece->link);
        if (target && open != target && linked.contains(*target)) target = nullptr;
        if (open && target != open) closeLink();
        if (!columns.empty() && at > column) {
          closeLink();
          if (column >= 0) html += "</td>";
          for (++column; column < at; ++column) html += "<td></td>";
          openCell(at, *piece);
          if (target && linked.contains(*target)) target = nullptr;
        } else if (before) {
          const int gap = piece->x - (before->x + before->width);
          if (columns.empty() && gap > 2 * std::max(piece->blankWidth, 1)) {
            closeLink();
            html += "</td><td>";
            if (target && linked.contains(*target)) target = nullptr;
          } else if (Blanks(gap, piece->blankWidth) > 0) {
            html += ' ';
          }
        }
        if (target && !open) {
          html += "<a href=\"" + *target + "\">";
          open = target;
          linked.insert(*target);
        }
        PutText(html, piece->text);
        before = piece;
      }
      closeLink();
      html += column >= 0 ? "</td></tr>\n" : "<td></td></tr>\n";
    }
    html += "</table>\n";
  }

  // A page in three parts: what comes before a listing's rows, the rows
  // (written aside, and not copied again), and the rest.
  struct PageParts {
    QByteArray head;
    const std::vector<WebText> *rows = nullptr;
    QByteArray tail;
  };

  PageParts Page(size_t d, const ListingBody *body) {
    const WebDocument &document = documents[d];
    html.clear();
    html.reserve(4096);
    const QString title = document.title.isEmpty() ? options.bookTitle : document.title;
    html += "<!DOCTYPE html>\n<html lang=\"";
    PutText(html, options.language);
    html +=
        "\">\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"viewport\" "
        "content=\"width=device-width\">\n"
        "<meta name=\"generator\" content=\"scrivane\">\n<title>";
    PutText(html, title);
    html += " - ";
    PutText(html, options.bookTitle);
    html += "</title>\n<link rel=\"stylesheet\" href=\"";
    html += kStylesheetName;
    html += "\">\n";
    if (body) {
      const std::string style = body->Style();
      if (!style.empty()) {
        html += "<style>\n";
        html += QByteArrayView(style.data(), qsizetype(style.size()));
        html += "</style>\n";
      }
    }
    // A table's rooms are known once it is written: it is written first.
    QByteArray table;
    if (!body) {
      QByteArray head = std::exchange(html, QByteArray());
      cellRooms.clear();
      TableRows(document, tableIds[d]);
      table = std::exchange(html, std::move(head));
      const bool setRight =
          !document.columns.empty() && document.setRightFrom < int(document.columns.size());
      if (!cellRooms.empty() || setRight) {
        html += "<style>\n";
        if (setRight) {
          html += "table.doc td:nth-child(n+";
          PutNumber(html, document.setRightFrom + 1);
          html += "){text-align:right}\n";
        }
        for (size_t k = 0; k < cellRooms.size(); ++k) {
          html += "table.doc td.c";
          PutNumber(html, int(k));
          html += "{padding-left:";
          const std::string points = Points(cellRooms[k]);
          html += QByteArrayView(points.data(), qsizetype(points.size()));
          html += "pt}\n";
        }
        html += "</style>\n";
      }
    }
    html += "</head>\n<body>\n";
    Contents(d);
    html += "<main>\n<h1>";
    PutText(html, title);
    html += "</h1>\n";
    PageParts parts;
    if (body) {
      html += "<div class=\"listing\">\n";
      parts.head = std::exchange(html, QByteArray());
      parts.rows = &body->Html();
      html += "</div>\n";
    } else {
      html += table;
    }
    for (const size_t form : formsOf[d]) {
      html += "<p class=\"form\">Form: <a href=\"";
      PutText(html, names[form]);
      html += "\">";
      PutText(html, documents[form].title);
      html += "</a></p>\n";
    }
    html += "</main>\n</body>\n</html>\n";
    if (body)
      parts.tail = std::exchange(html, QByteArray());
    else
      parts.head = std::exchange(html, QByteArray());
    return parts;
  }
};

// Writes a page's parts through a buffer: a listing with links comes in
// thousands of pieces, and the file takes each write as a call of its own.
// The book's files are put in place together once all are written and
// safe on disk (WebBookFiles).
class PageFile {
 public:
  explicit PageFile(const QString &path) : path_(path), file_(path, LinkPolicy::Refuse) {
    file_.leaveLeftoversAlone();  // WebBookFiles has
    written_ = file_.open();
  }
  void Put(QByteArrayView part) {
    if (part.size() >= kBuffer) {
      Flush();
      Write(part);
    } else {
      buffer_.append(part.data(), size_t(part.size()));
      if (buffer_.size() >= size_t(kBuffer)) Flush();
    }
  }
  // All is written: the disk may start on it while the next file is made.
  void Finish() {
    Flush();
    std::string().swap(buffer_);
    file_.startSync();
  }
  bool Sync(QString *error) {
    Finish();
    return (written_ && file_.sync()) || Failed(error);
  }
  bool Commit(QString *error) {
    return file_.commit(ReplacingFile::FolderSync::Later) || Failed(error);
  }

 private:
  static constexpr qsizetype kBuffer = 256 * 1024;
  bool Failed(QString *error) {
    *error = QStringLiteral("Cannot write ") + path_ + QStringLiteral(": ") + file_.failureReason();
    return false;
  }
  void Write(QByteArrayView part) {
    if (!part.isEmpty())
      written_ = written_ && file_.write(part.data(), part.size()) == part.size();
  }
  void Flush() {
    Write(QByteArrayView(buffer_.data(), qsizetype(buffer_.size())));
    buffer_.clear();
  }
  QString path_;
  ReplacingFile file_;
  std::string buffer_;
  bool written_ = false;
};

// The book's files: each one synced to disk before any replaces what its
// name held, so that a failure leaves the book as it was and the disk is
// asked to make them safe once for all, not twice a file.
// A book of some hundred pages and more is put in place in parts, each
// file holding a descriptor until then.
class WebBookFiles {
 public:
  // Removes what an earlier book left half written in the folder, once.
  explicit WebBookFiles(const QString &anyPath) : path_(anyPath) {
    RemoveStaleTemporaryFiles(anyPath);
  }
  // Null when the files before could not be put in place (*error says why).
  PageFile *Add(const QString &path, QString *error) {
    if (files_.size() >= kMostOpen && !PutInPlace(error)) return nullptr;
    return files_.emplace_back(std::make_unique<PageFile>(path)).get();
  }
  bool Commit(QString *error) {
    if (!PutInPlace(error)) return false;
    SyncFolderOf(path_);
    return true;
  }

 private:
  static constexpr size_t kMostOpen = 200;
  bool PutInPlace(QString *error) {
    for (auto &file : files_) file->Finish();
    if (!SyncAll(error)) return false;
    for (auto &file : files_)
      if (!file->Commit(error)) return false;
    files_.clear();
    return true;
  }
  // The files synced all at once, each on a thread: the file system then
  // commits one journal transaction and flushes the disk's cache once for
  // them all, where one file after another waited for both each time
  // (3 ms apiece here, more than the stylesheet and the marker take to make).
  bool SyncAll(QString *error) {
    const size_t count = files_.size();
    std::vector<QString> errors(count);
    std::unique_ptr<bool[]> synced(new bool[count]());
    std::atomic<size_t> next{0};
    const auto work = [&] {
      for (size_t f = next++; f < count; f = next++) synced[f] = files_[f]->Sync(&errors[f]);
    };
    std::vector<std::thread> threads;
    for (size_t t = 1; t < std::min(count, kSyncThreads); ++t) {
      try {
        threads.emplace_back(work);
      } catch (const std::system_error &) {
        break;  // no more threads: those there are (and this one) do the rest
      }
    }
    work();
    for (std::thread &thread : threads) thread.join();
    for (size_t f = 0; f < count; ++f)
      if (!synced[f]) return (*error = errors[f]), false;
    return true;
  }
  static constexpr size_t kSyncThreads = 8;
  QString path_;
  std::vector<std::unique_ptr<PageFile>> files_;
};

// A listing's rows with the links of their words put in: a link whose
// place was not printed (a declaration in a unit left out) is no link.
void PutRows(PageFile &file, const ListingBody &body, Places &places) {
  const std::vector<WebText> &parts = body.Html();
  size_t part = 0, inPart = 0;  // where the text not written yet starts
  size_t at = 0;                // the same, counted over all parts
  const auto putUpTo = [&](size_t end) {
    while (at < end && part < parts.size()) {
      const size_t take = std::min(end - at, parts[part].size() - inPart);
      file.Put(QByteArrayView(parts[part].data() + inPart, qsizetype(take)));
      at += take;
      inPart += take;
      if (inPart == parts[part].size()) {
        ++part;
        inPart = 0;
      }
    }
  };
  bool open = false;
  for (const ListingBody::LinkMark &mark : body.Links()) {
    putUpTo(mark.at);
    if (mark.key == WebLinkKeys::kNone) {
      if (open) file.Put("</a>");
      open = false;
    } else if (const QByteArray *place = places.Of(mark.key)) {
      file.Put("<a href=\"");
      file.Put(*place);
      file.Put("\">");
      open = true;
    }
  }
  putUpTo(SIZE_MAX);
}

}  // namespace

size_t ListingBody::Places::Of(double points) {
  // A row's indent is most often the one before it.
  if (last < at.size() && at[last] == points) return last;
  for (size_t p = 0; p < at.size(); ++p)
    if (at[p] == points) return last = p;
  at.push_back(points);
  return last = at.size() - 1;
}

std::string ListingBody::Style() const {
  std::string style;
  for (size_t p = 0; p < indents_.at.size(); ++p) {
    Put(style, ".t.i");
    PutNumber(style, int(p));
    Put(style, "{padding-left:");
    style += Points(indents_.at[p]);
    Put(style, "pt}\n");
  }
  for (size_t p = 0; p < brackets_.at.size(); ++p) {
    Put(style, ".b.k");
    PutNumber(style, int(p));
    Put(style, "{left:");
    style += Points(brackets_.at[p]);
    Put(style, "pt}\n");
  }
  return style;
}

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}  // namespace

void *AllocateWebText(size_t bytes) {
  if (bytes < kHugePage / 2) return ::operator new(bytes);
  // Mapped with a huge page's worth to spare, so that it can start on one.
  const size_t size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
  void *mapped =
      mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto from = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t at = (from + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
  if (at > from) munmap(mapped, at - from);
  if (const std::uintptr_t end = from + size + kHugePage; end > at + size)
    munmap(reinterpret_cast<void *>(at + size), end - (at + size));
  madvise(reinterpret_cast<void *>(at), size, MADV_HUGEPAGE);
  return reinterpret_cast<void *>(at);
}

void FreeWebText(void *at, size_t bytes) {
  if (bytes < kHugePage / 2) return ::operator delete(at);
  munmap(at, (bytes + kHugePage - 1) & ~(kHugePage - 1));
}

WebText &ListingBody::Part() {
  // A part fills a huge page: it takes rows until too few bytes are left
  // for a long one, and only a row longer than that makes it grow.
  // A listing's first part starts small and grows as a string does: most
  // units of a book are short, and a huge page each for them all (kept
  // until the pages are written) took a package of 170 units 480 MB and
  // a second of the system's time to clear them.
  constexpr size_t kRoom = kHugePage - 1;  // the string's own end takes one
  constexpr size_t kPart = kRoom - (size_t(64) << 10);
  constexpr size_t kFirstRoom = (size_t(4) << 10) - 1;
  if (html_.empty() || html_.back().size() >= kPart) {
    const bool first = html_.empty();
    if (!first) before_ += html_.back().size();
    html_.emplace_back();
    html_.back().reserve(first ? kFirstRoom : kRoom);
  }
  return html_.back();
}

void ListingBody::PutId(WebText &html, size_t row) const {
  const RowName name = names_[row];
  if (name.line == 0) {
    html += 'r';
    PutNumber(html, int(row));
    return;
  }
  if (name.file != 0) {
    html += 'F';
    PutNumber(html, name.file);
  }
  html += 'L';
  PutNumber(html, name.line);
}

QByteArray ListingBody::IdOf(size_t row) const {
  WebText id;
  PutId(id, row);
  return QByteArray(id.data(), qsizetype(id.size()));
}

void ListingBody::Add(const WebRow &row) {
  WebText &html = Part();
  const size_t index = names_.size();
  RowName name;
  if (row.fileLine > 0) {
    const quint64 line = quint64(quint32(row.file)) << 32 | quint32(row.fileLine);
    if (!used_.contains(line)) {
      used_.insert(line);
      name = {row.file, row.fileLine};
    }
  }
  names_.push_back(name);
  for (const QByteArray &key : row.anchors) keys_->Anchor(key, document_, std::uint32_t(index));
  for (const QString &title : row.outline) entries_.push_back({std::uint32_t(index), title});
  if (!row.heading.isEmpty()) {
    Put(html, "<h2 class=\"part\" id=\"");
    PutId(html, index);
    Put(html, "\">");
    PutText(html, row.heading);
    Put(html, "</h2>\n");
    return;
  }
  for (int k = 0; k < row.opens; ++k) open_.push_back({brackets_.Of(row.bracket)});
  // A row of the page for each row of the paper that has a number: the
  // line's first one, then each one it wraps onto where the paper counts
  // printed rows.
  const auto startRow = [&](bool first, bool last, double indent) {
    Put(html, "<span class=\"t i");
    PutNumber(html, int(indents_.Of(indent)));
    Put(html, "\">");
    // The outermost brackets only: deeper ones would stand past the
    // paper's edge, where the PDF's are not seen either, and a unit nested
    // 50,000 deep made every row carry them all, a page of gigabytes.
    const size_t drawn = std::min(open_.size(), kMostBracketsDrawn);
    for (size_t b = 0; b < drawn; ++b) {
      const bool opening = first && b + size_t(row.opens) >= open_.size();
      const bool closing = last && b + size_t(row.closes) >= open_.size();
      // An <i>, not a <span>: the brackets are the tags most written on
      // a page with the block diagram, and nothing tells them apart.
      Put(html, "<i class=\"b k");
      PutNumber(html, int(open_[b].place));
      if (opening) Put(html, " o");
      if (closing) Put(html, " c");
      Put(html, "\"></i>");
    }
  };
  Put(html, "<div class=\"r\" id=\"");
  PutId(html, index);
  Put(html, "\">");
  // The number the paper shows (a printed row's count, or the file's
  // line); the anchor is the file's line whichever it is.
  if (row.fileLine > 0) {
    Put(html, "<a class=\"ln\" href=\"#");
    PutId(html, index);
    Put(html, "\"");
  } else {
    Put(html, "<span class=\"ln\"");
  }
  if (!row.number.empty() || row.fileLine > 0) {
    Put(html, " data-n=\"");
    if (row.number.empty())
      PutNumber(html, row.fileLine);
    else
      PutDrawnNumber(html, row.number);
    Put(html, "\"");
  }
  if (row.fileLine > 0)
    Put(html, "></a>");
  else
    Put(html, "></span>");
  startRow(true, row.continued.empty(), row.indent);
  const WebPiece *before = nullptr;
  WordClass spanKind = WordClass::None;
  // Symbols (":=", "+", "(") are the code's own text, in no element: no
  // style sets them apart, and their tags were a tenth of a page.
  auto closeSpan = [&] {
    if (spanKind != WordClass::None && spanKind != WordClass::Symbol) Put(html, "</span>");
    spanKind = WordClass::None;
  };
  size_t next = 0;  // the next row the line wraps onto
  for (size_t p = 0; p < row.pieces.size(); ++p) {
    const WebPiece &piece = row.pieces[p];
    if (next < row.continued.size() && row.continued[next].piece == p) {
      const WebRow::Continued &more = row.continued[next++];
      closeSpan();
      Put(html, "</span></div>\n<div class=\"r\"><span class=\"ln\" data-n=\"");
      PutDrawnNumber(html, more.number);
      Put(html, "\"></span>");
      startRow(false, next == row.continued.size(), more.indent);
      before = nullptr;
    }
    int spaces = 0;
    if (before) {
      if (piece.y == before->y)
        spaces = Blanks(piece.x - (before->x + before->width),
                        row.blankWidth > 0 ? row.blankWidth : piece.blankWidth);
      else
        spaces = piece.newWord ? 1 : 0;  // a wrapped row: the page wraps its own
    }
    // Words of one kind share their element, blanks and all: a comment
    // of six words was six elements (a unit commented in Russian wrote a
    // fifth of its page as their tags).
    if (before && piece.y == before->y && !piece.blanks.isEmpty()) {
      // The file's blanks (a tab in a string or a comment) as it has them.
      if (piece.newWord && spanKind != piece.kind) closeSpan();
      for (const QChar c : piece.blanks) html += c == u'\t' ? '\t' : ' ';
    } else if (spaces > 0) {
      if (spanKind != piece.kind) closeSpan();
      html.append(size_t(spaces), ' ');
    }
    if (spanKind != piece.kind) {
      closeSpan();
      spanKind = piece.kind;
      if (piece.kind != WordClass::Symbol) {
        Put(html, "<span class=\"");
        html += ClassName(piece.kind);
        Put(html, "\">");
      }
    }
    if (!piece.link.isEmpty()) links_.push_back({before_ + html.size(), keys_->Intern(piece.link)});
    PutWord(html, row, piece);
    if (!piece.link.isEmpty()) links_.push_back({before_ + html.size(), WebLinkKeys::kNone});
    before = &piece;
  }
  closeSpan();
  Put(html, "</span></div>\n");
  for (int k = 0; k < row.closes && !open_.empty(); ++k) open_.pop_back();
  if (row.ruleAfter) Put(html, "<hr class=\"rule\">\n");
}

std::uint32_t WebLinkKeys::Intern(const QByteArray &key) {
  const qsizetype before = ids_.size();
  std::uint32_t &id = ids_[key];  // one hash, where a find and an insert took two
  if (ids_.size() != before) {
    id = std::uint32_t(places_.size());
    places_.emplace_back();
  }
  return id;
}

void WebLinkKeys::Anchor(const QByteArray &key, std::uint32_t document, std::uint32_t row) {
  Place &place = places_[Intern(key)];
  // The page itself comes before its rows.
  const auto order = [](std::uint32_t r) { return r == kBeforeRows ? 0 : std::uint64_t(r) + 1; };
  if (place.document == kNone || document < place.document ||
      (document == place.document && order(row) < order(place.row)))
    place = {document, row};
}

QString EscapeHtml(const QString &text) {
  QString out;
  out.reserve(text.size() + text.size() / 8);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    switch (c.unicode()) {
      case u'&':
        out += QStringLiteral("&amp;");
        break;
      case u'<':
        out += QStringLiteral("&lt;");
        break;
      case u'>':
        out += QStringLiteral("&gt;");
        break;
      case u'"':
        out += QStringLiteral("&quot;");
        break;
      case u'\'':
        out += QStringLiteral("&#39;");
        break;
      case u'\t':
        out += c;
        break;
      default:
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
          out += c;
          out += text[++i];
        } else if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0) ||
                   c.isSurrogate()) {
          // Controls are not allowed in a page's text, and a lone
          // surrogate is no character at all.
          out += QChar(0xFFFD);
        } else {
          out += c;
        }
    }
  }
  return out;
}

QString WebPageName(const QString &title) {
  QString name;
  for (const QChar c : title) {
    const char16_t u = c.unicode();
    const bool kept = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                      (u >= u'0' && u <= u'9') || u == u'.' || u == u'-' || u == u'_';
    name += kept ? c : QChar(u'_');
  }
  while (name.startsWith(u'.')) name.remove(0, 1);
  if (name.size() > 80) name.truncate(80);
  if (name.isEmpty()) name = QStringLiteral("page");
  return name + QStringLiteral(".html");
}

WebFolderCheck CheckWebFolder(const QString &folder) {
  const QFileInfo info(folder);
  const QString cannot = QStringLiteral("Cannot write the web book to ") + folder;
  if (info.isSymLink())
    return {WebFolderVerdict::Refused, cannot + QStringLiteral(": it is a symbolic link.")};
  if (info.exists() && !info.isDir())
    return {WebFolderVerdict::Refused, cannot + QStringLiteral(": it is not a folder.")};
  if (!info.exists()) return {};
  const QDir dir(folder);
  const bool empty =
      dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
          .isEmpty();
  if (!empty && !QFileInfo(dir.filePath(QLatin1String(kWebBookMarker))).isFile())
    return {WebFolderVerdict::HoldsOtherFiles,
            cannot + QStringLiteral(": the folder holds other files and no earlier web book.")};
  return {};
}

QString WebFolderRefusal(const QString &folder, bool force) {
  const WebFolderCheck check = CheckWebFolder(folder);
  if (check.verdict == WebFolderVerdict::Refused) return check.reason;
  if (check.verdict == WebFolderVerdict::HoldsOtherFiles && !force) {
    QString reason = check.reason;
    reason.chop(1);
    return reason + QStringLiteral("; --force writes into it all the same.");
  }
  return {};
}

QString PrepareWebFolder(const QString &folder, bool force) {
  if (QString refusal = WebFolderRefusal(folder, force); !refusal.isEmpty()) return refusal;
  if (!QFileInfo::exists(folder) && !QDir().mkpath(folder))
    return QStringLiteral("Cannot write the web book to ") + folder +
           QStringLiteral(": the folder cannot be made.");
  return {};
}

bool WriteWebBook(const WebDocuments &documents, const FormatSettings &settings,
                  const WebBookOptions &options, QString *error) {
  if (const QString refusal = PrepareWebFolder(options.folder, options.force); !refusal.isEmpty()) {
    *error = refusal;
    return false;
  }
  const QDir dir(options.folder);
  // The first document opens the book as index.html; the index of routines
  // has a name of its own (its title would meet index.html where case is
  // not told apart); the others are named after their titles.
  const QString routineIndex = QStringLiteral("routine-index.html");
  std::vector<QString> names;
  QSet<QString> taken{QStringLiteral("index.html"), routineIndex};
  for (size_t d = 0; d < documents.size(); ++d) {
    if (d == 0) {
      names.push_back(QStringLiteral("index.html"));
      continue;
    }
    if (IsRoutineIndex(documents[d])) {
      names.push_back(routineIndex);
      continue;
    }
    QString name = WebPageName(documents[d].title);
    for (int n = 2; taken.contains(name.toLower()); ++n)
      name = WebPageName(documents[d].title + u'-' + QString::number(n));
    taken.insert(name.toLower());
    names.push_back(name);
  }
  // Where the paper puts a form's listing, after its unit, the unit's page links it.
  std::vector<std::vector<size_t>> formsOf(documents.size());
  for (size_t d = 0; d < documents.size(); ++d)
    if (documents[d].formOf >= 0 && size_t(documents[d].formOf) < documents.size())
      formsOf[size_t(documents[d].formOf)].push_back(d);
  std::shared_ptr<WebLinkKeys> keys;
  for (const WebDocument &document : documents)
    if (document.linkKeys) {
      keys = document.linkKeys;
      break;
    }
  if (!keys) keys = std::make_shared<WebLinkKeys>();
  std::vector<std::vector<QByteArray>> tableIds(documents.size());
  // A listing's rows as page text: written aside while the book was laid
  // out (its places noted then), or here.
  std::vector<std::shared_ptr<const ListingBody>> bodies(documents.size());
  for (size_t d = 0; d < documents.size(); ++d) {
    const WebDocument &document = documents[d];
    if (document.listing) {
      bodies[d] = document.body;
      // Rows are let go of only once their body holds them all.
      if (!bodies[d] && document.rows.Released())
        throw std::logic_error("a listing's rows were let go of before its page was written");
      if (!bodies[d]) {
        auto body = std::make_shared<ListingBody>(keys, std::uint32_t(d));
        for (const WebRow &row : document.rows) body->Add(row);
        bodies[d] = std::move(body);
      }
    }
    for (const QByteArray &key : document.anchorsBefore)
      keys->Anchor(key, std::uint32_t(d), WebLinkKeys::kBeforeRows);
    if (bodies[d]) continue;
    tableIds[d] = RowIds(document);
    for (size_t r = 0; r < document.rows.size(); ++r)
      for (const QByteArray &key : document.rows[r].anchors)
        keys->Anchor(key, std::uint32_t(d), std::uint32_t(r));
  }
  Places places(*keys, [&](const WebLinkKeys::Place &place) {
    const QByteArray page = EscapeHtml(names[place.document]).toUtf8();
    if (place.row == WebLinkKeys::kBeforeRows) return page;
    return page + '#' +
           (bodies[place.document] ? bodies[place.document]->IdOf(place.row)
                                   : tableIds[place.document][place.row]);
  });
  const QString marker = dir.filePath(QLatin1String(kWebBookMarker));
  WebBookFiles files(marker);
  files.Add(marker, error)->Put("Pages written by scrivane-print --format html\n");
  const bool codeLinks = std::any_of(bodies.begin(), bodies.end(), [](const auto &body) {
    return body && !body->Links().empty();
  });
  files.Add(dir.filePath(QLatin1String(kStylesheetName)), error)
      ->Put(Stylesheet(settings, codeLinks).toUtf8());
  PageWriter writer{documents, names, places, options, tableIds, bodies, formsOf, {}};
  for (size_t d = 0; d < documents.size(); ++d) {
    const PageWriter::PageParts page = writer.Page(d, bodies[d].get());
    PageFile *file = files.Add(dir.filePath(names[d]), error);
    if (!file) return false;
    file->Put(page.head);
    if (page.rows) PutRows(*file, *bodies[d], places);
    file->Put(page.tail);
    file->Finish();
  }
  return files.Commit(error);
}

}  // namespace scrivane
