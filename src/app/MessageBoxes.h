#pragma once
// User messages shown as modal message boxes over the main window.
#include "platform/UserMessages.h"

class QWidget;

namespace scrivane {

class MessageBoxes : public UserMessages {
 public:
  explicit MessageBoxes(QWidget *parent) : parent_(parent) {}
  void Warning(const QString &text) override;
  void Information(const QString &text) override;
  bool AskYesNo(const QString &text) override;
  // Nested: only the outermost call restores the cursor.
  void SetBusy(bool busy) override;

 private:
  QWidget *parent_;
  int busyDepth_ = 0;
};

}  // namespace scrivane
