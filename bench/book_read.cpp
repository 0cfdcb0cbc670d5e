// Reading a book's files, as its print reads them and nothing more: the
// project file opened, then each unit loaded (its include files followed,
// its routines scanned) and its form, one after the other on one core.
// The reading half of a book's floor (bench/book.sh). Prints one line:
//   seconds lines files largest_unit_name largest_unit_lines
// seconds: the median of RUNS readings in this one process (default 5),
// the first, which fills the file cache, not counted; lines: the file lines
// read (a unit with its include files); largest: the unit with the most.
//   book_read FILE [INI]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "format/FormatSettings.h"
#include "format/IniFile.h"
#include "listing/Documents.h"
#include "platform/RecordedMessages.h"
#include "project/FormImage.h"
#include "project/ProjectModel.h"
#include "project/Readers.h"

namespace {

struct Reading {
  double seconds = 0;
  long long lines = 0;
  int files = 0;
  QString largest;
  long long largestLines = 0;
  double cpuSeconds = 0;
};

// This thread's processor time: what a loaded machine does not stretch.
double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

Reading ReadBook(const QString &path, const scrivane::FormatSettings &settings) {
  scrivane::ProjectModel model;
  scrivane::RecordedMessages messages;
  scrivane::ReaderContext ctx{model, ReadChoicesOf(settings), messages, false, true};
  Reading reading;
  QElapsedTimer timer;
  timer.start();
  const double cpuStart = ThreadCpuSeconds();
  scrivane::ClearForOpen(model);
  scrivane::OpenPath(ctx, path);
  for (int i = 0; i < model.Units.size(); ++i) {
    model.SelectedUnit = i;
    model.CurrentUnitPath.clear();
    scrivane::LoadUnit(ctx);
    if (model.CurrentUnitPath.isEmpty()) continue;
    long long lines = 0;
    for (qsizetype k = 0; k < model.SourceLines.size(); ++k)
      if (model.SourceLines.startsFileLine(k)) ++lines;
    reading.lines += lines;
    reading.files += int(model.SourceParts.size());
    if (lines > reading.largestLines) {
      reading.largestLines = lines;
      reading.largest = model.Units[i].name.trimmed();
    }
    const QString form = scrivane::FindFormImageFiles(model.CurrentUnitPath).formFile;
    if (!form.isEmpty() && scrivane::LoadFormOfUnit(ctx, form)) ++reading.files;
  }
  reading.seconds = double(timer.nsecsElapsed()) / 1e9;
  reading.cpuSeconds = ThreadCpuSeconds() - cpuStart;
  return reading;
}

}  // namespace

int main(int argc, char **argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: book_read FILE [INI]\n");
    return 2;
  }
  scrivane::FormatSettings settings;
  if (args.size() > 1) {
    scrivane::IniFile ini;
    if (!ini.Load(args[1])) {
      std::fprintf(stderr, "cannot read %s\n", qPrintable(args[1]));
      return 1;
    }
    settings.LoadFromIni(ini);
  }
  const int runs =
      std::max(1, qEnvironmentVariableIntValue("RUNS") ? qEnvironmentVariableIntValue("RUNS") : 5);
  Reading last = ReadBook(args[0], settings);
  std::vector<double> seconds, cpuSeconds;
  for (int r = 0; r < runs; ++r) {
    last = ReadBook(args[0], settings);
    seconds.push_back(last.seconds);
    cpuSeconds.push_back(last.cpuSeconds);
  }
  std::sort(seconds.begin(), seconds.end());
  std::sort(cpuSeconds.begin(), cpuSeconds.end());
  std::printf("%.4f %lld %d %s %lld %.4f\n", seconds[seconds.size() / 2], last.lines, last.files,
              qPrintable(last.largest.isEmpty() ? QStringLiteral("-") : last.largest),
              last.largestLines, cpuSeconds[cpuSeconds.size() / 2]);
  return 0;
}
