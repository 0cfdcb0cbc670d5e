#pragma once
// How the logic reports to the user without knowing about windows: the
// window shows message boxes, the command-line tool writes to stderr.
#include <QString>

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

}  // namespace scrivane
