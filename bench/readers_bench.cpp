// Reading speed of the unit scanner over a tree of real units: LoadUnit plus
// ScanRoutines per file, with lines per second and the peak resident memory.
// Also checks, over the same lines, that the one-pass form-text normaliser gives what
// the literal thirty ReplaceAll steps give.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "project/Readers.h"
#include "project/SourceFile.h"
#include "project/SourceLexer.h"

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

// One unit of about `lines` lines made of real units: their interface
// parts, one after the other, then their implementation parts.
QByteArray ScaledUnit(const QStringList &files, long long lines) {
  QByteArray interfaces, implementations;
  long long count = 0;
  for (const QString &path : files) {
    if (count >= lines) break;
    const scrivane::SourceFile file = scrivane::ReadSourceFile(path);
    if (file.status != scrivane::SourceStatus::Ok) continue;
    QList<QByteArray> unitLines;
    scrivane::ForEachLine(file.bytes,
                          [&](QByteArrayView line) { unitLines << line.toByteArray(); });
    qsizetype interfaceAt = -1, implementationAt = -1, endAt = -1;
    for (qsizetype k = 0; k < unitLines.size(); ++k) {
      const QByteArray t = unitLines[k].trimmed().toLower();
      if (interfaceAt < 0 && t == "interface")
        interfaceAt = k;
      else if (interfaceAt >= 0 && implementationAt < 0 && t == "implementation")
        implementationAt = k;
      else if (implementationAt >= 0 && t == "end.")
        endAt = k;
    }
    if (endAt < 0) continue;
    for (qsizetype k = interfaceAt + 1; k < implementationAt; ++k)
      interfaces += unitLines[k] + '\n';
    for (qsizetype k = implementationAt + 1; k < endAt; ++k) implementations += unitLines[k] + '\n';
    count += endAt - interfaceAt - 1;
  }
  return "unit scaled;\ninterface\n" + interfaces + "implementation\n" + implementations + "end.\n";
}

// Reading speed against the unit's length: the reader must stay linear.
int ScaleRun(const QStringList &files, const QList<long long> &sizes) {
  QTemporaryDir dir;
  scrivane::RecordedMessages messages;
  double firstSpeed = 0;
  for (const long long size : sizes) {
    const QString path = dir.filePath(QStringLiteral("scaled%1.pas").arg(size));
    const QByteArray text = ScaledUnit(files, size);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size()) return 1;
    out.close();
    const long long sourceLines = text.count('\n');
    double best = 1e9;
    qsizetype routines = 0;
    for (int run = 0; run < 3; ++run) {
      scrivane::ProjectModel model;
      scrivane::ReaderContext ctx{model, {}, messages, false, {}};
      const double before = CpuSeconds();
      scrivane::ParsePas(ctx, path);
      best = std::min(best, CpuSeconds() - before);
      routines = model.Routines.size();
    }
    const double speed = double(sourceLines) / best;
    if (firstSpeed == 0) firstSpeed = speed;
    std::printf(
        "scaled unit: %lld lines, %lld routines listed, %.3f cpu s, %.0f lines/s (%.2f of the "
        "first size)\n",
        sourceLines, (long long)routines, best, speed, speed / firstSpeed);
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  // readers_bench [ROOT] reads every unit under ROOT; readers_bench --scale
  // N,N,... [ROOT] reads one unit of N lines built from ROOT's units.
  QStringList args = app.arguments().mid(1);
  QList<long long> scaleSizes;
  if (args.size() >= 2 && args[0] == QStringLiteral("--scale")) {
    for (const QString &n : args[1].split(QLatin1Char(','))) scaleSizes << n.toLongLong();
    args = args.mid(2);
  }
  const QString root = !args.isEmpty() ? args[0] : QStringLiteral("/usr/share/fpcsrc");
  QStringList files;
  QDirIterator it(root, {"*.pas", "*.pp"}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) files << it.next();
  files.sort();
  if (files.isEmpty()) {
    std::fprintf(stderr, "no .pas or .pp files under %s\n", qPrintable(root));
    return 1;
  }
  if (!scaleSizes.isEmpty()) return ScaleRun(files, scaleSizes);

  // Differential check first (it also warms the file cache).
  long long checkedLines = 0, mismatches = 0;
  const bool check = qEnvironmentVariableIsEmpty("READERS_NO_CHECK");
  for (const QString &path : check ? files : QStringList()) {
    const scrivane::SourceFile file = scrivane::ReadSourceFile(path);
    scrivane::ForEachLine(file.bytes, [&](QByteArrayView line) {
      const QByteArray text = line.trimmed().toByteArray();
      ++checkedLines;
      if (scrivane::FormTextNormaliser().Normalise(text) !=
          scrivane::NormaliseLineReference(text)) {
        if (++mismatches <= 5)
          std::printf("normaliser mismatch: %s: %s\n", qPrintable(path), text.constData());
      }
    });
  }
  std::printf("normaliser check: %lld lines, %lld mismatches\n", checkedLines, mismatches);

  scrivane::ReadChoices choices;
  // READERS_LOWER=1 reads with the lower-case option; READERS_DIGEST=1 prints
  // a digest of everything the reader produced, so that a faster reader can be
  // shown to give the same lines and routine lists (the digest slows the run).
  choices.lowerCase = qEnvironmentVariableIntValue("READERS_LOWER") == 1;
  // READERS_NO_INCLUDES=1 reads each unit without its include files, as
  // before they were followed (the speed counts the unit's own lines only).
  choices.followIncludes = qEnvironmentVariableIntValue("READERS_NO_INCLUDES") != 1;
  const bool digest = qEnvironmentVariableIntValue("READERS_DIGEST") == 1;
  QCryptographicHash hash(QCryptographicHash::Sha1);
  auto addList = [&hash](const auto &list) {
    for (QByteArrayView item : list) {
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
    scrivane::ReaderContext ctx{model, choices, messages, false, {}};
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
      for (const scrivane::RoutineEntry &entry : model.Routines) {
        hash.addData(entry.text);
        hash.addData(QByteArray::number(int(entry.kind)));
        hash.addData(QByteArray::number(entry.line));
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
  std::printf("files: %d of %lld loaded, %lld routines listed, %.1f MB\n", loaded,
              (long long)files.size(), routines, double(bytes) / 1e6);
  std::printf("source lines: %lld, statement lines: %lld, %.2f s\n", sourceLines, lines, seconds);
  std::printf("speed: %.0f source lines/s (target >= 1000000)\n", double(sourceLines) / seconds);
  std::printf("cpu: %.2f s, %.0f source lines per cpu second\n", cpuSeconds,
              double(sourceLines) / cpuSeconds);
  std::printf("peak memory: %ld kB before, %ld kB at half, %ld kB at end\n", memoryBefore,
              memoryAtHalf, PeakResidentKilobytes());
  if (digest) std::printf("digest: %s\n", hash.result().toHex().constData());
  std::printf("messages: %lld\n",
              (long long)(messages.warnings.size() + messages.informations.size()));
  return mismatches == 0 ? 0 : 1;
}
