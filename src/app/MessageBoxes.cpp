#include "app/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

namespace scrivane {

namespace {
// A box opened while the hourglass shows must still get the arrow.
class ArrowWhileShown {
 public:
  ArrowWhileShown() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~ArrowWhileShown() { QApplication::restoreOverrideCursor(); }
};

QString Title() { return QApplication::applicationName(); }
}  // namespace

void MessageBoxes::Warning(const QString &text) {
  ArrowWhileShown arrow;
  QMessageBox::warning(parent_, Title(), text, QMessageBox::Ok);
}

void MessageBoxes::Information(const QString &text) {
  ArrowWhileShown arrow;
  QMessageBox::information(parent_, Title(), text, QMessageBox::Ok);
}

bool MessageBoxes::AskYesNo(const QString &text) {
  ArrowWhileShown arrow;
  return QMessageBox::information(parent_, Title(), text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) == QMessageBox::Yes;
}

void MessageBoxes::SetBusy(bool busy) {
  if (busy) {
    if (busyDepth_++ == 0) QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (busyDepth_ > 0) {
    if (--busyDepth_ == 0) QApplication::restoreOverrideCursor();
  }
}

}  // namespace scrivane
