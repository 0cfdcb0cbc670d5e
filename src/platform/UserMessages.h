#pragma once
// How the logic reports to the user without knowing about windows: the
// window shows message boxes, the command-line tool writes to stderr.
#include <QString>
#include <QStringList>

namespace scrivane {

class UserMessages {
 public:
  virtual ~UserMessages() = default;
  virtual void Warning(const QString &text) = 0;      // warning box, OK
  // A warning about one file whose text does not name it ("File is binary.
  // ..."): the window shows the text as it is; a stream puts the path first.
  virtual void FileWarning(const QString &path, const QString &text) {
    (void)path;
    Warning(text);
  }
  virtual void Information(const QString &text) = 0;  // information box, OK
  virtual bool AskYesNo(const QString &text) = 0;     // information box, Yes/No
  virtual void SetBusy(bool busy) { (void)busy; }     // hourglass cursor
};

// Collects messages; used headless and in tests.
class RecordedMessages : public UserMessages {
 public:
  QStringList warnings, informations, questions;
  bool answer = true;
  void Warning(const QString &text) override { warnings << text; }
  void Information(const QString &text) override { informations << text; }
  bool AskYesNo(const QString &text) override {
    questions << text;
    return answer;
  }
};

}  // namespace scrivane
