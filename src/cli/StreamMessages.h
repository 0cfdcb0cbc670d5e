#pragma once
// What the window shows in message boxes, the command-line tool writes to
// stderr; any such message fails the run.
#include <QTextStream>

#include "cli/Options.h"
#include "platform/Paths.h"
#include "platform/UserMessages.h"

namespace scrivane::cli {

// A message as a command-line tool says it: the program's name first, then
// the file ("scrivane-print: none.dpr: not found").
inline QString CommandLineMessage(QString text) {
  const QLatin1StringView notFound(" not found.");
  if (text.endsWith(notFound))
    text = text.chopped(notFound.size()) + QStringLiteral(": not found");
  else if (const qsizetype at = text.indexOf(QLatin1StringView(" not found: ")); at > 0)
    text.replace(at, 1, QStringLiteral(": "));
  return kProgramPrefix + EscapeControlCharacters(text);
}

inline void Report(QTextStream &err, const QString &text) {
  err << CommandLineMessage(text) << Qt::endl;
}

class StreamMessages : public UserMessages {
 public:
  explicit StreamMessages(QTextStream &err) : err_(err) {}
  void Warning(const QString &text) override { Report(text); }
  void FileWarning(const QString &path, const QString &text) override {
    Report(text.contains(path) ? text : path + QStringLiteral(": ") + text);
  }
  void Information(const QString &text) override { Report(text); }
  bool AskYesNo(const QString &text) override {
    Report(text);
    return false;
  }
  void Note(const QString &text) override {
    err_ << CommandLineMessage(QStringLiteral("warning: ") + text) << Qt::endl;
  }
  bool reported = false;

 private:
  void Report(const QString &text) {
    cli::Report(err_, text);
    reported = true;
  }
  QTextStream &err_;
};

}  // namespace scrivane::cli
