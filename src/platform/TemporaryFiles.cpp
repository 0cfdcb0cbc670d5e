#include "platform/TemporaryFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <array>
#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace scrivane {
namespace {

// Read when the program is loaded, before anything is written.
const std::time_t kProcessStart = std::time(nullptr);

constexpr int kLongestName = 255;                       // bytes, NAME_MAX of Linux file systems
constexpr int kNameOverhead = int(sizeof(".") - 1 + sizeof(".12345678.tmp") - 1);

// The start of `name` that fits in `bytes` bytes of UTF-8, cut at the end of
// a character.
QString CutToBytes(const QString &name, int bytes) {
  QString cut = name;
  while (QFile::encodeName(cut).size() > bytes) cut.chop(cut.size() >= 2 && cut.back().isLowSurrogate() ? 2 : 1);
  return cut;
}

QString StemFor(const QString &target) {
  const QFileInfo info(target);
  return info.absolutePath() + QStringLiteral("/.") + CutToBytes(info.fileName(), kLongestName - kNameOverhead);
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

}  // namespace

QString TemporaryNameFor(const QString &target, quint32 tag) {
  return StemFor(target) + QStringLiteral(".%1.tmp").arg(tag, 8, 16, QLatin1Char('0'));
}

int RemoveStaleTemporaryFiles(const QString &target) {
  const QString stem = StemFor(target);
  const QFileInfo stemInfo(stem);
  const QRegularExpression pattern(QStringLiteral("^") + QRegularExpression::escape(stemInfo.fileName()) +
                                   QStringLiteral("\\.[0-9a-f]{8}\\.tmp$"));
  int removed = 0;
  const QDir folder = stemInfo.absoluteDir();
  const QStringList names = folder.entryList({stemInfo.fileName() + QStringLiteral(".*.tmp")},
                                             QDir::Files | QDir::Hidden | QDir::System);
  for (const QString &name : names) {
    if (!pattern.match(name).hasMatch()) continue;
    const QByteArray path = QFile::encodeName(folder.filePath(name));
    struct stat status {};
    // lstat: a link with such a name is removed as a link, never followed.
    if (::lstat(path.constData(), &status) != 0 || status.st_mtime >= kProcessStart) continue;
    if (::unlink(path.constData()) == 0) ++removed;
  }
  return removed;
}

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
}

}  // namespace scrivane
