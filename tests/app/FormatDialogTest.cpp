// The Format dialog driven headless: every tab shows the settings and
// writes them back the moment a control changes, and what it writes
// reaches a printed page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "app/DocForm.h"
#include "app/WindowFixture.h"
#include "format/FormatSettings.h"
#include "format/IniFile.h"
#include "format/gui/FormatFrm.h"
#include "listing/Documents.h"
#include "listing/UnitListing.h"
#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "print/PrintRunner.h"
#include "print/VirtualPrinter.h"
#include "project/Readers.h"
#include "support/TestPaths.h"
#include "widgets/ColorComboBox.h"

using namespace scrivane;

namespace {

struct Dialog {
  FormatSettings settings;
  RecordedMessages messages;
  std::unique_ptr<FormatDialog> form;
  QList<int> helpShown;

  void Open() {
    form = std::make_unique<FormatDialog>(settings, messages);
    form->ShowHelp = [this](int context) { helpShown << context; };
    form->show();
    QApplication::processEvents();
  }
  ~Dialog() {
    if (form) form->hide();
  }
};

QStringList Items(const QComboBox *box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

// As the user picks with the keyboard: the list emits its activation.
void PickNext(QComboBox *box) {
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Down);
}

void Pick(QComboBox *box, int index) {
  box->setCurrentIndex(index);
  emit box->activated(index);
}

// The first page of textutil.pas on the virtual printer.
QStringList FirstPage(const FormatSettings &settings) {
  ProjectModel model;
  RecordedMessages messages;
  ReaderContext context{model, ReadChoicesOf(settings), messages, false, {}};
  ClearForOpen(model);
  OpenPath(context, testsupport::examplesDir() + QStringLiteral("/textutil.pas"));
  UnitListing listing(model, settings);
  listing.SetClock(QDateTime(QDate(2026, 12, 6), QTime(14, 5)));
  listing.ResetListingState();
  model.ListingLines = model.SourceLines;
  model.UnitHighlighted = true;
  VirtualPrinter printer;
  VirtualPrintTarget target(printer);
  PageRange first;
  first.FromPage = first.ToPage = 1;
  RunPrint(listing.Events(), target, first);
  return target.lines();
}

int LeftmostText(const QStringList &page) {
  int leftmost = INT_MAX;
  for (const QString &line : page)
    if (line.startsWith(QStringLiteral("text ")))
      leftmost = std::min(leftmost, line.section(' ', 1, 1).toInt());
  return leftmost;
}

}  // namespace

