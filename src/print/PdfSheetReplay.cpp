#include "print/PdfSheetReplay.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "print/PdfWriter.h"
#include "print/QtTextMeasurer.h"

namespace scrivane {
namespace {

struct Text {
  int x, y;
  unsigned font;  // in Sheet::fonts
  TextEncoding encoding : 8;
  bool in;          // drawTextIn, not drawText
  size_t at, size;  // in Sheet::bytes
};
struct Line {
  int x1, y1, x2, y2;
  PenSpec pen;
};
struct Rectangle {
  QRect rect;
  PenSpec pen;
  BrushSpec brush;
};
struct Image {
  QRect target;
  QImage image;
};
struct DocumentStart {
  QString title, labelName;
  QDateTime clock;
};
struct PageNumber {
  int page;
};
struct Anchor {
  QByteArray key;
  int y;
};
struct OutlineEntry {
  QString title;
  int y;
};
struct Link {
  QRect area;
  QByteArray key;
};
// A sheet holds a command for every word drawn: the few larger ones are
// held apart, so that a command takes 40 bytes rather than 64.
using Command = std::variant<Text, Line, std::unique_ptr<Rectangle>, std::unique_ptr<Image>,
                             PagePlacement, std::unique_ptr<DocumentStart>, PageNumber, Anchor,
                             OutlineEntry, std::unique_ptr<Link>>;
static_assert(sizeof(Command) <= 40);

struct Sheet {
  std::vector<Command> commands;
  std::vector<FontSpec> fonts;
  std::string bytes;
  size_t imageBytes = 0;  // of the images drawn on it
  bool endsPage = false;
  // The memory it holds, about: what the queue of waiting sheets counts.
  size_t weight() const { return commands.size() * sizeof(Command) + bytes.size() + imageBytes; }
};

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

void Replay(const Sheet &sheet, DrawSurface &out) {
  NavigationSink *nav = out.navigation();
  for (const Command &command : sheet.commands)
    std::visit(Overloaded{
                   [&](const Text &t) {
                     const QByteArrayView text(sheet.bytes.data() + t.at, qsizetype(t.size));
                     if (t.in)
                       out.drawTextIn(t.x, t.y, sheet.fonts[t.font], text, t.encoding);
                     else
                       out.drawText(t.x, t.y, sheet.fonts[t.font], text);
                   },
                   [&](const Line &l) { out.drawLine(l.x1, l.y1, l.x2, l.y2, l.pen); },
                   [&](const std::unique_ptr<Rectangle> &r) {
                     out.drawRectangle(r->rect, r->pen, r->brush);
                   },
                   [&](const std::unique_ptr<Image> &i) { out.drawImage(i->target, i->image); },
                   [&](const PagePlacement &p) { out.placePage(p); },
                   [&](const std::unique_ptr<DocumentStart> &s) {
                     if (nav) nav->documentStart(s->title, s->labelName, s->clock);
                   },
                   [&](const PageNumber &p) {
                     if (nav) nav->pageNumber(p.page);
                   },
                   [&](const Anchor &a) {
                     if (nav) nav->anchor(a.key, a.y);
                   },
                   [&](const OutlineEntry &o) {
                     if (nav) nav->outlineEntry(o.title, o.y);
                   },
                   [&](const std::unique_ptr<Link> &l) {
                     if (nav) nav->link(l->area, l->key);
                   },
               },
               command);
}

// Finished sheets that may wait for the writing thread. With two, the
// layout and the writer took turns, each waiting for the other about a
// fifth of the time: a million-line unit took 6.5 s, against 3.7 s with
// 64. A listing's sheet holds a few tens of kilobytes, so 64 of them stay
// small; sheets with large images (forms' pictures) are held back by their
// weight instead, so that a project of many forms does not queue them all.
constexpr size_t kSheetsWaiting = 64;
// A writing thread that has caught up sleeps, and waking it takes a system
// call on this side and a switch on its own: once a page, that was 2 % of the
// layout's time. It is woken when a few sheets wait instead.
constexpr size_t kSheetsToWake = 4;
constexpr size_t kWeightWaiting = 16 * 1024 * 1024;

}  // namespace

struct PdfSheetReplay::Impl : DrawSurface, NavigationSink {
  std::unique_ptr<QtTextMeasurer> measurer;
  std::unique_ptr<PdfWriter> writer;
  bool hasNavigation = false;
  std::unique_ptr<Sheet> sheet = std::make_unique<Sheet>();
  unsigned lastFont = 0;

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Sheet>> waiting;
  size_t waitingWeight = 0;
  bool closing = false, abandoned = false, done = false;
  bool writerAsleep = false;  // waiting for sheets
  bool closed = false;
  QString closeError;
  std::thread thread;

  // --- the layout's side: recording --------------------------------------

