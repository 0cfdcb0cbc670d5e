#pragma once
// What a desktop user expects of the main window beyond its menus: a
// Pascal file dropped on it opens; it comes back with the size, place and
// splitter it had and opens its dialogs in the folders last used; Ctrl+P
// prints the highlighted unit and Ctrl+Q quits; Return on a list does what
// a double click does; Shift+click selects a range of routines. The window
// keeps this in the section "Window" of scrivn.ini, which the format
// settings never read (paths there are UTF-8).
#include <QList>
#include <QObject>
#include <QString>

class QEvent;

namespace scrivane {

class IniFile;
class MainWindow;

class WindowHabits : public QObject {
 public:
  explicit WindowHabits(MainWindow &window);

  void Restore(const IniFile &ini);
  void Save(IniFile &ini) const;

  // The folder of the last file opened, where the Open dialog starts.
  QString OpenFolder;

  static bool IsPascalFile(const QString &path);
  // The Open dialog's filters, every Pascal file first.
  static QString OpenFilter();

 protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  bool SelectRange(QEvent *event);
  MainWindow &window_;
  QList<int> splitterSizes_;  // given back once the window is laid out
  int anchorRow_ = -1;        // the routine last clicked without Shift
};

}  // namespace scrivane
