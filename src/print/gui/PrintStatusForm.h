#pragma once
// "Print Status": shows the job and the page while a document prints; its
// Cancel stops the run before the next page.
#include <QDialog>

#include "print/PrintRunner.h"

class QLabel;
class QPushButton;

namespace scrivane {

class PrintStatusWindow : public QDialog, public PrintProgress {
  Q_OBJECT
 public:
  // printCancelled is the main window's flag (may be null): false when the
  // window shows, true after Cancel.
  explicit PrintStatusWindow(QWidget *parent = nullptr, bool *printCancelled = nullptr);

  void SetJobText(const QString &text) override;
  void SetPageText(int page) override;
  void ProcessEvents() override;
  bool Cancelled() const override { return cancelled_; }
  void Finish() override;

  void Cancel();
  QLabel *TitleLabel = nullptr;
  QLabel *PageNumLabel = nullptr;
  QPushButton *CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent *event) override;
  void reject() override;

 private:
  bool *printCancelled_;
  bool cancelled_ = false;
};

}  // namespace scrivane
