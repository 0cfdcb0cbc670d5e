#pragma once
// What the window shows in message boxes, the command-line tool writes to
// stderr; any such message fails the run.
#include <QTextStream>

#include "platform/UserMessages.h"

namespace scrivane::cli {

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
  bool reported = false;

 private:
  void Report(const QString &text) {
    err_ << text << Qt::endl;
    reported = true;
  }
  QTextStream &err_;
};

}  // namespace scrivane::cli
