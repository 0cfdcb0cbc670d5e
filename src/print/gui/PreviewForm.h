#pragma once
// The preview window: shows the pages of a job as they will print.
#include <QDialog>
#include <QString>

#include "format/Fonts.h"
#include "print/PageDevice.h"
#include "print/PageInfo.h"

class QAction;
class QCursor;
class QFrame;
class QImage;
class QLabel;
class QMenu;
class QPainter;
class QScrollArea;
class QToolButton;
class QWidget;

namespace scrivane {

class PageDevice;

struct PreviewOptions {
  float MinZoom = 1.0f;  // factors (percent / 100)
  float MaxZoom = 4.0f;
  float ZoomFactor = 1.5f;  // ZoomStep / 100 + 1
  int CurrentPage = 1;
  ColorRef GridColor = 0xC0C0C0;
  int GridWidth = 1;
  QString Caption = QStringLiteral("Print Preview");
  int Measure = 0;              // 0 inches, 1 centimetres (grid)
  bool IndexAvailable = false;  // enables the Index button
  int PagesPerSheet = 1;        // 2 or 4: the window pages through sheets as they print
};

struct PreviewResult {
  bool PrintRequested = false;
  bool IndexRequested = false;
};

// Runs the begin event, shows the window modally, runs the end event.
PreviewResult RunPreview(QWidget *parent, PageDevice &printer, const PrintEvents &events,
                         const PreviewOptions &options);

class PreviewWindow;

// Called with the window just before it runs modally: lets tests and the
// benchmark drive the real window (a null hook runs it for the user).
using PreviewRunHook = std::function<void(PreviewWindow &)>;
void SetPreviewRunHook(PreviewRunHook hook);

// The lines of the measurement grid for one sheet, in printer pixels from
// the sheet's corner: vertical lines first (x), then horizontal ones (y).
struct GridLines {
  std::vector<int> X;
  std::vector<int> Y;
};
GridLines ComputeGridLines(const DeviceMetrics &metrics, int measure);

// Every page painted here is produced again by the job's page event on a
// display-mode canvas whose printer pixels are mapped onto the page box, so
// the screen shows the printer's line breaks and positions.
class PreviewWindow : public QDialog {
  Q_OBJECT
 public:
  PreviewWindow(QWidget *parent, PageDevice &printer, const PrintEvents &events,
                const PreviewOptions &options);
  ~PreviewWindow() override;

  // The steps of a preview run around the modal loop (RunPreview uses them).
  void BeginRun();
  void EndRun();

  // Navigation and zoom (t = -1: the last page).
  void GoToPage(int t);
  void PaginatePage(int p);
  void SetZoom(float z);
  void ZoomIn();
  void ZoomOut();
  // Zoom choices besides the steps: the page's width fills the view, or the
  // whole page fits it (single page only).
  void FitWidth();
  void FitPage();
  // The zoom at which the page's width fills the view.
  float FitWidthZoom() const;
  void ShowNextPage();
  void ShowPriorPage();
  void ShowFirstPage();
  void ShowLastPage();
  void GoToPageDialog();  // "&Goto Page..."

  // Toolbar buttons.
  void NextBtnClick();
  void PriorBtnClick();
  void SinglePageBtnClick();
  void TwoPageBtnClick();
  void GridBtnClick();
  void IndexBtnClick();
  void PrintBtnClick();
  void HelpBtnClick();

  // Paints page n (firstPageBox: n is CurrentPage and may change) into a box of the
  // given size whose painter is already open. Exposed so that a page can be
  // rendered into an image without a visible window.
  void PaintPage(int &n, QPainter &painter, const QSize &boxSize);
  // Renders what box 1 or 2 shows now into an image of the box's size.
  QImage RenderBox(int box);
  // Repaints both page boxes now (navigation ends with this).
  void RepaintBoxes();

  // State read by the job, the tests and the benchmark.
  int CurrentPage = 1;
  int FinalPage = -1;
  int HighestPage = -1;
  float Zoom = 1.0f;
  int BaseHeight = 0;
  bool PrintRequested = false;
  bool IndexRequested = false;
  bool SinglePageMode = true;
  bool GridVisible = false;
  PageInfo *Info() const { return info_.get(); }
  int GridLinesDrawn() const { return gridLinesDrawn_; }
  QString StatusText(int panel) const;

  // Controls, for the main window's tests and for driving the window.
  QToolButton *IndexBtn = nullptr;
  QToolButton *GridBtn = nullptr;
  QToolButton *FirstBtn = nullptr;
  QToolButton *SinglePageBtn = nullptr;
  QToolButton *TwoPageBtn = nullptr;
  QToolButton *PrintBtn = nullptr;
  QToolButton *PriorBtn = nullptr;
  QToolButton *NextBtn = nullptr;
  QToolButton *HelpBtn = nullptr;
  QToolButton *fitWidthButton = nullptr;
  QToolButton *fitPageButton = nullptr;
  QToolButton *ZoomInBut = nullptr;
  QToolButton *ZoomOutBut = nullptr;
  QScrollArea *pageScroll = nullptr;
  QWidget *ContainPanel = nullptr;
  QFrame *PagePanel = nullptr;
  QFrame *secondPagePanel = nullptr;
  QWidget *firstPageBox = nullptr;
  QWidget *secondPageBox = nullptr;
  QMenu *pageMenu = nullptr;
  QAction *FirstItem = nullptr;
  QAction *PriorItem = nullptr;
  QAction *NextItem = nullptr;
  QAction *LastItem = nullptr;
  QAction *GotoItem = nullptr;

  // The magnifying glass shown over page box 1 while a click zooms.
  static const QCursor &ZoomCursor();

  // Mouse on firstPageBox at a point of the box (the zoom click).
  void PageBoxMouseDown(Qt::MouseButtons buttons, const QPoint &at);

 protected:
  void showEvent(QShowEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  bool event(QEvent *event) override;
  void changeEvent(QEvent *event) override;

 private:
  void BuildControls();
  // The sheet shown, in printer pixels: the page, or the sheet that holds
  // several pages (turned for two).
  QSize SheetPixels() const;
  bool ShowsSheets() const { return options_.PagesPerSheet == 2 || options_.PagesPerSheet == 4; }
  void ApplyLayout();
  void LayoutTwoPages();
  void DrawGrid(PageCanvas &canvas, QPainter &painter, const QSize &boxSize);
  void SetStatus(int panel, const QString &text);
  // " Page 3 of 17" once the last page is known, " Page 3" before.
  QString PageStatus(int page) const;
  QString CountText(int page) const;
  // Scrolls a zoomed page by one arrow key's step.
  void ScrollByKey(int key);
  float SheetAspect() const;
  void RequirePageEvent() const;
  void PaintBox(int box, QPainter &painter, const QSize &size);
  // Runs a command from a button, menu or key; an exception from a page
  // handler reaches the user as a message and leaves the window open.
  void Guarded(const std::function<void()> &command);
  friend class PreviewPaintBox;

  std::unique_ptr<PageDevice> device_;
  PageDevice &printer_;
  PrintEvents events_;
  PreviewOptions options_;
  PageInfoPtr info_;
  QLabel *statusPanels_[3] = {nullptr, nullptr, nullptr};
  int gridLinesDrawn_ = 0;
  bool shownOnce_ = false;
};

}  // namespace scrivane
