#include "print/gui/GoPageForm.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace scrivane {

PageNumberDialog::PageNumberDialog(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Go to Page Number"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  QFont dialogFont(QStringLiteral("MS Sans Serif"), 8);
  dialogFont.setBold(true);
  setFont(dialogFont);

  auto *bevel = new QFrame(this);
  bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
  auto *bevelLayout = new QHBoxLayout(bevel);
  PageNum = new QSpinBox(bevel);
  // Any page of the longest document: a project book runs to tens of
  // thousands of pages.
  PageNum->setRange(1, 9999999);
  bevelLayout->addWidget(PageNum);

  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto *buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto *layout = new QVBoxLayout(this);
  layout->addWidget(bevel);
  layout->addLayout(buttons);
  // The number takes the keys, so a page can be typed at once; Return
  // still answers OK, the default button.
  PageNum->setFocus();
}

int PageNumberDialog::Page() const { return PageNum->value(); }

void PageNumberDialog::SetPage(int page) {
  PageNum->setValue(page);
  // Typing replaces the page shown instead of adding digits to it.
  PageNum->selectAll();
}

}  // namespace scrivane
