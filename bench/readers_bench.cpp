// Reading speed of the unit scanner over a tree of real units: LoadUnit plus
// ScanRoutines per file, with lines per second and the peak resident memory.
// Also checks, over the same lines, that the one-pass normaliser gives what
// the literal thirty ReplaceAll steps give.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

#include "format/FormatSettings.h"
#include "listing/Lexer.h"
#include "platform/UserMessages.h"
#include "project/Readers.h"
#include "project/SourceFile.h"

namespace {

// User plus system CPU time of this process: on a shared machine it says
// more than the wall clock.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakResidentKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/fpcsrc");
  QStringList files;
  QDirIterator it(root, {"*.pas", "*.pp"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) files << it.next();
  files.sort();
  if (files.isEmpty()) {
    std::fprintf(stderr, "no .pas or .pp files under %s\n", qPrintable(root));
    return 1;
  }

  // Differential check first (it also warms the file cache).
  long long checkedLines = 0, mismatches = 0;
  const bool check = qEnvironmentVariableIsEmpty("READERS_NO_CHECK");
  for (const QString &path : check ? files : QStringList()) {
    const scrivane::SourceFile file = scrivane::ReadSourceFile(path);
    scrivane::ForEachLine(file.bytes, [&](QByteArrayView line) {
      const QByteArray text = line.trimmed().toByteArray();
      ++checkedLines;
      if (scrivane::NormaliseLine(text) != scrivane::NormaliseLineReference(text)) {
        if (++mismatches <= 5) std::printf("normaliser mismatch: %s: %s\n", qPrintable(path), text.constData());
      }
    });
  }
  std::printf("normaliser check: %lld lines, %lld mismatches\n", checkedLines, mismatches);

  scrivane::FormatSettings settings;
  // READERS_LOWER=1 reads with the lower-case option; READERS_DIGEST=1 prints
  // a digest of everything the reader produced, so that a faster reader can be
  // shown to give the same lines and routine lists (the digest slows the run).
  settings.Lower = qEnvironmentVariableIntValue("READERS_LOWER") == 1 ? 1 : 0;
  const bool digest = qEnvironmentVariableIntValue("READERS_DIGEST") == 1;
  QCryptographicHash hash(QCryptographicHash::Sha1);
  auto addList = [&hash](const QList<QByteArray> &list) {
    for (const QByteArray &item : list) {
      hash.addData(item);
      hash.addData(QByteArrayView("\n", 1));
    }
    hash.addData(QByteArrayView("\f", 1));
  };
  scrivane::RecordedMessages messages;
  long long lines = 0, routines = 0, bytes = 0;
  int loaded = 0;
  const long memoryBefore = PeakResidentKilobytes();
  long memoryAtHalf = 0;
  const double cpuBefore = CpuSeconds();
  QElapsedTimer timer;
  timer.start();
  for (qsizetype i = 0; i < files.size(); ++i) {
    scrivane::ProjectModel model;
    scrivane::ReaderContext ctx{model, settings, messages, false, {}};
    model.SetPickList(files[i], scrivane::EntryKind::UnitInProject);
    model.SelectedUnit = 0;
    scrivane::LoadUnit(ctx);  // ends with ScanRoutines
    if (model.CurrentUnitPath.isEmpty()) continue;
    ++loaded;
    lines += model.SourceLines.size();
    routines += model.Routines.size();
    if (digest) {
      addList(model.SourceLines);
      addList(model.DeclaredRoutines);
      addList(model.RoutineRefs);
      for (const scrivane::RoutineEntry &entry : model.Routines) {
        hash.addData(entry.text);
        hash.addData(QByteArray::number(int(entry.kind)));
      }
    }
    bytes += QFileInfo(files[i]).size();
    if (i == files.size() / 2) memoryAtHalf = PeakResidentKilobytes();
  }
  const double seconds = double(timer.nsecsElapsed()) / 1e9;
  const double cpuSeconds = CpuSeconds() - cpuBefore;
  long long sourceLines = 0;
  for (const QString &path : files) {
    const scrivane::SourceFile file = scrivane::ReadSourceFile(path);
    scrivane::ForEachLine(file.bytes, [&](QByteArrayView) { ++sourceLines; });
  }
  std::printf("files: %d of %lld loaded, %lld routines listed, %.1f MB\n", loaded, (long long)files.size(),
              routines, double(bytes) / 1e6);
  std::printf("source lines: %lld, statement lines: %lld, %.2f s\n", sourceLines, lines, seconds);
  std::printf("speed: %.0f source lines/s (target >= 1000000)\n", double(sourceLines) / seconds);
  std::printf("cpu: %.2f s, %.0f source lines per cpu second\n", cpuSeconds, double(sourceLines) / cpuSeconds);
  std::printf("peak memory: %ld kB before, %ld kB at half, %ld kB at end\n", memoryBefore, memoryAtHalf,
              PeakResidentKilobytes());
  if (digest) std::printf("digest: %s\n", hash.result().toHex().constData());
  std::printf("messages: %lld\n", (long long)(messages.warnings.size() + messages.informations.size()));
  return mismatches == 0 ? 0 : 1;
}
