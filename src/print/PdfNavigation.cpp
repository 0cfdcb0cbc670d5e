#include "print/PdfNavigation.h"

namespace scrivane {

void PdfNavigation::setGeometry(double pointsPerPixel, double sheetHeightPoints) {
  pointsPerPixel_ = pointsPerPixel;
  sheetHeight_ = sheetHeightPoints;
}

PdfNavigation::Place PdfNavigation::here(int y) const {
  return {sheet_, sheetHeight_ - (placement_.y + y * placement_.scale) * pointsPerPixel_};
}

void PdfNavigation::documentStart(const QString &title, const QString &labelName, const QDateTime &clock) {
  documents_.push_back({title, labelName, here(0)});
  if (!clock_.isValid()) clock_ = clock;
}

void PdfNavigation::pageNumber(int page) {
  if (sheet_ < 0 || !numbersSheet_) return;
  if (numbers_.size() <= size_t(sheet_)) numbers_.resize(size_t(sheet_) + 1);
  numbers_[size_t(sheet_)] = {int(documents_.size()) - 1, page};
}

void PdfNavigation::anchor(const QByteArray &key, int y) {
  if (!anchors_.contains(key)) anchors_.insert(key, here(y));
}

void PdfNavigation::outlineEntry(const QString &title, int y) {
  entries_.push_back({title, here(y), int(documents_.size()) - 1});
}

void PdfNavigation::link(const QRect &area, const QByteArray &key) {
  const PagePlacement &p = placement_;
  const double left = (p.x + area.left() * p.scale) * pointsPerPixel_;
  const double right = (p.x + (area.right() + 1) * p.scale) * pointsPerPixel_;
  const double top = sheetHeight_ - (p.y + area.top() * p.scale) * pointsPerPixel_;
  const double bottom = sheetHeight_ - (p.y + (area.bottom() + 1) * p.scale) * pointsPerPixel_;
  links_.push_back({sheet_, QRectF(QPointF(left, bottom), QPointF(right, top)), key, 0});
}

std::string PdfNavigation::annotationsOf(int sheet, PdfObjectWriter &out) {
  std::string list;
  for (Link &l : links_) {
    if (l.sheet != sheet || l.object != 0) continue;
    l.object = out.newObject();
    list += std::to_string(l.object) + " 0 R ";
  }
  return list.empty() ? std::string() : "[" + list + "]";
}

std::string PdfNavigation::destination(const Place &place, const std::vector<int> &pageObjects) const {
  if (place.sheet < 0 || size_t(place.sheet) >= pageObjects.size()) return {};
  return "[" + std::to_string(pageObjects[size_t(place.sheet)]) + " 0 R /XYZ null " + PdfNumber(place.top) + " null]";
}

void PdfNavigation::finish(PdfObjectWriter &out, const std::vector<int> &pageObjects, PdfDictionary &catalog) {
  for (const Link &l : links_) {
    if (l.object == 0) continue;
    // A row whose place is not in this file (an index or a list of
    // routines printed on its own) is no link: a null in the page's list
    // of annotations, which viewers pass over, instead of a hand cursor
    // that leads nowhere.
    const auto target = anchors_.constFind(l.key);
    const std::string dest = target == anchors_.constEnd() ? std::string() : destination(*target, pageObjects);
    if (dest.empty()) {
      out.putObject(l.object, "null");
      continue;
    }
    PdfDictionary annotation;
    annotation.name("Type", "Annot").name("Subtype", "Link");
    annotation.raw("Rect", "[" + PdfNumber(l.area.left()) + ' ' + PdfNumber(l.area.top()) + ' ' +
                               PdfNumber(l.area.right()) + ' ' + PdfNumber(l.area.bottom()) + "]");
    // Invisible on paper and on screen: the row itself says where it leads.
    annotation.raw("Border", "[0 0 0]");
    annotation.raw("Dest", dest);
    out.putObject(l.object, annotation.str());
  }
  int items = 0;
  if (const int outline = writeOutline(out, pageObjects, &items)) catalog.reference("Outlines", outline);
  if (items > 1) catalog.name("PageMode", "UseOutlines");
  const std::string labels = pageLabels(pageObjects.size());
  if (!labels.empty()) catalog.raw("PageLabels", labels);
}

int PdfNavigation::writeOutline(PdfObjectWriter &out, const std::vector<int> &pageObjects,
                                        int *items) {
  struct Node {
    QString title;
    Place place;
    std::vector<int> children;
    int object = 0;
  };
  std::vector<Node> nodes;
  std::vector<int> top;
  auto add = [&](const QString &title, const Place &place) {
    nodes.push_back({title, place, {}, 0});
    return int(nodes.size()) - 1;
  };
  // One document needs no level of its own: its bookmarks stand at the top,
  // and it is one bookmark itself only when it has none.
  if (documents_.size() <= 1) {
    for (const Entry &e : entries_) top.push_back(add(e.title, e.place));
    if (top.empty() && documents_.size() == 1) top.push_back(add(documents_[0].title, documents_[0].place));
  } else {
    std::vector<int> documentNode(documents_.size(), -1);
    for (const Entry &e : entries_)
      if (e.document < 0) top.push_back(add(e.title, e.place));
    for (size_t d = 0; d < documents_.size(); ++d) {
      documentNode[d] = add(documents_[d].title, documents_[d].place);
      top.push_back(documentNode[d]);
    }
    for (const Entry &e : entries_)
      if (e.document >= 0) {
        const int child = add(e.title, e.place);
        nodes[size_t(documentNode[size_t(e.document)])].children.push_back(child);
      }
  }
  *items = int(nodes.size());
  if (top.empty()) return {};

  const int root = out.newObject();
  for (Node &n : nodes) n.object = out.newObject();
  // Documents are shown closed: a book's outline then reads as its table of
  // contents, each document opening on its routines.
  auto writeLevel = [&](const std::vector<int> &level, int parent) {
    for (size_t i = 0; i < level.size(); ++i) {
      const Node &n = nodes[size_t(level[i])];
      PdfDictionary item;
      item.text("Title", n.title).reference("Parent", parent);
      if (i > 0) item.reference("Prev", nodes[size_t(level[i - 1])].object);
      if (i + 1 < level.size()) item.reference("Next", nodes[size_t(level[i + 1])].object);
      if (!n.children.empty()) {
        item.reference("First", nodes[size_t(n.children.front())].object);
        item.reference("Last", nodes[size_t(n.children.back())].object);
        item.integer("Count", -qint64(n.children.size()));
      }
      const std::string dest = destination(n.place, pageObjects);
      if (!dest.empty()) item.raw("Dest", dest);
      out.putObject(n.object, item.str());
    }
  };
  writeLevel(top, root);
  for (const Node &n : nodes)
    if (!n.children.empty()) writeLevel(n.children, n.object);
  PdfDictionary outlines;
  outlines.name("Type", "Outlines")
      .reference("First", nodes[size_t(top.front())].object)
      .reference("Last", nodes[size_t(top.back())].object)
      .integer("Count", qint64(top.size()));
  out.putObject(root, outlines.str());
  return root;
}

std::string PdfNavigation::pageLabels(size_t sheets) const {
  if (sheets == 0 || numbers_.empty()) return {};
  // A sheet nobody numbered goes on from the one before it.
  const bool prefixed = documents_.size() > 1;
  std::string nums;
  SheetNumber previous;
  for (size_t s = 0; s < sheets; ++s) {
    SheetNumber number = s < numbers_.size() ? numbers_[s] : SheetNumber{};
    if (number.page == 0) number = {previous.document, previous.page + 1};
    const bool continues = s > 0 && number.document == previous.document && number.page == previous.page + 1;
    if (!continues) {
      PdfDictionary range;
      range.name("S", "D");
      if (prefixed && number.document >= 0)
        range.text("P", documents_[size_t(number.document)].labelName + QLatin1Char(' '));
      if (number.page != 1) range.integer("St", std::max(1, number.page));
      nums += std::to_string(s) + ' ' + range.str() + ' ';
    }
    previous = number;
  }
  return PdfDictionary().raw("Nums", "[" + nums + "]").str();
}

QDateTime PdfNavigation::creationDate() const {
  return clock_.isValid() ? clock_ : QDateTime::currentDateTime();
}

std::string PdfNavigation::information(const QString &fallbackTitle, const QString &creator) const {
  const QString title = documents_.empty() ? fallbackTitle : documents_.front().title;
  const QDateTime utc = creationDate().toUTC();
  PdfDictionary info;
  info.text("Title", title)
      .text("Creator", creator)
      .raw("Producer", "(Scrivane)")
      .raw("CreationDate", "(D:" + utc.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + "Z)");
  return info.str();
}

}  // namespace scrivane
