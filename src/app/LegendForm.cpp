#include "app/LegendForm.h"

#include <QDialogButtonBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "widgets/Glyphs.h"

namespace scrivane {

const char *AppVersionText();

LegendWindow::LegendWindow(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Legend"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  // A lowered white panel; glyphs and captions at fixed places within it.
  auto *panel = new QFrame(this);
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setAutoFillBackground(true);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, Qt::white);
  panel->setPalette(palette);
  int widest = 0;
  for (int i = 0; i < 8; ++i) {
    const int y = 10 + 18 * i;
    auto *glyph = new QLabel(panel);
    glyph->setObjectName(QStringLiteral("legendGlyph%1").arg(i));
    glyph->setPixmap(EntryGlyph(LegendRows[i].kind));
    glyph->setGeometry(12, y, GlyphSizePx, GlyphSizePx);
    auto *caption = new QLabel(QString::fromLatin1(LegendRows[i].caption), panel);
    caption->setObjectName(QStringLiteral("legendCaption%1").arg(i));
    caption->adjustSize();
    caption->move(32, y + (GlyphSizePx - caption->height()) / 2);
    widest = std::max(widest, 32 + caption->width());
  }
  // The captions decide the width where this font is wider than the original.
  panel->setFixedSize(std::max(171, widest + 12), 163);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(panel);
  setFixedSize(sizeHint());
}

AboutBox::AboutBox(QWidget *parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Scrivane"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  auto *layout = new QVBoxLayout(this);
  auto *icon = new QLabel(this);
  icon->setPixmap(ToolIcon(ToolGlyph::Format, 48).pixmap(48, 48));
  icon->setAlignment(Qt::AlignCenter);
  layout->addWidget(icon);
  auto *text = new QLabel(
      QStringLiteral("<b>Scrivane</b> %1<br>Documents Object Pascal projects on paper.<br><br>"
                     "Tallowind, Incorporated")
          .arg(QString::fromLatin1(AppVersionText())),
      this);
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace scrivane
