// The preview window driven headless on the virtual printer.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolButton>

#include "print/PageCanvas.h"
#include "print/PageSheets.h"
#include "print/VirtualPrinter.h"
#include "print/gui/GoPageForm.h"
#include "print/gui/PreviewForm.h"

using namespace scrivane;

namespace {

// N numbered pages; page p fills a black square at (1000, 1000) to
// (2000, 2000) printer pixels and one in the unprintable strip. A page past
// the end is answered with the last page, as the listings' replay does.
struct PagedDocument {
  int pages = 3;
  std::vector<std::pair<int, CanvasMode>> runs;
  int begins = 0, ends = 0;
  std::function<void(int page, CanvasMode mode)> onRun;

  PrintEvents events() {
    PrintEvents e;
    e.OnBeginPrint = [this](PageInfoPtr &info) {
      ++begins;
      info = std::make_unique<PageInfo>();
      info->Title = QStringLiteral("doc");
    };
    e.OnPrintPage = [this](PageInfo &info, PageCanvas &canvas) {
      if (info.PageNumber > pages) info.PageNumber = pages;
      runs.emplace_back(info.PageNumber, canvas.Mode);
      if (onRun) onRun(info.PageNumber, canvas.Mode);
      canvas.Brush.color = 0;
      canvas.Rectangle(1000, 1000, 2000, 2000);
      canvas.Rectangle(0, 3000, 60, 3100);  // left strip: clipped away
      info.LastPage = info.PageNumber >= pages;
    };
    e.OnEndPrint = [this](PageInfoPtr &info) {
      ++ends;
      info.reset();
    };
    return e;
  }
  std::vector<int> runsIn(CanvasMode mode) const {
    std::vector<int> out;
    for (auto &[page, m] : runs)
      if (m == mode) out.push_back(page);
    return out;
  }
};

struct Preview {
  VirtualPrinter printer;
  PagedDocument doc;
  std::unique_ptr<PreviewWindow> form;

  explicit Preview(int pages, PreviewOptions options = {}) {
    doc.pages = pages;
    form = std::make_unique<PreviewWindow>(nullptr, printer, doc.events(), options);
    form->BeginRun();
    form->show();
    QApplication::processEvents();
  }
  ~Preview() {
    form->hide();
    form->EndRun();
  }
};

bool AllWhite(const QImage &image) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixel(x, y) != qRgb(255, 255, 255)) return false;
  return true;
}

}  // namespace

