#include "print/gui/PrintStatusForm.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace scrivane {

PrintStatusWindow::PrintStatusWindow(QWidget *parent, bool *printCancelled)
    : QDialog(parent), printCancelled_(printCancelled) {
  setWindowTitle(QStringLiteral("Print Status"));
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  QFont bold(QStringLiteral("MS Sans Serif"));
  bold.setPointSize(8);
  bold.setBold(true);
  setFont(bold);

  auto *bevel = new QFrame(this);
  bevel->setFrameShape(QFrame::StyledPanel);
  auto *grid = new QGridLayout(bevel);
  auto *jobCaption = new QLabel(QStringLiteral("Print Job:"), bevel);
  auto *pageCaption = new QLabel(QStringLiteral("Page:"), bevel);
  jobCaption->setAlignment(Qt::AlignRight | Qt::AlignTop);
  pageCaption->setAlignment(Qt::AlignRight | Qt::AlignTop);
  TitleLabel = new QLabel(QStringLiteral("(No Title)"), bevel);
  TitleLabel->setWordWrap(true);
  TitleLabel->setFixedWidth(245);
  QFont regular = bold;
  regular.setBold(false);
  TitleLabel->setFont(regular);
  PageNumLabel = new QLabel(QStringLiteral("Initializing..."), bevel);
  grid->addWidget(jobCaption, 0, 0);
  grid->addWidget(TitleLabel, 0, 1);
  grid->addWidget(pageCaption, 1, 0);
  grid->addWidget(PageNumLabel, 1, 1);

  CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("Cancel"), this);
  connect(CancelBtn, &QPushButton::clicked, this, &PrintStatusWindow::Cancel);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(bevel);
  layout->addWidget(CancelBtn, 0, Qt::AlignHCenter);
  resize(335, 99);
  CancelBtn->setFocus();
}

void PrintStatusWindow::showEvent(QShowEvent *event) {
  if (printCancelled_) *printCancelled_ = false;
  PageNumLabel->setText(QStringLiteral("Initializing..."));
  TitleLabel->setText(QStringLiteral("(No Title)"));
  QDialog::showEvent(event);
}

void PrintStatusWindow::SetJobText(const QString &text) {
  TitleLabel->setText(text);
  TitleLabel->repaint();
}

void PrintStatusWindow::SetPageText(int page) {
  PageNumLabel->setText(QString::number(page));
  PageNumLabel->repaint();
}

void PrintStatusWindow::ProcessEvents() { QCoreApplication::processEvents(); }

void PrintStatusWindow::Cancel() {
  cancelled_ = true;
  SetJobText(QStringLiteral("Cancelling..."));
  if (printCancelled_) *printCancelled_ = true;
  hide();
}

// Escape and the title bar's close button cancel as the button does.
void PrintStatusWindow::reject() { Cancel(); }

void PrintStatusWindow::Finish() { hide(); }

}  // namespace scrivane
