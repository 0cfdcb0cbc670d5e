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
constexpr int ToolButtonPx = 50;
// The unit list never gets narrower than this (the splitter refuses x <= 100).
constexpr int UnitListMinWidthPx = 101;
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

QAction *MakeAction(QObject *parent, const char *name, const QString &caption) {
  auto *action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  return action;
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

void MainWindow::BuildActions() {
  OpenFileBtn = MakeAction(this, "OpenFileBtn", QStringLiteral("&Open"));
  FormatBtn = MakeAction(this, "FormatBtn", QStringLiteral("For&mat"));
  PrintBtn = MakeAction(this, "PrintBtn", QStringLiteral("&Print"));
  PreviewBtn = MakeAction(this, "PreviewBtn", QStringLiteral("&View"));
  ClearBtn = MakeAction(this, "ClearBtn", QStringLiteral("&Clear"));
  CopyBtn = MakeAction(this, "CopyBtn", QStringLiteral("Cop&y"));
  CaptureBtn = MakeAction(this, "CaptureBtn", QStringLiteral("P&aste"));
  HelpBtn = MakeAction(this, "HelpBtn", QStringLiteral("&Help"));
  const struct {
    QAction *action;
    const char *hint;
    ToolGlyph glyph;
  } buttons[] = {
      {OpenFileBtn, "Open a project or unit", ToolGlyph::Open},
      {FormatBtn, "Format the document", ToolGlyph::Format},
      {PrintBtn, "Print without display", ToolGlyph::Print},
      {PreviewBtn, "Preview the document", ToolGlyph::View},
      {ClearBtn, "Clear selections", ToolGlyph::Clear},
      {CopyBtn, "Copy selections to the clipboard", ToolGlyph::Copy},
      {CaptureBtn, "Copy image from the clipboard", ToolGlyph::Paste},
      {HelpBtn, "Help", ToolGlyph::Help},
  };
  for (const auto &b : buttons) {
    b.action->setToolTip(QString::fromLatin1(b.hint));
    b.action->setIcon(ToolIcon(b.glyph, 32));
    b.action->setEnabled(b.action == OpenFileBtn || b.action == FormatBtn || b.action == HelpBtn);
  }
  // The toolbar shows glyphs only, so its captions give Qt no mnemonics:
  // each accelerator is a shortcut of its own. Alt+O and Alt+H stay with the
  // Options and Help menus of the menu bar.
  for (QAction *a : {FormatBtn, PrintBtn, PreviewBtn, ClearBtn, CopyBtn, CaptureBtn})
    a->setShortcut(QKeySequence::mnemonic(a->text()));
  HelpBtn->setShortcut(QKeySequence(Qt::Key_F1));
  HelpBtn->setShortcutContext(Qt::ApplicationShortcut);
  connect(OpenFileBtn, &QAction::triggered, this, &MainWindow::OpenFileBtnClick);
  connect(FormatBtn, &QAction::triggered, this, &MainWindow::FormatBtnClick);
  connect(ClearBtn, &QAction::triggered, this, &MainWindow::ClearBtnClick);
  connect(CopyBtn, &QAction::triggered, this, &MainWindow::CopyBtnClick);
  connect(CaptureBtn, &QAction::triggered, this, &MainWindow::CaptureBtnClick);
  connect(HelpBtn, &QAction::triggered, this, &MainWindow::HelpBtnClick);

  PrintUnitMenu = MakeAction(this, "PrintUnitMenu", HighlightedUnitCaption);
  EntireProjMenu = MakeAction(this, "EntireProjMenu", QStringLiteral("Print &Entire project"));
  PrintProcMenu =
      MakeAction(this, "PrintProcMenu", QStringLiteral("&Procedures and functions list"));
  PrintProjMenu = MakeAction(this, "PrintProjMenu", QStringLiteral("Project &source file"));
  PrintIndexCreated = MakeAction(this, "PrintIndexCreated", QStringLiteral("&Index Listing"));
  PrevUnitMenu = MakeAction(this, "PrevUnitMenu", HighlightedUnitCaption);
  PrevProcMenu = MakeAction(this, "PrevProcMenu", QStringLiteral("&Procedures and functions list"));
  PrevProjMenu = MakeAction(this, "PrevProjMenu", QStringLiteral("Project &source file"));
  PrevIndexCreated = MakeAction(this, "PrevIndexCreated", QStringLiteral("&Index Listing"));
  for (QAction *a : {PrintUnitMenu, EntireProjMenu, PrintProcMenu, PrintProjMenu, PrintIndexCreated,
                     PrevUnitMenu, PrevProcMenu, PrevProjMenu, PrevIndexCreated})
    a->setEnabled(false);
  connect(PrintUnitMenu, &QAction::triggered, this, &MainWindow::PrintUnitMenuClick);
  connect(EntireProjMenu, &QAction::triggered, this, &MainWindow::EntireProjMenuClick);
  connect(PrintProcMenu, &QAction::triggered, this, &MainWindow::PrintProcMenuClick);
  connect(PrintProjMenu, &QAction::triggered, this, &MainWindow::PrintProjMenuClick);
  connect(PrintIndexCreated, &QAction::triggered, this, &MainWindow::PrintIndexCreatedClick);
  connect(PrevUnitMenu, &QAction::triggered, this, &MainWindow::PrevUnitMenuClick);
  connect(PrevProcMenu, &QAction::triggered, this, &MainWindow::PrevProcMenuClick);
  connect(PrevProjMenu, &QAction::triggered, this, &MainWindow::PrevProjMenuClick);
  connect(PrevIndexCreated, &QAction::triggered, this, &MainWindow::PrevIndexCreatedClick);
}

void MainWindow::BuildMenus() {
  FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  openFileAction = MakeAction(this, "openFileAction", QStringLiteral("&Open File..."));
  openFileAction->setShortcut(QKeySequence::Open);
  printerSetupAction = MakeAction(this, "printerSetupAction", QStringLiteral("&Printer Setup..."));
  legendAction = MakeAction(this, "legendAction", QStringLiteral("Legend..."));
  exitAction = MakeAction(this, "exitAction", QStringLiteral("E&xit"));
  printWithDialogAction = MakeAction(this, "printWithDialogAction", QStringLiteral("P&rint..."));
  printWithDialogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  printWithDialogAction->setToolTip(
      QStringLiteral("Print the highlighted unit, choosing printer, copies and pages"));
  printWithDialogAction->setEnabled(false);
  FileMenu->addAction(openFileAction);
  FileMenu->addAction(printWithDialogAction);
  FileMenu->addAction(printerSetupAction);
  FileMenu->addAction(legendAction);
  exitSeparator = FileMenu->addSeparator();
  exitSeparator->setObjectName(QStringLiteral("exitSeparator"));
  FileMenu->addAction(exitAction);
  connect(openFileAction, &QAction::triggered, this, &MainWindow::OpenFileMenuClick);
  connect(printerSetupAction, &QAction::triggered, this, &MainWindow::PrinterSetupClick);
  connect(printWithDialogAction, &QAction::triggered, this, &MainWindow::PrintWithDialog);
  connect(legendAction, &QAction::triggered, this, &MainWindow::LegendClick);
  connect(exitAction, &QAction::triggered, this, &QWidget::close);

  QMenu *options = menuBar()->addMenu(QStringLiteral("&Options"));
  options->setObjectName(QStringLiteral("OptionsMenu"));
  const auto radioPair = [this, options](const char *menuName, const QString &menuCaption,
                                         QAction *&first, const char *firstName,
                                         const QString &firstCaption, QAction *&second,
                                         const char *secondName, const QString &secondCaption) {
    QMenu *sub = options->addMenu(menuCaption);
    sub->setObjectName(QString::fromLatin1(menuName));
    auto *group = new QActionGroup(sub);
    first = MakeAction(this, firstName, firstCaption);
    second = MakeAction(this, secondName, secondCaption);
    for (QAction *a : {first, second}) {
      a->setCheckable(true);
      group->addAction(a);
      sub->addAction(a);
    }
    first->setChecked(true);
  };
  radioPair("displayFontMenu", QStringLiteral("&Display Font"), normalFontAction,
            "normalFontAction", QStringLiteral("Normal"), boldFontAction, "boldFontAction",
            QStringLiteral("&Bold"));
  radioPair("programHintsMenu", QStringLiteral("&Program Hints"), hintsOnAction, "hintsOnAction",
            QStringLiteral("&On"), hintsOffAction, "hintsOffAction", QStringLiteral("&Off"));
  radioPair("measurementsMenu", QStringLiteral("&Measurements"), inchesAction, "inchesAction",
            QStringLiteral("&English"), centimetresAction, "centimetresAction",
            QStringLiteral("Metric"));
  radioPair("projectFilesMenu", QStringLiteral("Project &Files"), projectFileUnitsAction,
            "projectFileUnitsAction",
            QStringLiteral("Only use unit files listed in the project file "),
            usesClauseUnitsAction, "usesClauseUnitsAction",
            QStringLiteral("Include unit files listed in the uses clause"));
  connect(normalFontAction, &QAction::triggered, this, &MainWindow::NormalFontClick);
  connect(boldFontAction, &QAction::triggered, this, &MainWindow::BoldFontClick);
  connect(hintsOnAction, &QAction::triggered, this, &MainWindow::HintsOnClick);
  connect(hintsOffAction, &QAction::triggered, this, &MainWindow::HintsOffClick);
  connect(inchesAction, &QAction::triggered, this, &MainWindow::InchesClick);
  connect(centimetresAction, &QAction::triggered, this, &MainWindow::CentimetresClick);
  connect(projectFileUnitsAction, &QAction::triggered, this, &MainWindow::ProjectFileUnitsClick);
  connect(usesClauseUnitsAction, &QAction::triggered, this, &MainWindow::UsesClauseUnitsClick);

  QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("HelpMenu"));
  helpContentsAction = MakeAction(this, "helpContentsAction", QStringLiteral("&Contents..."));
  helpIndexAction = MakeAction(this, "helpIndexAction", QStringLiteral("&Index..."));
  aboutAction = MakeAction(this, "aboutAction", QStringLiteral("&About Scrivane..."));
  help->addAction(helpContentsAction);
  help->addAction(helpIndexAction);
  help->addSeparator()->setObjectName(QStringLiteral("helpSeparator"));
  help->addAction(aboutAction);
  connect(helpContentsAction, &QAction::triggered, this, &MainWindow::HelpContentsClick);
  connect(helpIndexAction, &QAction::triggered, this, &MainWindow::HelpIndexClick);
  connect(aboutAction, &QAction::triggered, this, &MainWindow::AboutClick);

  printMenu = new QMenu(this);
  printMenu->setObjectName(QStringLiteral("printMenu"));
  printMenu->addAction(PrintUnitMenu);
  printMenu->addAction(EntireProjMenu);
  printMenu->addSeparator()->setObjectName(QStringLiteral("printMenuSeparator"));
  printMenu->addAction(PrintProcMenu);
  printMenu->addAction(PrintProjMenu);
  printMenu->addAction(PrintIndexCreated);
  previewMenu = new QMenu(this);
  previewMenu->setObjectName(QStringLiteral("previewMenu"));
  previewMenu->addAction(PrevUnitMenu);
  previewMenu->addSeparator()->setObjectName(QStringLiteral("previewMenuSeparator"));
  previewMenu->addAction(PrevProcMenu);
  previewMenu->addAction(PrevProjMenu);
  previewMenu->addAction(PrevIndexCreated);
  PrintBtn->setMenu(printMenu);
  PreviewBtn->setMenu(previewMenu);
}

