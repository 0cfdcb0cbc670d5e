#pragma once
// The Format dialog: five tabs over the format settings. Every control
// writes its option the moment it changes; the settings file itself is
// written when the main window closes.
#include <QDialog>
#include <QList>
#include <array>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "format/Fonts.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace scrivane {

struct FormatSettings;
class UserMessages;
class ColorComboBox;

// Help contexts of the five tabs, in tab order.
constexpr std::array<int, 5> kFormatTabHelp = {1007, 1001, 1011, 1003, 1012};

class FormatDialog : public QDialog {
  Q_OBJECT
 public:
  FormatDialog(FormatSettings &settings, UserMessages &messages, QWidget *parent = nullptr);
  ~FormatDialog() override;

  // Shows a help topic (the main window's help); F1 and the Help button.
  std::function<void(int context)> ShowHelp;
  // The font dialog, started from `font`; false for a cancel. Tests answer
  // it themselves.
  std::function<bool(QFont &font)> ChooseFont;
  // The colour dialog for the base and header fonts (Qt's font dialog has
  // no colour); false for a cancel.
  std::function<bool(ColorRef &color)> ChooseColor;

  // Every control shows its option again (each time the dialog is shown).
  void FormActivate();
  // The font buttons of the Fonts and the Header and Footer tabs.
  void FontBtnClick(bool headerFont);
  void ColorBtnClick(bool headerFont);

  // The styled text kinds of the Fonts tab.
  enum Kind { Comments = 0, LineNumbers, ReservedWords, MessageText, KindCount };
  void ShowKindStyle(Kind kind);
  void TakeKindStyle(Kind kind);
  void MoveSelected(QListWidget *from, QListWidget *to);
  void MoveAll(QListWidget *from, QListWidget *to);
  void UpdateMoveButtons();

  QTabWidget *tabs = nullptr;
  // Margins and Settings
  QComboBox *TopBox = nullptr, *BottomBox = nullptr, *LeftBox = nullptr, *RightBox = nullptr,
            *SpaceBox = nullptr, *IndentBox = nullptr, *EqualBox = nullptr;
  QCheckBox *LineNumbersFromFile = nullptr;
  QCheckBox *FollowIncludesBox = nullptr;
  QCheckBox *FormDataWhole = nullptr;
  QCheckBox *ImplementationRoutinesBox = nullptr;
  QCheckBox *KeepSourceLayoutBox = nullptr;
  QCheckBox *CrossLinksBox = nullptr;
  QComboBox *SheetBox = nullptr;  // pages on a printed sheet: 1, 2 or 4
  QCheckBox *autoFormatBox = nullptr, *blockDiagramBox = nullptr, *lineNumbersBox = nullptr,
            *lineBetweenRoutinesBox = nullptr, *unitPathBox = nullptr, *lowerCaseBox = nullptr,
            *boldNamesBox = nullptr, *projectPathBox = nullptr, *upperCaseNamesBox = nullptr;
  QButtonGroup *reservedWordCase = nullptr;
  QLabel *ProcColor = nullptr;
  // Fonts
  QToolButton *BaseFontBtn = nullptr;
  QPushButton *BaseColorBtn = nullptr;
  QLabel *BaseColor = nullptr;
  struct KindControls {
    ColorComboBox *colorBox = nullptr;
    QToolButton *bold = nullptr;
    QToolButton *italic = nullptr;
    QLabel *sample = nullptr;
  };
  std::array<KindControls, KindCount> Kinds;
  // Reserved Words
  QListWidget *plainWordList = nullptr, *reservedWordList = nullptr;
  QToolButton *IncludeBtn = nullptr, *IncAllBtn = nullptr, *ExcludeBtn = nullptr,
              *ExAllBtn = nullptr;
  // Header and Footer
  QToolButton *HeaderFontBtn = nullptr;
  QPushButton *HeaderColorBtn = nullptr;
  QLabel *HeaderColor = nullptr;
  QCheckBox *headerBox = nullptr, *footerBox = nullptr, *printImageBox = nullptr;
  QComboBox *Line1A = nullptr, *Line1B = nullptr, *Line1C = nullptr, *Line3B = nullptr,
            *Line3C = nullptr;
  // BorderButton1..4 stand for Border 0..3; shown left to right as 3, 2, 1, 0.
  std::array<QToolButton *, 4> BorderButtons{};
  QButtonGroup *imageAlignment = nullptr;
  // Title Block
  std::array<QLineEdit *, 8> Edits{};
  QCheckBox *titleBlockBox = nullptr;
  QPushButton *HelpBtn = nullptr, *CloseBtn = nullptr;
  QPushButton *cancelButton = nullptr;
  QPushButton *restoreDefaultsButton = nullptr;
  // Every format option back to its default; the Options menu's choices
  // (display font, hints, measurements, project files) stay.
  void RestoreDefaults();

 protected:
  void showEvent(QShowEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void done(int result) override;

 private:
  // The longest title a title-block line takes.
  static constexpr int kTitleLength = 35;
  // The pages, made once (FormatDialogPages.cpp).
  QWidget *BuildMarginsTab();
  QWidget *BuildFontsTab();
  QWidget *BuildReservedWordsTab();
  QWidget *BuildHeaderFooterTab();
  QWidget *BuildTitleBlockTab();
  void FillLengthLists();
  void RefreshSamples();
  void StoreTitles();
  void SyncReserveWords();
  void ShowTabHelp();

  // Takes back every change since the dialog was shown.
  void CancelChanges();

  FormatSettings &settings_;
  UserMessages &messages_;
  bool cancelling_ = false;
  std::unique_ptr<FormatSettings> openedWith_;  // the settings as the dialog found them
  std::pair<QList<QByteArray>, QList<QByteArray>> openedWords_;  // reserved and plain word lists
  // Switches and lists and the option each writes, for loading them again.
  std::vector<std::pair<QCheckBox *, int FormatSettings::*>> switches_;
  std::vector<std::pair<QComboBox *, int FormatSettings::*>> itemLists_;
};

}  // namespace scrivane
