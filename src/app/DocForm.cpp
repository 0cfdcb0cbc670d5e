#include "app/DocForm.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>

#include "app/HelpWindow.h"
#include "app/LegendForm.h"
#include "app/PrintCommands.h"
#include "app/WindowHabits.h"
#include "format/FormatChoices.h"
#include "format/IniFile.h"
#include "listing/Documents.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "printer/PrinterHost.h"
#include "project/Readers.h"
#include "widgets/ClockStatusBar.h"
#include "widgets/Glyphs.h"
#include "widgets/PickList.h"

namespace scrivane {

namespace {
constexpr int ClientWidthPx = 630;
constexpr int ClientHeightPx = 432;
// Between the routine caption and the group box's title or right edge.
constexpr int CaptionGapPx = 6;

bool ShowsUnits(const QListWidget &list, const QList<UnitEntry> &units) {
  if (list.count() != units.size()) return false;
  for (int row = 0; row < list.count(); ++row) {
    const QListWidgetItem *item = list.item(row);
    if (item->text() != units[row].name || item->data(KindRole).toInt() != int(units[row].kind) ||
        item->data(FullPathRole).toString() != units[row].PathToRead())
      return false;
  }
  return true;
}
}  // namespace

MainWindow::MainWindow(const QString &settingsPath, QWidget *parent)
    : QMainWindow(parent),
      settingsPath_(settingsPath.isEmpty() ? SettingsFilePath() : settingsPath),
      messages_(std::make_unique<MessageBoxes>(this)) {
  model_.KeepOwnLines = true;
  setObjectName(QStringLiteral("DocForm"));
  setWindowTitle(QStringLiteral("Scrivane"));
  BuildPrintCommands();
  BuildActions();
  BuildMenus();
  BuildToolBar();
  BuildPages();
  StatusBar = new ClockStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  setStatusBar(StatusBar);

  // The names are measured in the unit list's own font, so the date column
  // clears the widest name whichever display font is chosen.
  model_.NameWidth = [this](const QString &name) {
    return unitList->fontMetrics().horizontalAdvance(name);
  };
  qApp->installEventFilter(this);
  habits_ = new WindowHabits(*this);

  resize(ClientWidthPx, ClientHeightPx + menuBar()->sizeHint().height());
  if (const QScreen *screen = QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  FormCreate();
  BuildFormatDialog();
}

MainWindow::~MainWindow() { qApp->removeEventFilter(this); }

void MainWindow::FormCreate() {
  // The desktop's clipboard is the user's: what another program put there
  // stays, whatever Scrivane does with it.
  {
    const QSignalBlocker block(pageTabs);
    pageTabs->setCurrentWidget(filesTab);
  }
  model_.FormFileOpened = false;
  model_.ProjectLoaded = false;

  IniFile ini;
  QString error;
  if (!ini.Load(settingsPath_, &error)) messages_->Information(error);
  recentFiles_.Load(ini);
  QStringList garbled;
  settings_.LoadFromIni(ini, &garbled);
  if (const QString damage = SettingsDamageMessage(settingsPath_, ini, garbled, true);
      !damage.isEmpty())
    messages_->Warning(damage);
  habits_->Restore(ini);
  for (const QString &replaced : ReplaceBitmapFaces(settings_)) messages_->Warning(replaced);
  for (const QString &missing : MissingFaceWarnings(settings_)) messages_->Warning(missing);

  (settings_.Hint == 1 ? hintsOnAction : hintsOffAction)->trigger();
  (settings_.Style != 0 ? boldFontAction : normalFontAction)->trigger();
  (settings_.Measure != 0 ? centimetresAction : inchesAction)->trigger();
  (settings_.Include != 0 ? usesClauseUnitsAction : projectFileUnitsAction)->trigger();
  RebuildRecentMenu();
  commands_->Flags.IndexRequested = false;
}

void MainWindow::closeEvent(QCloseEvent *event) {
  if (!closed_) FormClose();
  closed_ = true;
  event->accept();
}

void MainWindow::FormClose() {
  model_.CurrentUnitPath.clear();
  // Written over what is on disk now, so the recent files saved at each
  // open and any keys we do not know stay as they are.
  IniFile ini;
  QString error;
  bool written = ini.Load(settingsPath_, &error);
  if (written) {
    ini.DropDamagedLines();
    settings_.SaveToIni(ini);
    habits_->Save(ini);
    written = ini.Save(settingsPath_, &error);
  } else {
    error = QStringLiteral("Unable to write to ") + QFileInfo(settingsPath_).absoluteFilePath();
  }
  if (!written) messages_->Warning(error);
  ClearPickLists();
  if (help_) help_->close();
}

void MainWindow::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  if (StatusBar) StatusBar->FollowWindowWidth(width());
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::ToolTip && !hintsShown_) return true;
  if (watched == listsGroup && event->type() == QEvent::Resize) FormResize();
  if (watched == routineList && event->type() == QEvent::Move) PlaceRoutineCaption();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::KeepSplitterShare() {
  const QList<int> sizes = DragBar->sizes();
  if (sizes.size() == 2 && listsGroup->width() > 0)
    unitListShare_ = double(sizes[0]) / listsGroup->width();
}

void MainWindow::FormResize() {
  // The units keep their share of the group box (a fifth until the user
  // moves the splitter): snapping back to a fifth undid every drag.
  const int total = DragBar->width() - DragBar->handleWidth();
  const int units = std::max(UnitListMinWidthPx, int(unitListShare_ * listsGroup->width()));
  DragBar->setSizes({units, std::max(1, total - units)});
  PlaceRoutineCaption();
}

void MainWindow::PlaceRoutineCaption() {
  // Above the routine list, but readable wherever the splitter is: never
  // past the group box's right edge nor over the box's own title; cut with
  // an ellipsis only when the box is too narrow for both.
  QStyleOptionGroupBox option;
  option.initFrom(listsGroup);
  option.text = listsGroup->title();
  option.textAlignment = listsGroup->alignment();
  option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
  option.lineWidth = 1;
  const QRect title = listsGroup->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                          QStyle::SC_GroupBoxLabel, listsGroup);
  const int leftmost = (title.isValid() ? title.right() + 1 : 0) + CaptionGapPx;
  const int rightEdge = listsGroup->width() - CaptionGapPx;
  const QFontMetrics metrics(routineListCaption->font());
  const QString full = model_.RoutineCaption;
  const int fullWidth = metrics.horizontalAdvance(full) + 2 * routineListCaption->margin();
  const int room = std::max(0, rightEdge - leftmost);
  routineListCaption->setText(fullWidth <= room ? full
                                                : metrics.elidedText(full, Qt::ElideRight, room));
  routineListCaption->setToolTip(full);
  routineListCaption->adjustSize();
  const int wanted = routineList->mapTo(listsGroup, QPoint(0, 0)).x() + 5;
  const int x = std::max(leftmost, std::min(wanted, rightEdge - routineListCaption->width()));
  routineListCaption->move(x, 0);
  routineListCaption->raise();
}