TEST(FormatDialog, EveryTabShowsItsOptionsAndWritesThemAtOnce) {
  Dialog d;
  d.settings.LineNo = d.settings.Path2 = d.settings.Header = d.settings.PrintImage =
      d.settings.Title = 1;
  d.settings.Reserve = 2;
  d.settings.Align = 2;
  d.settings.Line1C = 4;
  d.settings.Line3B = 3;
  d.settings.Border = 2;
  d.settings.CColor = 9;
  d.settings.CStyle = 3;
  d.settings.Title3 = "Springfield";
  d.Open();
  FormatDialog &f = *d.form;
  EXPECT_EQ(f.windowTitle(), QStringLiteral("Format"));
  QStringList tabs;
  for (int i = 0; i < f.tabs->count(); ++i) tabs << f.tabs->tabText(i);
  EXPECT_EQ(tabs, QStringList({"Margins and Settings", "Fonts", "Reserved Words",
                               "Header and Footer", "Title Block"}));

  // Margins and Settings: the defaults 5 have no entry; the lists show the
  // length that prints and keep the stored index.
  EXPECT_EQ(Items(f.TopBox), QStringList({".5 in", ".75 in", "1 in", "1.25 in", "1.5 in"}));
  EXPECT_EQ(Items(f.BottomBox), QStringList({".75 in", "1 in", "1.25 in", "1.5 in"}));
  EXPECT_EQ(f.TopBox->currentText(), QStringLiteral("1.5 in"));
  EXPECT_EQ(f.RightBox->currentText(), QStringLiteral("1.5 in"));
  EXPECT_EQ(f.LeftBox->currentText(), QStringLiteral(".75 in"));
  EXPECT_EQ(f.IndentBox->currentText(), QStringLiteral(".15 in"));
  EXPECT_EQ(Items(f.SpaceBox), QStringList({"Single", "1.5 Lines", "Double "}));
  EXPECT_EQ(d.settings.Top, 5);
  PickNext(f.LeftBox);
  PickNext(f.SpaceBox);
  PickNext(f.EqualBox);
  EXPECT_EQ(d.settings.Left, 1);
  EXPECT_EQ(d.settings.Space, 1);
  EXPECT_EQ(d.settings.Equal, 2);
  // Pages a sheet: the value itself is stored, not the list's index.
  EXPECT_EQ(Items(f.SheetBox), QStringList({"1", "2", "4"}));
  EXPECT_EQ(f.SheetBox->currentText(), QStringLiteral("1"));
  Pick(f.SheetBox, 2);
  EXPECT_EQ(d.settings.PagesPerSheet, 4);

  const std::tuple<QCheckBox *, int FormatSettings::*, int> switches[] = {
      {f.blockDiagramBox, &FormatSettings::Blocks, 0},
      {f.lineNumbersBox, &FormatSettings::LineNo, 1},
      {f.autoFormatBox, &FormatSettings::Auto, 0},
      {f.lineBetweenRoutinesBox, &FormatSettings::LineBetweenRoutines, 0},
      {f.lowerCaseBox, &FormatSettings::Lower, 0},
      {f.upperCaseNamesBox, &FormatSettings::UpperCaseRoutineNames, 0},
      {f.boldNamesBox, &FormatSettings::Bold, 0},
      {f.projectPathBox, &FormatSettings::Path2, 1},
      {f.unitPathBox, &FormatSettings::Path1, 0},
      {f.headerBox, &FormatSettings::Header, 1},
      {f.footerBox, &FormatSettings::Footer, 0},
      {f.printImageBox, &FormatSettings::PrintImage, 1},
      {f.titleBlockBox, &FormatSettings::Title, 1},
      {f.LineNumbersFromFile, &FormatSettings::LineNumbersFrom, 0},
  };
  for (const auto &[box, member, stored] : switches) {
    SCOPED_TRACE(box->text().toStdString());
    EXPECT_EQ(box->isChecked(), stored == 1);
    box->click();
    EXPECT_EQ(d.settings.*member, 1 - stored);
  }
  // The last click, on the file's line numbers, turned the numbers back on.
  EXPECT_TRUE(f.lineNumbersBox->isChecked());
  EXPECT_EQ(d.settings.LineNo, 1);
  EXPECT_TRUE(f.reservedWordCase->button(2)->isChecked());
  f.reservedWordCase->button(1)->click();
  EXPECT_EQ(d.settings.Reserve, 1);

  // Fonts: only "Bold" of the message text keeps its colour.
  const FormatDialog::KindControls &comments = f.Kinds[FormatDialog::Comments];
  EXPECT_EQ(comments.colorBox->currentText(), QStringLiteral("Red"));
  EXPECT_TRUE(comments.bold->isChecked() && comments.italic->isChecked());
  d.settings.MColor = 4;
  f.Kinds[FormatDialog::MessageText].colorBox->setSelectedColor(ColorFromIndex(4));
  f.Kinds[FormatDialog::MessageText].bold->click();
  EXPECT_EQ(d.settings.MStyle, 1);
  EXPECT_EQ(d.settings.MColor, 4);
  Pick(f.Kinds[FormatDialog::ReservedWords].colorBox, 9);
  EXPECT_EQ(d.settings.RColor, 9);
  EXPECT_EQ(f.Kinds[FormatDialog::ReservedWords].sample->palette().color(QPalette::WindowText),
            QColor(255, 0, 0));

  // Reserved Words: the right list is the word list.
  ASSERT_EQ(f.reservedWordList->count(), 95);
  f.reservedWordList->item(2)->setSelected(true);
  f.reservedWordList->item(5)->setSelected(true);
  f.ExcludeBtn->click();
  EXPECT_EQ(d.settings.ReserveWords.size(), 93);
  EXPECT_FALSE(d.settings.ReserveWords.contains("and"));
  EXPECT_EQ(f.plainWordList->count(), 2);
  EXPECT_EQ(f.reservedWordList->currentRow(), 2);
  f.ExAllBtn->click();
  EXPECT_TRUE(d.settings.ReserveWords.isEmpty());
  EXPECT_TRUE(f.IncludeBtn->isEnabled() && f.IncAllBtn->isEnabled());
  EXPECT_FALSE(f.ExcludeBtn->isEnabled() || f.ExAllBtn->isEnabled());
  f.IncAllBtn->click();
  EXPECT_EQ(d.settings.ReserveWords, FormatSettings::InitialReserveWords());

  // Header and Footer: the stored items, the border buttons shown 3, 2, 1, 0.
  EXPECT_EQ(f.Line1C->currentIndex(), 4);
  EXPECT_EQ(f.Line1C->itemText(1), QStringLiteral("Project Name "));
  EXPECT_EQ(f.Line3B->currentText(), QStringLiteral("Page No"));
  f.tabs->setCurrentIndex(3);
  EXPECT_TRUE(f.BorderButtons[2]->isChecked());
  for (int border = 0; border < 3; ++border)
    EXPECT_GT(f.BorderButtons[border]->x(), f.BorderButtons[border + 1]->x());
  f.BorderButtons[3]->click();
  EXPECT_EQ(d.settings.Border, 3);
  PickNext(f.Line1A);
  EXPECT_EQ(d.settings.Line1A, 1);
  PickNext(f.Line3C);
  EXPECT_EQ(d.settings.Line3C, 1);
  EXPECT_TRUE(f.imageAlignment->button(2)->isChecked());
  f.imageAlignment->button(0)->click();
  EXPECT_EQ(d.settings.Align, 0);

  // Title Block: at most 35 characters, any the fonts print (a psi too).
  EXPECT_EQ(f.Edits[2]->text(), QStringLiteral("Springfield"));
  f.Edits[0]->setFocus();
  QTest::keyClicks(f.Edits[0], QStringLiteral("Tallowind "));
  QTest::sendKeyEvent(QTest::Click, f.Edits[0], Qt::Key_unknown, QStringLiteral("\u03c8"),
                      Qt::NoModifier);
  QTest::keyClicks(f.Edits[0], QStringLiteral(" Incorporated, with a name far too long"));
  EXPECT_EQ(d.settings.Title1, QStringLiteral("Tallowind \u03c8 Incorporated, with a na").toUtf8());
  f.Edits[7]->setText(QStringLiteral("June"));
  f.close();  // the close box keeps the titles too
  EXPECT_EQ(d.settings.Title8, QByteArray("June"));
}