void MainWindow::BuildToolBar() {
  auto *tools = new QToolBar(QStringLiteral("Tools"), this);
  tools->setObjectName(QStringLiteral("Tools"));
  tools->setOrientation(Qt::Vertical);
  tools->setMovable(false);
  tools->setIconSize(QSize(32, 32));
  tools->setToolButtonStyle(Qt::ToolButtonIconOnly);
  // Eight 50-pixel buttons fill the window's height with no room to spare.
  tools->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; }"));
  tools->layout()->setContentsMargins(0, 0, 0, 0);
  addToolBar(Qt::LeftToolBarArea, tools);
  for (QAction *a :
       {OpenFileBtn, FormatBtn, PrintBtn, PreviewBtn, ClearBtn, CopyBtn, CaptureBtn, HelpBtn}) {
    tools->addAction(a);
    if (auto *button = qobject_cast<QToolButton *>(tools->widgetForAction(a))) {
      button->setObjectName(a->objectName() + QStringLiteral("Button"));
      button->setFixedSize(ToolButtonPx, ToolButtonPx);
      // Print and View drop their menus down at once: they have no action
      // of their own.
      if (a->menu()) {
        button->setPopupMode(QToolButton::InstantPopup);
        // The accelerator drops the menu down as a click does; queued, so
        // the menu's own loop does not run inside the shortcut's handling.
        // The first item that can be chosen is highlighted, so that Return
        // chooses it at once (as a menu opened from the menu bar does).
        connect(
            a, &QAction::triggered, button,
            [button, menu = a->menu()] {
              QTimer::singleShot(0, menu, [menu] {
                for (QAction *item : menu->actions())
                  if (item->isEnabled() && item->isVisible() && !item->isSeparator()) {
                    menu->setActiveAction(item);
                    break;
                  }
              });
              button->showMenu();
            },
            Qt::QueuedConnection);
      }
    }
  }
}