void MainWindow::RebuildRecentMenu() {
  for (QAction *item : recentItems_) {
    FileMenu->removeAction(item);
    item->deleteLater();
  }
  recentItems_.clear();
  if (recentSeparator_) {
    FileMenu->removeAction(recentSeparator_);
    recentSeparator_->deleteLater();
    recentSeparator_ = nullptr;
  }
  const QStringList entries = recentFiles_.Entries();
  // An empty slot opens nothing: it gets no item (choosing one used to
  // empty the lists under the old project's title).
  const QFontMetrics metrics(FileMenu->font());
  constexpr int kWidestPathPx = 480;
  for (int i = 0; i < entries.size(); ++i) {
    if (entries[i].trimmed().isEmpty()) continue;
    // A long path keeps its start and its file name; an "&" in it is shown,
    // not taken as a mnemonic.
    const QString shown = metrics.elidedText(entries[i], Qt::ElideMiddle, kWidestPathPx);
    auto *item = new QAction(
        QStringLiteral("&%1 ").arg(i + 1) + QString(shown).replace(u'&', QStringLiteral("&&")),
        FileMenu);
    item->setStatusTip(entries[i]);
    item->setToolTip(entries[i]);
    item->setObjectName(QStringLiteral("Recent%1").arg(i + 1));
    connect(item, &QAction::triggered, this, [this, i] { OpenRecentFile(i); });
    FileMenu->insertAction(exitAction, item);
    recentItems_ << item;
  }
  if (!recentItems_.isEmpty()) recentSeparator_ = FileMenu->insertSeparator(exitAction);
}

