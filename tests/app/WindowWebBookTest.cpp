// Print > Save as web page... in the real window: the book scrivane-print
// writes, the folder refused or asked about as the command line refuses
// it, and a cancel that leaves nothing behind.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/DocForm.h"
#include "app/PrintCommands.h"
#include "platform/RecordedMessages.h"
#include "print/PaperChoice.h"
#include "print/gui/PrintStatusForm.h"
#include "printer/PrinterHost.h"
#include "support/TestPaths.h"
#include "widgets/PickList.h"

using namespace scrivane;

namespace {

// Every file under a folder, by its path inside it, with its bytes.
QMap<QString, QByteArray> FilesUnder(const QString &folder) {
  QMap<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
      files.insert(QDir(folder).relativeFilePath(path), file.readAll());
  }
  return files;
}

struct WebWindow {
  QTemporaryDir dir;
  QString ini = dir.filePath(QStringLiteral("scrivn.ini"));
  std::unique_ptr<MainWindow> window;
  RecordedMessages *messages = nullptr;
  QString chosen;  // what the folder dialog answers

  WebWindow() {
    QFile(ini).open(QIODevice::WriteOnly);
    window = std::make_unique<MainWindow>(ini);
    auto recorded = std::make_unique<RecordedMessages>();
    messages = recorded.get();
    window->setMessages(std::move(recorded));
    window->setWebFolderChooser([this](const QString &) { return chosen; });
    window->OpenChosenFile(testsupport::examplesDir() + QStringLiteral("/inventory.dpr"));
    // The book's commands come on with a unit highlighted.
    window->unitList->setCurrentRow(1);
    window->unitList->item(1)->setSelected(true);
    window->UnitListClick();
  }
  void Save(const QString &folder) {
    chosen = folder;
    ASSERT_TRUE(window->saveWebBookAction->isEnabled());
    window->saveWebBookAction->trigger();
  }
  QString PaperName() {
    const auto id = window->printerHost().printer().pageLayout().pageSize().id();
    return id == QPageSize::Letter ? QStringLiteral("letter") : QStringLiteral("a4");
  }
};

}  // namespace

TEST(WindowWebBook, WritesTheBookTheCommandLineWrites) {
  WebWindow w;
  const QString fromWindow = w.dir.filePath(QStringLiteral("window"));
  w.Save(fromWindow);
  EXPECT_TRUE(w.messages->warnings.isEmpty()) << w.messages->warnings.join('\n').toStdString();
  EXPECT_TRUE(w.messages->questions.isEmpty());
  const QString fromCommandLine = w.dir.filePath(QStringLiteral("cli"));
  QProcess cli;
  cli.start(QStringLiteral(SCRIVANE_BINARY_DIR "/src/scrivane-print"),
            {testsupport::examplesDir() + QStringLiteral("/inventory.dpr"), QStringLiteral("--all"),
             QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("-o"),
             fromCommandLine, QStringLiteral("--ini"), w.ini, QStringLiteral("--paper"),
             w.PaperName(), QStringLiteral("-q")});
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  const auto windowFiles = FilesUnder(fromWindow);
  const auto cliFiles = FilesUnder(fromCommandLine);
  EXPECT_EQ(windowFiles.keys(), cliFiles.keys());
  EXPECT_GE(windowFiles.size(), 8);
  for (auto it = cliFiles.begin(); it != cliFiles.end(); ++it)
    EXPECT_TRUE(windowFiles.value(it.key()) == it.value()) << it.key().toStdString();
  // The index was built on the way: the window offers it, as after a print.
  EXPECT_TRUE(w.window->printCommands().IndexItemsEnabled());
}

// A folder of other files is written only after a yes (the command line's
// --force); a link or a file is never written; neither is asked about twice.
TEST(WindowWebBook, FoldersAreRefusedOrAskedAboutAsTheCommandLineRefusesThem) {
  WebWindow w;
  const QString others = w.dir.filePath(QStringLiteral("others"));
  QDir().mkpath(others);
  QFile(others + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly);
  const QString file = w.dir.filePath(QStringLiteral("plain.txt"));
  QFile(file).open(QIODevice::WriteOnly);
  const QString link = w.dir.filePath(QStringLiteral("link"));
  QFile::link(others, link);
  struct Row {
    QString folder;
    bool answer;
    int questions, warnings;
    bool written;
  } rows[] = {
      {link, true, 0, 1, false},
      {file, true, 0, 1, false},
      {others, false, 1, 0, false},
      {others, true, 1, 0, true},
  };
  for (const Row &row : rows) {
    w.messages->questions.clear();
    w.messages->warnings.clear();
    w.messages->answer = row.answer;
    w.Save(row.folder);
    SCOPED_TRACE(row.folder.toStdString());
    EXPECT_EQ(w.messages->questions.size(), row.questions);
    EXPECT_EQ(w.messages->warnings.size(), row.warnings);
    EXPECT_EQ(QFile::exists(others + QStringLiteral("/index.html")), row.written);
  }
  EXPECT_TRUE(QFile::exists(others + QStringLiteral("/notes.txt")));
}

TEST(WindowWebBook, CancelLeavesNoFolderAndTheNextRunWritesIt) {
  WebWindow w;
  const QString folder = w.dir.filePath(QStringLiteral("web"));
  QTimer clicker;
  QObject::connect(&clicker, &QTimer::timeout, [] {
    for (QWidget *top : QApplication::topLevelWidgets())
      if (auto *status = qobject_cast<PrintStatusWindow *>(top); status && status->isVisible())
        status->CancelBtn->click();
  });
  clicker.start(0);
  w.Save(folder);
  clicker.stop();
  EXPECT_TRUE(w.window->printCommands().Flags.PrintCancelled);
  EXPECT_FALSE(QFileInfo::exists(folder));
  EXPECT_EQ(w.window->model().SelectedUnit, 0);
  w.Save(folder);
  EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/index.html")));
  EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/.scrivane-web")));
}
