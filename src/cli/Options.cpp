#include "cli/Options.h"

#include <QCommandLineParser>
#include <functional>
#include <optional>

#include "platform/Paths.h"
#include "print/PaperChoice.h"

namespace scrivane::cli {
namespace {

// The commands an option applies to. A row marked kChoosesCommand picks the
// command itself.
enum Applies : unsigned {
  kUnits = 1,
  kRoutines = 2,
  kFormText = 4,
  kPrint = 8,
  kListings = kUnits | kRoutines,
  kChoosesCommand = 16,
};

// Stores a value (once per occurrence for a repeatable option); returns why
// it is refused, or nothing.
using Apply = std::function<QString(Options &, const QString &value)>;

struct OptionRow {
  QStringList names;  // a one-letter name first, then the long one
  QString valueName;  // empty for a switch
  unsigned applies;
  QString help;  // one line
  Apply apply;
};

Apply Switch(bool Options::*member) {
  return [member](Options &o, const QString &) {
    o.*member = true;
    return QString();
  };
}

Apply Command(CommandMode mode) {
  return [mode](Options &o, const QString &) {
    if (o.mode != CommandMode::Help && o.mode != mode)
      return QStringLiteral("--units, --routines, --form-text and --list-xref exclude each other");
    o.mode = mode;
    return QString();
  };
}

// The last occurrence wins, as with most tools.
Apply Text(QString Options::*member, const QString &name) {
  return [member, name](Options &o, const QString &value) {
    if (value.isEmpty()) return name + QStringLiteral(" needs a value, not an empty one");
    o.*member = value;
    return QString();
  };
}

Apply OneOf(QString Options::*member, const QString &name, const QStringList &choices) {
  return [member, name, choices](Options &o, const QString &value) {
    if (!choices.contains(value)) {
      QStringList quoted = choices;
      const QString last = quoted.takeLast();
      return QStringLiteral("unknown %1 value '%2' (%3 or %4)")
          .arg(name, value, quoted.join(QStringLiteral(", ")), last);
    }
    o.*member = value;
    return QString();
  };
}

// An empty text is a choice here: the header or footer with its items only.
Apply Furniture(std::optional<QString> Options::*member) {
  return [member](Options &o, const QString &value) {
    o.*member = value;
    return QString();
  };
}

QString SelectRoutineText(Options &o, const QString &text) {
  // An empty text names no routine; it used to give " not found in ...".
  if (text.trimmed().isEmpty())
    return QStringLiteral(
        "--select needs the text of a routine as --routines lists it, not an empty one");
  o.selects << text;
  return QString();
}

QString AddSetting(Options &o, const QString &text) {
  QString error;
  const SettingOverride setting = ParseSettingOverride(text, &error);
  if (error.isEmpty()) o.settings << setting;
  return error;
}

QString ChoosePages(Options &o, const QString &text) {
  QString error;
  o.pages = ParsePageSelection(text, &error);
  return error;
}

QString ChooseCopies(Options &o, const QString &text) {
  bool ok = false;
  const int copies = text.toInt(&ok);
  if (!ok || copies < 1 || copies > 999)
    return QStringLiteral("--copies takes a number from 1 to 999, not '%1'").arg(text);
  o.copies = copies;
  return QString();
}

QString ChoosePagesPerSheet(Options &o, const QString &text) {
  if (text != u"1" && text != u"2" && text != u"4")
    return QStringLiteral("--pages-per-sheet takes 1, 2 or 4, not '%1'").arg(text);
  o.pagesPerSheet = text.toInt();
  return QString();
}

// One row per option; adding an option is adding a row (and its member in
// Options). The help lists them in this order.
const QList<OptionRow> &OptionTable() {
  static const QList<OptionRow> table = {
      {{"h", "help"}, "", kChoosesCommand, "show this help and exit", nullptr},
      {{"version"}, "", kChoosesCommand, "print the version and exit", nullptr},
      {{"list-settings"},
       "",
       kChoosesCommand,
       "list the SECTION.KEY names --set takes, one a line, and exit",
       nullptr},
      {{"units"},
       "",
       kChoosesCommand,
       "list the units of FILE: name<TAB>path[<TAB>left out: why], escaped as \\\\ \\t \\n \\xHH",
       Command(CommandMode::Units)},
      {{"routines"},
       "",
       kChoosesCommand,
       "list the routines of FILE's highlighted unit (a form: its objects)",
       Command(CommandMode::Routines)},
      {{"form-text"},
       "",
       kChoosesCommand,
       "write the text of the form FILE as the .DDT beside it holds it",
       Command(CommandMode::FormText)},
      {{"list-xref"},
       "",
       kChoosesCommand,
       "list the book's declarations and the uses that name them (FILE: a project or units)",
       Command(CommandMode::CrossReferences)},
      {{"include-uses"},
       "",
       kListings | kPrint,
       "also take the units named in the uses clauses",
       Switch(&Options::includeUses)},
      {{"no-includes"},
       "",
       kListings | kPrint,
       "print {$I name} directives alone, not the include files' text",
       Switch(&Options::noIncludes)},
      {{"no-cross-links"},
       "",
       kPrint,
       "no links from the names in the code to their declarations",
       Switch(&Options::noCrossLinks)},
      {{"include-path"},
       "DIR",
       kListings | kPrint,
       "look for include files in DIR too (repeatable)",
       [](Options &o, const QString &dir) {
         o.includePaths << dir;
         return QString();
       }},
      {{"name"},
       "NAME",
       kListings | kPrint,
       "call the unit read from standard input (FILE -) NAME, not stdin",
       [](Options &o, const QString &name) {
         if (name.isEmpty() || name.contains(u'/') || name == u"." || name == u"..")
           return QStringLiteral("--name takes a file name without folders, not '%1'").arg(name);
         o.stdinName = name;
         return QString();
       }},
      {{"unit"},
       "NAME",
       kRoutines | kPrint,
       "highlight the unit named NAME (default: the first unit)",
       Text(&Options::unitName, "--unit")},
      {{"document"},
       "DOC",
       kPrint,
       "print unit (the default), procedures, project, index or xref (where each routine, "
       "method and type is used)",
       OneOf(&Options::document, "--document", {"unit", "procedures", "project", "index", "xref"})},
      {{"all"},
       "",
       kPrint,
       "print FILE as one book: the project file, each unit and its form, an index, a "
       "cross-reference",
       Switch(&Options::all)},
      {{"select"},
       "TEXT",
       kPrint,
       "print only the routine that --routines shows as TEXT (repeatable)",
       SelectRoutineText},
      {{"ini"},
       "PATH",
       kPrint,
       "read the format settings from PATH (default: the window's scrivn.ini)",
       Text(&Options::iniPath, "--ini")},
      {{"o", "output"},
       "FILE",
       kPrint,
       "write the document as PDF to FILE; - writes it to standard output",
       Text(&Options::outputPath, "-o")},
      {{"force"},
       "",
       kPrint,
       "let -o replace an existing file that is not a PDF",
       Switch(&Options::force)},
      {{"format"},
       "FORMAT",
       kPrint,
       "write pdf (the default) or html: web pages into the folder -o names",
       OneOf(&Options::format, "--format", {"pdf", "html"})},
      {{"P", "printer"},
       "QUEUE",
       kPrint,
       "print on the CUPS printer QUEUE (lpstat -p lists them) instead of -o",
       Text(&Options::printer, "-P")},
      {{"duplex"},
       "EDGE",
       kPrint,
       "with -P, print both sides of the sheet, bound on the long or short edge",
       OneOf(&Options::duplex, "--duplex", {"long", "short"})},
      {{"copies"}, "N", kPrint, "with -P, print N copies (1 to 999)", ChooseCopies},
      {{"q", "quiet"},
       "",
       kPrint,
       "leave out the line that says how many pages were printed",
       Switch(&Options::quiet)},
      {{"set"},
       "SECTION.KEY=VALUE",
       kPrint,
       "use VALUE for a setting of scrivn.ini in this run (repeatable)",
       AddSetting},
      {{"paper"},
       "NAME",
       kPrint,
       "lay the pages out on a4, letter, legal, a3 or a5 paper (default: the system's)",
       [](Options &o, const QString &name) {
         return OneOf(&Options::paper, "--paper", PaperNames())(o, name.toLower());
       }},
      {{"pages"},
       "LIST",
       kPrint,
       "print only the pages in LIST, such as 3-7,12 (--all: the book's pages)",
       ChoosePages},
      {{"line-numbers"},
       "FROM",
       kPrint,
       "number the lines as the source file does, every printed row, or none: file, rows or off",
       OneOf(&Options::lineNumbers, "--line-numbers", {"file", "rows", "off"})},
      {{"layout"},
       "HOW",
       kPrint,
       "lay the source out afresh (recomputed) or keep the file's own layout (source)",
       OneOf(&Options::layout, "--layout", {"recomputed", "source"})},
      {{"form-data"},
       "HOW",
       kPrint,
       "print a form's binary property data whole (full) or as its size in bytes (size)",
       OneOf(&Options::formData, "--form-data", {"full", "size"})},
      {{"header"},
       "TEXT",
       kPrint,
       "print the page header, TEXT in its middle (\"\": none), the unit name left",
       Furniture(&Options::header)},
      {{"footer"},
       "TEXT",
       kPrint,
       "print the page footer, TEXT on its left (\"\": none), the page number right",
       Furniture(&Options::footer)},
      {{"pages-per-sheet"},
       "N",
       kPrint,
       "put 1, 2 (side by side, landscape) or 4 pages on each sheet (default: the Format dialog's "
       "choice)",
       ChoosePagesPerSheet},
  };
  return table;
}

const OptionRow *FindRow(const QString &name) {
  for (const OptionRow &row : OptionTable())
    if (row.names.contains(name)) return &row;
  return nullptr;
}

QString DashedName(const QString &name) {
  return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
}

QString DisplayName(const OptionRow &row) {
  QStringList dashed;
  for (const QString &name : row.names) dashed << DashedName(name);
  return dashed.join(QStringLiteral(", ")) +
         (row.valueName.isEmpty() ? QString() : u' ' + row.valueName);
}

// The name the user typed is unknown to QCommandLineParser; the long name
// is the clearer one in a message.
QString MessageName(const OptionRow &row) { return DashedName(row.names.last()); }

QString ModeName(CommandMode mode) {
  switch (mode) {
    case CommandMode::Units:
      return QStringLiteral("--units");
    case CommandMode::Routines:
      return QStringLiteral("--routines");
    case CommandMode::FormText:
      return QStringLiteral("--form-text");
    case CommandMode::CrossReferences:
      return QStringLiteral("--list-xref");
    default:
      return QStringLiteral("printing");
  }
}

unsigned ModeBit(CommandMode mode) {
  switch (mode) {
    case CommandMode::Units:
      return kUnits;
    case CommandMode::Routines:
      return kRoutines;
    case CommandMode::FormText:
      return kFormText;
    case CommandMode::CrossReferences:
      return kUnits;
    default:
      return kPrint;
  }
}

}  // namespace

QStringList OptionNames() {
  QStringList names;
  for (const OptionRow &row : OptionTable())
    for (const QString &name : row.names) names << DashedName(name);
  return names;
}

QString UsageText() {
  QString text = QStringLiteral(
      "usage: scrivane-print --units FILE [--include-uses]\n"
      "       scrivane-print --routines FILE [--unit NAME]\n"
      "       scrivane-print --form-text FORM\n"
      "       scrivane-print --list-xref PROJECT|UNIT... [--include-uses]\n"
      "       scrivane-print FILE [--document DOC] [--unit NAME] [--select TEXT]... [OPTION]... -o "
      "OUT.pdf|-P QUEUE\n"
      "       scrivane-print PROJECT|UNIT --all [OPTION]... -o OUT.pdf|-P QUEUE\n"
      "       scrivane-print UNIT UNIT... [OPTION]... -o OUT.pdf|-P QUEUE\n"
      "       scrivane-print --help | --version\n"
      "\n"
      "FILE is a project (.dpr, .lpr), a unit (.pas, .pp, .p) or a form (.dfm, .lfm), in any "
      "case.\n"
      "FILE - reads a unit from standard input (called stdin, or --name NAME).\n"
      "Several units print as one book: each with its routines, one index.\n"
      "Options may come before or after FILE; -- ends them.\n"
      "\n");
  qsizetype column = 0;
  for (const OptionRow &row : OptionTable()) column = std::max(column, DisplayName(row).size());
  for (const OptionRow &row : OptionTable())
    text += QStringLiteral("  ") + DisplayName(row).leftJustified(column + 2) + row.help + u'\n';
  text += QStringLiteral("\nExit status: 0 done, 1 an input or output problem, 2 a usage error.\n");
  return text;
}

ParsedOptions ParseOptions(const QStringList &args) {
  ParsedOptions result;
  Options &o = result.options;
  auto refuse = [&](const QString &why) {
    result.ok = false;
    result.error = why;
    return result;
  };
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  for (const OptionRow &row : OptionTable()) {
    QCommandLineOption option(row.names, row.help, row.valueName);
    parser.addOption(option);
  }
  // The commands take FILE as their operand, so "--units=FILE" is "--units FILE".
  QStringList words{QStringLiteral("scrivane-print")};  // the parser skips the program name
  bool optionsEnded = false;
  for (const QString &arg : args) {
    optionsEnded = optionsEnded || arg == u"--";
    const qsizetype equals = arg.indexOf(u'=');
    if (!optionsEnded && equals > 2 && arg.startsWith(u"--")) {
      const OptionRow *row = FindRow(arg.mid(2, equals - 2));
      if (row && row->applies == kChoosesCommand && row->apply) {
        words << arg.left(equals) << arg.mid(equals + 1);
        continue;
      }
    }
    words << arg;
  }
  if (!parser.parse(words)) return refuse(parser.errorText());
  if (parser.isSet(QStringLiteral("help"))) {
    o = Options{};
    result.ok = true;
    return result;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    o = Options{};
    o.mode = CommandMode::Version;
    result.ok = true;
    return result;
  }
  if (parser.isSet(QStringLiteral("list-settings"))) {
    o = Options{};
    o.mode = CommandMode::ListSettings;
    result.ok = true;
    return result;
  }
  // The command first: which options apply depends on it.
  for (const OptionRow &row : OptionTable())
    if (row.applies == kChoosesCommand && row.apply && parser.isSet(row.names.first()))
      if (const QString why = row.apply(o, QString()); !why.isEmpty()) return refuse(why);
  const bool commandGiven = o.mode != CommandMode::Help;
  const QStringList files = parser.positionalArguments();
  if (files.isEmpty())
    return refuse(commandGiven ? ModeName(o.mode) + QStringLiteral(" needs a file")
                               : QStringLiteral("no file given"));
  if (!commandGiven) o.mode = CommandMode::Print;
  if (files.size() > 1 && o.mode != CommandMode::Print && o.mode != CommandMode::CrossReferences)
    return refuse(QStringLiteral("only one file may be given to ") + ModeName(o.mode));
  if (files.count(kStandardInput) > 1)
    return refuse(QStringLiteral("standard input (-) can be read once"));
  if (files.contains(kStandardInput) && o.mode == CommandMode::FormText)
    return refuse(QStringLiteral("--form-text reads a form file, not standard input"));
  o.file = files.first();
  o.files = files;

  for (const OptionRow &row : OptionTable()) {
    if (row.applies == kChoosesCommand || !parser.isSet(row.names.first())) continue;
    if (!(row.applies & ModeBit(o.mode))) {
      if (row.applies == kPrint)
        return refuse(MessageName(row) + QStringLiteral(" belongs to printing"));
      return refuse(MessageName(row) + QStringLiteral(" does not apply to ") + ModeName(o.mode));
    }
    const QStringList values =
        row.valueName.isEmpty() ? QStringList{QString()} : parser.values(row.names.first());
    for (const QString &value : values)
      if (const QString why = row.apply(o, value); !why.isEmpty()) return refuse(why);
  }

  const bool documentGiven = parser.isSet(QStringLiteral("document"));
  if (o.mode == CommandMode::Print && o.outputPath.isEmpty() && o.printer.isEmpty())
    return refuse(
        QStringLiteral("printing needs -o OUT.pdf or -P QUEUE (lpstat -p lists the printers)"));
  if (!o.outputPath.isEmpty() && !o.printer.isEmpty())
    return refuse(QStringLiteral("-o and -P exclude each other: print to a file or to a printer"));
  if (o.printer.isEmpty() && (!o.duplex.isEmpty() || parser.isSet(QStringLiteral("copies"))))
    return refuse(
        QStringLiteral("--duplex and --copies belong to printing on a printer (-P QUEUE)"));
  if (o.format == u"html") {
    if (!o.printer.isEmpty())
      return refuse(QStringLiteral("--format html writes web pages to a folder: -o DIR, not -P"));
    if (o.outputPath == u"-")
      return refuse(QStringLiteral("--format html writes a folder of pages: -o DIR, not -"));
    if (!o.pages.isEmpty() || o.pagesPerSheet > 0)
      return refuse(
          QStringLiteral("--pages and --pages-per-sheet belong to paper: web pages have none"));
  }
  if (o.all && (documentGiven || !o.unitName.isEmpty() || !o.selects.isEmpty()))
    return refuse(QStringLiteral(
        "--all prints every document of the project: no --document, --unit or --select"));
  if (!o.selects.isEmpty() && o.document != u"unit")
    return refuse(QStringLiteral("--select belongs to the unit listing"));
  if (!o.stdinName.isEmpty() && !files.contains(kStandardInput))
    return refuse(
        QStringLiteral("--name names the unit read from standard input: give - as a FILE"));
  if (files.size() > 1 && (documentGiven || !o.unitName.isEmpty() || !o.selects.isEmpty()))
    return refuse(
        QStringLiteral("several files print as one book: no --document, --unit or --select"));
  if (files.size() > 1) o.all = true;
  result.ok = true;
  return result;
}

QStringList UserIncludeFolders(const Options &options) {
  QStringList folders;
  for (const QString &dir : options.includePaths) {
    QString folder = AbsoluteUserPath(dir);
    if (!folder.endsWith(u'/')) folder += u'/';
    folders << folder;
  }
  return folders;
}

}  // namespace scrivane::cli
