#include "print/PdfObjectWriter.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace scrivane {

// Each formats into a small buffer and appends once: appending digit by
// digit checked the string's room for every character of every glyph.
char *PutNumber(char *out, double value) {
  long long thousandths = RoundHalfAway(value * 1000.0);
  if (thousandths < 0) {
    *out++ = '-';
    thousandths = -thousandths;
  }
  // Most numbers of a page are below a thousand: their digits by hand.
  if (const long long whole = thousandths / 1000; whole >= 0 && whole < 1000) {
    const int w = int(whole);
    if (w >= 100) *out++ = char('0' + w / 100);
    if (w >= 10) *out++ = char('0' + w / 10 % 10);
    *out++ = char('0' + w % 10);
  } else {
    out = std::to_chars(out, out + 20, whole).ptr;
  }
  if (const int fraction = int(thousandths % 1000); fraction != 0) {
    *out++ = '.';
    *out++ = char('0' + fraction / 100);
    if (fraction % 100 != 0) {
      *out++ = char('0' + fraction / 10 % 10);
      if (fraction % 10 != 0) *out++ = char('0' + fraction % 10);
    }
  }
  return out;
}

void AppendNumber(std::string &out, double value) {
  char buffer[kNumberRoom];
  out.append(buffer, size_t(PutNumber(buffer, value) - buffer));
}

void AppendInt(std::string &out, long long value) {
  // Mostly a font's number, a digit or two.
  if (value >= 0 && value < 10) {
    out += char('0' + value);
    return;
  }
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, size_t(end - buffer));
}

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}

void AppendHex4(std::string &out, unsigned value) {
  const char digits[4] = {kHex[(value >> 12) & 0xF], kHex[(value >> 8) & 0xF],
                          kHex[(value >> 4) & 0xF], kHex[value & 0xF]};
  out.append(digits, 4);
}

void AppendHex2(std::string &out, unsigned value) {
  const char digits[2] = {kHex[(value >> 4) & 0xF], kHex[value & 0xF]};
  out.append(digits, 2);
}

void AppendUtf16Hex(std::string &out, QStringView text) {
  for (QChar c : text) AppendHex4(out, c.unicode());
}

std::string PdfNumber(double value) {
  std::string out;
  AppendNumber(out, value);
  return out;
}

std::string &PdfDictionary::key(std::string_view key) {
  body_ += " /";
  body_ += key;
  body_ += ' ';
  return body_;
}

PdfDictionary &PdfDictionary::name(std::string_view k, std::string_view value) {
  key(k) += '/';
  body_ += value;
  return *this;
}

PdfDictionary &PdfDictionary::integer(std::string_view k, long long value) {
  key(k) += std::to_string(value);
  return *this;
}

PdfDictionary &PdfDictionary::number(std::string_view k, double value) {
  AppendNumber(key(k), value);
  return *this;
}

PdfDictionary &PdfDictionary::reference(std::string_view k, int object) {
  key(k) += std::to_string(object) + " 0 R";
  return *this;
}

PdfDictionary &PdfDictionary::text(std::string_view k, QStringView value) {
  key(k) += "<FEFF";
  AppendUtf16Hex(body_, value);
  body_ += '>';
  return *this;
}

PdfDictionary &PdfDictionary::raw(std::string_view k, std::string_view value) {
  key(k) += value;
  return *this;
}

namespace {

std::atomic<int> workersOverride{-1};

// One compressor per level and thread. libdeflate compresses a whole buffer
// at once, which a page stream is: at level 1 it takes half the time zlib
// took at level 3 on a listing's pages and gives a file a fortieth smaller.
// The same level on the same data gives the same bytes on every thread.
class Deflater {
 public:
  Deflater() = default;
  Deflater(const Deflater &) = delete;
  Deflater &operator=(const Deflater &) = delete;
  ~Deflater() {
    for (libdeflate_compressor *c : compressors_)
      if (c) libdeflate_free_compressor(c);
  }
  // False when no compressor could be had (out of memory): the file is
  // then reported as not written, rather than written with an empty stream.
  bool operator()(std::string &data, int level) {
    level = std::clamp(level, 1, 12);
    libdeflate_compressor *&c = compressors_[size_t(level)];
    if (!c) c = libdeflate_alloc_compressor(level);
    if (!c) return false;
    // Into a buffer kept from stream to stream: a fresh one was zeroed
    // first, for every page.
    const size_t bound = libdeflate_zlib_compress_bound(c, data.size());
    if (buffer_.size() < bound) buffer_.resize(bound);
    const size_t size =
        libdeflate_zlib_compress(c, data.data(), data.size(), buffer_.data(), bound);
    if (size == 0) return false;  // the bound is always enough
    data.assign(buffer_.data(), size);
    return true;
  }

