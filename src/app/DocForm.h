#pragma once
// The main window: menus, toolbar, the two pick lists, the form image tab and
// the clock status bar. It owns the project model, the format settings and
// the recent files, and turns clicks into calls of the readers and commands.
#include <QMainWindow>
#include <functional>
#include <memory>

#include "app/CommandState.h"
#include "app/MessageBoxes.h"
#include "format/FormatSettings.h"
#include "format/RecentFiles.h"
#include "project/ProjectModel.h"

class QAction;
class QPixmap;
class QActionGroup;
class QGroupBox;
class QLabel;
class QMenu;
class QScrollArea;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace scrivane {

class ClockStatusBar;
class PrintCommands;
class PrinterHost;
class HelpWindow;
class FormatDialog;
class PickList;
class UnitListDelegate;
class WindowHabits;
class RoutineListDelegate;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // `settingsPath` empty: "scrivn.ini" in the program's folder.
  explicit MainWindow(const QString &settingsPath = QString(), QWidget *parent = nullptr);
  ~MainWindow() override;

  ProjectModel &model() { return model_; }
  FormatSettings &settings() { return settings_; }
  const RecentFiles &recentFiles() const { return recentFiles_; }
  const QString &settingsPath() const { return settingsPath_; }
  UserMessages &messages() { return *messages_; }
  // Tests and scripted runs answer the open dialog themselves; the chooser
  // returns the chosen path, or an empty text for a cancel.
  void setOpenFileChooser(std::function<QString()> chooser) { chooseFile_ = std::move(chooser); }
  void setMessages(std::unique_ptr<UserMessages> messages) { messages_ = std::move(messages); }
  // The save dialog for a PDF file (given the proposed path); empty for a cancel.
  void setPdfFileChooser(std::function<QString(const QString &)> chooser) {
    choosePdfFile_ = std::move(chooser);
  }
  QString PdfFolder() const;
  // The folder dialog of "Save as web page..." (given the proposed folder);
  // empty for a cancel.
  void setWebFolderChooser(std::function<QString(const QString &)> chooser) {
    chooseWebFolder_ = std::move(chooser);
  }
  bool includeUses() const { return includeUses_; }
  bool hintsShown() const { return hintsShown_; }
  bool projectFilesTabActive() const;

  // The print and preview commands with their flags and the five jobs.
  PrintCommands &printCommands() { return *commands_; }
  PrinterHost &printerHost() { return *printerHost_; }

  // Widgets and actions, for the command code. The toolbar's actions end in
  // Btn, the print and preview menus' in Menu.
  PickList *unitList = nullptr;
  PickList *routineList = nullptr;
  QTabWidget *pageTabs = nullptr;
  QWidget *filesTab = nullptr;
  QWidget *formImageTab = nullptr;
  QGroupBox *listsGroup = nullptr;
  QLabel *routineListCaption = nullptr;
  QSplitter *DragBar = nullptr;
  QScrollArea *formImageScroll = nullptr;
  QLabel *FormImage = nullptr;
  ClockStatusBar *StatusBar = nullptr;
  QAction *OpenFileBtn = nullptr, *FormatBtn = nullptr, *PrintBtn = nullptr, *PreviewBtn = nullptr,
          *ClearBtn = nullptr, *CopyBtn = nullptr, *CaptureBtn = nullptr, *HelpBtn = nullptr;
  QAction *PrintUnitMenu = nullptr, *EntireProjMenu = nullptr, *PrintProcMenu = nullptr,
          *PrintProjMenu = nullptr, *PrintIndexCreated = nullptr;
  QAction *PrevUnitMenu = nullptr, *PrevProcMenu = nullptr, *PrevProjMenu = nullptr,
          *PrevIndexCreated = nullptr;
  QAction *openFileAction = nullptr, *printerSetupAction = nullptr, *legendAction = nullptr,
          *exitSeparator = nullptr, *exitAction = nullptr;
  QAction *normalFontAction = nullptr, *boldFontAction = nullptr, *hintsOnAction = nullptr,
          *hintsOffAction = nullptr, *inchesAction = nullptr, *centimetresAction = nullptr,
          *projectFileUnitsAction = nullptr, *usesClauseUnitsAction = nullptr;
  QAction *helpContentsAction = nullptr, *helpIndexAction = nullptr, *aboutAction = nullptr;
  // File > Print... (Ctrl+P): the highlighted unit through the print dialog.
  QAction *printWithDialogAction = nullptr;
  // Print > Save as web page...: the entire project's book as web pages.
  QAction *saveWebBookAction = nullptr;
  // Print > Cross-reference and Preview > Cross-reference: where the open
  // project's routines, methods and types are used. Their tooltip says why
  // they are off.
  QAction *printCrossReferenceAction = nullptr, *previewCrossReferenceAction = nullptr;
  QMenu *FileMenu = nullptr;
  QMenu *previewMenu = nullptr;  // preview menu
  QMenu *printMenu = nullptr;    // print menu
  HelpWindow *helpWindow() const { return help_; }
  FormatDialog *formatDialog() const { return formatDialog_; }

