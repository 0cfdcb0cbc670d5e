// The preview window's controls: toolbar, page boxes, page menu, status bar.
#include <QAction>
#include <QCursor>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "print/gui/PreviewForm.h"
#include "print/gui/PreviewFormPaintBox.h"

namespace scrivane {

namespace {

// Draws a simple glyph for a toolbar button.
QIcon Glyph(const std::function<void(QPainter &)> &draw) {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1.5));
  draw(painter);
  painter.end();
  return QIcon(pixmap);
}

void DrawSheet(QPainter &painter, const QRectF &rect) {
  painter.setBrush(Qt::white);
  painter.drawRect(rect);
  painter.setBrush(Qt::NoBrush);
}

void DrawArrow(QPainter &painter, bool right) {
  QPainterPath path;
  if (right) {
    path.moveTo(8, 5);
    path.lineTo(17, 12);
    path.lineTo(8, 19);
  } else {
    path.moveTo(16, 5);
    path.lineTo(7, 12);
    path.lineTo(16, 19);
  }
  path.closeSubpath();
  painter.setBrush(QColor(0, 0, 128));
  painter.drawPath(path);
}

}  // namespace

// A magnifying glass: shown over the page box while a click zooms.
const QCursor &PreviewWindow::ZoomCursor() {
  static const QCursor cursor = [] {
    QPixmap glass(32, 32);
    glass.fill(Qt::transparent);
    QPainter painter(&glass);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 4));
    painter.drawEllipse(QRectF(3, 3, 16, 16));
    painter.drawLine(QPointF(17, 17), QPointF(27, 27));
    painter.setPen(QPen(Qt::black, 2));
    painter.drawEllipse(QRectF(3, 3, 16, 16));
    painter.setPen(QPen(Qt::black, 3));
    painter.drawLine(QPointF(17, 17), QPointF(27, 27));
    painter.end();
    return QCursor(glass, 11, 11);
  }();
  return cursor;
}