 private:
  std::array<libdeflate_compressor *, 13> compressors_{};
  std::vector<char> buffer_;
};

// A batch is shipped once it holds this much: a few pages of a listing.
constexpr size_t kBatchBytes = 48 * 1024;
// Batches queued or being compressed per worker: the memory a print holds
// beyond the page being drawn stays a few pages whatever the length.
constexpr int kBatchesPerWorker = 2;
constexpr size_t kWriteBytes = 1 << 17;

}  // namespace

int DefaultPdfWorkers() {
  const int forced = workersOverride.load();
  if (forced >= 0) return forced;
  if (const char *env = std::getenv("SCRIVANE_PDF_WORKERS"); env && *env)
    return std::clamp(std::atoi(env), 0, 16);
  const int cores = int(std::thread::hardware_concurrency());
  return std::clamp(cores - 1, 0, 3);
}

void SetPdfWorkers(int workers) { workersOverride.store(workers < 0 ? -1 : std::min(workers, 16)); }

// Text put in order, with the places where an object starts or a stream's
// compressed bytes go.
struct PdfObjectWriter::Batch {
  struct Mark {
    size_t at;   // in text
    int object;  // starts here; 0: a stream
    size_t stream;
  };
  struct Stream {
    std::string data;  // compressed in place
    int level;
    std::string extra;
  };
  std::string text;
  std::vector<Mark> marks;
  std::vector<Stream> streams;
  size_t bytes = 0;
  size_t sequence = 0;
  bool failed = false;  // a stream could not be compressed
};

// What the batches become: the output, and the offsets found on the way.
// Only the thread whose turn it is to write touches these.
struct PdfObjectWriter::Pipeline {
  QIODevice *output = nullptr;
  std::string buffer;
  quint64 position = 0;
  // The writer's own table, filled in as the objects go out: a copy of
  // it, made at the last drain, was 4 MB more at the end of a book of
  // 480,000 objects, when the cross-reference stream is made.
  std::vector<quint64> *offsets = nullptr;
  bool failed = false;

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::unique_ptr<Batch>> queue;
  size_t shipped = 0, nextToWrite = 0;
  int inFlight = 0, capacity = 0;
  bool abandoned = false, stopping = false;
  std::vector<std::thread> workers;

  void writeOut(std::string_view bytes) {
    size_t done = 0;
    while (!failed && done < bytes.size()) {
      const qint64 n =
          output ? output->write(bytes.data() + done, qint64(bytes.size() - done)) : -1;
      if (n <= 0)
        failed = true;
      else
        done += size_t(n);
    }
  }

  void flush() {
    writeOut(buffer);
    buffer.clear();
  }

  // The buffer never grows past kWriteBytes: grown by doubling it took
  // fresh memory three times over, and a large piece goes out as it is.
  void append(std::string_view bytes) {
    position += bytes.size();
    if (buffer.size() + bytes.size() > kWriteBytes) {
      flush();
      if (bytes.size() >= kWriteBytes) {
        writeOut(bytes);
        return;
      }
    }
    if (buffer.capacity() < kWriteBytes) buffer.reserve(kWriteBytes);
    buffer.append(bytes);
  }

  void compress(Batch &batch, Deflater &deflate) {
    for (Batch::Stream &stream : batch.streams)
      if (!deflate(stream.data, stream.level)) batch.failed = true;
  }

