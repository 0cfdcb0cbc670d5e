#include "print/gui/PreviewForm.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusTipEvent>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "print/PageCanvas.h"
#include "print/PageSheets.h"
#include "print/PrintException.h"
#include "print/QPainterSurface.h"
#include "print/QtTextMeasurer.h"
#include "print/gui/GoPageForm.h"
#include "print/gui/PreviewFormPaintBox.h"

namespace scrivane {

namespace {

PreviewRunHook &RunHook() {
  static PreviewRunHook hook;
  return hook;
}

// Rounds halves to the even neighbour, as the page canvas does.
int RoundEven(float value) { return int(std::nearbyint(value)); }

// The hourglass for the length of a scope.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

void SetPreviewRunHook(PreviewRunHook hook) { RunHook() = std::move(hook); }

GridLines ComputeGridLines(const DeviceMetrics &metrics, int measure) {
  GridLines lines;
  auto along = [measure](int extent, int pixelsPerInch, std::vector<int> &out) {
    if (pixelsPerInch <= 0) return;
    int count = extent / pixelsPerInch;
    if (measure == 1) count = int(count * 2.54) + 1;
    for (int i = 1; i <= count; ++i) {
      int at = RoundEven(float(pixelsPerInch) * float(i));
      if (measure == 1) at = int(at * 0.3937007874015748);
      out.push_back(at);
    }
  };
  along(metrics.PageWidth, metrics.PixelsPerInchX, lines.X);
  along(metrics.PageHeight, metrics.PixelsPerInchY, lines.Y);
  return lines;
}

// The printer as the preview sees it: the sheet cannot change while the
// modal window is open, so its metrics are read once, not for every page run.
class PreviewDevice : public PageDevice {
 public:
  explicit PreviewDevice(PageDevice &printer) : printer_(printer), metrics_(printer.metrics()) {}
  DeviceMetrics metrics() const override { return metrics_; }
  TextMeasurer &measurer() override { return printer_.measurer(); }