TEST(PreviewForm, OpensOnTheJobsPageAfterPaginatingThePagesBeforeIt) {
  PreviewOptions options;
  options.CurrentPage = 5;
  Preview preview(9, options);
  EXPECT_EQ(preview.doc.runsIn(CanvasMode::Measure), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(preview.form->CurrentPage, 5);
  EXPECT_EQ(preview.form->StatusText(1), QStringLiteral("Zoom = 100%"));
  preview.form->RenderBox(1);
  EXPECT_EQ(preview.form->StatusText(0), QStringLiteral(" Page 5 of at least 6"));
  EXPECT_EQ(preview.doc.runsIn(CanvasMode::Display).back(), 5);
}

TEST(PreviewForm, GoToPagePastTheEndStopsAtTheLastPage) {
  Preview preview(3);
  preview.doc.runs.clear();
  QStringList seen;
  preview.doc.onRun = [&](int, CanvasMode mode) {
    if (mode == CanvasMode::Measure) seen << preview.form->StatusText(2);
  };
  preview.form->GoToPage(999);
  EXPECT_EQ(seen, QStringList({"Paginating Page 2", "Paginating Page 3"}));
  EXPECT_EQ(preview.form->CurrentPage, 3);
  EXPECT_EQ(preview.form->FinalPage, 3);
  // Page 1 was painted when the window showed; only the pages after it run.
  EXPECT_EQ(preview.doc.runsIn(CanvasMode::Measure), (std::vector<int>{2, 3}));
  EXPECT_TRUE(preview.form->StatusText(2).isEmpty());
}

TEST(PreviewForm, LastPageDisablesForwardNavigation) {
  Preview preview(4);
  preview.form->ShowLastPage();
  preview.form->RenderBox(1);
  EXPECT_EQ(preview.form->CurrentPage, 4);
  EXPECT_EQ(preview.form->StatusText(0), QStringLiteral(" Page 4 of 4"));
  EXPECT_FALSE(preview.form->NextBtn->isEnabled());
  EXPECT_FALSE(preview.form->NextItem->isEnabled());
  EXPECT_FALSE(preview.form->LastItem->isEnabled());
  EXPECT_TRUE(preview.form->PriorBtn->isEnabled());

  // Page Down goes forward, except on the last page; Page Up goes back.
  QKeyEvent pageDown(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
  QApplication::sendEvent(preview.form.get(), &pageDown);
  EXPECT_EQ(preview.form->CurrentPage, 4);
  QKeyEvent pageUp(QEvent::KeyPress, Qt::Key_PageUp, Qt::NoModifier);
  QApplication::sendEvent(preview.form.get(), &pageUp);
  EXPECT_EQ(preview.form->CurrentPage, 3);
  QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
  QApplication::sendEvent(preview.form.get(), &home);
  EXPECT_EQ(preview.form->CurrentPage, 1);
  preview.form->RenderBox(1);
  EXPECT_FALSE(preview.form->PriorBtn->isEnabled());
  EXPECT_TRUE(preview.form->NextBtn->isEnabled());
}

TEST(PreviewForm, ZoomStepsStopAtTheLimits) {
  PreviewOptions options;  // 100 % to 400 %, step factor 1.5
  Preview preview(2, options);
  struct Row {
    bool in;
    float zoom;
    const char *text;
    bool inEnabled, outEnabled;
  };
  const Row rows[] = {
      {false, 1.0f, "Zoom = 100%", true, false},       {true, 1.5f, "Zoom = 150%", true, true},
      {true, 2.25f, "Zoom = 225%", true, true},        {true, 3.375f, "Zoom = 338%", true, true},
      {true, 4.0f, "Zoom = 400%", false, true},        {true, 4.0f, "Zoom = 400%", false, true},
      {false, 4.0f / 1.5f, "Zoom = 267%", true, true},
  };
  for (const Row &row : rows) {
    if (row.in)
      preview.form->ZoomIn();
    else
      preview.form->ZoomOut();
    EXPECT_FLOAT_EQ(preview.form->Zoom, row.zoom) << row.text;
    EXPECT_EQ(preview.form->StatusText(1), QString::fromLatin1(row.text));
    EXPECT_EQ(preview.form->ZoomInBut->isEnabled(), row.inEnabled) << row.text;
    EXPECT_EQ(preview.form->ZoomOutBut->isEnabled(), row.outEnabled) << row.text;
  }
  // The page box grows with the zoom.
  EXPECT_NEAR(preview.form->PagePanel->height(), preview.form->BaseHeight * 4.0f / 1.5f, 1.0);
}

TEST(PreviewForm, LeftClickZoomsInAndRightClickOut) {
  Preview preview(1);
  const QPoint middle(preview.form->firstPageBox->width() / 2,
                      preview.form->firstPageBox->height() / 2);
  preview.form->PageBoxMouseDown(Qt::LeftButton, middle);
  EXPECT_FLOAT_EQ(preview.form->Zoom, 1.5f);
  preview.form->PageBoxMouseDown(Qt::RightButton, middle);
  EXPECT_FLOAT_EQ(preview.form->Zoom, 1.0f);
  preview.form->TwoPageBtnClick();  // clicks do not zoom with two pages
  preview.form->PageBoxMouseDown(Qt::LeftButton, middle);
  EXPECT_FLOAT_EQ(preview.form->Zoom, 1.0f);
}

TEST(PreviewForm, TwoPagesWithTheLastPageOnTheLeftLeaveTheRightBoxWhite) {
  Preview preview(3);
  preview.form->TwoPageBtnClick();
  EXPECT_FALSE(preview.form->TwoPageBtn->isEnabled());
  EXPECT_TRUE(preview.form->secondPagePanel->isVisible());
  EXPECT_EQ(preview.form->secondPagePanel->size(), preview.form->PagePanel->size());
  // Both sheets lie inside the view, side by side.
  EXPECT_GE(preview.form->PagePanel->x(), 0);
  EXPECT_LE(preview.form->secondPagePanel->geometry().right(),
            preview.form->pageScroll->viewport()->width());

  preview.form->GoToPage(2);
  EXPECT_FALSE(AllWhite(preview.form->RenderBox(2)));
  EXPECT_EQ(preview.form->StatusText(0), QStringLiteral(" Pages 2-3 of 3"));

  preview.form->ShowLastPage();
  EXPECT_EQ(preview.form->CurrentPage, 3);
  EXPECT_FALSE(AllWhite(preview.form->RenderBox(1)));
  EXPECT_TRUE(AllWhite(preview.form->RenderBox(2)));
}

TEST(PreviewForm, RightBoxNeverRepeatsTheLastPageBeforeTheEndIsKnown) {
  Preview preview(3);
  preview.form->TwoPageBtnClick();
  preview.form->CurrentPage = 3;  // the end is not known yet
  ASSERT_EQ(preview.form->FinalPage, -1);
  EXPECT_TRUE(AllWhite(preview.form->RenderBox(2)));
  EXPECT_EQ(preview.form->FinalPage, 3);
}

TEST(PreviewForm, PaintsAtThePrintersPositionsAndClipsTheUnprintableStrips) {
  Preview preview(1);
  const QImage image = preview.form->RenderBox(1);
  const DeviceMetrics m = preview.printer.metrics();
  auto toBox = [&](int x, int y) {
    return QPoint(int(double(x) * image.width() / m.PageWidth),
                  int(double(y) * image.height() / m.PageHeight));
  };
  EXPECT_EQ(image.pixel(toBox(1500, 1500)), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(toBox(900, 1500)), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(toBox(2100, 1500)), qRgb(255, 255, 255));
  // The square in the left strip (x 0..60, inside OffsetX = 100) is not shown.
  for (int y = toBox(0, 3010).y(); y <= toBox(0, 3090).y(); ++y)
    EXPECT_EQ(image.pixel(0, y), qRgb(255, 255, 255));
}

TEST(PreviewForm, GridLinesInInchesAndCentimetres) {
  struct Row {
    int width, height, measure;
    size_t xLines, yLines;
    int firstX;
  };
  const Row rows[] = {
      {5100, 6600, 0, 8, 11, 600},   // Letter, inches
      {5100, 6600, 1, 21, 28, 236},  // Letter, centimetres: trunc(8 x 2.54) + 1
      {4958, 7017, 0, 8, 11, 600},   // A4
      {4958, 7017, 1, 21, 28, 236}, {300, 300, 0, 0, 0, 0},  // less than an inch: no lines
  };
  for (const Row &row : rows) {
    DeviceMetrics m;
    m.PageWidth = row.width;
    m.PageHeight = row.height;
    const GridLines lines = ComputeGridLines(m, row.measure);
    EXPECT_EQ(lines.X.size(), row.xLines) << row.width << " " << row.measure;
    EXPECT_EQ(lines.Y.size(), row.yLines) << row.height << " " << row.measure;
    if (!lines.X.empty()) {
      EXPECT_EQ(lines.X.front(), row.firstX);
    }
  }
}

TEST(PreviewForm, GridButtonDrawsTheGridInTheChosenUnit) {
  PreviewOptions options;
  options.Measure = 1;
  Preview preview(1, options);
  const QImage plain = preview.form->RenderBox(1);
  preview.form->GridBtnClick();
  const QImage gridded = preview.form->RenderBox(1);
  EXPECT_EQ(preview.form->GridLinesDrawn(), 21);  // 8.5-inch sheet
  EXPECT_NE(plain, gridded);
}

TEST(PreviewForm, GridLinesAreAtLeastOneScreenPixelWideAtFullPage) {
  Preview preview(1);
  preview.form->GridBtnClick();
  const QImage image = preview.form->RenderBox(1);
  // The first vertical line lies one inch in; its screen column must show
  // the grid colour down the sheet, not a faint trace of it.
  const int lineX = int(600.0 * image.width() / 5100.0);
  int gridPixels = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = std::max(0, lineX - 1); x <= std::min(image.width() - 1, lineX + 1); ++x)
      if (image.pixel(x, y) == qRgb(0xC0, 0xC0, 0xC0)) {
        ++gridPixels;
        break;
      }
  EXPECT_GT(gridPixels, image.height() * 3 / 4);
}

TEST(PreviewForm, IndexButtonRunsEveryPageAndComesBack) {
  PreviewOptions options;
  options.IndexAvailable = true;
  Preview preview(6, options);
  EXPECT_TRUE(preview.form->IndexBtn->isEnabled());
  preview.form->GoToPage(2);
  preview.form->IndexBtnClick();
  EXPECT_TRUE(preview.form->IndexRequested);
  EXPECT_EQ(preview.form->FinalPage, 6);
  EXPECT_EQ(preview.form->CurrentPage, 2);
  EXPECT_FALSE(preview.form->IndexBtn->isEnabled());
}

TEST(PreviewForm, IndexButtonIsOffWithoutAnIndex) {
  Preview preview(2);
  EXPECT_FALSE(preview.form->IndexBtn->isEnabled());
}

TEST(PreviewForm, RunPreviewRunsTheEventsAroundTheWindowAndReportsPrint) {
  VirtualPrinter printer;
  PagedDocument doc;
  SetPreviewRunHook([](PreviewWindow &form) {
    QKeyEvent ctrlP(QEvent::KeyPress, Qt::Key_P, Qt::ControlModifier);
    QApplication::sendEvent(&form, &ctrlP);
  });
  const PreviewResult result = RunPreview(nullptr, printer, doc.events(), PreviewOptions{});
  SetPreviewRunHook(nullptr);
  EXPECT_TRUE(result.PrintRequested);
  EXPECT_FALSE(result.IndexRequested);
  EXPECT_EQ(doc.begins, 1);
  EXPECT_EQ(doc.ends, 1);
}

TEST(PreviewForm, MissingEventsRaiseTheirMessages) {
  VirtualPrinter printer;
  PagedDocument doc;
  struct Row {
    int missing;  // 0 begin, 1 page, 2 end
    const char *message;
  };
  const Row rows[] = {{0, "Begin Print Function Not Assigned!"},
                      {1, "Print Page Function Not Assigned!"},
                      {2, "End Print Function Not Assigned!"}};
  SetPreviewRunHook([](PreviewWindow &) {});
  for (const Row &row : rows) {
    PrintEvents events = doc.events();
    if (row.missing == 0) events.OnBeginPrint = nullptr;
    if (row.missing == 1) events.OnPrintPage = nullptr;
    if (row.missing == 2) events.OnEndPrint = nullptr;
    PreviewOptions options;
    options.CurrentPage = 2;  // page 1 is paginated before the window shows
    try {
      RunPreview(nullptr, printer, events, options);
      ADD_FAILURE() << "no exception for " << row.message;
    } catch (const std::exception &error) {
      EXPECT_STREQ(error.what(), row.message);
    }
  }
  SetPreviewRunHook(nullptr);
}

TEST(PreviewForm, GotoPageDialogTakesPagesPast999) {
  Preview preview(3);
  QTimer::singleShot(0, [] {
    auto *dialog = qobject_cast<PageNumberDialog *>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Go to Page Number"));
    EXPECT_EQ(dialog->PageNum->value(), 1);  // the page shown
    dialog->SetPage(5000);
    EXPECT_EQ(dialog->Page(), 5000);
    dialog->OKBtn->click();
  });
  preview.form->GotoItem->trigger();
  EXPECT_EQ(preview.form->CurrentPage, 3);
  EXPECT_EQ(preview.form->FinalPage, 3);
}

TEST(PreviewForm, GotoPageDialogTakesATypedPageNumber) {
  Preview preview(5);
  preview.form->GoToPage(-1);
  QTimer::singleShot(0, [] {
    auto *dialog = qobject_cast<PageNumberDialog *>(QApplication::activeModalWidget());
    if (!dialog) {
      ADD_FAILURE() << "no go-to-page dialog";
      return;
    }
    // Keys go where the dialog's focus is, as they would for a user.
    QWidget *typedInto = dialog->focusWidget() ? dialog->focusWidget() : dialog;
    QKeyEvent digit(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, QStringLiteral("3"));
    QApplication::sendEvent(typedInto, &digit);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(typedInto, &enter);
    if (dialog->isVisible()) {
      ADD_FAILURE() << "Return did not answer the dialog";
      dialog->reject();
    }
  });
  preview.form->GotoItem->trigger();
  EXPECT_EQ(preview.form->CurrentPage, 3);
}

TEST(PreviewForm, KeysBeyondTheMenus) {
  Preview preview(2);
  struct Row {
    int key;
    Qt::KeyboardModifiers modifiers;
    float zoom;
    bool visible;
  };
  const Row rows[] = {
      {Qt::Key_Plus, Qt::ControlModifier, 1.5f, true},
      {Qt::Key_Equal, Qt::ControlModifier, 2.25f, true},
      {Qt::Key_Minus, Qt::ControlModifier, 1.5f, true},
      {Qt::Key_Plus, Qt::NoModifier, 1.5f, true},  // without Ctrl: nothing
      {Qt::Key_Escape, Qt::NoModifier, 1.5f, false},
  };
  for (const Row &row : rows) {
    QKeyEvent key(QEvent::KeyPress, row.key, row.modifiers);
    QApplication::sendEvent(preview.form.get(), &key);
    EXPECT_FLOAT_EQ(preview.form->Zoom, row.zoom) << row.key;
    EXPECT_EQ(preview.form->isVisible(), row.visible) << row.key;
  }
  EXPECT_FALSE(preview.form->PrintRequested);
}

TEST(PreviewForm, HintsReachTheThirdStatusPanel) {
  Preview preview(1);
  for (QWidget *control :
       {static_cast<QWidget *>(preview.form->NextBtn), preview.form->firstPageBox}) {
    QStatusTipEvent tip(control->statusTip());
    QApplication::sendEvent(control, &tip);
    EXPECT_EQ(preview.form->StatusText(2), control->statusTip());
  }
  EXPECT_EQ(preview.form->StatusText(2),
            QStringLiteral("Left or right mouse click to zoom in/out."));
}

// Two pages a sheet: the window pages through sheets as they print, each
// page's square drawn in its half of the turned sheet.
TEST(PreviewForm, TwoPagesASheetShowTheSheetsAsTheyPrint) {
  PreviewOptions options;
  options.PagesPerSheet = 2;
  Preview preview(5, options);
  EXPECT_GT(preview.form->firstPageBox->width(), preview.form->firstPageBox->height());
  const QImage image = preview.form->RenderBox(1);
  EXPECT_EQ(preview.form->StatusText(0), QStringLiteral(" Sheet 1 of at least 2"));
  // Letter turned: 6600 x 5100; each page scaled by 3300 / 5100 into its half.
  const QList<PagePlacement> places = PlacePagesOnSheet(2, QSize(5100, 6600));
  for (const PagePlacement &place : places) {
    const double x = place.x + 1500 * place.scale, y = place.y + 1500 * place.scale;
    EXPECT_EQ(image.pixel(int(x * image.width() / 6600), int(y * image.height() / 5100)),
              qRgb(0, 0, 0))
        << place.x;
  }
  preview.form->ShowLastPage();
  EXPECT_EQ(preview.form->FinalPage, 3);
  preview.form->RenderBox(1);
  EXPECT_EQ(preview.form->StatusText(0), QStringLiteral(" Sheet 3 of 3"));
}
