#pragma once
// The small dialog that asks for a page number to show.
#include <QDialog>

class QPushButton;
class QSpinBox;

namespace scrivane {

class PageNumberDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PageNumberDialog(QWidget *parent = nullptr);

  int Page() const;
  void SetPage(int page);  // clamped to 1..999

  QSpinBox *PageNum = nullptr;
  QPushButton *OKBtn = nullptr;
  QPushButton *CancelBtn = nullptr;
};

}  // namespace scrivane
