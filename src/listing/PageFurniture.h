#pragma once
// What surrounds the listed text on every page of every listing: header,
// footer, the rule between them and the text, and the title block. One
// implementation for all renderers; the clock and the names come in as
// values so that a page can be produced again identically (and tested).
#include <QByteArray>
#include <QDateTime>
#include <optional>

#include "print/PageGeometry.h"

namespace scrivane {

struct FormatSettings;
class PageCanvas;

struct FurnitureTexts {
  QByteArray UnitNameText;     // at most 128 characters
  QByteArray ProjectNameText;  // at most 128 characters
  QDateTime now;               // the date and time the pages show
  int totalPages = 0;          // pages of the document; 0: not known
};

// A header or footer text with the escapes a2ps users know replaced: $f the
// file name, $u the unit's name without its extension, $p the page, $P the
// pages of the document ("?" while not known), %D the date; $$ and %% stand
// for themselves. Other characters are kept as they are.
QByteArray ExpandFurnitureText(const QByteArray &text, const FurnitureTexts &texts, int page);

// "6 December 2026": English month names.
QByteArray DateText(const QDate &date);
// "12/06/26 02:05 pm".
QByteArray DateTimeText(const QDateTime &moment);
// "Page 12".
QByteArray PageText(int page);

// text shortened in its middle with "…" (Windows-1252 0x85) so that it is
// at most room device units wide in the canvas font, keeping the file name
// at its end whole where that alone fits; text that fits comes back as it is.
QByteArray FitText(PageCanvas &canvas, const QByteArray &text, int room);

// Which items a listing offers: some listings show no date-and-time items
// (header code 4, footer right code 5) and another text at the footer's left.
struct FurnitureVariant {
  bool dateTimeItems = true;
  std::optional<QByteArray> footerLeftText;  // default: the owner text (FormatSettings.User)
};

// Draws on the canvas with HeaderFont; every call moves currentY (device
// units) past what it drew. In measure mode nothing is drawn but the space
// is taken all the same.
class PageFurniture {
 public:
  PageFurniture(PageCanvas &canvas, const PageGeometry &geometry, const FormatSettings &settings,
                const FurnitureTexts &texts, FurnitureVariant variant = {});

  // The rule of the Border style from LeftX to RightX; a double rule moves
  // currentY to its second line. The pen keeps the last width set.
  void DrawRule(int &currentY);
  // Header row (Line1A left, Line1B centred, Line1C right), then the rule.
  void DrawPageHeader(int page, int &currentY);
  // At the foot (PageHeight - BottomMargin): the rule, then the footer row.
  void DrawPageFooter(int page, int &currentY);
  // The five title rows in two columns, then the rule.
  void DrawTitleBlock(int &currentY);

  // Building blocks for listings with their own header rows.
  void DrawLeft(const QByteArray &text, int y);
  void DrawCentred(const QByteArray &text, int y);
  void DrawRight(const QByteArray &text, int y);
  // One row of up to three items (empty: none). Items that fit print as
  // DrawLeft, DrawCentred and DrawRight place them; when they would overlap
  // or leave the text width, the wider ones are shortened in the middle.
  void DrawRow(const QByteArray &left, const QByteArray &centre, const QByteArray &right, int y);

  // Item texts by the settings' codes; empty for "nothing".
  QByteArray HeaderItem(int code) const;
  QByteArray FooterCentreItem(int code, int page) const;
  QByteArray FooterRightItem(int code, int page) const;

 private:
  struct RowTexts {
    QByteArray left, centre, right;
  };
  // The three items as DrawRow prints them, in the canvas font.
  RowTexts FitRow(const QByteArray &left, const QByteArray &centre, const QByteArray &right);
  PageCanvas &canvas_;
  const PageGeometry &geometry_;
  const FormatSettings &settings_;
  const FurnitureTexts &texts_;
  FurnitureVariant variant_;
};

}  // namespace scrivane
