#include "format/gui/FormatFrm.h"

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
#include "platform/Text1252.h"
#include "platform/UserMessages.h"
#include "widgets/ColorComboBox.h"

namespace scrivane {

namespace {

constexpr int kTitleLength = 35;

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

// How a font from the settings looks on the screen.
QFont ScreenFont(const FontSpec &chosen) {
  QFont font(chosen.face);
  font.setPointSize(std::max(1, chosen.pointSize));
  font.setBold(chosen.bold());
  font.setItalic(chosen.italic());
  return font;
}

void ShowFont(QLabel *sample, const FontSpec &chosen) {
  sample->setFont(ScreenFont(chosen));
  QPalette palette = sample->palette();
  palette.setColor(QPalette::WindowText, ToQColor(chosen.color));
  sample->setPalette(palette);
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

FormatDialog::FormatDialog(FormatSettings &settings, UserMessages &messages, QWidget *parent)
    : QDialog(parent), settings_(settings), messages_(messages) {
  setObjectName(QStringLiteral("FormatFrm"));
  setWindowTitle(QStringLiteral("Format"));
  ChooseFont = [this](QFont &font) {
    bool ok = false;
    const QFont chosen =
        QFontDialog::getFont(&ok, font, this, QStringLiteral("Font"), QFontDialog::ScalableFonts);
    if (ok) font = chosen;
    return ok;
  };
  ChooseColor = [this](ColorRef &color) {
    const QColor chosen = QColorDialog::getColor(ToQColor(color), this, QStringLiteral("Colour"));
    if (!chosen.isValid()) return false;
    color = ColorRef(chosen.red()) | ColorRef(chosen.green()) << 8 | ColorRef(chosen.blue()) << 16;
    return true;
  };

  tabs = new QTabWidget;
  tabs->setObjectName(QStringLiteral("tabs"));
  tabs->addTab(BuildMarginsTab(), QStringLiteral("Margins and Settings"));
  tabs->addTab(BuildFontsTab(), QStringLiteral("Fonts"));
  tabs->addTab(BuildReservedWordsTab(), QStringLiteral("Reserved Words"));
  tabs->addTab(BuildHeaderFooterTab(), QStringLiteral("Header and Footer"));
  tabs->addTab(BuildTitleBlockTab(), QStringLiteral("Title Block"));
  connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
    // The word lists show the words as they will print.
    if (index == 2) {
      reservedWordList->setFont(ScreenFont(settings_.ReserveFont()));
      plainWordList->setFont(ScreenFont(settings_.BaseFont()));
    }
  });

