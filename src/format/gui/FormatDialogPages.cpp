// The format dialog's five pages, laid out once when the dialog is made;
// what their controls do is in FormatFrm.cpp.
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>

#include "format/FormatChoices.h"
#include "format/FormatSettings.h"
#include "format/gui/FormatFrm.h"
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "widgets/ColorComboBox.h"

namespace scrivane {

namespace {

// A raised, bevelled caption panel: the label look of a Delphi dialog.
QLabel *PanelLabel(const QString &text) {
  auto *label = new QLabel(text);
  label->setFrameStyle(QFrame::Panel | QFrame::Raised);
  label->setMinimumWidth(110);
  return label;
}

QLabel *SamplePanel(const QString &text) {
  auto *label = new QLabel(text);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setAlignment(Qt::AlignCenter);
  label->setAutoFillBackground(true);
  label->setMinimumHeight(28);
  // Room for a 14-point sample, no more: the panel does not fill the tab.
  label->setMaximumHeight(48);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, Qt::white);
  label->setPalette(palette);
  return label;
}

// The rules the border buttons stand for, drawn as their glyphs.
QIcon BorderGlyph(int border) {
  QPixmap pixmap(40, 20);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  const auto rule = [&p](int y, int width) { p.fillRect(QRect(2, y, 36, width), Qt::black); };
  switch (border) {
    case 0:
      rule(9, 1);
      break;
    case 1:
      rule(8, 3);
      break;
    case 2:
      rule(5, 1);
      rule(10, 3);
      break;
    default:
      rule(5, 3);
      rule(12, 1);
      break;
  }
  return QIcon(pixmap);
}

QIcon FontGlyph() {
  QPixmap pixmap(24, 24);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  QFont font(QStringLiteral("DejaVu Serif"));
  font.setPixelSize(20);
  font.setBold(true);
  p.setFont(font);
  p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("A"));
  return QIcon(pixmap);
}

QComboBox *ItemList(const QStringList &items) {
  auto *box = new QComboBox;
  box->addItems(items);
  return box;
}

}  // namespace