  void write(const Batch &batch) {
    if (batch.failed) failed = true;
    size_t done = 0;
    for (const Batch::Mark &mark : batch.marks) {
      append(std::string_view(batch.text).substr(done, mark.at - done));
      done = mark.at;
      if (mark.object > 0) {
        if (offsets->size() <= size_t(mark.object)) offsets->resize(size_t(mark.object) + 1, 0);
        (*offsets)[size_t(mark.object)] = position;
        continue;
      }
      const Batch::Stream &stream = batch.streams[mark.stream];
      std::string head = "<< /Length ";
      AppendInt(head, qint64(stream.data.size()));
      head += " /Filter /FlateDecode";
      head += stream.extra;
      head += " >>\nstream\n";
      append(head);
      append(stream.data);
      append("\nendstream\nendobj\n");
    }
    append(std::string_view(batch.text).substr(done));
  }

  void work() {
    Deflater deflate;
    std::unique_lock lock(mutex);
    for (;;) {
      changed.wait(lock, [&] { return abandoned || stopping || !queue.empty(); });
      if (abandoned || queue.empty()) return;
      std::unique_ptr<Batch> batch = std::move(queue.front());
      queue.pop_front();
      lock.unlock();
      compress(*batch, deflate);
      lock.lock();
      changed.wait(lock, [&] { return abandoned || nextToWrite == batch->sequence; });
      if (abandoned) return;
      // Our turn: no other thread touches the output until nextToWrite moves.
      lock.unlock();
      write(*batch);
      batch.reset();
      lock.lock();
      ++nextToWrite;
      --inFlight;
      changed.notify_all();
    }
  }
};

PdfObjectWriter::PdfObjectWriter(int workers)
    : batch_(std::make_unique<Batch>()), pipeline_(std::make_unique<Pipeline>()) {
  pipeline_->offsets = &offsets;
  pipeline_->capacity = std::max(1, workers) * kBatchesPerWorker;
  for (int i = 0; i < workers; ++i)
    pipeline_->workers.emplace_back([p = pipeline_.get()] { p->work(); });
}

PdfObjectWriter::~PdfObjectWriter() {
  {
    std::lock_guard lock(pipeline_->mutex);
    pipeline_->abandoned = true;
  }
  pipeline_->changed.notify_all();
  for (std::thread &worker : pipeline_->workers) worker.join();
}

void PdfObjectWriter::ship() {
  if (batch_->text.empty() && batch_->marks.empty()) return;
  Pipeline &p = *pipeline_;
  if (p.workers.empty()) {
    p.output = output;
    static thread_local Deflater deflate;
    p.compress(*batch_, deflate);
    p.write(*batch_);
  } else {
    std::unique_lock lock(p.mutex);
    p.changed.wait(lock, [&] { return p.inFlight < p.capacity; });
    if (p.inFlight == 0) p.output = output;  // no worker is writing
    batch_->sequence = p.shipped++;
    ++p.inFlight;
    p.queue.push_back(std::move(batch_));
    p.changed.notify_all();
  }
  batch_ = std::make_unique<Batch>();
}

void PdfObjectWriter::put(std::string_view text) {
  batch_->text.append(text);
  batch_->bytes += text.size();
  if (batch_->bytes >= kBatchBytes) ship();
}

void PdfObjectWriter::drain() {
  ship();
  Pipeline &p = *pipeline_;
  {
    std::unique_lock lock(p.mutex);
    p.changed.wait(lock, [&] { return p.inFlight == 0; });
  }
  p.output = output;
  p.flush();
  writeFailed = p.failed;
  written = p.position;
  offsets.resize(objects_, 0);
}

int PdfObjectWriter::newObject() { return int(objects_++); }

void PdfObjectWriter::beginObject(int object) {
  batch_->marks.push_back({batch_->text.size(), object, 0});
  std::string head;
  AppendInt(head, object);
  head += " 0 obj\n";
  put(head);
}

void PdfObjectWriter::putObject(int object, std::string_view body) {
  beginObject(object);
  put(body);
  put("\nendobj\n");
}

void PdfObjectWriter::putStream(int object, std::string data, int level, std::string_view extra) {
  beginObject(object);
  Batch &batch = *batch_;
  batch.marks.push_back({batch.text.size(), 0, batch.streams.size()});
  batch.bytes += data.size();
  batch.streams.push_back({std::move(data), level, std::string(extra)});
  if (batch.bytes >= kBatchBytes) ship();
}