TEST(FormatDialog, CentimetreListsFollowTheMeasureEachTimeTheDialogShows) {
  Dialog d;
  d.Open();
  d.form->hide();
  d.settings.Measure = 1;
  d.settings.Top = 0;
  d.settings.Bottom = 4;  // 4 cm prints, and the list shows it
  d.form->show();
  EXPECT_EQ(Items(d.form->TopBox), QStringList({"2 cm", "2.5 cm", "3 cm", "3.5 cm", "4 cm"}));
  EXPECT_EQ(Items(d.form->RightBox), QStringList({"2 cm", "2.5 cm", "3 cm", "3.5 cm", "4 cm"}));
  EXPECT_EQ(Items(d.form->IndentBox), QStringList({".25 cm", ".5 cm", ".75 cm"}));
  EXPECT_EQ(d.form->TopBox->currentText(), QStringLiteral("2 cm"));
  EXPECT_EQ(d.form->BottomBox->currentText(), QStringLiteral("4 cm"));
  EXPECT_EQ(d.settings.Bottom, 4);
}

TEST(FormatDialog, FontDialogCancelKeepsTheFontAndItsPicksAreStoredSoundly) {
  Dialog d;
  d.settings.BColor = 0x0000FF;
  d.Open();
  FormatDialog &f = *d.form;
  const FormatSettings before = d.settings;
  f.ChooseFont = [](QFont &font) {
    font.setFamily(QStringLiteral("DejaVu Serif"));
    font.setBold(true);
    return false;  // cancelled
  };
  f.FontBtnClick(false);
  f.FontBtnClick(true);
  EXPECT_EQ(d.settings, before);

  f.ChooseFont = [](QFont &font) {
    font.setFamily(QStringLiteral("DejaVu Serif"));
    font.setPointSize(20);
    font.setBold(true);
    font.setUnderline(true);
    return true;
  };
  f.FontBtnClick(false);
  EXPECT_EQ(d.settings.BName, QStringLiteral("DejaVu Serif"));
  EXPECT_EQ(d.settings.BSize, 14);
  EXPECT_EQ(d.settings.BStyle, 1);          // bold, however underlined
  EXPECT_EQ(d.settings.BColor, 0x0000FFu);  // Qt's font dialog has no colour
  EXPECT_EQ(f.BaseColor->font().family(), QStringLiteral("DejaVu Serif"));
  EXPECT_EQ(f.Kinds[FormatDialog::Comments].sample->font().family(),
            QStringLiteral("DejaVu Serif"));

  f.ChooseFont = [](QFont &font) {
    font.setFamily(QStringLiteral("A Font Whose Name Runs Past Thirty-Five Letters"));
    return true;
  };
  f.FontBtnClick(true);
  EXPECT_EQ(d.settings.HName, QStringLiteral("Arial"));
  ASSERT_EQ(d.messages.warnings.size(), 1);
  EXPECT_TRUE(d.messages.warnings[0].contains(QStringLiteral("longer than 35 characters")));

  f.ChooseColor = [](ColorRef &color) {
    color = 0x008000;
    return true;
  };
  f.ColorBtnClick(true);
  EXPECT_EQ(d.settings.HColor, 0x008000u);
}

