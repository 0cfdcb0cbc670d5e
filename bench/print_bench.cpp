// Prints a synthetic 1,000-page document (60 lines of text per page) and
// reports pagination speed (measure mode only), whole-print speed to PDF,
// and peak memory. Targets: >= 5,000 pages/s paginating, >= 200 pages/s to
// PDF, peak memory flat in the page count (under 100 MB for 1,000 pages).
#include <sys/resource.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

#include "print/PageCanvas.h"
#include "print/PdfPrintTarget.h"
#include "print/PrintRunner.h"

using namespace scrivane;

namespace {
constexpr int kLinesPerPage = 60;

// Source-like lines, each page different, words repeating as in real code.
QByteArray LineText(int page, int line) {
  static const char *words[] = {"begin",
                                "end;",
                                "if",
                                "then",
                                "Result",
                                ":=",
                                "FormatSettings.LineNo",
                                "procedure",
                                "TForm1.Button1Click(Sender:",
                                "TObject);",
                                "inc(I);",
                                "var"};
  QByteArray text;
  const int count = 4 + (page + line) % 7;
  for (int w = 0; w < count; ++w) {
    if (w) text += ' ';
    text += words[(page * 7 + line * 3 + w) % 12];
  }
  return text;
}

PrintEvents Document(int pages) {
  PrintEvents e;
  e.OnBeginPrint = [](PageInfoPtr &info) {
    info = std::make_unique<PageInfo>();
    info->Title = QStringLiteral("bench.pas");
  };
  e.OnPrintPage = [pages](PageInfo &info, PageCanvas &canvas) {
    const FontSpec base{QStringLiteral("Arial"), 10, 0, 0};
    const FontSpec reserved{QStringLiteral("Arial"), 10, StyleBold, 0};
    canvas.SetFont(base);
    const int step = canvas.TextHeight("X");
    int y = 500;
    for (int line = 0; line < kLinesPerPage; ++line) {
      const QByteArray text = LineText(info.PageNumber, line);
      int x = 600;
      // Word by word with two fonts, as the unit listing draws.
      for (const QByteArray &word : text.split(' ')) {
        canvas.SetFont(word == "begin" || word == "end;" || word == "procedure" ? reserved : base);
        canvas.TextOut(x, y, word);
        x += canvas.TextWidth(word) + canvas.TextWidth(" ");
      }
      y += step;
    }
    canvas.MoveTo(600, y);
    canvas.LineTo(4000, y);
    info.LastPage = info.PageNumber >= pages;
  };
  e.OnEndPrint = [](PageInfoPtr &info) { info.reset(); };
  return e;
}

long PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}
}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int pages = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
  const PrintEvents events = Document(pages);

  // Pagination alone: every page laid out in measure mode.
  {
    PdfDevice device;
    PageInfoPtr info;
    events.OnBeginPrint(info);
    PageCanvas canvas(device);
    canvas.SetMeasureMode();
    QElapsedTimer timer;
    timer.start();
    for (int p = 1; p <= pages; ++p) {
      info->PageNumber = p;
      events.OnPrintPage(*info, canvas);
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("pagination: %d pages in %.3f s = %.0f pages/s (target >= 5000)\n", pages, seconds,
                pages / seconds);
    events.OnEndPrint(info);
  }
  const long afterPagination = PeakMegabytes();

  // The whole print to a PDF file.
  // A second argument keeps the PDF at that path, to look at.
  const bool keep = argc > 2;
  const QString path = keep ? QString::fromLocal8Bit(argv[2])
                            : QDir::temp().filePath(QStringLiteral("scrivane-print-bench.pdf"));
  {
    PdfPrintTarget target(path);
    QElapsedTimer timer;
    timer.start();
    const PrintOutcome outcome = RunPrint(events, target, PageRange{});
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("PDF print: %d pages in %.3f s = %.0f pages/s (target >= 200), %lld KB file\n",
                outcome.PagesPrinted, seconds, outcome.PagesPrinted / seconds,
                QFileInfo(path).size() / 1024);
  }
  std::printf("peak memory: %ld MB after pagination, %ld MB after printing (target < 100 MB)\n",
              afterPagination, PeakMegabytes());
  if (!keep) QFile::remove(path);
  return 0;
}