QWidget *FormatDialog::BuildMarginsTab() {
  auto *tab = new QWidget;
  auto *lengths = new QGridLayout;
  TopBox = new QComboBox;
  BottomBox = new QComboBox;
  LeftBox = new QComboBox;
  RightBox = new QComboBox;
  IndentBox = new QComboBox;
  SpaceBox =
      ItemList({QStringLiteral("Single"), QStringLiteral("1.5 Lines"), QStringLiteral("Double ")});
  EqualBox = ItemList({QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                       QStringLiteral("3"), QStringLiteral("4")});
  EqualBox->setToolTip(
      QStringLiteral("Indent the equal sign in properties times the indent spacing value. "));
  SheetBox = ItemList({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4")});
  SheetBox->setToolTip(
      QStringLiteral("2: two pages side by side on a landscape sheet; 4: four pages in two rows."));
  connect(SheetBox, &QComboBox::activated, this,
          [this](int index) { settings_.PagesPerSheet = SheetBox->itemText(index).toInt(); });
  const std::pair<const char *, QComboBox *> rows[] = {
      {" Top Margin", TopBox},          {" Bottom Margin", BottomBox},
      {" Line Spacing", SpaceBox},      {" Left Margin", LeftBox},
      {" Right Margin", RightBox},      {" Indent Spacing", IndentBox},
      {" Indent Equal Sign", EqualBox}, {" Pages per Sheet", SheetBox},
  };
  int row = 0;
  for (const auto &[caption, box] : rows) {
    lengths->addWidget(PanelLabel(QString::fromLatin1(caption)), row, 0);
    lengths->addWidget(box, row, 1);
    ++row;
  }
  lengths->setRowStretch(row, 1);
  const std::pair<QComboBox *, int FormatSettings::*> lists[] = {
      {TopBox, &FormatSettings::Top},       {BottomBox, &FormatSettings::Bottom},
      {LeftBox, &FormatSettings::Left},     {RightBox, &FormatSettings::Right},
      {IndentBox, &FormatSettings::Indent}, {SpaceBox, &FormatSettings::Space},
      {EqualBox, &FormatSettings::Equal},
  };
  for (const auto &[box, member] : lists) {
    // Only a pick by the user writes: filling the lists again does not.
    connect(box, &QComboBox::activated, this,
            [this, member = member](int index) { settings_.*member = index; });
  }
  itemLists_.emplace_back(SpaceBox, &FormatSettings::Space);
  itemLists_.emplace_back(EqualBox, &FormatSettings::Equal);

  const auto checkBox = [this](QCheckBox *&box, const char *caption, int FormatSettings::*member) {
    box = new QCheckBox(QString::fromLatin1(caption));
    connect(box, &QCheckBox::toggled, this,
            [this, member](bool on) { settings_.*member = on ? 1 : 0; });
    switches_.emplace_back(box, member);
    return box;
  };
  auto *settingsGroup = new QGroupBox(QStringLiteral("Settings"));
  auto *settingsLayout = new QVBoxLayout(settingsGroup);
  settingsLayout->addWidget(checkBox(blockDiagramBox, "&Block diagram", &FormatSettings::Blocks));
  settingsLayout->addWidget(checkBox(lineNumbersBox, "&Line numbers", &FormatSettings::LineNo));
  settingsLayout->addWidget(checkBox(LineNumbersFromFile, "Line numbers of the &source file",
                                     &FormatSettings::LineNumbersFrom));
  // Asking for the file's numbers is asking for numbers (a click only: the
  // settings as read stay as they are).
  connect(LineNumbersFromFile, &QCheckBox::clicked, this, [this](bool on) {
    if (on) lineNumbersBox->setChecked(true);
  });
  settingsLayout->addWidget(
      checkBox(autoFormatBox, "Use &automatic formatting", &FormatSettings::Auto));
  settingsLayout->addWidget(checkBox(lineBetweenRoutinesBox, "Line bet&ween procedures",
                                     &FormatSettings::LineBetweenRoutines));
  settingsLayout->addWidget(
      checkBox(lowerCaseBox, "Set all te&xt to lower case", &FormatSettings::Lower));
  settingsLayout->addWidget(checkBox(FollowIncludesBox, "Print i&nclude files in place",
                                     &FormatSettings::FollowIncludes));
  settingsLayout->addWidget(
      checkBox(FormDataWhole, "Print forms' binar&y data whole", &FormatSettings::FormData));
  settingsLayout->addWidget(checkBox(ImplementationRoutinesBox,
                                     "List e&very routine, the implementation part's too",
                                     &FormatSettings::ImplementationRoutines));
  settingsLayout->addWidget(
      checkBox(KeepSourceLayoutBox, "&Keep the source's own layout", &FormatSettings::Layout));
  settingsLayout->addWidget(checkBox(CrossLinksBox, "Link names in the code to their declarations",
                                     &FormatSettings::CrossLinks));

  auto *namesGroup = new QGroupBox(QStringLiteral("Procedure Names"));
  auto *namesLayout = new QVBoxLayout(namesGroup);
  namesLayout->addWidget(
      checkBox(upperCaseNamesBox, "Upper &case", &FormatSettings::UpperCaseRoutineNames));
  namesLayout->addWidget(checkBox(boldNamesBox, "Bol&d", &FormatSettings::Bold));

  auto *reserveGroup = new QGroupBox(QStringLiteral("Reserved Words"));
  auto *reserveLayout = new QVBoxLayout(reserveGroup);
  reservedWordCase = new QButtonGroup(this);
  int id = 0;
  for (const char *caption : {"Normal", "Upper Case", "Lower Case"}) {
    auto *radio = new QRadioButton(QString::fromLatin1(caption));
    reservedWordCase->addButton(radio, id++);
    reserveLayout->addWidget(radio);
  }
  connect(reservedWordCase, &QButtonGroup::idToggled, this, [this](int index, bool on) {
    if (on) settings_.Reserve = index;
  });

  auto *pathGroup = new QGroupBox(QStringLiteral("Include Path"));
  auto *pathLayout = new QVBoxLayout(pathGroup);
  pathLayout->addWidget(checkBox(projectPathBox, "&Project name", &FormatSettings::Path2));
  pathLayout->addWidget(checkBox(unitPathBox, "Unit na&me", &FormatSettings::Path1));

  ProcColor = new QLabel(tab);
  ProcColor->hide();

  auto *right = new QGridLayout;
  right->addWidget(settingsGroup, 0, 0, 1, 2);
  right->addWidget(namesGroup, 1, 0);
  right->addWidget(pathGroup, 1, 1);
  right->addWidget(reserveGroup, 2, 0, 1, 2);
  auto *layout = new QHBoxLayout(tab);
  layout->addLayout(lengths);
  layout->addLayout(right);
  return tab;
}

QWidget *FormatDialog::BuildFontsTab() {
  auto *tab = new QWidget;
  BaseFontBtn = new QToolButton;
  BaseFontBtn->setIcon(FontGlyph());
  BaseFontBtn->setIconSize(QSize(24, 24));
  BaseFontBtn->setText(QStringLiteral("&Font..."));
  BaseFontBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BaseFontBtn->setToolTip(QStringLiteral("Choose the base font"));
  BaseColorBtn = new QPushButton(QStringLiteral("C&olour..."));
  BaseColor = SamplePanel(QStringLiteral("Base Font"));
  connect(BaseFontBtn, &QToolButton::clicked, this, [this] { FontBtnClick(false); });
  connect(BaseColorBtn, &QPushButton::clicked, this, [this] { ColorBtnClick(false); });
  auto *top = new QHBoxLayout;
  top->addWidget(BaseFontBtn);
  top->addWidget(BaseColorBtn);
  top->addWidget(BaseColor, 1);

  auto *groups = new QGridLayout;
  const std::pair<const char *, const char *> captions[KindCount] = {
      {"Comments and Glyphs", "Comments"},
      {"Line Numbers", "Line Numbers"},
      {"Reserved Words", "Reserve Words"},
      {"Message Text", "Message Text"},
  };
  // Two rows of two: comments beside message text, then reserved words
  // beside line numbers.
  const int place[KindCount] = {0, 3, 2, 1};
  for (int kind = 0; kind < KindCount; ++kind) {
    KindControls &k = Kinds[kind];
    auto *group = new QGroupBox(QString::fromLatin1(captions[kind].first));
    k.colorBox = new ColorComboBox;
    k.bold = new QToolButton;
    k.bold->setText(QStringLiteral("Bold"));
    k.italic = new QToolButton;
    k.italic->setText(QStringLiteral("Italic"));
    for (QToolButton *toggle : {k.bold, k.italic}) {
      toggle->setCheckable(true);
      toggle->setFocusPolicy(Qt::StrongFocus);
      connect(toggle, &QToolButton::clicked, this, [this, kind] { TakeKindStyle(Kind(kind)); });
    }
    connect(k.colorBox, &ColorComboBox::colorClicked, this,
            [this, kind] { TakeKindStyle(Kind(kind)); });
    k.sample = SamplePanel(QString::fromLatin1(captions[kind].second));
    auto *layout = new QGridLayout(group);
    layout->addWidget(k.colorBox, 0, 0, 1, 2);
    layout->addWidget(k.bold, 1, 0);
    layout->addWidget(k.italic, 1, 1);
    layout->addWidget(k.sample, 2, 0, 1, 2);
    groups->addWidget(group, place[kind] / 2, place[kind] % 2);
  }
  auto *layout = new QVBoxLayout(tab);
  layout->addLayout(top);
  layout->addLayout(groups);
  layout->addStretch();
  return tab;
}

QWidget *FormatDialog::BuildReservedWordsTab() {
  auto *tab = new QWidget;
  plainWordList = new QListWidget;
  plainWordList->setObjectName(QStringLiteral("plainWordList"));
  plainWordList->setToolTip(
      QStringLiteral("Select the reserve words to display in the selected format"));
  reservedWordList = new QListWidget;
  reservedWordList->setObjectName(QStringLiteral("reservedWordList"));
  for (QListWidget *list : {plainWordList, reservedWordList})
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  const auto moveButton = [this](QToolButton *&button, const char *text, const char *tip) {
    button = new QToolButton;
    button->setText(QString::fromLatin1(text));
    button->setToolTip(QString::fromLatin1(tip));
    button->setFocusPolicy(Qt::StrongFocus);
    button->setMinimumWidth(36);
    return button;
  };
  auto *buttons = new QVBoxLayout;
  buttons->addStretch();
  buttons->addWidget(moveButton(IncludeBtn, ">", "Print the selected words as reserved words"));
  buttons->addWidget(moveButton(IncAllBtn, ">>", "Print every word as a reserved word"));
  buttons->addWidget(moveButton(ExcludeBtn, "<", "Print the selected words as plain text"));
  buttons->addWidget(moveButton(ExAllBtn, "<<", "Print every word as plain text"));
  buttons->addStretch();
  connect(IncludeBtn, &QToolButton::clicked, this,
          [this] { MoveSelected(plainWordList, reservedWordList); });
  connect(ExcludeBtn, &QToolButton::clicked, this,
          [this] { MoveSelected(reservedWordList, plainWordList); });
  connect(IncAllBtn, &QToolButton::clicked, this,
          [this] { MoveAll(plainWordList, reservedWordList); });
  connect(ExAllBtn, &QToolButton::clicked, this,
          [this] { MoveAll(reservedWordList, plainWordList); });
  for (const QByteArray &word : settings_.ReserveWords) reservedWordList->addItem(Decode1252(word));
  auto *layout = new QHBoxLayout(tab);
  layout->addWidget(plainWordList);
  layout->addLayout(buttons);
  layout->addWidget(reservedWordList);
  return tab;
}

QWidget *FormatDialog::BuildHeaderFooterTab() {
  auto *tab = new QWidget;
  HeaderFontBtn = new QToolButton;
  HeaderFontBtn->setIcon(FontGlyph());
  HeaderFontBtn->setIconSize(QSize(24, 24));
  HeaderFontBtn->setText(QStringLiteral("Fon&t..."));
  HeaderFontBtn->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  HeaderFontBtn->setToolTip(QStringLiteral("Choose the header and footer font"));
  HeaderColorBtn = new QPushButton(QStringLiteral("Colo&ur..."));
  HeaderColor = SamplePanel(QStringLiteral("Header and footer font"));
  connect(HeaderFontBtn, &QToolButton::clicked, this, [this] { FontBtnClick(true); });
  connect(HeaderColorBtn, &QPushButton::clicked, this, [this] { ColorBtnClick(true); });
  auto *top = new QHBoxLayout;
  top->addWidget(HeaderFontBtn);
  top->addWidget(HeaderColorBtn);
  top->addWidget(HeaderColor, 1);

  const auto checkBox = [this](QCheckBox *&box, const char *caption, int FormatSettings::*member) {
    box = new QCheckBox(QString::fromLatin1(caption));
    connect(box, &QCheckBox::toggled, this,
            [this, member](bool on) { settings_.*member = on ? 1 : 0; });
    switches_.emplace_back(box, member);
    return box;
  };
  const auto itemList = [this](QComboBox *&box, const QStringList &items,
                               int FormatSettings::*member) {
    box = ItemList(items);
    connect(box, &QComboBox::activated, this,
            [this, member](int index) { settings_.*member = index; });
    itemLists_.emplace_back(box, member);
    return box;
  };
  const QStringList headerItems = {QStringLiteral("None"), QStringLiteral("Project Name"),
                                   QStringLiteral("Unit Name"), QStringLiteral("Date"),
                                   QStringLiteral("Date - Time")};
  auto *header = new QGroupBox(QStringLiteral("Header"));
  auto *headerLayout = new QGridLayout(header);
  headerLayout->addWidget(checkBox(headerBox, "Print Page &Header", &FormatSettings::Header), 0, 0,
                          1, 3);
  headerLayout->addWidget(new QLabel(QStringLiteral("Left Top")), 1, 0);
  headerLayout->addWidget(new QLabel(QStringLiteral("Center Top")), 1, 1);
  headerLayout->addWidget(new QLabel(QStringLiteral("Right Top")), 1, 2);
  headerLayout->addWidget(itemList(Line1A, headerItems, &FormatSettings::Line1A), 2, 0);
  headerLayout->addWidget(itemList(Line1B, headerItems, &FormatSettings::Line1B), 2, 1);
  headerLayout->addWidget(
      itemList(Line1C,
               {QStringLiteral("None"), QStringLiteral("Project Name "),
                QStringLiteral("Unit Name"), QStringLiteral("Date"), QStringLiteral("Date - Time")},
               &FormatSettings::Line1C),
      2, 2);

  auto *footer = new QGroupBox(QStringLiteral("Footer"));
  auto *footerLayout = new QGridLayout(footer);
  footerLayout->addWidget(checkBox(footerBox, "Print Pa&ge Footer", &FormatSettings::Footer), 0, 0,
                          1, 2);
  footerLayout->addWidget(new QLabel(QStringLiteral("Center Bottom")), 1, 0);
  footerLayout->addWidget(new QLabel(QStringLiteral("Right Bottom")), 1, 1);
  footerLayout->addWidget(itemList(Line3B,
                                   {QStringLiteral("None"), QStringLiteral("Project Name"),
                                    QStringLiteral("Unit Name"), QStringLiteral("Page No")},
                                   &FormatSettings::Line3B),
                          2, 0);
  footerLayout->addWidget(
      itemList(Line3C,
               {QStringLiteral("None"), QStringLiteral("Project Name"), QStringLiteral("Unit Name"),
                QStringLiteral("Page No"), QStringLiteral("Date"), QStringLiteral("Date - Time")},
               &FormatSettings::Line3C),
      2, 1);
  auto *borders = new QButtonGroup(this);
  auto *borderRow = new QHBoxLayout;
  borderRow->addWidget(new QLabel(QStringLiteral("Rules:")));
  const char *const borderTips[4] = {"One thin rule", "One thick rule",
                                     "A thin rule over a thick one",
                                     "A thick rule over a thin one"};
  for (int border = 3; border >= 0; --border) {
    auto *button = new QToolButton;
    button->setObjectName(QStringLiteral("BorderButton%1").arg(border + 1));
    button->setCheckable(true);
    button->setIcon(BorderGlyph(border));
    button->setIconSize(QSize(40, 20));
    button->setToolTip(QString::fromLatin1(borderTips[border]));
    button->setFocusPolicy(Qt::StrongFocus);
    borders->addButton(button, border);
    borderRow->addWidget(button);
    BorderButtons[border] = button;
  }
  borderRow->addStretch();
  connect(borders, &QButtonGroup::idClicked, this,
          [this](int border) { settings_.Border = border; });
  footerLayout->addLayout(borderRow, 3, 0, 1, 2);

  auto *image = new QGroupBox(QStringLiteral("Form Image"));
  auto *imageLayout = new QVBoxLayout(image);
  imageLayout->addWidget(checkBox(printImageBox, "Print &Image", &FormatSettings::PrintImage));
  auto *alignment = new QGroupBox(QStringLiteral("Alignment"));
  auto *alignmentLayout = new QVBoxLayout(alignment);
  imageAlignment = new QButtonGroup(this);
  int id = 0;
  for (const char *caption : {"Left", "Right", "Center"}) {
    auto *radio = new QRadioButton(QString::fromLatin1(caption));
    imageAlignment->addButton(radio, id++);
    alignmentLayout->addWidget(radio);
  }
  connect(imageAlignment, &QButtonGroup::idToggled, this, [this](int index, bool on) {
    if (on) settings_.Align = index;
  });
  imageLayout->addWidget(alignment);

  auto *grid = new QGridLayout(tab);
  grid->addLayout(top, 0, 0, 1, 2);
  grid->addWidget(header, 1, 0);
  grid->addWidget(footer, 2, 0);
  grid->addWidget(image, 1, 1, 2, 1);
  grid->setRowStretch(3, 1);
  return tab;
}

QWidget *FormatDialog::BuildTitleBlockTab() {
  auto *tab = new QWidget;
  auto *grid = new QGridLayout(tab);
  const char *const captions[8] = {" Company Name",  " Street Address", " City, State, Zip",
                                   " Telephone",     " Client Name",    " Designed By",
                                   " Programmed By", " Last Revised"};
  for (int i = 0; i < 8; ++i) {
    grid->addWidget(PanelLabel(QString::fromLatin1(captions[i])), i, 0);
    auto *edit = new QLineEdit;
    edit->setObjectName(QStringLiteral("Edit%1").arg(i + 1));
    edit->setMaxLength(kTitleLength);
    edit->setMinimumWidth(260);
    connect(edit, &QLineEdit::textEdited, this, [this, i](const QString &text) {
      *settings_.TitleField(i + 1) = StoreTitleText(text, kTitleLength);
    });
    grid->addWidget(edit, i, 1);
    Edits[i] = edit;
  }
  titleBlockBox = new QCheckBox(QStringLiteral("Print the title block"));
  connect(titleBlockBox, &QCheckBox::toggled, this,
          [this](bool on) { settings_.Title = on ? 1 : 0; });
  switches_.emplace_back(titleBlockBox, &FormatSettings::Title);
  grid->addWidget(titleBlockBox, 8, 1);
  return tab;
}

}  // namespace scrivane
