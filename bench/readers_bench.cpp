// Reading speed of the unit scanner over a tree of real units: LoadUnit plus
// ScanRoutines per file, with lines per second and the peak resident memory.
// Also checks, over the same lines, that the one-pass normaliser gives what
// the literal thirty ReplaceAll steps give.
#include <sys/resource.h>

#include <QCoreApplication>
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
  scrivane::RecordedMessages messages;
  long long lines = 0, routines = 0, bytes = 0;
  int loaded = 0;
  const long memoryBefore = PeakResidentKilobytes();
  long memoryAtHalf = 0;
  QElapsedTimer timer;
  timer.start();
  for (qsizetype i = 0; i < files.size(); ++i) {
    scrivane::ProjectModel model;
    scrivane::ReaderContext ctx{model, settings, messages};
    model.SetPickList(files[i], scrivane::EntryKind::UnitInProject);
    model.SelectedUnit = 0;
    scrivane::LoadUnit(ctx);  // ends with ScanRoutines
    if (model.CurrentUnitPath.isEmpty()) continue;
    ++loaded;
    lines += model.SourceLines.size();
    routines += model.Routines.size();
    bytes += QFileInfo(files[i]).size();
    if (i == files.size() / 2) memoryAtHalf = PeakResidentKilobytes();
  }
  const double seconds = double(timer.nsecsElapsed()) / 1e9;
  long long sourceLines = 0;
  for (const QString &path : files) {
    const scrivane::SourceFile file = scrivane::ReadSourceFile(path);
    scrivane::ForEachLine(file.bytes, [&](QByteArrayView) { ++sourceLines; });
  }
  std::printf("files: %d of %lld loaded, %lld routines listed, %.1f MB\n", loaded, (long long)files.size(),
              routines, double(bytes) / 1e6);
  std::printf("source lines: %lld, statement lines: %lld, %.2f s\n", sourceLines, lines, seconds);
  std::printf("speed: %.0f source lines/s (target >= 1000000)\n", double(sourceLines) / seconds);
  std::printf("peak memory: %ld kB before, %ld kB at half, %ld kB at end\n", memoryBefore, memoryAtHalf,
              PeakResidentKilobytes());
  std::printf("messages: %lld\n", (long long)(messages.warnings.size() + messages.informations.size()));
  return mismatches == 0 ? 0 : 1;
}
