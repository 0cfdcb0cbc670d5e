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
