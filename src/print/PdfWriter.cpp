#include <QCryptographicHash>
#include <QDateTime>
#include <cstdio>
#include <cstring>

#include "platform/Version.h"
#include "print/PdfWriterImpl.h"

namespace scrivane {
namespace {

// An 8-bit image, its pixels compressed in its stream.
PdfDictionary ImageDictionary(int width, int height, std::string_view colorSpace) {
  PdfDictionary image;
  image.name("Type", "XObject")
      .name("Subtype", "Image")
      .integer("Width", width)
      .integer("Height", height)
      .name("ColorSpace", colorSpace)
      .integer("BitsPerComponent", 8)
      .raw("Interpolate", "true");
  return image;
}

}  // namespace

void PdfWriter::Impl::startPage() {
  nav.setSheet(int(pageObjects.size()));
  content.clear();
  drawHeight = pageHeight;
  resetGraphicsState();
}

void PdfWriter::Impl::placePage(const PagePlacement &where) {
  if (!isOpen) return;
  flush();
  if (placing) endForm();
  nav.setPlacement(where, sheetForms.empty());
  placing = true;
  placement = where;
  drawHeight = where.pageHeight * scale;
  content.clear();
  resetGraphicsState();
}

void PdfWriter::Impl::endForm() {
  const double width = placement.pageWidth * scale, height = placement.pageHeight * scale;
  PdfDictionary dictionary;
  dictionary.name("Type", "XObject")
      .name("Subtype", "Form")
      .raw("BBox", "[0 0 " + PdfNumber(width) + ' ' + PdfNumber(height) + ']')
      .reference("Resources", kResources);
  const int form = newObject();
  putStream(form, std::move(content), kPageCompression, dictionary.fields());
  content.clear();
  resetGraphicsState();
  sheetContent += "q ";
  AppendNumber(sheetContent, placement.scale);
  sheetContent += " 0 0 ";
  AppendNumber(sheetContent, placement.scale);
  sheetContent += ' ';
  AppendNumber(sheetContent, placement.x * scale);
  sheetContent += ' ';
  AppendNumber(sheetContent,
               pageHeight - (placement.y + placement.pageHeight * placement.scale) * scale);
  sheetContent += " cm /Pg";
  AppendInt(sheetContent, form);
  sheetContent += " Do Q\n";
  sheetForms.reference("Pg" + std::to_string(form), form);
}

void PdfWriter::Impl::endPage() {
  flush();
  PdfDictionary body;
  body.name("Type", "Page").reference("Parent", kPages);
  if (placing) {
    endForm();
    content = std::move(sheetContent);
    body.raw("Resources",
             PdfDictionary().raw("ProcSet", "[/PDF]").raw("XObject", sheetForms.str()).str());
    sheetContent.clear();
    sheetForms = {};
    placing = false;
  } else {
    body.reference("Resources", kResources);
  }
  const int contents = newObject();
  const size_t size = content.size();
  putStream(contents, std::move(content), kPageCompression);
  content.clear();
  text = {};
  content.reserve(size);
  const int page = newObject();
  body.reference("Contents", contents);
  const std::string annotations =
      nav.annotationsOf(int(pageObjects.size()), page, pageObjects, *this);
  if (annotations.empty()) {
    putObject(page, body.str());
  } else {
    // Its list of links is most of it, and packs as well as they do.
    body.raw("Annots", annotations);
    putPacked(page, body.str());
  }
  pageObjects.push_back(page);
  content.clear();
}

void PdfWriter::Impl::drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) {
  if (!isOpen) return;
  flush();
  setStroke(pen.mode == PenMode::Black ? 0 : pen.color, std::max(1, pen.width) * scale);
  point(x1, y1);
  content += "m ";
  point(x2, y2);
  content += "l S\n";
}

void PdfWriter::Impl::drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) {
  if (!isOpen) return;
  flush();
  // The outline lies inside the rectangle, as GDI draws it.
  const int half = std::max(1, pen.width) / 2;
  const QRect inner = rect.adjusted(half, half, -half - 1, -half - 1);
  setStroke(pen.mode == PenMode::Black ? 0 : pen.color, std::max(1, pen.width) * scale);
  if (brush.style == BrushStyle::Solid) setFill(brush.color);
  point(inner.x(), inner.y() + inner.height());
  AppendNumber(content, inner.width() * scale);
  content += ' ';
  AppendNumber(content, inner.height() * scale);
  content += brush.style == BrushStyle::Solid ? " re B\n" : " re S\n";
}

void PdfWriter::Impl::drawImage(const QRect &target, const QImage &image) {
  if (!isOpen) return;
  flush();
  if (image.isNull() || image.width() == 0 || image.height() == 0 || target.isEmpty()) return;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
  std::string pixels;
  pixels.reserve(size_t(rgb.width()) * 3 * size_t(rgb.height()));
  for (int row = 0; row < rgb.height(); ++row)
    pixels.append(reinterpret_cast<const char *>(rgb.constScanLine(row)), size_t(rgb.width()) * 3);
  PdfDictionary dictionary = ImageDictionary(rgb.width(), rgb.height(), "DeviceRGB");
  if (image.hasAlphaChannel()) {
    const QImage alpha = image.convertToFormat(QImage::Format_Alpha8);
    std::string mask;
    for (int row = 0; row < alpha.height(); ++row)
      mask.append(reinterpret_cast<const char *>(alpha.constScanLine(row)), size_t(alpha.width()));
    const int maskObject = newObject();
    putStream(maskObject, mask, kImageCompression,
              ImageDictionary(alpha.width(), alpha.height(), "DeviceGray").fields());
    dictionary.reference("SMask", maskObject);
  }
  const int object = newObject();
  putStream(object, pixels, kImageCompression, dictionary.fields());
  const int number = int(images.size()) + 1;
  images.emplace_back(number, object);
  content += "q ";
  AppendNumber(content, target.width() * scale);
  content += " 0 0 ";
  AppendNumber(content, target.height() * scale);
  content += ' ';
  point(target.x(), target.y() + target.height());
  content += "cm /Im";
  AppendInt(content, number);
  content += " Do Q\n";
}

