#pragma once
// How the logic reports to the user without knowing about windows: the
// window shows message boxes, the command-line tool writes to stderr.
#include <QString>
#include <exception>
#include <new>

namespace scrivane {

// What a caught failure tells the user. An allocation failure (a unit of
// hundreds of megabytes under a memory limit) names the file it was
// reading or printing; anything else says what it is.
inline QString FailureText(const std::exception &failure, const QString &file,
                           bool printing = false) {
  if (dynamic_cast<const std::bad_alloc *>(&failure))
    return QStringLiteral("Not enough memory to %1 %2")
        .arg(printing ? QStringLiteral("print") : QStringLiteral("read"), file);
  return QString::fromLocal8Bit(failure.what());
}

class UserMessages {
 public:
  virtual ~UserMessages() = default;
  virtual void Warning(const QString &text) = 0;  // warning box, OK
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
  // that is not there, a file the project may not bring in): no box; a
  // stream writes it as a warning, and the run still succeeds.
  virtual void Note(const QString &text) { (void)text; }
};

}  // namespace scrivane