void MainWindow::Busy(bool on) { messages_->SetBusy(on); }

void MainWindow::ClearPickLists() {
  const QSignalBlocker block1(unitList);
  const QSignalBlocker block2(routineList);
  unitList->clear();
  routineList->clear();
}

void MainWindow::ReadPath(const QString &path) {
  // Folders let in were let in for the project they were asked for.
  model_.UserIncludePaths.clear();
  if (!ReadPathOnce(path)) return;
  // An empty unit list says nothing of why.
  if (const QString why = UnitsNotFoundText(model_); !why.isEmpty())
    SetStatusLine(QStringLiteral(" %1 lists no units: %2.").arg(FileNamePart(path), why));
  // A project kept in a folder of its own beside its sources names them
  // all outside its folder: left out, its book would be empty. Read only
  // when the user says so, since a downloaded project may name anything.
  const QStringList outside = FoldersLeftOutside(model_);
  if (outside.isEmpty()) return;
  const qsizetype units = UnitsLeftOutside(model_);
  QString folders = outside.mid(0, 3).join(QStringLiteral(", "));
  if (outside.size() > 3) folders += QStringLiteral(" and %1 more folders").arg(outside.size() - 3);
  const QString question =
      QStringLiteral("%1 names %2 outside its folder, in %3.\n\nRead them too?")
          .arg(FileNamePart(path),
               units == 1 ? QStringLiteral("a unit that lies")
                          : QStringLiteral("%1 units that lie").arg(units),
               folders);
  if (!messages_->AskYesNo(question)) return;
  model_.UserIncludePaths = outside;
  ClearForOpen(model_);
  ReadPathOnce(path);
}

bool MainWindow::ReadPathOnce(const QString &path) {
  // The unit named there belonged to the file open before.
  SetStatusLine(QString());
  ReaderContext context{model_,        ReadChoicesOf(settings_), *messages_, includeUses_, {},
                        StatusShower()};
  try {
    OpenPath(context, path);
    commands_->FileOpened();
    return true;
  } catch (const std::exception &e) {
    Busy(false);
    messages_->Warning(FailureText(e, path));
    return false;
  }
}

void MainWindow::OpenFileBtnClick() { OpenFileMenuClick(); }

void MainWindow::OpenFileMenuClick() {
  OpenFileCommand();
  UpdateCommands();
}

void MainWindow::OpenFileCommand() {
  QString chosen;
  if (chooseFile_) {
    chosen = chooseFile_();
  } else {
    chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Open Delphi File"),
                                          habits_->OpenFolder, WindowHabits::OpenFilter());
  }
  // A cancelled dialog opens nothing and leaves the window as it was: its
  // lists, caption and status line still describe the file that is open.
  if (chosen.isEmpty()) return;
  OpenPathCommand(chosen);
}

void MainWindow::OpenPathCommand(const QString &chosen) {
  habits_->OpenFolder = QFileInfo(chosen).absolutePath();
  pageTabs->setCurrentWidget(filesTab);
  ClearPickLists();
  ClearForOpen(model_);
  commands_->Flags.IndexRequested = false;
  RefreshLists();
  UpdateCommands();
  OpenChosenFile(chosen);
}

void MainWindow::OpenChosenFile(const QString &path) {
  Busy(true);
  ReadPath(path);
  recentFiles_.Add(path);
  RebuildRecentMenu();
  QString error;
  if (!SaveRecentFiles(recentFiles_, settingsPath_, &error)) messages_->Warning(error);
  RefreshLists();
  Busy(false);
  UpdateCommands();
}

void MainWindow::OpenRecentFile(int index) {
  ClearPickLists();
  commands_->Flags.IndexRequested = false;
  Busy(true);
  // Cleared like any open, so the date column follows this project's names.
  ClearForOpen(model_);
  const QString entry = recentFiles_.At(index);
  if (!entry.isEmpty()) ReadPath(entry);
  RefreshLists();
  Busy(false);
  UpdateCommands();
}

