// Sets up the application and runs the main window; nothing else.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <cstdio>
#include <cstring>

#include "app/DocForm.h"
#include "platform/Paths.h"
#include "platform/TemporaryFiles.h"
#include "platform/Version.h"

namespace {
constexpr const char *kUsage =
    "usage: scrivane [FILE]\n"
    "       scrivane --version | --help\n"
    "\n"
    "Opens FILE (a project .dpr, .lpr, .lpi or .dproj, a package .dpk or .lpk,\n"
    "a unit .pas, .pp or .p, an include file .inc, or a form .dfm or .lfm; any\n"
    "case) as File > Open File... would; without FILE the window starts empty.\n";
}  // namespace

int main(int argc, char **argv) {
  // Answered before the application starts, so they need no display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("scrivane %s\n", scrivane::ScrivaneVersion());
      return 0;
    }
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  QApplication app(argc, argv);
  // Most allocation failures reach a message box (the file too large to
  // read); one inside code that may not throw ends the program with this
  // line rather than a core.
  scrivane::ExitOnAllocationFailure(
      "scrivane: Not enough memory to read the file; nothing was written.");
  QApplication::setApplicationName(QStringLiteral("Scrivane"));
  // Lets the desktop match the window with the installed desktop entry and
  // its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("scrivane"));
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/icons/scrivane-%1.png").arg(size));
  QApplication::setWindowIcon(icon);
  // Qt has taken its own options out of the arguments by now.
  const QStringList files = app.arguments().mid(1);
  if (files.size() > 1 || (!files.isEmpty() && files.first().startsWith(u'-'))) {
    const QString why = files.size() > 1 ? QStringLiteral("only one file may be given")
                                         : QStringLiteral("unknown option ") + files.first();
    std::fprintf(stderr, "scrivane: %s\n\n%s", qPrintable(why), kUsage);
    return 2;
  }
  const QString settingsPath = scrivane::SettingsFilePath();
  scrivane::MakeSettingsFolder(settingsPath);
  scrivane::MainWindow window(settingsPath);
  window.show();
  if (!files.isEmpty()) {
    // The recent-files list outlives the current folder, so it keeps an
    // absolute path; a message about the file shows over the window.
    const QString path = QFileInfo(files.first()).absoluteFilePath();
    QMetaObject::invokeMethod(
        &window, [&window, path] { window.OpenChosenFile(path); }, Qt::QueuedConnection);
  }
  return app.exec();
}
