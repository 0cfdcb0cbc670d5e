#pragma once
// The command line of scrivane-print.
#include <QString>
#include <QStringList>

namespace scrivane::cli {

enum class CommandMode { Help, Version, Units, Routines, FormText, Print };

struct Options {
  CommandMode mode = CommandMode::Help;
  QString file;
  bool includeUses = false;  // --include-uses
  QString unitName;          // --unit NAME
  QStringList selects;       // --select TEXT, repeatable (printing)
  QString iniPath;           // --ini PATH (printing); empty: SettingsFilePath()
  QString outputPath;        // -o OUT.pdf (printing)
  QString document = QStringLiteral("unit");  // --document unit|procedures|project|index
  bool force = false;        // --force: -o may replace an existing file that is not a PDF
  bool all = false;          // --all: every unit of the project, then the index, in one PDF
};

struct ParsedOptions {
  bool ok = false;
  Options options;
  QString error;  // why the command line was refused, when !ok
};

// args: the arguments after the program name.
ParsedOptions ParseOptions(const QStringList &args);
QString UsageText();

// Exit statuses: 0 done, 1 a message the window would have shown in a box,
// 2 a command line that could not be understood.
inline constexpr int kExitOk = 0;
inline constexpr int kExitMessage = 1;
inline constexpr int kExitUsage = 2;

}  // namespace scrivane::cli
