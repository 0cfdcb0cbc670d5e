#pragma once
// A page box of the preview window: white, painted by the window's page
// run, and (box 1) the place of the zoom click.
#include <QWidget>

namespace scrivane {

class PreviewWindow;

class PreviewPaintBox : public QWidget {
 public:
  PreviewPaintBox(PreviewWindow *form, int box, QWidget *parent);

 protected:
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;

 private:
  PreviewWindow *form_;
  int box_;
};

}  // namespace scrivane