void MainWindow::RefreshLists() {
  {
    const QSignalBlocker block(unitList);
    // Rebuilt only when the units changed: a click loads the unit and
    // refreshes the lists between the two clicks of a double click, which
    // must land on the same item to preview it.
    if (!ShowsUnits(*unitList, model_.Units)) {
      unitList->clear();
      for (const UnitEntry &unit : model_.Units) {
        auto *item = new QListWidgetItem(unit.name, unitList);
        item->setData(KindRole, int(unit.kind));
        item->setData(FullPathRole, unit.PathToRead());
      }
    }
    if (model_.SelectedUnit >= 0 && model_.SelectedUnit < unitList->count())
      unitList->setCurrentRow(model_.SelectedUnit);
  }
  {
    const QSignalBlocker block(routineList);
    routineList->clear();
    for (const RoutineEntry &routine : model_.Routines) {
      QString text = DecodeText(routine.text, model_.SourceEncoding);
      // A routine of an include file says which file it is in.
      const bool included = routine.file > 0 && routine.file < model_.SourceParts.size();
      if (included)
        text +=
            QStringLiteral("   [") + FileNamePart(model_.SourceParts[routine.file].shown) + u']';
      // One the interface does not offer says so.
      if (routine.implementationOnly) text += QStringLiteral("   (implementation)");
      auto *item = new QListWidgetItem(text, routineList);
      QString tip = included ? model_.SourceParts[routine.file].path : QString();
      if (routine.implementationOnly)
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) +
               QStringLiteral("Declared only in the implementation part");
      if (!tip.isEmpty()) item->setToolTip(tip);
      item->setData(KindRole, int(routine.kind));
      item->setSelected(routine.selected);
    }
  }
  setWindowTitle(model_.WindowCaption);
  listsGroup->setTitle(model_.GroupCaption);
  PlaceRoutineCaption();
}

void MainWindow::SetStatusLine(const QString &text) { StatusBar->setStatusText(text); }

std::function<void(const QString &)> MainWindow::StatusShower() {
  return [this](const QString &text) {
    SetStatusLine(text);
    // Reading goes on in this same pass of the event loop: paint now.
    StatusBar->repaint();
  };
}

void MainWindow::UnitListClick() {
  const int row = unitList->currentRow();
  if (row < 0 || !unitList->item(row)->isSelected()) return;
  model_.SelectedUnit = row;
  model_.CurrentUnitPath.clear();
  Busy(true);
  ReaderContext context{model_,        ReadChoicesOf(settings_), *messages_, includeUses_, {},
                        StatusShower()};
  try {
    LoadUnit(context);
  } catch (const std::exception &e) {
    messages_->Warning(FailureText(e, model_.Units.at(row).PathToRead()));
  }
  RefreshLists();
  Busy(false);
  SetStatusLine(QStringLiteral(" Unit: ") + model_.CurrentUnitPath);
  UpdateCommands();
}

void MainWindow::RoutineListClick() {
  for (int i = 0; i < routineList->count() && i < model_.Routines.size(); ++i)
    model_.Routines[i].selected = routineList->item(i)->isSelected();
  UpdateCommands();
}

void MainWindow::ClearBtnClick() {
  if (projectFilesTabActive()) {
    routineList->ClearSelection();
    for (RoutineEntry &routine : model_.Routines) routine.selected = false;
  } else {
    DeleteFormImage();
  }
  UpdateCommands();
}

bool MainWindow::projectFilesTabActive() const { return pageTabs->currentWidget() == filesTab; }

void MainWindow::PageTabChanged() {
  if (projectFilesTabActive()) {
    CopyBtn->setToolTip(QStringLiteral("Copy selected procedures to the clipboard"));
    ClearBtn->setToolTip(QStringLiteral("Clear selected procedures"));
  } else {
    CopyBtn->setToolTip(QStringLiteral("Copy the form image to the clipboard"));
    ClearBtn->setToolTip(QStringLiteral("Delete the image file"));
    ShowFormImage();
  }
  // After the image is shown: Clear and Copy follow what the tab shows.
  UpdateCommands();
}

void MainWindow::UpdateCommands() {
  CommandState state = ComputeCommandState(model_, projectFilesTabActive(), FileExistsAnyCase);
  // A bitmap that does not load shows nothing, and nothing shown is not copied or deleted.
  if (!projectFilesTabActive() && FormImage->pixmap().isNull())
    state.clearBtn = state.copyBtn = false;
  ApplyCommandState(state);
}

