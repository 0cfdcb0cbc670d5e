#pragma once
// Which paper a document is laid out on, chosen as a2ps and enscript choose
// it: the user's choice, else the printer's default paper, else $PAPERSIZE,
// else /etc/papersize, else the locale's LC_PAPER, else A4.
#include <QPageSize>
#include <QString>
#include <QStringList>

namespace scrivane {

enum class PaperSize { A4, Letter, Legal, A3, A5 };

// "a4", "letter", "legal", "a3", "a5" (any case); false for other names.
bool PaperFromName(const QString &name, PaperSize *paper);
QString PaperName(PaperSize paper);  // "a4", ...
QStringList PaperNames();
QPageSize::PageSizeId PageSizeIdOf(PaperSize paper);

// What the choice is made from; every member may be empty.
struct PaperInputs {
  QString option;         // --paper
  QString printerPaper;   // the printer's default paper, as a name ("Letter", "A4")
  QString environment;    // $PAPERSIZE
  QString papersizeFile;  // the contents of /etc/papersize
  QString localePaper;    // the output of `locale -k LC_PAPER`
};

struct PaperChoice {
  PaperSize paper = PaperSize::A4;
  // Where it came from: "--paper", "printer", "PAPERSIZE", "/etc/papersize",
  // "LC_PAPER" or "default". A source naming a paper we do not know is passed over.
  QString source;
  friend bool operator==(const PaperChoice &, const PaperChoice &) = default;
};

PaperChoice ChoosePaper(const PaperInputs &inputs);
// One text per source the choice passed over because it names a paper we do
// not know ("PAPERSIZE=b5 is not a paper size scrivane knows (...); a4 from
// LC_PAPER is used"); empty when none was.
QStringList PaperWarnings(const PaperInputs &inputs, const PaperChoice &choice);

// Reads $PAPERSIZE, /etc/papersize and, only when neither names a paper,
// runs `locale -k LC_PAPER`.
PaperInputs SystemPaperInputs(const QString &option, const QString &printerPaper);

}  // namespace scrivane
