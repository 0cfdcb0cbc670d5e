#pragma once
// A PDF's outline and page labels as a viewer shows them, read from
// `qpdf --json`: the tests compare books against these.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace testsupport {

// The label the viewer shows for a page (from 0): "stock.pas 3".
inline QString PageLabel(const QJsonObject &qpdfJson, int page) {
  QJsonObject range;
  int start = 0;
  for (const QJsonValue &l : qpdfJson["pagelabels"].toArray())
    if (l["index"].toInt() <= page) {
      range = l["label"].toObject();
      start = l["index"].toInt();
    }
  return range["/P"].toString().mid(2) + QString::number(range["/St"].toInt(1) + page - start);
}

// Each outline entry, indented by its depth, with the label of the page it
// leads to: "  procedure Add (TStockList) -> stock.pas 3".
inline void OutlineLines(const QJsonObject &qpdfJson, const QJsonArray &items, int depth,
                         QStringList &lines) {
  for (const QJsonValue &item : items) {
    lines << QString(depth * 2, ' ') + item["title"].toString() + " -> " +
                 PageLabel(qpdfJson, item["destpageposfrom1"].toInt() - 1);
    OutlineLines(qpdfJson, item["kids"].toArray(), depth + 1, lines);
  }
}

}  // namespace testsupport