namespace {

// Objects a stream packs. A viewer that looks one up inflates its whole
// stream: 500 links are about 40 KB of text. pasresolver.pp's book with
// its 16,504 links took 22 KB more at 200 a stream, 8 KB less at 1,000.
constexpr size_t kPackedPerStream = 500;

// Big-endian, in `width` bytes.
void AppendBytes(std::string &out, unsigned long long value, int width) {
  for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) out += char((value >> shift) & 0xFF);
}

int BytesFor(unsigned long long value) {
  int width = 1;
  while (width < 8 && value >> (8 * width) != 0) ++width;
  return width;
}

}  // namespace

void PdfObjectWriter::putPacked(int object, std::string_view body) {
  if (packedIn_.size() < objects_) packedIn_.resize(objects_);
  AppendInt(packedNumbers_, object);
  packedNumbers_ += ' ';
  AppendInt(packedNumbers_, qint64(packedBodies_.size()));
  packedNumbers_ += ' ';
  packedBodies_.append(body);
  packedBodies_ += '\n';
  packedObjects_.push_back(object);
  if (packedObjects_.size() >= kPackedPerStream) flushPacked();
}

void PdfObjectWriter::flushPacked() {
  if (packedObjects_.empty()) return;
  const int stream = newObject();
  packedIn_.resize(objects_);
  for (size_t i = 0; i < packedObjects_.size(); ++i)
    packedIn_[size_t(packedObjects_[i])] = {quint32(stream), quint32(i)};
  std::string extra = " /Type /ObjStm /N ";
  AppendInt(extra, qint64(packedObjects_.size()));
  extra += " /First ";
  AppendInt(extra, qint64(packedNumbers_.size()));
  std::string data = std::move(packedNumbers_);
  data += packedBodies_;
  putStream(stream, std::move(data), kPackedCompression, extra);
  packedNumbers_.clear();
  packedBodies_.clear();
  packedObjects_.clear();
}

void PdfObjectWriter::finishCrossReference(std::string_view trailerFields) {
  flushPacked();
  const int self = newObject();
  drain();
  // Read from here on: once the stream is put, a worker may write its
  // offset too.
  const quint64 start = written;
  offsets[size_t(self)] = start;
  packedIn_.resize(offsets.size());
  // Type 1: an object at an offset; type 2: the index-th object of an
  // object stream; object 0 heads the list of free ones.
  unsigned long long largest = 0;
  for (size_t i = 0; i < offsets.size(); ++i)
    largest = std::max<unsigned long long>(
        largest, packedIn_[i].stream != 0 ? packedIn_[i].stream : offsets[i]);
  const int middle = BytesFor(largest);
  const int row = 1 + middle + 2;
  // Each row as the difference from the one above (PNG's "Up"): the
  // offsets' high bytes and the repeated stream numbers become zeros.
  std::string rows;
  rows.reserve(offsets.size() * size_t(row + 1));
  std::string previous(size_t(row), '\0'), current;
  for (size_t i = 0; i < offsets.size(); ++i) {
    current.clear();
    if (i == 0) {
      AppendBytes(current, 0, 1);
      AppendBytes(current, 0, middle);
      AppendBytes(current, 0xFFFF, 2);
    } else if (packedIn_[i].stream != 0) {
      AppendBytes(current, 2, 1);
      AppendBytes(current, packedIn_[i].stream, middle);
      AppendBytes(current, packedIn_[i].index, 2);
    } else {
      AppendBytes(current, 1, 1);
      AppendBytes(current, offsets[i], middle);
      AppendBytes(current, 0, 2);
    }
    rows += char(2);
    for (int k = 0; k < row; ++k) rows += char(current[size_t(k)] - previous[size_t(k)]);
    previous.swap(current);
  }
  std::string extra = " /Type /XRef /Size ";
  AppendInt(extra, qint64(offsets.size()));
  extra += " /W [1 ";
  AppendInt(extra, middle);
  extra += " 2] /DecodeParms << /Columns ";
  AppendInt(extra, row);
  extra += " /Predictor 12 >> ";
  extra += trailerFields;
  putStream(self, std::move(rows), kPackedCompression, extra);
  std::string end = "startxref\n";
  AppendInt(end, qint64(start));
  end += "\n%%EOF\n";
  put(end);
  drain();
}

}  // namespace scrivane