  // The tab keys change tabs wherever the focus is: a focused drop-down
  // list took Ctrl+PgDn as its own and changed (and saved) its value.
  const std::pair<QKeySequence, int> tabKeys[] = {
      {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
      {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
      {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
      {QKeySequence(Qt::CTRL | Qt::Key_Backtab), -1},
  };
  for (const auto &[keys, step] : tabKeys) {
    auto *shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, [this, step = step] {
      const int count = tabs->count();
      tabs->setCurrentIndex((tabs->currentIndex() + step + count) % count);
    });
  }

  auto *buttons = new QDialogButtonBox;
  // Not "&Help": Alt+H is "Print Page &Header" on the Header and Footer tab.
  HelpBtn = buttons->addButton(QStringLiteral("H&elp"), QDialogButtonBox::HelpRole);
  CloseBtn = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::AcceptRole);
  // Every change takes effect at once; Cancel takes back those made since
  // the dialog opened, Restore defaults all of them.
  cancelButton = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  restoreDefaultsButton =
      buttons->addButton(QStringLiteral("&Restore defaults"), QDialogButtonBox::ResetRole);
  restoreDefaultsButton->setToolTip(
      QStringLiteral("Every format option back to its default (the Options menu is kept)"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  // Only the Cancel button takes changes back: Escape and the close box
  // keep them, as they always did.
  connect(cancelButton, &QPushButton::clicked, this, [this] {
    cancelling_ = true;
    reject();
  });
  connect(restoreDefaultsButton, &QPushButton::clicked, this, &FormatDialog::RestoreDefaults);
  connect(HelpBtn, &QPushButton::clicked, this, &FormatDialog::ShowTabHelp);

  auto *layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  // Made the default only once it is inside the dialog, so Return closes
  // the dialog again after the focus has passed over the other buttons.
  CloseBtn->setDefault(true);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  RefreshSamples();
  for (int kind = 0; kind < KindCount; ++kind) ShowKindStyle(Kind(kind));
}

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

void FormatDialog::FormActivate() {
  tabs->setCurrentIndex(0);
  for (int i = 0; i < 8; ++i) Edits[i]->setText(TitleTextOf(*settings_.TitleField(i + 1)));
  RefreshSamples();
  FillLengthLists();
  for (const auto &[box, member] : itemLists_) {
    const QSignalBlocker block(box);
    const int index = settings_.*member;
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
  }
  {
    const QSignalBlocker block(SheetBox);
    SheetBox->setCurrentIndex(
        std::max(0, SheetBox->findText(QString::number(settings_.PagesPerSheet))));
  }
  if (settings_.Border >= 0 && settings_.Border < 4)
    BorderButtons[settings_.Border]->setChecked(true);
  for (const auto &[box, member] : switches_) {
    const QSignalBlocker block(box);
    box->setChecked(settings_.*member == 1);
  }
  for (QButtonGroup *group : {reservedWordCase, imageAlignment}) {
    const int index = group == reservedWordCase ? settings_.Reserve : settings_.Align;
    const QSignalBlocker block(group);
    if (QAbstractButton *button = group->button(index)) button->setChecked(true);
  }
  for (int kind = 0; kind < KindCount; ++kind) ShowKindStyle(Kind(kind));
  UpdateMoveButtons();
}

void FormatDialog::FillLengthLists() {
  const std::pair<QComboBox *, LengthList> lists[] = {
      {TopBox, LengthList::Top},     {BottomBox, LengthList::Bottom}, {LeftBox, LengthList::Left},
      {RightBox, LengthList::Right}, {IndentBox, LengthList::Indent},
  };
  for (const auto &[box, list] : lists) {
    const QSignalBlocker block(box);
    box->clear();
    box->addItems(LengthItems(list, settings_.Measure));
    // The length the listings print with, also for a stored index the list
    // lacks (the nearest entry); the stored index stays until a pick.
    box->setCurrentIndex(ShownLengthItem(list, settings_));
  }
}

void FormatDialog::RefreshSamples() {
  ShowFont(HeaderColor, settings_.HeaderFont());
  ShowFont(BaseColor, settings_.BaseFont());
  ShowFont(ProcColor, settings_.ProcFont());
}

namespace {
struct KindMembers {
  int FormatSettings::*style;
  int FormatSettings::*color;
  FontSpec (FormatSettings::*font)() const;
};
constexpr KindMembers kKindMembers[FormatDialog::KindCount] = {
    {&FormatSettings::CStyle, &FormatSettings::CColor, &FormatSettings::CommentFont},
    {&FormatSettings::LStyle, &FormatSettings::LColor, &FormatSettings::LineFont},
    {&FormatSettings::RStyle, &FormatSettings::RColor, &FormatSettings::ReserveFont},
    {&FormatSettings::MStyle, &FormatSettings::MColor, &FormatSettings::MessageFont},
};
}  // namespace

void FormatDialog::ShowKindStyle(Kind kind) {
  const KindControls &k = Kinds[kind];
  const KindMembers &m = kKindMembers[kind];
  const int style = settings_.*m.style;
  // A style code outside 0..3 changes only the colour.
  if (style >= 0 && style <= 3) {
    k.bold->setChecked(style & 1);
    k.italic->setChecked(style & 2);
  }
  ShowFont(k.sample, (settings_.*m.font)());
  k.colorBox->setSelectedColor(ColorFromIndex(settings_.*m.color));
  const int index = settings_.*m.color;
  if (index < 0 || index > 15) {
    const QSignalBlocker block(k.colorBox);
    k.colorBox->setCurrentIndex(-1);
  }
}

void FormatDialog::TakeKindStyle(Kind kind) {
  const KindControls &k = Kinds[kind];
  const KindMembers &m = kKindMembers[kind];
  settings_.*m.style = StyleCode(k.bold->isChecked(), k.italic->isChecked());
  // No item shown (a colour index the file held out of range) keeps it.
  if (k.colorBox->currentIndex() >= 0) settings_.*m.color = k.colorBox->currentIndex();
  ShowFont(k.sample, (settings_.*m.font)());
}

void FormatDialog::FontBtnClick(bool headerFont) {
  const FontSpec current = headerFont ? settings_.HeaderFont() : settings_.BaseFont();
  const int storedStyle = headerFont ? settings_.HStyle : settings_.BStyle;
  QFont font = ScreenFont(current);
  if (storedStyle < 0 || storedStyle > 3) {
    font.setBold(false);
    font.setItalic(false);
  }
  // Opened on the face the listing really uses ("Arial" is Liberation Sans
  // through fontconfig): the dialog shows a name it does not list as some
  // other face, and OK then stored that one.
  font.setFamily(QFontInfo(font).family());
  const QFont shown = font;
  // A cancel changes nothing, and neither does OK without a change.
  if (!ChooseFont || !ChooseFont(font)) return;
  if (font.family() == shown.family() && font.pointSize() == shown.pointSize() &&
      font.bold() == shown.bold() && font.italic() == shown.italic())
    return;
  const QString refusal = CheckChosenFont(font.family());
  if (!refusal.isEmpty()) {
    messages_.Warning(refusal);
    return;
  }
  const ChosenFont chosen =
      TakeChosenFont(font.family(), font.pointSize(), font.bold(), font.italic());
  if (headerFont) {
    settings_.HName = chosen.face;
    settings_.HSize = chosen.pointSize;
    settings_.HStyle = chosen.style;
  } else {
    settings_.BName = chosen.face;
    settings_.BSize = chosen.pointSize;
    settings_.BStyle = chosen.style;
    for (int kind = 0; kind < KindCount; ++kind) ShowKindStyle(Kind(kind));
  }
  RefreshSamples();
}

void FormatDialog::ColorBtnClick(bool headerFont) {
  ColorRef color = headerFont ? settings_.HColor : settings_.BColor;
  if (!ChooseColor || !ChooseColor(color)) return;
  (headerFont ? settings_.HColor : settings_.BColor) = color & 0xFFFFFF;
  RefreshSamples();
}

void FormatDialog::SyncReserveWords() {
  settings_.ReserveWords.clear();
  for (int i = 0; i < reservedWordList->count(); ++i)
    settings_.ReserveWords << Encode1252(reservedWordList->item(i)->text());
}

namespace {
QList<QByteArray> Words(const QListWidget *list) {
  QList<QByteArray> words;
  for (int i = 0; i < list->count(); ++i) words << Encode1252(list->item(i)->text());
  return words;
}
void ShowWords(QListWidget *list, const QList<QByteArray> &words) {
  list->clear();
  for (const QByteArray &word : words) list->addItem(Decode1252(word));
}
}  // namespace

void FormatDialog::MoveSelected(QListWidget *from, QListWidget *to) {
  QList<int> rows;
  for (const QModelIndex &index : from->selectionModel()->selectedRows()) rows << index.row();
  QList<QByteArray> fromWords = Words(from);
  QList<QByteArray> toWords = Words(to);
  const int next = MoveSelectedWords(fromWords, toWords, rows);
  ShowWords(from, fromWords);
  ShowWords(to, toWords);
  from->setFocus();
  if (next >= 0) from->setCurrentRow(next);
  SyncReserveWords();
  UpdateMoveButtons();
}

void FormatDialog::MoveAll(QListWidget *from, QListWidget *to) {
  QList<QByteArray> fromWords = Words(from);
  QList<QByteArray> toWords = Words(to);
  MoveAllWords(fromWords, toWords);
  ShowWords(from, fromWords);
  ShowWords(to, toWords);
  from->setFocus();
  SyncReserveWords();
  UpdateMoveButtons();
}

void FormatDialog::UpdateMoveButtons() {
  IncludeBtn->setEnabled(plainWordList->count() > 0);
  IncAllBtn->setEnabled(plainWordList->count() > 0);
  ExcludeBtn->setEnabled(reservedWordList->count() > 0);
  ExAllBtn->setEnabled(reservedWordList->count() > 0);
}

void FormatDialog::StoreTitles() {
  for (int i = 0; i < 8; ++i)
    *settings_.TitleField(i + 1) = StoreTitleText(Edits[i]->text(), kTitleLength);
}

void FormatDialog::ShowTabHelp() {
  const int tab = tabs->currentIndex();
  if (ShowHelp && tab >= 0 && tab < int(kFormatTabHelp.size())) ShowHelp(kFormatTabHelp[tab]);
}

FormatDialog::~FormatDialog() = default;

void FormatDialog::RestoreDefaults() {
  FormatSettings defaults;
  // The Options menu's choices live in the same record but belong to the
  // window: they stay.
  defaults.Style = settings_.Style;
  defaults.Hint = settings_.Hint;
  defaults.Measure = settings_.Measure;
  defaults.Include = settings_.Include;
  settings_ = defaults;
  const int tab = tabs->currentIndex();
  FormActivate();
  // Words the user made plain or added go back to the plain list.
  QList<QByteArray> plain;
  for (const QByteArray &word : Words(reservedWordList) + Words(plainWordList))
    if (!settings_.ReserveWords.contains(word) && !plain.contains(word)) plain << word;
  std::sort(plain.begin(), plain.end());
  ShowWords(reservedWordList, settings_.ReserveWords);
  ShowWords(plainWordList, plain);
  UpdateMoveButtons();
  tabs->setCurrentIndex(tab);
}

void FormatDialog::CancelChanges() {
  if (!openedWith_) return;
  settings_ = *openedWith_;
  ShowWords(reservedWordList, openedWords_.first);
  ShowWords(plainWordList, openedWords_.second);
}

void FormatDialog::showEvent(QShowEvent *event) {
  openedWith_ = std::make_unique<FormatSettings>(settings_);
  openedWords_ = {Words(reservedWordList), Words(plainWordList)};
  FormActivate();
  QDialog::showEvent(event);
}

void FormatDialog::keyPressEvent(QKeyEvent *event) {
  if (event->key() == Qt::Key_F1) {
    ShowTabHelp();
    return;
  }
  QDialog::keyPressEvent(event);
}

void FormatDialog::done(int result) {
  // However the dialog closes (Close, Escape, the close box) the titles are
  // kept, unless Cancel takes every change back.
  if (cancelling_)
    CancelChanges();
  else
    StoreTitles();
  cancelling_ = false;
  openedWith_.reset();
  QDialog::done(result);
}

}  // namespace scrivane
