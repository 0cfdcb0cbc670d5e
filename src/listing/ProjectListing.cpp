#include "listing/ProjectListing.h"

#include "format/FormatSettings.h"
#include "listing/RowWriter.h"
#include "print/PageCanvas.h"
#include "project/ProjectModel.h"

namespace scrivane {

namespace {
constexpr int kClosingTitleGap = 8;  // device units between the closing rule and its title
}

QByteArray ProjectLineForPrinting(QByteArray line) {
  if (line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
  line.replace('\t', ' ');
  return line.trimmed();
}

ProjectListing::ProjectListing(const ProjectModel &model, const FormatSettings &settings)
    : model_(model), settings_(settings), job_(settings, *this) {}

QString ProjectListing::JobTitle() const { return model_.OpenedPath.toLower(); }

int ProjectListing::ItemCount() const { return int(model_.ProjectLines.size()); }

void ProjectListing::StartPage(PageCursor &cursor, int &) {
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  cursor.Canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRow(cursor.Texts.ProjectNameText, {}, DateText(cursor.Texts.now.date()), cursor.Y);
  cursor.Y += cursor.Canvas.TextHeight("X");
  furniture.DrawRule(cursor.Y);
  cursor.Y += 2 * cursor.Geometry.LineStep;
}

void ProjectListing::LayOutItem(PageCursor &cursor, int &position) {
  // Every further blank stands as an empty word, so inner spacing survives.
  const QList<QByteArray> words = ProjectLineForPrinting(model_.ProjectLines[position]).split(' ');
  position += 1;
  cursor.Canvas.SetFont(settings_.BaseFont());
  RowWriter row(cursor, cursor.Geometry.LeftX);
  for (int i = 0; i < words.size(); ++i) {
    row.DrawWholeOrBroken(words[i]);
    if (i + 1 < words.size() && row.NextWordOverflows(words[i + 1])) row.NewRow();
  }
  cursor.NextRow();
}

void ProjectListing::FinishPage(PageCursor &cursor, int) {
  PageFurniture furniture(cursor.Canvas, cursor.Geometry, settings_, cursor.Texts);
  cursor.Y = cursor.FootY();
  cursor.Canvas.SetFont(settings_.HeaderFont());
  furniture.DrawRule(cursor.Y);
  cursor.Y += kClosingTitleGap;
  furniture.DrawLeft("Project Listing", cursor.Y);
}

}  // namespace scrivane