 private:
  PageDevice &printer_;
  DeviceMetrics metrics_;
};

PreviewPaintBox::PreviewPaintBox(PreviewWindow *form, int box, QWidget *parent)
    : QWidget(parent), form_(form), box_(box) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewPaintBox::paintEvent(QPaintEvent *) {
  QPainter painter(this);
  try {
    form_->PaintBox(box_, painter, size());
  } catch (const std::exception &error) {
    // A faulty page must not take the window down; the message is shown
    // once the paint has finished.
    QPointer<PreviewWindow> form(form_);
    QString text = QString::fromLocal8Bit(error.what());
    QTimer::singleShot(0, form_, [form, text] {
      if (form) QMessageBox::warning(form, form->windowTitle(), text);
    });
  }
}

void PreviewPaintBox::mousePressEvent(QMouseEvent *event) {
  if (box_ == 1) form_->PageBoxMouseDown(event->buttons(), event->position().toPoint());
}

PreviewWindow::PreviewWindow(QWidget *parent, PageDevice &printer, const PrintEvents &events,
                             const PreviewOptions &options)
    : QDialog(parent),
      device_(std::make_unique<PreviewDevice>(printer)),
      printer_(*device_),
      events_(events),
      options_(options) {
  CurrentPage = options.CurrentPage;
  if (ShowsSheets()) {
    const DeviceMetrics page = printer_.metrics();
    events_ = SheetsOf(events, options.PagesPerSheet, QSize(page.PageWidth, page.PageHeight));
  }
  setWindowTitle(options.Caption);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  // Sized to the screen: a page at 100 % is as tall as the window allows,
  // and large enough to read.
  resize(638, 473);
  if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
    const QRect room = screen->availableGeometry();
    const int height = std::max(473, room.height() * 9 / 10);
    const int width = std::min(room.width() * 9 / 10, std::max(638, height * 4 / 5));
    resize(std::max(638, width), height);
  }
  BuildControls();
}

PreviewWindow::~PreviewWindow() = default;

QSize PreviewWindow::SheetPixels() const {
  const DeviceMetrics page = printer_.metrics();
  if (ShowsSheets() && SheetIsLandscape(options_.PagesPerSheet))
    return QSize(page.PageHeight, page.PageWidth);
  return QSize(page.PageWidth, page.PageHeight);
}

QString PreviewWindow::StatusText(int panel) const {
  if (panel < 0 || panel > 2) return {};
  return statusPanels_[panel]->text();
}

void PreviewWindow::Guarded(const std::function<void()> &command) {
  try {
    command();
  } catch (const std::exception &error) {
    QMessageBox::warning(this, windowTitle(), QString::fromLocal8Bit(error.what()));
  }
}

void PreviewWindow::SetStatus(int panel, const QString &text) {
  statusPanels_[panel]->setText(text);
}

void PreviewWindow::RequirePageEvent() const {
  if (!events_.OnPrintPage) throw PrintException(kPrintPageNotAssigned);
}

void PreviewWindow::BeginRun() {
  if (!events_.OnBeginPrint) throw PrintException(kBeginPrintNotAssigned);
  events_.OnBeginPrint(info_);
  GoToPage(CurrentPage);
  SetZoom(1.0f);
}

void PreviewWindow::EndRun() {
  if (!events_.OnEndPrint) throw PrintException(kEndPrintNotAssigned);
  events_.OnEndPrint(info_);
}

void PreviewWindow::PaintBox(int box, QPainter &painter, const QSize &size) {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  if (box == 1) {
    PaintPage(CurrentPage, painter, size);
    return;
  }
  // The right box must not stand for a page past the end: when the end is
  // not known yet, run the pages before it first so that FinalPage tells.
  int n = CurrentPage + 1;
  while (!PrintRequested && FinalPage == -1 && HighestPage < n - 1 && info_)
    PaginatePage(HighestPage < 1 ? 1 : HighestPage + 1);
  const int right = n;
  const bool drawn = !PrintRequested && info_ && (FinalPage == -1 || right <= FinalPage);
  PaintPage(n, painter, size);
  // Two sheets on view: the status line names both, not only the right one.
  if (drawn && n == right)
    SetStatus(0, (ShowsSheets() ? QStringLiteral(" Sheets %1-%2") : QStringLiteral(" Pages %1-%2"))
                         .arg(CurrentPage)
                         .arg(right) +
                     CountText(right));
}

void PreviewWindow::PaintPage(int &n, QPainter &painter, const QSize &boxSize) {
  if (PrintRequested || !info_) return;
  if (FinalPage != -1 && FinalPage < n) return;
  PageCanvas canvas(printer_);
  const int W = SheetPixels().width();
  const int H = SheetPixels().height();
  if (W <= 0 || H <= 0) return;

  // Text is drawn with the fonts the printer measures, at the printer's
  // pixel sizes; the mapping below turns printer pixels into box pixels.
  std::optional<QtTextMeasurer> ownMeasurer;
  auto *measurer = dynamic_cast<QtTextMeasurer *>(&printer_.measurer());
  if (!measurer) measurer = &ownMeasurer.emplace(canvas.PixelsPerInchY);

  painter.save();
  painter.setWindow(0, 0, W, H);
  painter.setViewport(0, 0, boxSize.width(), boxSize.height());
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QPainterSurface surface(painter, *measurer);
  canvas.SetDisplayMode(&surface);

  struct Restore {
    QPainter &painter;
    ~Restore() { painter.restore(); }
  } restore{painter};

  if (GridVisible) DrawGrid(canvas, painter, boxSize);
  // Pages placed on a sheet stay inside their places; a page alone inside
  // the printable area.
  if (!ShowsSheets())
    painter.setClipRect(QRect(QPoint(canvas.OffsetX, canvas.OffsetY),
                              QPoint(canvas.PrintableRight - 1, canvas.PrintableBottom - 1)));

  info_->PageNumber = n;
  RequirePageEvent();
  events_.OnPrintPage(*info_, canvas);
  surface.flush();
  n = info_->PageNumber;

  if (info_->LastPage && FinalPage == -1) FinalPage = info_->PageNumber;
  SetStatus(0, PageStatus(n));
  const bool back = n > 1;
  const bool ahead = !info_->LastPage;
  FirstItem->setEnabled(back);
  PriorItem->setEnabled(back);
  NextItem->setEnabled(ahead);
  LastItem->setEnabled(ahead);
  NextBtn->setEnabled(ahead);
  PriorBtn->setEnabled(back);
  if (info_->LastPage && FinalPage == -1) FinalPage = info_->PageNumber;
  if (n > HighestPage) HighestPage = n;
}

QString PreviewWindow::PageStatus(int page) const {
  return (ShowsSheets() ? QStringLiteral(" Sheet %1") : QStringLiteral(" Page %1")).arg(page) +
         CountText(page);
}

// The count is known only once the last page has been run; before that,
// every page run so far was not the last, so there is at least one more
// than the highest of them. Paginating a long unit on open to learn the
// count would keep the user waiting for pages they may never look at.
QString PreviewWindow::CountText(int page) const {
  if (FinalPage > 0) return QStringLiteral(" of %1").arg(FinalPage);
  return QStringLiteral(" of at least %1").arg(std::max(page, HighestPage) + 1);
}

void PreviewWindow::DrawGrid(PageCanvas &canvas, QPainter &painter, const QSize &boxSize) {
  DeviceMetrics metrics;
  metrics.PageWidth = SheetPixels().width();
  metrics.PageHeight = SheetPixels().height();
  metrics.PixelsPerInchX = canvas.PixelsPerInchX;
  metrics.PixelsPerInchY = canvas.PixelsPerInchY;
  const GridLines lines = ComputeGridLines(metrics, options_.Measure);
  // A pen one printer pixel wide is an eighth of a screen pixel at 100 %,
  // which leaves the grid all but invisible: the lines are drawn at least
  // one screen pixel wide, as the screen always showed them.
  const double screenPerPrinter =
      metrics.PageWidth > 0 ? double(boxSize.width()) / double(metrics.PageWidth) : 1.0;
  QPen pen(ColorFromRef(options_.GridColor));
  pen.setCosmetic(true);
  pen.setWidth(std::max(1, int(std::lround(options_.GridWidth * screenPerPrinter))));
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(pen);
  for (int x : lines.X) painter.drawLine(x, 0, x, metrics.PageHeight);
  for (int y : lines.Y) painter.drawLine(0, y, metrics.PageWidth, y);
  painter.restore();
  gridLinesDrawn_ = int(lines.X.size());
}

QImage PreviewWindow::RenderBox(int box) {
  QWidget *paintBox = box == 1 ? firstPageBox : secondPageBox;
  QImage image(paintBox->size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  PaintBox(box, painter, image.size());
  return image;
}

void PreviewWindow::RepaintBoxes() {
  if (!isVisible()) return;
  firstPageBox->repaint();
  if (secondPagePanel->isVisible()) secondPageBox->repaint();
}

void PreviewWindow::PaginatePage(int p) {
  if (p == 0 || !info_) return;
  SetStatus(2, QStringLiteral("Paginating Page %1").arg(p));
  PageCanvas canvas(printer_);
  canvas.SetMeasureMode();
  info_->PageNumber = p;
  RequirePageEvent();
  events_.OnPrintPage(*info_, canvas);
  if (info_->LastPage && FinalPage == -1) FinalPage = info_->PageNumber;
  if (p > HighestPage) HighestPage = p;
  SetStatus(2, QString());
}

void PreviewWindow::GoToPage(int t) {
  BusyCursor busy;
  if (t == -1) {
    // A handler that answers a page past its end with an earlier page
    // without reporting the last one must not hang the window.
    for (int p = std::max(1, HighestPage + 1); FinalPage == -1; ++p) {
      PaginatePage(p);
      if (FinalPage == -1 && info_ && info_->PageNumber < p) break;
    }
    if (FinalPage != -1) CurrentPage = FinalPage;
  } else if (t <= HighestPage + 1) {
    CurrentPage = t;
  } else {
    for (int p = HighestPage + 1; p <= t - 1 && FinalPage == -1; ++p) PaginatePage(p);
    CurrentPage = t;
  }
  if (FinalPage != -1 && FinalPage < CurrentPage) CurrentPage = FinalPage;
  if (CurrentPage < 1) CurrentPage = 1;
}

void PreviewWindow::SetZoom(float z) {
  Zoom = z;
  SetStatus(1, QStringLiteral("Zoom = %1%").arg(double(z) * 100.0, 0, 'f', 0));
  ZoomInBut->setEnabled(z * 1.001f < options_.MaxZoom);
  ZoomOutBut->setEnabled(z > options_.MinZoom * 1.001f);

  // The box has the sheet's proportions, so that the printer pixels of the
  // whole sheet map onto it without stretching the text.
  DeviceMetrics metrics = printer_.metrics();
  metrics.PageWidth = SheetPixels().width();
  metrics.PageHeight = SheetPixels().height();
  const float aspect = SheetAspect();
  const int width = int(std::lround(BaseHeight * z * aspect));
  const int height = int(std::lround(BaseHeight * z));
  PagePanel->resize(std::max(width, 1), std::max(height, 1));

  const QSize box =
      pageScroll->size() - QSize(2 * pageScroll->frameWidth(), 2 * pageScroll->frameWidth());
  int containWidth, containHeight, left, top;
  if (width + 6 < box.width() - 1) {
    containWidth = box.width() - 1;
    pageScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    left = containWidth / 2 - width / 2;
  } else {
    containWidth = width + 6;
    pageScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    left = 3;
  }
  if (height + 6 < box.height() - 1) {
    containHeight = box.height() - 1;
    pageScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    top = containHeight / 2 - height / 2;
  } else {
    containHeight = height + 6;
    pageScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    top = 3;
  }
  ContainPanel->resize(containWidth, containHeight);
  PagePanel->move(left, top);
}

float PreviewWindow::SheetAspect() const {
  DeviceMetrics metrics = printer_.metrics();
  metrics.PageWidth = SheetPixels().width();
  metrics.PageHeight = SheetPixels().height();
  if (metrics.PageHeight <= 0 || metrics.PixelsPerInchX <= 0) return 0.75f;
  return float(metrics.PageWidth) / float(metrics.PageHeight) *
         (float(metrics.PixelsPerInchY) / float(metrics.PixelsPerInchX));
}

// The last step lands on the largest zoom itself: steps of 1.5 from 100 %
// end at 338 %, short of the 400 % the window offers.
void PreviewWindow::ZoomIn() {
  constexpr float kSlack = 1.001f;
  if (Zoom * kSlack >= options_.MaxZoom) return;
  SetZoom(std::min(Zoom * options_.ZoomFactor, options_.MaxZoom));
}

void PreviewWindow::ZoomOut() {
  constexpr float kSlack = 1.001f;
  if (Zoom <= options_.MinZoom * kSlack) return;
  SetZoom(std::max(Zoom / options_.ZoomFactor, options_.MinZoom));
}

float PreviewWindow::FitWidthZoom() const {
  const int view =
      pageScroll->viewport()->width() - 8 - pageScroll->verticalScrollBar()->sizeHint().width();
  const float aspect = SheetAspect();
  if (BaseHeight <= 0 || aspect <= 0) return 1.0f;
  return std::clamp(float(view) / (float(BaseHeight) * aspect), options_.MinZoom, options_.MaxZoom);
}

void PreviewWindow::FitWidth() {
  if (!SinglePageMode) SinglePageBtnClick();
  SetZoom(FitWidthZoom());
  RepaintBoxes();
}

void PreviewWindow::FitPage() {
  if (!SinglePageMode) SinglePageBtnClick();
  SetZoom(1.0f);
  RepaintBoxes();
}

void PreviewWindow::ScrollByKey(int key) {
  QScrollBar *bar = key == Qt::Key_Left || key == Qt::Key_Right ? pageScroll->horizontalScrollBar()
                                                                : pageScroll->verticalScrollBar();
  const bool forward = key == Qt::Key_Right || key == Qt::Key_Down;
  // A tenth of the view per key, as a text view scrolls a few lines.
  const int step = std::max(bar->singleStep(), bar->pageStep() / 10);
  bar->setValue(bar->value() + (forward ? step : -step));
}

void PreviewWindow::PageBoxMouseDown(Qt::MouseButtons buttons, const QPoint &at) {
  if (!SinglePageMode || PagePanel->width() <= 0 || PagePanel->height() <= 0) return;
  const float fx = float(at.x()) / float(PagePanel->width());
  const float fy = float(at.y()) / float(PagePanel->height());
  if (buttons & Qt::LeftButton) ZoomIn();
  if (buttons & Qt::RightButton) ZoomOut();
  const QSize view = pageScroll->size();
  pageScroll->horizontalScrollBar()->setValue(int(PagePanel->width() * fx) - view.width() / 2);
  pageScroll->verticalScrollBar()->setValue(int(PagePanel->height() * fy) - view.height() / 2);
  RepaintBoxes();
}

void PreviewWindow::ShowNextPage() {
  CurrentPage += 1;
  RepaintBoxes();
}

void PreviewWindow::ShowPriorPage() {
  if (CurrentPage > 1) CurrentPage -= 1;
  RepaintBoxes();
}

void PreviewWindow::ShowFirstPage() {
  CurrentPage = 1;
  RepaintBoxes();
}

void PreviewWindow::ShowLastPage() {
  GoToPage(-1);
  RepaintBoxes();
}

void PreviewWindow::NextBtnClick() {
  if (CurrentPage != FinalPage) ShowNextPage();
}

void PreviewWindow::PriorBtnClick() {
  if (CurrentPage != 1) ShowPriorPage();
}

void PreviewWindow::GoToPageDialog() {
  PageNumberDialog dialog(this);
  dialog.SetPage(CurrentPage);
  if (dialog.exec() != QDialog::Accepted) return;
  GoToPage(dialog.Page());
  RepaintBoxes();
}

void PreviewWindow::SinglePageBtnClick() {
  SinglePageMode = true;
  TwoPageBtn->setEnabled(true);
  SinglePageBtn->setEnabled(false);
  secondPagePanel->hide();
  SetZoom(1.0f);
  firstPageBox->setEnabled(true);
  firstPageBox->setCursor(ZoomCursor());
  RepaintBoxes();
}

void PreviewWindow::LayoutTwoPages() {
  SetZoom(1.0f);
  const QSize box =
      pageScroll->size() - QSize(2 * pageScroll->frameWidth(), 2 * pageScroll->frameWidth());
  // Both sheets side by side must fit the view, also in a narrow window.
  int width = PagePanel->width();
  int height = PagePanel->height();
  if (2 * width + 4 + 6 > box.width() && width > 0) {
    const int fitted = std::max(1, (box.width() - 4 - 6) / 2);
    height = int(std::lround(double(height) * fitted / width));
    width = fitted;
    PagePanel->resize(width, height);
    PagePanel->move(PagePanel->x(), std::max(3, (box.height() - 1) / 2 - height / 2));
  }
  secondPagePanel->resize(width, height);
  // The status bar gives the zoom the sheets are shown at, also when they
  // had to shrink to fit side by side.
  if (BaseHeight > 0)
    SetStatus(1, QStringLiteral("Zoom = %1%").arg(double(height) * 100.0 / BaseHeight, 0, 'f', 0));
  const int left = std::max(3, box.width() / 2 - (2 * width + 4) / 2);
  PagePanel->move(left, PagePanel->y());
  secondPagePanel->move(left + width + 4, PagePanel->y());
  pageScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  pageScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ContainPanel->resize(box.width() - 1, box.height() - 1);
}

void PreviewWindow::TwoPageBtnClick() {
  SinglePageMode = false;
  TwoPageBtn->setEnabled(false);
  SinglePageBtn->setEnabled(true);
  secondPagePanel->show();
  LayoutTwoPages();
  ZoomInBut->setEnabled(false);
  ZoomOutBut->setEnabled(false);
  firstPageBox->setEnabled(false);
  firstPageBox->unsetCursor();
  RepaintBoxes();
}

void PreviewWindow::GridBtnClick() {
  GridVisible = !GridVisible;
  RepaintBoxes();
}

void PreviewWindow::IndexBtnClick() {
  const int remembered = CurrentPage;
  GoToPage(-1);
  RepaintBoxes();
  IndexRequested = true;
  IndexBtn->setEnabled(false);
  GoToPage(remembered);
  RepaintBoxes();
}

void PreviewWindow::PrintBtnClick() {
  PrintRequested = true;
  close();
}

void PreviewWindow::HelpBtnClick() {
  auto *help = new QDialog(this);
  help->setAttribute(Qt::WA_DeleteOnClose);
  help->setWindowTitle(QStringLiteral("Scrivane Help"));
  auto *browser = new QTextBrowser(help);
  browser->setSource(QUrl(QStringLiteral("qrc:/help/1009.html")));
  auto *layout = new QVBoxLayout(help);
  layout->addWidget(browser);
  help->resize(480, 400);
  help->show();
}

void PreviewWindow::ApplyLayout() {
  const int clientHeight = pageScroll->height() - 2 * pageScroll->frameWidth();
  BaseHeight = std::max(0, clientHeight - 8);
  if (SinglePageMode)
    SetZoom(Zoom);
  else
    LayoutTwoPages();
}

void PreviewWindow::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!shownOnce_) {
    shownOnce_ = true;
    SinglePageMode = true;
    GridVisible = false;
    PagePanel->move(3, 3);
    SinglePageBtn->setEnabled(true);
    TwoPageBtn->setEnabled(true);
    firstPageBox->setCursor(ZoomCursor());
  }
  ApplyLayout();
  IndexBtn->setEnabled(options_.IndexAvailable && !IndexRequested);
}

