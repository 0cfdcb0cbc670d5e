#pragma once
// The Legend window: what each pick-list glyph stands for.
#include <QDialog>

namespace scrivane {

class LegendWindow : public QDialog {
  Q_OBJECT
 public:
  explicit LegendWindow(QWidget *parent = nullptr);
};

// The About window.
class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget *parent = nullptr);
};

}  // namespace scrivane