void MainWindow::ApplyCommandState(const CommandState &s) {
  PrevUnitMenu->setEnabled(s.prevUnit);
  // Documents whose renderer does not exist yet stay disabled.
  const bool procList = PrintCommands::HasRenderer(commands_->Job(DocumentKind::Procedures));
  const bool projList = PrintCommands::HasRenderer(commands_->Job(DocumentKind::Project));
  PrevProcMenu->setEnabled(s.prevProc && procList);
  PrevProjMenu->setEnabled(s.prevProj && projList);
  PrintUnitMenu->setEnabled(s.printUnit);
  printWithDialogAction->setEnabled(s.printUnit);
  PrintProcMenu->setEnabled(s.printProc && procList);
  PrintProjMenu->setEnabled(s.printProj && projList);
  EntireProjMenu->setEnabled(s.entireProj);
  saveWebBookAction->setEnabled(s.entireProj);
  const QString crossReferenceOff = PrintCommands::CrossReferenceOffReason(model_, settings_);
  for (QAction *a : {printCrossReferenceAction, previewCrossReferenceAction}) {
    a->setEnabled(crossReferenceOff.isEmpty());
    a->setToolTip(crossReferenceOff.isEmpty()
                      ? QStringLiteral("Where each routine, method and type of the project is used")
                      : crossReferenceOff);
  }
  ClearBtn->setEnabled(s.clearBtn);
  PrintBtn->setEnabled(s.printBtn);
  PreviewBtn->setEnabled(s.previewBtn);
  CopyBtn->setEnabled(s.copyBtn);
  CaptureBtn->setEnabled(s.captureBtn);
  ApplyIndexItems();
  model_.UnitHighlighted = s.unitHighlighted;
  if (!s.unitItemCaption.isEmpty()) {
    PrevUnitMenu->setText(s.unitItemCaption);
    PrintUnitMenu->setText(s.unitItemCaption);
  }
}

void MainWindow::ApplyIndexItems() {
  const bool on = commands_->IndexItemsEnabled() &&
                  PrintCommands::HasRenderer(commands_->Job(DocumentKind::Index));
  PrintIndexCreated->setEnabled(on && PrintBtn->isEnabled());
  PrevIndexCreated->setEnabled(on && PreviewBtn->isEnabled());
}

void MainWindow::HelpBtnClick() {
  if (!help_) help_ = new HelpWindow(this);
  help_->ShowTopic(projectFilesTabActive() ? HelpProjectFiles : HelpFormImage);
}

void MainWindow::HelpContentsClick() {
  if (!help_) help_ = new HelpWindow(this);
  help_->ShowTopic(HelpContents);
}

void MainWindow::HelpIndexClick() {
  if (!help_) help_ = new HelpWindow(this);
  help_->ShowTopic(HelpIndex);
}

void MainWindow::LegendClick() {
  LegendWindow legend(this);
  legend.exec();
}

void MainWindow::AboutClick() {
  AboutBox about(this);
  about.exec();
}

void MainWindow::SetListFontBold(bool bold) {
  for (PickList *list : {unitList, routineList}) {
    QFont font = list->font();
    font.setBold(bold);
    list->setFont(font);
  }
}

void MainWindow::NormalFontClick() {
  normalFontAction->setChecked(true);
  SetListFontBold(false);
  settings_.Style = 0;
}

void MainWindow::BoldFontClick() {
  boldFontAction->setChecked(true);
  SetListFontBold(true);
  settings_.Style = 1;
}

void MainWindow::HintsOnClick() {
  hintsOnAction->setChecked(true);
  hintsShown_ = true;
  settings_.Hint = 1;
}

void MainWindow::HintsOffClick() {
  hintsOffAction->setChecked(true);
  hintsShown_ = false;
  settings_.Hint = 0;
}

void MainWindow::InchesClick() {
  inchesAction->setChecked(true);
  settings_.Measure = 0;
}

void MainWindow::CentimetresClick() {
  centimetresAction->setChecked(true);
  settings_.Measure = 1;
}

void MainWindow::ProjectFileUnitsClick() {
  projectFileUnitsAction->setChecked(true);
  settings_.Include = 0;
  includeUses_ = false;
}

void MainWindow::UsesClauseUnitsClick() {
  usesClauseUnitsAction->setChecked(true);
  settings_.Include = 1;
  includeUses_ = true;
}

}  // namespace scrivane
