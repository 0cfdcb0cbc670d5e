#include "print/PaperChoice.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace scrivane {
namespace {

struct PaperRow {
  PaperSize paper;
  const char *name;
  QPageSize::PageSizeId id;
  int widthMillimetres, heightMillimetres;
};

constexpr PaperRow kPapers[] = {
    {PaperSize::A4, "a4", QPageSize::A4, 210, 297},
    {PaperSize::Letter, "letter", QPageSize::Letter, 216, 279},
    {PaperSize::Legal, "legal", QPageSize::Legal, 216, 356},
    {PaperSize::A3, "a3", QPageSize::A3, 297, 420},
    {PaperSize::A5, "a5", QPageSize::A5, 148, 210},
};

const PaperRow &RowOf(PaperSize paper) {
  for (const PaperRow &row : kPapers)
    if (row.paper == paper) return row;
  return kPapers[0];
}

// The first line of /etc/papersize that is neither blank nor a comment.
QString FirstName(const QString &text) {
  for (const QString &line : text.split(u'\n')) {
    const QString name = line.section(u'#', 0, 0).trimmed();
    if (!name.isEmpty()) return name;
  }
  return QString();
}

// `locale -k LC_PAPER` says "height=279" and "width=216" in millimetres.
bool PaperFromLocale(const QString &text, PaperSize *paper) {
  const auto number = [&text](const char *key) {
    const auto match =
        QRegularExpression(QStringLiteral("(?m)^%1=(\\d+)").arg(QLatin1StringView(key)))
            .match(text);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
  };
  const int height = number("height"), width = number("width");
  for (const PaperRow &row : kPapers)
    if (std::abs(height - row.heightMillimetres) <= 1 &&
        (width == 0 || std::abs(width - row.widthMillimetres) <= 1)) {
      *paper = row.paper;
      return true;
    }
  return false;
}

}  // namespace

bool PaperFromName(const QString &name, PaperSize *paper) {
  for (const PaperRow &row : kPapers)
    if (name.trimmed().compare(QLatin1StringView(row.name), Qt::CaseInsensitive) == 0) {
      *paper = row.paper;
      return true;
    }
  return false;
}

QString PaperName(PaperSize paper) { return QString::fromLatin1(RowOf(paper).name); }

QStringList PaperNames() {
  QStringList names;
  for (const PaperRow &row : kPapers) names << QString::fromLatin1(row.name);
  return names;
}

QPageSize::PageSizeId PageSizeIdOf(PaperSize paper) { return RowOf(paper).id; }

PaperChoice ChoosePaper(const PaperInputs &inputs) {
  PaperChoice choice;
  const std::pair<QString, const char *> named[] = {
      {inputs.option, "--paper"},
      {inputs.printerPaper, "printer"},
      {inputs.environment, "PAPERSIZE"},
      {FirstName(inputs.papersizeFile), "/etc/papersize"},
  };
  for (const auto &[name, source] : named)
    if (PaperFromName(name, &choice.paper)) {
      choice.source = QString::fromLatin1(source);
      return choice;
    }
  if (PaperFromLocale(inputs.localePaper, &choice.paper)) {
    choice.source = QStringLiteral("LC_PAPER");
    return choice;
  }
  return {PaperSize::A4, QStringLiteral("default")};
}

QStringList PaperWarnings(const PaperInputs &inputs, const PaperChoice &choice) {
  const std::pair<QString, const char *> named[] = {
      {inputs.printerPaper, "printer"},
      {inputs.environment.trimmed(), "PAPERSIZE"},
      {FirstName(inputs.papersizeFile), "/etc/papersize"},
  };
  QStringList warnings;
  PaperSize unused;
  for (const auto &[name, source] : named) {
    if (choice.source == QLatin1StringView(source)) break;
    if (name.isEmpty() || PaperFromName(name, &unused)) continue;
    const QString from =
        source == std::string_view("printer")     ? QStringLiteral("the printer's paper ") + name
        : source == std::string_view("PAPERSIZE") ? QStringLiteral("PAPERSIZE=") + name
                                                  : QStringLiteral("/etc/papersize names ") + name;
    warnings << from + QStringLiteral(", not a paper size scrivane knows (") +
                    PaperNames().join(QStringLiteral(", ")) + QStringLiteral("); ") +
                    PaperName(choice.paper) +
                    (choice.source == u"default"
                         ? QStringLiteral(" is used")
                         : QStringLiteral(" from ") + choice.source + QStringLiteral(" is used"));
  }
  return warnings;
}

PaperInputs SystemPaperInputs(const QString &option, const QString &printerPaper) {
  PaperInputs inputs{option, printerPaper, qEnvironmentVariable("PAPERSIZE"), {}, {}};
  if (QFile file(QStringLiteral("/etc/papersize")); file.open(QIODevice::ReadOnly))
    inputs.papersizeFile = QString::fromUtf8(file.read(4096));
  if (ChoosePaper(inputs).source != u"default") return inputs;
  QProcess locale;
  locale.start(QStringLiteral("locale"), {QStringLiteral("-k"), QStringLiteral("LC_PAPER")});
  if (locale.waitForFinished(5000))
    inputs.localePaper = QString::fromLocal8Bit(locale.readAllStandardOutput());
  return inputs;
}

}  // namespace scrivane
