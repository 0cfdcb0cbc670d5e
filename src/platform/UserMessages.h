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
  // Something the user should know that stops nothing (an include file
  // that is not there): no box; a stream writes it as a warning, and the
  // run still succeeds.
  virtual void Note(const QString &text) { (void)text; }
};

}  // namespace scrivane