 public slots:
  void UpdateCommands();
  void RebuildRecentMenu();
  // The Open command after the dialog: reads `path`, records it as the most
  // recent file and writes the recent files at once.
  void OpenChosenFile(const QString &path);
  // The Open command for a file chosen outside its dialog (dropped on the
  // window): clears what is open, then opens path.
  void OpenPathCommand(const QString &path);
  // Opens entry `index` of the recent files without reordering them.
  void OpenRecentFile(int index);
  // Shows the model in both lists and the readers' captions in the window.
  void RefreshLists();
  void SetStatusLine(const QString &text);

  void OpenFileBtnClick();
  void OpenFileMenuClick();
  void OpenFileCommand();
  void UnitListClick();
  void RoutineListClick();
  void ClearBtnClick();
  void PageTabChanged();
  void HelpBtnClick();
  void HelpContentsClick();
  void HelpIndexClick();
  void LegendClick();
  void AboutClick();
  void FormResize();
  // Takes the unit list's present share of the group box as the one a
  // resize keeps (after the user dragged the splitter or it was restored).
  void KeepSplitterShare();
  void NormalFontClick();
  void BoldFontClick();
  void HintsOnClick();
  void HintsOffClick();
  void InchesClick();
  void CentimetresClick();
  void ProjectFileUnitsClick();
  void UsesClauseUnitsClick();

  // Print, preview, clipboard and image commands: wired here, carried out
  // in DocFormCommands.cpp.
  void PrintUnitMenuClick();
  void PrintWithDialog();
  void EntireProjMenuClick();
  void SaveWebBookCommand();
  void PrintProcMenuClick();
  void PrintProjMenuClick();
  void PrintIndexCreatedClick();
  void PrevUnitMenuClick();
  void PrevProcMenuClick();
  void PrevProjMenuClick();
  void PrevIndexCreatedClick();
  void PrintCrossReferenceCommand();
  void PreviewCrossReferenceCommand();
  void UnitListDoubleClick();
  void RoutineListDoubleClick();
  void CopyBtnClick();
  void CaptureBtnClick();
  void FormatBtnClick();
  // Reads the highlighted unit again (after a change that reading applies).
  void ReloadCurrentUnit();
  void PrinterSetupClick();
  void DeleteFormImage();
  void ShowFormImage();

 protected:
  // What the readers call to show their progress in the status line.
  std::function<void(const QString &)> StatusShower();

  void closeEvent(QCloseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

 private:
  // The unit list never gets narrower than this (the splitter refuses x <= 100).
  static constexpr int UnitListMinWidthPx = 101;
  // Made once, in the order the constructor calls them (MainWindowBuild.cpp).
  void BuildActions();
  void BuildMenus();
  void BuildToolBar();
  void BuildPages();
  void FormCreate();
  void FormClose();
  void ApplyCommandState(const CommandState &state);
  // The Index Listing items follow the commands' decision, but never show
  // enabled in a menu whose button is disabled.
  void ApplyIndexItems();
  void SetListFontBold(bool bold);
  void PlaceRoutineCaption();
  void ReadPath(const QString &path);
  bool ReadPathOnce(const QString &path);
  void ClearPickLists();
  void Busy(bool on);
  void BuildPrintCommands();
  void BuildFormatDialog();
  QString AskForPdfFile(const QString &documentTitle);
  void ForgetLastPdfFile();
  void SetFormImage(const QPixmap &picture);

  QString settingsPath_;
  ProjectModel model_;
  FormatSettings settings_;
  RecentFiles recentFiles_;
  std::unique_ptr<UserMessages> messages_;
  std::function<QString()> chooseFile_;
  bool includeUses_ = false;
  bool hintsShown_ = true;
  bool closed_ = false;
  QList<QAction *> recentItems_;
  QAction *recentSeparator_ = nullptr;
  UnitListDelegate *unitDelegate_ = nullptr;
  RoutineListDelegate *routineDelegate_ = nullptr;
  HelpWindow *help_ = nullptr;
  FormatDialog *formatDialog_ = nullptr;  // made once, kept until exit
  HelpWindow *formatHelp_ = nullptr;
  std::unique_ptr<PrinterHost> printerHost_;
  std::unique_ptr<UserMessages> forwardingMessages_;
  std::unique_ptr<PrintCommands> commands_;
  std::function<QString(const QString &)> choosePdfFile_;
  std::function<QString(const QString &)> chooseWebFolder_;
  QString pdfDocument_;             // the document the preview shows, for its PDF name
  WindowHabits *habits_ = nullptr;  // owned as a child
  double unitListShare_ = 0.2;      // of the group box's width, kept on resize
};

}  // namespace scrivane
