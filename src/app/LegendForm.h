#pragma once
// The Legend window: what each pick-list glyph stands for.
#include <QDialog>

namespace scrivane {

class TLegendForm : public QDialog {
  Q_OBJECT
 public:
  explicit TLegendForm(QWidget *parent = nullptr);
};

// The About window.
class TAboutForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutForm(QWidget *parent = nullptr);
};

}  // namespace scrivane