void PreviewWindow::resizeEvent(QResizeEvent *event) {
  QDialog::resizeEvent(event);
  if (shownOnce_) ApplyLayout();
}

void PreviewWindow::changeEvent(QEvent *event) {
  QDialog::changeEvent(event);
  // Once used, the Index button stays off: coming back from the go-to
  // dialog must not offer it again.
  if (event->type() == QEvent::ActivationChange && isActiveWindow())
    IndexBtn->setEnabled(options_.IndexAvailable && !IndexRequested);
}

bool PreviewWindow::event(QEvent *event) {
  if (event->type() == QEvent::StatusTip) {
    SetStatus(2, static_cast<QStatusTipEvent *>(event)->tip());
    return true;
  }
  return QDialog::event(event);
}

void PreviewWindow::keyPressEvent(QKeyEvent *event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  Guarded([&] {
    switch (event->key()) {
      // PgUp goes back towards the first page and PgDn on, as in every
      // document viewer.
      case Qt::Key_PageUp:
        if (CurrentPage != 1) ShowPriorPage();
        break;
      case Qt::Key_PageDown:
        if (CurrentPage != FinalPage) ShowNextPage();
        break;
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Up:
      case Qt::Key_Down:
        ScrollByKey(event->key());
        break;
      case Qt::Key_W:
        if (!ctrl) FitWidth();
        break;
      case Qt::Key_Z:
        if (!ctrl) FitPage();
        break;
      case Qt::Key_End:
        ShowLastPage();
        break;
      case Qt::Key_Home:
        ShowFirstPage();
        break;
      case Qt::Key_Plus:
      case Qt::Key_Equal:
        if (ctrl && SinglePageMode) {
          ZoomIn();
          RepaintBoxes();
        }
        break;
      case Qt::Key_Minus:
        if (ctrl && SinglePageMode) {
          ZoomOut();
          RepaintBoxes();
        }
        break;
      case Qt::Key_P:
        if (ctrl) PrintBtnClick();
        break;
      case Qt::Key_F1:
        HelpBtnClick();
        break;
      default:
        break;
    }
  });
  if (event->key() == Qt::Key_Escape) {
    close();
    return;
  }
  QDialog::keyPressEvent(event);
}

PreviewResult RunPreview(QWidget *parent, PageDevice &printer, const PrintEvents &events,
                         const PreviewOptions &options) {
  if (!events.OnBeginPrint) throw PrintException(kBeginPrintNotAssigned);
  PreviewWindow form(parent, printer, events, options);
  form.BeginRun();
  if (RunHook()) {
    form.show();
    RunHook()(form);
    form.hide();
  } else {
    form.exec();
  }
  form.EndRun();
  PreviewResult result;
  result.PrintRequested = form.PrintRequested;
  result.IndexRequested = form.IndexRequested;
  return result;
}

}  // namespace scrivane