void MainWindow::BuildPages() {
  pageTabs = new QTabWidget(this);
  pageTabs->setObjectName(QStringLiteral("pageTabs"));
  setCentralWidget(pageTabs);

  filesTab = new QWidget;
  filesTab->setObjectName(QStringLiteral("filesTab"));
  listsGroup = new QGroupBox(QStringLiteral("Units and Forms"), filesTab);
  listsGroup->setObjectName(QStringLiteral("listsGroup"));
  auto *tabLayout = new QVBoxLayout(filesTab);
  tabLayout->setContentsMargins(4, 4, 4, 4);
  tabLayout->addWidget(listsGroup);

  unitList = new PickList;
  unitList->setObjectName(QStringLiteral("unitList"));
  unitList->setSelectionMode(QAbstractItemView::SingleSelection);
  unitList->setMinimumWidth(UnitListMinWidthPx);
  unitDelegate_ = new UnitListDelegate(model_, unitList);
  unitList->setOwnerDelegate(unitDelegate_);
  unitList->setSelectedStyle(SelectedStyle::OwnerDraw);
  // Background and text both come from the style's palette: a white
  // background under a dark style's light text hid every name.

  routineList = new PickList;
  routineList->setObjectName(QStringLiteral("routineList"));
  routineList->setSelectionMode(QAbstractItemView::MultiSelection);
  routineDelegate_ = new RoutineListDelegate(routineList);
  routineList->setOwnerDelegate(routineDelegate_);
  routineList->setSelectedStyle(SelectedStyle::OwnerDraw);
  routineList->setMinimumWidth(1);
  for (PickList *list : {unitList, routineList})
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  DragBar = new QSplitter(Qt::Horizontal);
  DragBar->setObjectName(QStringLiteral("DragBar"));
  DragBar->setHandleWidth(4);
  DragBar->setChildrenCollapsible(false);
  DragBar->addWidget(unitList);
  DragBar->addWidget(routineList);
  DragBar->setStretchFactor(1, 1);
  connect(DragBar, &QSplitter::splitterMoved, this, &MainWindow::KeepSplitterShare);
  auto *groupLayout = new QHBoxLayout(listsGroup);
  groupLayout->setContentsMargins(6, 6, 6, 6);
  groupLayout->addWidget(DragBar);

  // Sits on the group box's frame above the routine list, like a second title.
  routineListCaption = new QLabel(QStringLiteral("Procedures and Functions"), listsGroup);
  routineListCaption->setObjectName(QStringLiteral("routineListCaption"));
  routineListCaption->adjustSize();
  // Follows the routine list wherever the splitter or a resize puts it.
  routineList->installEventFilter(this);
  listsGroup->installEventFilter(this);

  connect(unitList, &QListWidget::itemSelectionChanged, this, &MainWindow::UnitListClick);
  connect(routineList, &QListWidget::itemSelectionChanged, this, &MainWindow::RoutineListClick);
  connect(unitList, &QListWidget::itemDoubleClicked, this, &MainWindow::UnitListDoubleClick);
  connect(routineList, &QListWidget::itemDoubleClicked, this, &MainWindow::RoutineListDoubleClick);
  const auto showUnit = [this] {
    SetStatusLine(QStringLiteral(" Unit: ") + model_.CurrentUnitPath);
  };
  connect(unitList, &PickList::hovered, this, showUnit);
  connect(routineList, &PickList::hovered, this, showUnit);

  formImageTab = new QWidget;
  formImageTab->setObjectName(QStringLiteral("formImageTab"));
  formImageScroll = new QScrollArea(formImageTab);
  formImageScroll->setObjectName(QStringLiteral("formImageScroll"));
  formImageScroll->setBackgroundRole(QPalette::Dark);
  QPalette grey = formImageScroll->palette();
  grey.setColor(QPalette::Dark, QColor(128, 128, 128));
  formImageScroll->setPalette(grey);
  FormImage = new QLabel;
  FormImage->setObjectName(QStringLiteral("FormImage"));
  FormImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FormImage->setFixedSize(640, 480);
  formImageScroll->setWidget(FormImage);
  auto *imageLayout = new QVBoxLayout(formImageTab);
  imageLayout->setContentsMargins(0, 0, 0, 0);
  imageLayout->addWidget(formImageScroll);

  pageTabs->addTab(filesTab, QStringLiteral("Project Files"));
  pageTabs->addTab(formImageTab, QStringLiteral("Form Image"));
  connect(pageTabs, &QTabWidget::currentChanged, this, &MainWindow::PageTabChanged);
}

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
  // The unit named there belonged to the file open before.
  SetStatusLine(QString());
  ReaderContext context{model_, settings_, *messages_, includeUses_, {}, StatusShower()};
  try {
    OpenPath(context, path);
    commands_->FileOpened();
  } catch (const std::exception &e) {
    Busy(false);
    messages_->Warning(FailureText(e, path));
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
  ReaderContext context{model_, settings_, *messages_, includeUses_, {}, StatusShower()};
  try {
    LoadUnit(context);
  } catch (const std::exception &e) {
    messages_->Warning(FailureText(e, model_.Units[row].PathToRead()));
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
