#pragma once
// The command line of scrivane-print. Every option is one row of the table
// in Options.cpp: its names, its value, the commands it applies to, its help
// line and what it stores in Options. The parser, --help, the usage checks
// and the tests all read that table.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "format/SettingOverrides.h"
#include "print/PageSelection.h"

namespace scrivane::cli {

enum class CommandMode {
  Help,
  Version,
  ListSettings,
  Units,
  Routines,
  FormText,
  CrossReferences,
  Print
};

struct Options {
  CommandMode mode = CommandMode::Help;
  QString file;  // the first FILE
  // Every FILE, in the order given: several print as one book. "-" is
  // standard input until the program has read it into stdinPath.
  QStringList files;
  QString stdinName;          // --name NAME: what a unit read from standard input is called
  QString stdinPath;          // where standard input's unit was put, once read
  bool includeUses = false;   // --include-uses
  bool noCrossLinks = false;  // --no-cross-links: [Switch] CrossLinks=0 for this run
  bool noIncludes = false;    // --no-includes: [Switch] FollowIncludes=0 for this run
  QStringList includePaths;   // --include-path DIR, repeatable
  QString unitName;           // --unit NAME
  QStringList selects;        // --select TEXT, repeatable (printing)
  QString iniPath;            // --ini PATH (printing); empty: SettingsFilePath()
  QString outputPath;         // -o OUT.pdf (printing); "-": standard output
  QString document = QStringLiteral("unit");  // --document unit|procedures|project|index
  QString format = QStringLiteral("pdf");     // --format pdf|html
  bool force = false;               // --force: -o may replace an existing file that is not a PDF
  bool all = false;                 // --all: the project as one book, in one PDF
  bool quiet = false;               // -q: no "N pages of X" line
  QList<SettingOverride> settings;  // --set SECTION.KEY=VALUE, repeatable
  QList<PageSpan> pages;            // --pages 3-7,12; empty: every page
  int pagesPerSheet = 0;            // --pages-per-sheet 1|2|4; 0: the settings' Main.PagesPerSheet
  QString paper;                    // --paper a4|letter|legal|a3|a5; empty: the system's paper
  QString printer;                  // -P QUEUE: a CUPS queue instead of a PDF file
  QString duplex;                   // --duplex long|short (-P)
  int copies = 1;                   // --copies N (-P)
  QString lineNumbers;              // --line-numbers file|rows|off over the settings; empty: as set
  QString layout;                   // --layout recomputed|source over the settings; empty: as set
  QString formData;                 // --form-data full|size over the settings; empty: as set
  // --header TEXT, --footer TEXT: the page header and footer on, TEXT in
  // the header's middle and at the footer's left; unset: as the settings say.
  std::optional<QString> header, footer;
  friend bool operator==(const Options &, const Options &) = default;
};

struct ParsedOptions {
  bool ok = false;
  Options options;
  QString error;  // why the command line was refused, when !ok
};

// args: the arguments after the program name.
ParsedOptions ParseOptions(const QStringList &args);
// What --help prints: the synopsis, one line per option, the exit statuses.
QString UsageText();
// The names of every option as the help lists them ("-o", "--output", ...).
QStringList OptionNames();

// Exit statuses: 0 done, 1 an input or output problem (a message the window
// would have shown in a box), 2 a command line that could not be understood.
inline constexpr int kExitOk = 0;
inline constexpr int kExitMessage = 1;
inline constexpr int kExitUsage = 2;

// The folders of --include-path, absolute, each with a "/" at its end.
QStringList UserIncludeFolders(const Options &options);

// "-" as FILE: standard input.
inline const QString kStandardInput = QStringLiteral("-");

inline const QString kProgramPrefix = QStringLiteral("scrivane-print: ");

}  // namespace scrivane::cli
