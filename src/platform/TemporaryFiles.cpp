#include "platform/TemporaryFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <exception>
#include <new>

namespace scrivane {
namespace {

// Seconds a temporary file must have gone unwritten, besides being
// unlocked, before it counts as left over.
constexpr std::time_t kYoungestLeftover = 2;

constexpr int kLongestName = 255;  // bytes, NAME_MAX of Linux file systems
constexpr int kNameOverhead = int(sizeof(".") - 1 + sizeof(".12345678.tmp") - 1);

// The start of `name` that fits in `bytes` bytes of UTF-8, cut at the end of
// a character.
QString CutToBytes(const QString &name, int bytes) {
  QString cut = name;
  while (QFile::encodeName(cut).size() > bytes)
    cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
  return cut;
}

QString StemFor(const QString &target) {
  const QFileInfo info(target);
  return info.absolutePath() + QStringLiteral("/.") +
         CutToBytes(info.fileName(), kLongestName - kNameOverhead);
}

// Paths for the signal handler: written before `used` is set, read only
// where it is set; no allocation in the handler.
struct Slot {
  std::atomic<bool> taken{false};  // owned by a ReplacingFile
  std::atomic<bool> used{false};   // path is complete: the handler removes it
  char path[4096] = {};
};
std::array<Slot, 16> &Slots() {
  static std::array<Slot, 16> table;
  return table;
}

void RemoveAndReraise(int signal) {
  for (Slot &slot : Slots())
    if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
  std::signal(signal, SIG_DFL);
  ::raise(signal);
}

// Written before the handler is installed, read only by it.
std::array<char, 4096> allocationMessage{};
size_t allocationMessageLength = 0;
std::terminate_handler previousTerminate = nullptr;

void ExitIfOutOfMemory() {
  bool outOfMemory = false;
  if (std::exception_ptr current = std::current_exception()) {
    try {
      std::rethrow_exception(current);
    } catch (const std::bad_alloc &) {
      outOfMemory = true;
    } catch (...) {
    }
  }
  if (outOfMemory) {
    if (allocationMessageLength > 0 &&
        ::write(STDERR_FILENO, allocationMessage.data(), allocationMessageLength) < 0) {
    }
    for (Slot &slot : Slots())
      if (slot.used.load(std::memory_order_acquire)) ::unlink(slot.path);
    ::_exit(1);
  }
  if (previousTerminate) previousTerminate();
  std::abort();
}

}  // namespace

void ExitOnAllocationFailure(const QByteArray &message) {
  const size_t length = std::min(size_t(message.size()), allocationMessage.size() - 1);
  std::memcpy(allocationMessage.data(), message.constData(), length);
  allocationMessage[length] = '\n';
  allocationMessageLength = length + 1;
  const std::terminate_handler before = std::set_terminate(ExitIfOutOfMemory);
  if (before != ExitIfOutOfMemory) previousTerminate = before;
}

QString TemporaryNameFor(const QString &target, quint32 tag) {
  return StemFor(target) + QStringLiteral(".%1.tmp").arg(tag, 8, 16, QLatin1Char('0'));
}

bool IsTemporaryName(QStringView name) {
  // ".NAME.XXXXXXXX.tmp": a dot, a name of at least one character, a dot,
  // eight lower-case hex digits, ".tmp".
  constexpr qsizetype kTail = sizeof(".12345678.tmp") - 1;
  if (name.size() < 2 + kTail || !name.startsWith(u'.') || !name.endsWith(u".tmp")) return false;
  const QStringView tag = name.sliced(name.size() - kTail);
  if (tag[0] != u'.') return false;
  for (qsizetype i = 1; i <= 8; ++i) {
    const char16_t c = tag[i].unicode();
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
  }
  return true;
}

int RemoveStaleTemporaryFiles(const QString &target) {
  const QDir folder = QFileInfo(StemFor(target)).absoluteDir();
  // Listed whole and matched here: a name is never a pattern (a "[" in an
  // output name made QDir read it as a wildcard).
  const QStringList names =
      folder.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
  int removed = 0;
  const std::time_t now = std::time(nullptr);
  for (const QString &name : names) {
    if (!IsTemporaryName(name)) continue;
    const QByteArray path = QFile::encodeName(folder.filePath(name));
    // Never follows a link; a pipe with such a name is not opened to wait.
    const int descriptor = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) continue;
    struct stat status {};
    // A writer holds its lock from a moment after it made the file: a file
    // only just made may not be locked yet.
    const bool stale = ::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                       status.st_mtime + kYoungestLeftover < now &&
                       ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    if (stale && ::unlink(path.constData()) == 0) ++removed;
    ::close(descriptor);
  }
  return removed;
}

bool LockTemporaryFile(int descriptor) { return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0; }

int NoteTemporaryFile(const QString &path) {
  const QByteArray encoded = QFile::encodeName(path);
  if (encoded.size() >= int(sizeof(Slot::path))) return -1;
  auto &table = Slots();
  for (int i = 0; i < int(table.size()); ++i) {
    bool expected = false;
    if (!table[size_t(i)].taken.compare_exchange_strong(expected, true)) continue;
    std::memcpy(table[size_t(i)].path, encoded.constData(), size_t(encoded.size()) + 1);
    table[size_t(i)].used.store(true, std::memory_order_release);
    return i;
  }
  return -1;
}

void ForgetTemporaryFile(int slot) {
  if (slot < 0 || slot >= int(Slots().size())) return;
  Slot &entry = Slots()[size_t(slot)];
  entry.used.store(false, std::memory_order_release);
  entry.taken.store(false, std::memory_order_release);
}

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = RemoveAndReraise;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
  // Past a file-size limit (ulimit -f) a write fails with EFBIG, reported
  // as a write error and the temporary file removed, instead of the
  // process ending without a word.
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace scrivane