void PreviewWindow::BuildControls() {
  auto *tools = new QWidget(this);
  tools->setFixedWidth(54);
  auto *toolLayout = new QVBoxLayout(tools);
  toolLayout->setContentsMargins(2, 2, 2, 2);
  toolLayout->setSpacing(2);
  auto makeButton = [&](const QString &hint, const QIcon &icon) {
    auto *button = new QToolButton(tools);
    button->setIcon(icon);
    button->setIconSize(QSize(24, 24));
    button->setFixedSize(50, 38);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    toolLayout->addWidget(button);
    return button;
  };
  IndexBtn = makeButton(QStringLiteral("Create index listing"), Glyph([](QPainter &p) {
                          DrawSheet(p, QRectF(5, 2, 14, 20));
                          for (int y = 6; y <= 18; y += 4) p.drawLine(8, y, 16, y);
                        }));
  GridBtn = makeButton(QStringLiteral("Display measurement grid"), Glyph([](QPainter &p) {
                         DrawSheet(p, QRectF(3, 3, 18, 18));
                         for (int i = 7; i < 21; i += 5) {
                           p.drawLine(i, 3, i, 21);
                           p.drawLine(3, i, 21, i);
                         }
                       }));
  FirstBtn = makeButton(
      QStringLiteral("Move through the pages: Home first, End last, PgUp prior, PgDn next"),
      Glyph([](QPainter &p) {
        DrawSheet(p, QRectF(2, 5, 11, 15));
        DrawSheet(p, QRectF(11, 3, 11, 15));
      }));
  FirstBtn->setText(QStringLiteral("&Move"));
  SinglePageBtn = makeButton(QStringLiteral("Display as single page"),
                             Glyph([](QPainter &p) { DrawSheet(p, QRectF(6, 2, 12, 20)); }));
  TwoPageBtn = makeButton(QStringLiteral("Display two pages"), Glyph([](QPainter &p) {
                            DrawSheet(p, QRectF(1, 4, 10, 16));
                            DrawSheet(p, QRectF(13, 4, 10, 16));
                          }));
  PrintBtn = makeButton(QStringLiteral("Print"), Glyph([](QPainter &p) {
                          DrawSheet(p, QRectF(7, 2, 10, 8));
                          p.setBrush(QColor(192, 192, 192));
                          p.drawRect(QRectF(2, 10, 20, 8));
                          DrawSheet(p, QRectF(6, 16, 12, 6));
                        }));
  PriorBtn = makeButton(QStringLiteral("Move to the prior page (PgUp)"),
                        Glyph([](QPainter &p) { DrawArrow(p, false); }));
  NextBtn = makeButton(QStringLiteral("Move to the next page (PgDn)"),
                       Glyph([](QPainter &p) { DrawArrow(p, true); }));
  HelpBtn = makeButton(QStringLiteral("Help"), Glyph([](QPainter &p) {
                         QFont font = p.font();
                         font.setPixelSize(18);
                         font.setBold(true);
                         p.setFont(font);
                         p.setPen(QColor(0, 0, 128));
                         p.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, QStringLiteral("?"));
                       }));
  fitWidthButton =
      makeButton(QStringLiteral("Fit the page's width to the window (W)"), Glyph([](QPainter &p) {
                   DrawSheet(p, QRectF(4, 4, 16, 16));
                   p.drawLine(1, 12, 23, 12);
                   p.drawLine(1, 12, 4, 9);
                   p.drawLine(1, 12, 4, 15);
                   p.drawLine(23, 12, 20, 9);
                   p.drawLine(23, 12, 20, 15);
                 }));
  fitPageButton =
      makeButton(QStringLiteral("Fit the whole page to the window (Z)"), Glyph([](QPainter &p) {
                   DrawSheet(p, QRectF(7, 3, 10, 18));
                   p.drawRect(QRectF(2, 1, 20, 22));
                 }));
  ZoomInBut = new QToolButton(tools);
  ZoomOutBut = new QToolButton(tools);
  ZoomInBut->hide();
  ZoomOutBut->hide();
  toolLayout->addStretch();

  pageMenu = new QMenu(this);
  FirstItem = pageMenu->addAction(QStringLiteral("&First Page "));
  PriorItem = pageMenu->addAction(QStringLiteral("&Prior Page"));
  NextItem = pageMenu->addAction(QStringLiteral("&Next Page "));
  LastItem = pageMenu->addAction(QStringLiteral("&Last Page "));
  GotoItem = pageMenu->addAction(QStringLiteral("&Goto Page..."));
  FirstBtn->setMenu(pageMenu);
  FirstBtn->setPopupMode(QToolButton::InstantPopup);

  pageScroll = new QScrollArea(this);
  pageScroll->setFocusPolicy(Qt::NoFocus);
  pageScroll->setWidgetResizable(false);
  pageScroll->setBackgroundRole(QPalette::Dark);
  pageScroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ContainPanel = new QWidget;
  ContainPanel->setAutoFillBackground(true);
  ContainPanel->setBackgroundRole(QPalette::Dark);
  pageScroll->setWidget(ContainPanel);
  auto makePanel = [&](int box, QWidget *&paintBox) {
    auto *panel = new QFrame(ContainPanel);
    panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    panel->setLineWidth(1);
    QPalette white = panel->palette();
    white.setColor(QPalette::Window, Qt::white);
    panel->setPalette(white);
    panel->setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(1, 1, 1, 1);
    paintBox = new PreviewPaintBox(this, box, panel);
    layout->addWidget(paintBox);
    return panel;
  };
  PagePanel = makePanel(1, firstPageBox);
  secondPagePanel = makePanel(2, secondPageBox);
  secondPagePanel->hide();
  firstPageBox->setStatusTip(QStringLiteral("Left or right mouse click to zoom in/out."));
  secondPageBox->setStatusTip(QStringLiteral("Tallowind, Inc."));

  auto *statusRow = new QWidget(this);
  auto *statusLayout = new QHBoxLayout(statusRow);
  statusLayout->setContentsMargins(0, 0, 0, 0);
  statusLayout->setSpacing(2);
  const int widths[3] = {100, 100, 50};
  for (int i = 0; i < 3; ++i) {
    auto *panel = new QLabel(statusRow);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    if (i == 2)
      panel->setMinimumWidth(widths[i]);
    else
      panel->setFixedWidth(widths[i]);
    if (i > 0) panel->setAlignment(Qt::AlignCenter);
    statusLayout->addWidget(panel, i == 2 ? 1 : 0);
    statusPanels_[i] = panel;
  }

  auto *body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  body->addWidget(tools);
  body->addWidget(pageScroll, 1);
  auto *outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addLayout(body, 1);
  outer->addWidget(statusRow);

  connect(IndexBtn, &QToolButton::clicked, this, [this] { Guarded([this] { IndexBtnClick(); }); });
  connect(GridBtn, &QToolButton::clicked, this, [this] { Guarded([this] { GridBtnClick(); }); });
  connect(SinglePageBtn, &QToolButton::clicked, this,
          [this] { Guarded([this] { SinglePageBtnClick(); }); });
  connect(TwoPageBtn, &QToolButton::clicked, this,
          [this] { Guarded([this] { TwoPageBtnClick(); }); });
  connect(PrintBtn, &QToolButton::clicked, this, [this] { PrintBtnClick(); });
  connect(PriorBtn, &QToolButton::clicked, this, [this] { Guarded([this] { PriorBtnClick(); }); });
  connect(NextBtn, &QToolButton::clicked, this, [this] { Guarded([this] { NextBtnClick(); }); });
  connect(HelpBtn, &QToolButton::clicked, this, [this] { HelpBtnClick(); });
  connect(fitWidthButton, &QToolButton::clicked, this, [this] { Guarded([this] { FitWidth(); }); });
  connect(fitPageButton, &QToolButton::clicked, this, [this] { Guarded([this] { FitPage(); }); });
  connect(ZoomInBut, &QToolButton::clicked, this, [this] { Guarded([this] { ZoomIn(); }); });
  connect(ZoomOutBut, &QToolButton::clicked, this, [this] { Guarded([this] { ZoomOut(); }); });
  connect(FirstItem, &QAction::triggered, this, [this] { Guarded([this] { ShowFirstPage(); }); });
  connect(PriorItem, &QAction::triggered, this, [this] { Guarded([this] { ShowPriorPage(); }); });
  connect(NextItem, &QAction::triggered, this, [this] { Guarded([this] { ShowNextPage(); }); });
  connect(LastItem, &QAction::triggered, this, [this] { Guarded([this] { ShowLastPage(); }); });
  connect(GotoItem, &QAction::triggered, this, [this] { Guarded([this] { GoToPageDialog(); }); });
}

}  // namespace scrivane
