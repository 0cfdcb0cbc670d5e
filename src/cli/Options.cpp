#include "cli/Options.h"

namespace scrivane::cli {

QString UsageText() {
  return QStringLiteral(
      "usage: scrivane-print --units FILE [--include-uses]\n"
      "       scrivane-print --routines FILE [--unit NAME]\n"
      "       scrivane-print --form-text FORM\n"
      "       scrivane-print FILE [--document unit|procedures|project|index] [--unit NAME]\n"
      "                      [--select TEXT]... [--ini PATH] [--force] -o OUT.pdf\n"
      "       scrivane-print PROJECT.dpr|PROJECT.lpr --all [--ini PATH] [--force] -o OUT.pdf\n"
      "       scrivane-print --help | --version\n"
      "\n"
      "  --units FILE      list the units of a project (.dpr, .lpr) or unit (.pas, .pp, .p):\n"
      "                    display name, a tab, the full path\n"
      "  --include-uses    also list the units named in the uses clauses\n"
      "  --routines FILE   list the routines of the highlighted unit\n"
      "  --form-text FORM  write the text form of a form file (.dfm, .lfm) to\n"
      "                    standard output, as the .DDT beside it would hold it\n"
      "  --unit NAME       highlight the unit whose display name is NAME\n"
      "                    (default: the first unit)\n"
      "  --document DOC    unit: the unit listing (a form file: its form listing; the default)\n"
      "                    procedures: the procedures and functions list of the unit\n"
      "                    project: the project file as text\n"
      "                    index: the index of the routines of the unit, or of every\n"
      "                    unit of a project when no --unit is given\n"
      "  --all             every unit's listing in project order, then one index of\n"
      "                    them all, into one PDF\n"
      "  --select TEXT     print only the routine shown as TEXT (repeatable)\n"
      "  --ini PATH        format settings file (default: the window's scrivn.ini, beside\n"
      "                    the program or in ~/.config/scrivane)\n"
      "  -o OUT.pdf        print the document to a PDF file; an existing file that is\n"
      "                    not a PDF is replaced only with --force\n"
      "  --force           let -o replace an existing file that is not a PDF\n");
}

ParsedOptions ParseOptions(const QStringList &args) {
  ParsedOptions result;
  Options &o = result.options;
  auto refuse = [&](const QString &why) {
    result.ok = false;
    result.error = why;
    return result;
  };
  bool modeGiven = false;
  bool documentGiven = false;
  auto setMode = [&](CommandMode mode) {
    if (modeGiven && o.mode != mode) return false;
    o.mode = mode;
    modeGiven = true;
    return true;
  };
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString &arg = args[i];
    auto value = [&](QString &into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (arg == u"--help" || arg == u"-h") {
      o = Options{};
      result.ok = true;
      return result;
    }
    if (arg == u"--version") {
      o = Options{};
      o.mode = CommandMode::Version;
      result.ok = true;
      return result;
    }
    if (arg == u"--units" || arg == u"--routines" || arg == u"--form-text") {
      const CommandMode mode = arg == u"--units"      ? CommandMode::Units
                               : arg == u"--routines" ? CommandMode::Routines
                                                      : CommandMode::FormText;
      if (!setMode(mode)) return refuse(QStringLiteral("--units, --routines and --form-text exclude each other"));
      if (!o.file.isEmpty()) return refuse(QStringLiteral("only one file may be given"));
      if (!value(o.file)) return refuse(arg + QStringLiteral(" needs a file"));
    } else if (arg == u"--include-uses") {
      o.includeUses = true;
    } else if (arg == u"--unit") {
      if (!value(o.unitName)) return refuse(QStringLiteral("--unit needs a name"));
    } else if (arg == u"--select") {
      QString text;
      if (!value(text)) return refuse(QStringLiteral("--select needs a text"));
      // An empty text names no routine; it used to give " not found in ...".
      if (text.trimmed().isEmpty())
        return refuse(QStringLiteral("--select needs the text of a routine as --routines lists it, not an empty one"));
      o.selects << text;
    } else if (arg == u"--document") {
      if (!value(o.document)) return refuse(QStringLiteral("--document needs unit, procedures, project or index"));
      if (!QStringList{QStringLiteral("unit"), QStringLiteral("procedures"), QStringLiteral("project"),
                       QStringLiteral("index")}
               .contains(o.document))
        return refuse(QStringLiteral("unknown document ") + o.document +
                      QStringLiteral(" (unit, procedures, project or index)"));
      documentGiven = true;
    } else if (arg == u"--all") {
      o.all = true;
    } else if (arg == u"--force") {
      o.force = true;
    } else if (arg == u"--ini") {
      if (!value(o.iniPath)) return refuse(QStringLiteral("--ini needs a path"));
    } else if (arg == u"-o") {
      if (!value(o.outputPath)) return refuse(QStringLiteral("-o needs an output file"));
    } else if (arg.startsWith(u'-') && arg.size() > 1) {
      return refuse(QStringLiteral("unknown option ") + arg);
    } else {
      if (!o.file.isEmpty()) return refuse(QStringLiteral("only one file may be given"));
      o.file = arg;
    }
  }
  if (!modeGiven) {
    if (o.file.isEmpty()) return refuse(QStringLiteral("no file given"));
    o.mode = CommandMode::Print;
  }
  if (o.mode == CommandMode::Print && o.outputPath.isEmpty())
    return refuse(QStringLiteral("printing needs -o OUT.pdf"));
  if (o.mode != CommandMode::Print &&
      (!o.selects.isEmpty() || !o.outputPath.isEmpty() || !o.iniPath.isEmpty() || documentGiven || o.all || o.force))
    return refuse(QStringLiteral("--select, --ini, --document, --all, --force and -o belong to printing"));
  if (o.all && (documentGiven || !o.unitName.isEmpty() || !o.selects.isEmpty()))
    return refuse(QStringLiteral("--all prints every document of the project: no --document, --unit or --select"));
  if (!o.selects.isEmpty() && o.document != u"unit")
    return refuse(QStringLiteral("--select belongs to the unit listing"));
  if (o.mode == CommandMode::Units && !o.unitName.isEmpty())
    return refuse(QStringLiteral("--unit does not apply to --units"));
  if (o.mode == CommandMode::FormText && (!o.unitName.isEmpty() || o.includeUses))
    return refuse(QStringLiteral("--form-text takes only a form file"));
  result.ok = true;
  return result;
}

}  // namespace scrivane::cli