TEST(FormatDialog, F1ReturnAndEscapeFromTheKeyboard) {
  Dialog d;
  d.Open();
  FormatDialog &f = *d.form;
  for (int tab = 0; tab < 5; ++tab) {
    f.tabs->setCurrentIndex(tab);
    QTest::keyClick(&f, Qt::Key_F1);
  }
  EXPECT_EQ(d.helpShown, QList<int>({1007, 1001, 1011, 1003, 1012}));

  // Tab walks every control of the first tab and comes back.
  f.tabs->setCurrentIndex(0);
  f.TopBox->setFocus();
  QSet<QWidget *> reached;
  for (int step = 0; step < 40; ++step) {
    reached.insert(QApplication::focusWidget());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  for (QWidget *control : std::initializer_list<QWidget *>{
           f.TopBox, f.BottomBox, f.SpaceBox, f.LeftBox, f.RightBox, f.IndentBox, f.EqualBox,
           f.blockDiagramBox, f.lineNumbersBox, f.boldNamesBox, f.unitPathBox, f.CloseBtn})
    EXPECT_TRUE(reached.contains(control)) << control->metaObject()->className();

  f.Edits[0]->setFocus();
  f.tabs->setCurrentIndex(4);
  f.Edits[0]->setFocus();
  QTest::keyClicks(f.Edits[0], QStringLiteral("Acme"));
  QTest::keyClick(f.Edits[0], Qt::Key_Return);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.result(), QDialog::Accepted);
  EXPECT_EQ(d.settings.Title1, QByteArray("Acme"));
  f.show();
  QTest::keyClick(&f, Qt::Key_Escape);
  EXPECT_FALSE(f.isVisible());
}