void PdfWriter::Impl::finishDocument() {
  endPage();
  PdfDictionary xObjects;
  for (const auto &[number, object] : images)
    xObjects.reference("Im" + std::to_string(number), object);
  PdfDictionary resources;
  resources.raw("ProcSet", "[/PDF /Text /ImageB /ImageC]")
      .raw("Font", fonts.writeAll())
      .raw("XObject", xObjects.str());
  putObject(kResources, resources.str());

  std::string kids = "[";
  for (int page : pageObjects) kids += std::to_string(page) + " 0 R ";
  kids += ']';
  PdfDictionary pages;
  pages.name("Type", "Pages")
      .raw("MediaBox", "[0 0 " + PdfNumber(pageWidth) + ' ' + PdfNumber(pageHeight) + ']')
      .integer("Count", qint64(pageObjects.size()))
      .raw("Kids", kids);
  putObject(kPages, pages.str());

  const QDateTime now = nav.creationDate().toUTC();
  putObject(kInfo,
            nav.information(title, QStringLiteral("Scrivane ") + QLatin1String(ScrivaneVersion())));
  PdfDictionary catalog;
  catalog.name("Type", "Catalog").reference("Pages", kPages);
  nav.finish(*this, pageObjects, catalog);
  putObject(kCatalog, catalog.str());

  const QByteArray id =
      QCryptographicHash::hash(title.toUtf8() + now.toString(Qt::ISODateWithMs).toUtf8(),
                               QCryptographicHash::Md5)
          .toHex()
          .toUpper();
  const std::string ids = "[<" + id.toStdString() + "> <" + id.toStdString() + ">]";
  if (anyPacked()) {
    PdfDictionary trailer;
    trailer.reference("Root", kCatalog).reference("Info", kInfo).raw("ID", ids);
    finishCrossReference(trailer.fields());
    return;
  }
  drain();  // the offsets of every object so far
  const quint64 xref = written;
  std::string table = "xref\n0 ";
  AppendInt(table, qint64(offsets.size()));
  table += "\n0000000000 65535 f \n";
  // Digit by digit: a formatted print per object cost a thousand
  // instructions each, at the end, when nothing else is left to do. Put
  // piece by piece: whole, a 25,000-page table took 8 MiB at the peak.
  constexpr size_t kTablePiece = 64 * 1024;
  table.reserve(kTablePiece + 64);
  char entry[32];
  for (size_t i = 1; i < offsets.size(); ++i) {
    unsigned long long offset = offsets[i];
    if (offset >= 10000000000ULL) {
      std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", offset);
      table += entry;
    } else {
      std::memcpy(entry, "0000000000 00000 n \n", 20);
      for (int k = 9; offset != 0; --k, offset /= 10) entry[k] = char('0' + offset % 10);
      table.append(entry, 20);
    }
    if (table.size() >= kTablePiece) {
      put(table);
      table.clear();
    }
  }
  PdfDictionary trailer;
  trailer.integer("Size", qint64(offsets.size()))
      .reference("Root", kCatalog)
      .reference("Info", kInfo)
      .raw("ID", ids);
  table += "trailer\n" + trailer.str() + "\nstartxref\n";
  AppendInt(table, qint64(xref));
  table += "\n%%EOF\n";
  put(table);
  drain();
}

PdfWriter::PdfWriter(QtTextMeasurer &measurer, int compressors)
    : d(std::make_unique<Impl>(measurer, compressors)) {}

PdfWriter::~PdfWriter() = default;

bool PdfWriter::open(QIODevice *output, double widthPoints, double heightPoints, int dotsPerInch,
                     const QString &title) {
  if (!output || widthPoints <= 0 || heightPoints <= 0) return false;
  auto fresh = std::make_unique<Impl>(d->measurer, d->compressors);
  d = std::move(fresh);
  d->output = output;
  d->pageWidth = widthPoints;
  d->pageHeight = heightPoints;
  d->scale = 72.0 / double(dotsPerInch > 0 ? dotsPerInch : 600);
  d->title = title;
  d->nav.setGeometry(d->scale, heightPoints);
  d->isOpen = true;
  // The binary comment tells transfer programs the file is not text.
  d->put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
  d->startPage();
  return !d->writeFailed;
}

DrawSurface &PdfWriter::surface() { return *d; }

void PdfWriter::newPage() {
  if (!d->isOpen) return;
  d->endPage();
  d->startPage();
}

bool PdfWriter::close(QString *error) {
  if (!d->isOpen) return false;
  d->isOpen = false;
  d->finishDocument();
  const bool ok = !d->writeFailed;
  if (!ok && error) {
    const QString deviceError = d->output ? d->output->errorString() : QString();
    *error = deviceError.isEmpty() ? QStringLiteral("the file could not be written") : deviceError;
  }
  d->output = nullptr;
  return ok;
}

}  // namespace scrivane