  unsigned fontIndex(const FontSpec &font) {
    // By the face's string, not its letters: a face of the same name in
    // another string just takes an entry of its own.
    auto same = [&](const FontSpec &known) {
      return known.color == font.color && SameGlyphsSharingFace(known, font);
    };
    std::vector<FontSpec> &fonts = sheet->fonts;
    if (lastFont < fonts.size() && same(fonts[lastFont])) return lastFont;
    for (unsigned i = 0; i < fonts.size(); ++i)
      if (same(fonts[i])) return lastFont = i;
    fonts.push_back(font);
    return lastFont = unsigned(fonts.size() - 1);
  }
  void text(int x, int y, const FontSpec &font, QByteArrayView bytes, TextEncoding encoding,
            bool in) {
    const size_t at = sheet->bytes.size();
    sheet->bytes.append(bytes.data(), size_t(bytes.size()));
    // Braces, not emplace's parentheses: clang 14 builds no aggregate from
    // parentheses, and the fuzz targets are built with it.
    sheet->commands.emplace_back(
        Text{x, y, fontIndex(font), encoding, in, at, size_t(bytes.size())});
  }
  void drawText(int x, int y, const FontSpec &font, QByteArrayView bytes) override {
    text(x, y, font, bytes, TextEncoding::Windows1252, false);
  }
  void drawTextIn(int x, int y, const FontSpec &font, QByteArrayView bytes,
                  TextEncoding encoding) override {
    text(x, y, font, bytes, encoding, true);
  }
  void drawLine(int x1, int y1, int x2, int y2, const PenSpec &pen) override {
    sheet->commands.push_back(Line{x1, y1, x2, y2, pen});
  }
  void drawRectangle(const QRect &rect, const PenSpec &pen, const BrushSpec &brush) override {
    sheet->commands.push_back(std::make_unique<Rectangle>(Rectangle{rect, pen, brush}));
  }
  void drawImage(const QRect &target, const QImage &image) override {
    sheet->commands.push_back(std::make_unique<Image>(Image{target, image}));
    sheet->imageBytes += size_t(std::max<qsizetype>(image.sizeInBytes(), 0));
  }
  void placePage(const PagePlacement &placement) override { sheet->commands.push_back(placement); }
  NavigationSink *navigation() override { return hasNavigation ? this : nullptr; }
  void documentStart(const QString &title, const QString &labelName,
                     const QDateTime &clock) override {
    sheet->commands.push_back(
        std::make_unique<DocumentStart>(DocumentStart{title, labelName, clock}));
  }
  void pageNumber(int page) override { sheet->commands.push_back(PageNumber{page}); }
  void anchor(const QByteArray &key, int y) override {
    sheet->commands.emplace_back(Anchor{key, y});
  }
  void outlineEntry(const QString &title, int y) override {
    sheet->commands.emplace_back(OutlineEntry{title, y});
  }
  void link(const QRect &area, const QByteArray &key) override {
    sheet->commands.push_back(std::make_unique<Link>(Link{area, key}));
  }

  void ship(bool endsPage) {
    sheet->endsPage = endsPage;
    // The next sheet of a listing holds about as much: room for it at once,
    // rather than moving every command as its list grows.
    const size_t commands = sheet->commands.size(), bytes = sheet->bytes.size();
    const size_t weight = sheet->weight();
    bool wake = true;
    {
      std::unique_lock lock(mutex);
      // One sheet always may wait, however heavy.
      const auto room = [&] {
        return done || waiting.empty() ||
               (waiting.size() < kSheetsWaiting && waitingWeight + weight <= kWeightWaiting);
      };
      if (!room()) {
        // The sheets held back must not wait for more to come.
        changed.notify_all();
        changed.wait(lock, room);
      }
      if (!done) {
        waiting.push_back(std::move(sheet));
        waitingWeight += weight;
      }
      wake = !writerAsleep || waiting.size() >= kSheetsToWake;
    }
    if (wake) changed.notify_all();
    sheet = std::make_unique<Sheet>();
    sheet->commands.reserve(commands + commands / 8);
    sheet->bytes.reserve(bytes + bytes / 8);
    lastFont = 0;
  }

  // --- the writing thread ------------------------------------------------

  void run() {
    bool failed = false;
    for (;;) {
      std::unique_ptr<Sheet> next;
      {
        std::unique_lock lock(mutex);
        writerAsleep = true;
        changed.wait(lock, [&] { return abandoned || closing || !waiting.empty(); });
        writerAsleep = false;
        if (abandoned) break;
        if (waiting.empty()) {
          // Closing, and every sheet is drawn.
          lock.unlock();
          QString reason;
          try {
            closed = !failed && writer->close(&reason);
          } catch (const std::exception &e) {
            reason = QString::fromUtf8(e.what());
          }
          if (!closed) closeError = failed ? QStringLiteral("a page could not be drawn") : reason;
          break;
        }
        next = std::move(waiting.front());
        waiting.pop_front();
        waitingWeight -= next->weight();
      }
      changed.notify_all();
      if (failed) continue;
      try {
        Replay(*next, writer->surface());
        if (next->endsPage) writer->newPage();
      } catch (...) {
        failed = true;
      }
    }
    // The fonts were made on this thread; they end here too.
    writer.reset();
    measurer.reset();
    {
      std::lock_guard lock(mutex);
      done = true;
    }
    changed.notify_all();
  }
};

PdfSheetReplay::PdfSheetReplay(std::unique_ptr<QtTextMeasurer> measurer,
                               std::unique_ptr<PdfWriter> writer)
    : d(std::make_unique<Impl>()) {
  d->measurer = std::move(measurer);
  d->writer = std::move(writer);
  d->hasNavigation = d->writer->surface().navigation() != nullptr;
  d->thread = std::thread([impl = d.get()] { impl->run(); });
}

PdfSheetReplay::~PdfSheetReplay() {
  if (d->thread.joinable()) {
    {
      std::lock_guard lock(d->mutex);
      d->abandoned = true;
    }
    d->changed.notify_all();
    d->thread.join();
  }
}

DrawSurface &PdfSheetReplay::surface() { return *d; }

void PdfSheetReplay::newPage() { d->ship(true); }

bool PdfSheetReplay::close(QString *error) {
  if (!d->thread.joinable()) return false;
  d->ship(false);
  {
    std::lock_guard lock(d->mutex);
    d->closing = true;
  }
  d->changed.notify_all();
  d->thread.join();
  if (!d->closed && error) *error = d->closeError;
  return d->closed;
}

}  // namespace scrivane