TEST(FormatDialog, AChangeOfEveryKindReachesThePrintedPage) {
  Dialog d;
  d.Open();
  FormatDialog &f = *d.form;
  const QStringList before = FirstPage(d.settings);
  f.lineNumbersBox->click();  // switch: line numbers
  f.ChooseFont = [](QFont &font) {
    font.setFamily(QStringLiteral("DejaVu Sans Mono"));  // font
    return true;
  };
  f.FontBtnClick(false);
  Pick(f.Kinds[FormatDialog::Comments].colorBox, 9);  // colour: red comments
  Pick(f.LeftBox, 3);                                 // length: 1.5 in left margin
  f.headerBox->click();                               // header item: unit name
  Pick(f.Line1A, 2);
  const QStringList after = FirstPage(d.settings);

  EXPECT_FALSE(before.join('\n').contains(QStringLiteral("'1:'")));
  EXPECT_TRUE(after.join('\n').contains(QStringLiteral("'1:'")));
  EXPECT_TRUE(after.join('\n').contains(QStringLiteral("\"DejaVu Sans Mono\"")));
  EXPECT_TRUE(after.join('\n').contains(QStringLiteral(" c0000FF 'Padding")));
  EXPECT_FALSE(before.join('\n').contains(QStringLiteral(" c0000FF ")));
  EXPECT_GT(LeftmostText(after), LeftmostText(before));
  EXPECT_TRUE(after.join('\n').contains(QStringLiteral("'textutil.pas'")));
  EXPECT_FALSE(before.join('\n').contains(QStringLiteral("'textutil.pas'")));
}

TEST(FormatDialog, FormatButtonShowsTheDialogAndItsChangesAreSavedOnClose) {
  testsupport::WindowFixture w;
  FormatDialog *shown = nullptr;
  QTimer::singleShot(0, [&] {
    shown = qobject_cast<FormatDialog *>(QApplication::activeModalWidget());
    if (!shown) return;
    shown->lineNumbersBox->click();
    shown->close();
  });
  w.window->FormatBtn->trigger();
  ASSERT_EQ(shown, w.window->formatDialog());
  EXPECT_EQ(w.window->settings().LineNo, 1);
  w.window->close();
  IniFile ini;
  ASSERT_TRUE(ini.Load(w.window->settingsPath()));
  EXPECT_EQ(ini.Value("Switch", "LineNo"), QByteArray("1"));
}

// With BName=Arial the font dialog opened on "Sans Serif" and OK stored
// that face; Ctrl+PgDn on a focused drop-down list changed (and saved) the
// list's value instead of the tab; "&Help" clashed with "Print Page &Header".
TEST(FormatDialog, FontDialogOpensOnTheFaceUsedAndTabKeysChangeTabsWhereverTheFocusIs) {
  Dialog d;
  d.Open();
  FormatDialog &f = *d.form;
  const FormatSettings before = d.settings;
  QString offered;
  f.ChooseFont = [&](QFont &font) {
    offered = font.family();
    return true;  // OK, nothing changed
  };
  f.FontBtnClick(false);
  f.FontBtnClick(true);
  EXPECT_EQ(offered, QFontInfo(QFont(QStringLiteral("Arial"))).family());
  EXPECT_EQ(d.settings, before);

  struct Row {
    QWidget *focus;
    QKeyCombination keys;
    int tab;  // the tab shown after the keys, from the first
  } rows[] = {
      {f.TopBox, Qt::CTRL | Qt::Key_PageDown, 1},
      {f.TopBox, Qt::CTRL | Qt::Key_PageUp, 4},
      {f.LeftBox, Qt::CTRL | Qt::Key_Tab, 1},
      {f.lineNumbersBox, Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, 4},
  };
  for (const Row &row : rows) {
    f.tabs->setCurrentIndex(0);
    row.focus->setFocus();
    QTest::keyClick(row.focus, row.keys.key(), row.keys.keyboardModifiers());
    EXPECT_EQ(f.tabs->currentIndex(), row.tab) << row.focus->metaObject()->className();
  }
  EXPECT_EQ(d.settings, before);
  EXPECT_EQ(f.HelpBtn->text(), QStringLiteral("H&elp"));
}
