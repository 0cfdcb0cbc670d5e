#include "app/DocForm.h"

#include "app/PrintCommands.h"
#include "app/WindowHabits.h"
#include "print/gui/PrinterHost.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLayout>
#include <QLabel>
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
#include "format/FormatChoices.h"
#include "format/IniFile.h"
#include "platform/Paths.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
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

TDocForm::TDocForm(const QString &settingsPath, QWidget *parent)
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
    return PickList1->fontMetrics().horizontalAdvance(name);
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

TDocForm::~TDocForm() { qApp->removeEventFilter(this); }

void TDocForm::BuildActions() {
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
  connect(OpenFileBtn, &QAction::triggered, this, &TDocForm::OpenFileBtnClick);
  connect(FormatBtn, &QAction::triggered, this, &TDocForm::FormatBtnClick);
  connect(ClearBtn, &QAction::triggered, this, &TDocForm::ClearBtnClick);
  connect(CopyBtn, &QAction::triggered, this, &TDocForm::CopyBtnClick);
  connect(CaptureBtn, &QAction::triggered, this, &TDocForm::CaptureBtnClick);
  connect(HelpBtn, &QAction::triggered, this, &TDocForm::HelpBtnClick);

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
  for (QAction *a : {PrintUnitMenu, EntireProjMenu, PrintProcMenu, PrintProjMenu,
                     PrintIndexCreated, PrevUnitMenu, PrevProcMenu, PrevProjMenu, PrevIndexCreated})
    a->setEnabled(false);
  connect(PrintUnitMenu, &QAction::triggered, this, &TDocForm::PrintUnitMenuClick);
  connect(EntireProjMenu, &QAction::triggered, this, &TDocForm::EntireProjMenuClick);
  connect(PrintProcMenu, &QAction::triggered, this, &TDocForm::PrintProcMenuClick);
  connect(PrintProjMenu, &QAction::triggered, this, &TDocForm::PrintProjMenuClick);
  connect(PrintIndexCreated, &QAction::triggered, this, &TDocForm::PrintIndexCreatedClick);
  connect(PrevUnitMenu, &QAction::triggered, this, &TDocForm::PrevUnitMenuClick);
  connect(PrevProcMenu, &QAction::triggered, this, &TDocForm::PrevProcMenuClick);
  connect(PrevProjMenu, &QAction::triggered, this, &TDocForm::PrevProjMenuClick);
  connect(PrevIndexCreated, &QAction::triggered, this, &TDocForm::PrevIndexCreatedClick);
}

void TDocForm::BuildMenus() {
  FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  OpenProject1 = MakeAction(this, "OpenProject1", QStringLiteral("&Open File..."));
  OpenProject1->setShortcut(QKeySequence::Open);
  PrinterSetup1 = MakeAction(this, "PrinterSetup1", QStringLiteral("&Printer Setup..."));
  Legend1 = MakeAction(this, "Legend1", QStringLiteral("Legend..."));
  Exit1 = MakeAction(this, "Exit1", QStringLiteral("E&xit"));
  printWithDialogAction = MakeAction(this, "printWithDialogAction", QStringLiteral("P&rint..."));
  printWithDialogAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  printWithDialogAction->setToolTip(QStringLiteral("Print the highlighted unit, choosing printer, copies and pages"));
  printWithDialogAction->setEnabled(false);
  FileMenu->addAction(OpenProject1);
  FileMenu->addAction(printWithDialogAction);
  FileMenu->addAction(PrinterSetup1);
  FileMenu->addAction(Legend1);
  N1 = FileMenu->addSeparator();
  N1->setObjectName(QStringLiteral("N1"));
  FileMenu->addAction(Exit1);
  connect(OpenProject1, &QAction::triggered, this, &TDocForm::OpenProject1Click);
  connect(PrinterSetup1, &QAction::triggered, this, &TDocForm::PrinterSetup1Click);
  connect(printWithDialogAction, &QAction::triggered, this, &TDocForm::PrintWithDialog);
  connect(Legend1, &QAction::triggered, this, &TDocForm::Legend1Click);
  connect(Exit1, &QAction::triggered, this, &QWidget::close);

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
  radioPair("DisplayFont1", QStringLiteral("&Display Font"), Normal1, "Normal1",
            QStringLiteral("Normal"), Bold1, "Bold1", QStringLiteral("&Bold"));
  radioPair("ProgramHints1", QStringLiteral("&Program Hints"), On1, "On1", QStringLiteral("&On"),
            Off1, "Off1", QStringLiteral("&Off"));
  radioPair("Measurements1", QStringLiteral("&Measurements"), English1, "English1",
            QStringLiteral("&English"), Metric1, "Metric1", QStringLiteral("Metric"));
  radioPair("UsesFiles1", QStringLiteral("Project &Files"), PrjFiles1, "PrjFiles1",
            QStringLiteral("Only use unit files listed in the project file "), PrjFiles2,
            "PrjFiles2", QStringLiteral("Include unit files listed in the uses clause"));
  connect(Normal1, &QAction::triggered, this, &TDocForm::Normal1Click);
  connect(Bold1, &QAction::triggered, this, &TDocForm::Bold1Click);
  connect(On1, &QAction::triggered, this, &TDocForm::On1Click);
  connect(Off1, &QAction::triggered, this, &TDocForm::Off1Click);
  connect(English1, &QAction::triggered, this, &TDocForm::English1Click);
  connect(Metric1, &QAction::triggered, this, &TDocForm::Metric1Click);
  connect(PrjFiles1, &QAction::triggered, this, &TDocForm::PrjFiles1Click);
  connect(PrjFiles2, &QAction::triggered, this, &TDocForm::PrjFiles2Click);

  QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("HelpMenu"));
  TableofContents1 = MakeAction(this, "TableofContents1", QStringLiteral("&Contents..."));
  Index1 = MakeAction(this, "Index1", QStringLiteral("&Index..."));
  About1 = MakeAction(this, "About1", QStringLiteral("&About Scrivane..."));
  help->addAction(TableofContents1);
  help->addAction(Index1);
  help->addSeparator()->setObjectName(QStringLiteral("N2"));
  help->addAction(About1);
  connect(TableofContents1, &QAction::triggered, this, &TDocForm::TableofContents1Click);
  connect(Index1, &QAction::triggered, this, &TDocForm::Index1Click);
  connect(About1, &QAction::triggered, this, &TDocForm::About1Click);

  PopupMenu3 = new QMenu(this);
  PopupMenu3->setObjectName(QStringLiteral("PopupMenu3"));
  PopupMenu3->addAction(PrintUnitMenu);
  PopupMenu3->addAction(EntireProjMenu);
  PopupMenu3->addSeparator()->setObjectName(QStringLiteral("N3"));
  PopupMenu3->addAction(PrintProcMenu);
  PopupMenu3->addAction(PrintProjMenu);
  PopupMenu3->addAction(PrintIndexCreated);
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  PopupMenu1->addAction(PrevUnitMenu);
  PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N4"));
  PopupMenu1->addAction(PrevProcMenu);
  PopupMenu1->addAction(PrevProjMenu);
  PopupMenu1->addAction(PrevIndexCreated);
  PrintBtn->setMenu(PopupMenu3);
  PreviewBtn->setMenu(PopupMenu1);
}

void TDocForm::BuildToolBar() {
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
  for (QAction *a : {OpenFileBtn, FormatBtn, PrintBtn, PreviewBtn, ClearBtn, CopyBtn, CaptureBtn,
                     HelpBtn}) {
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

void TDocForm::BuildPages() {
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  setCentralWidget(PageControl1);

  TabSheet1 = new QWidget;
  TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
  GroupBox1 = new QGroupBox(QStringLiteral("Units and Forms"), TabSheet1);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  auto *tabLayout = new QVBoxLayout(TabSheet1);
  tabLayout->setContentsMargins(4, 4, 4, 4);
  tabLayout->addWidget(GroupBox1);

  PickList1 = new PickList;
  PickList1->setObjectName(QStringLiteral("PickList1"));
  PickList1->setSelectionMode(QAbstractItemView::SingleSelection);
  PickList1->setMinimumWidth(UnitListMinWidthPx);
  unitDelegate_ = new UnitListDelegate(model_, PickList1);
  PickList1->setOwnerDelegate(unitDelegate_);
  PickList1->setSelectedStyle(SelectedStyle::OwnerDraw);
  // Background and text both come from the style's palette: a white
  // background under a dark style's light text hid every name.

  PickList2 = new PickList;
  PickList2->setObjectName(QStringLiteral("PickList2"));
  PickList2->setSelectionMode(QAbstractItemView::MultiSelection);
  routineDelegate_ = new RoutineListDelegate(PickList2);
  PickList2->setOwnerDelegate(routineDelegate_);
  PickList2->setSelectedStyle(SelectedStyle::OwnerDraw);
  PickList2->setMinimumWidth(1);
  for (PickList *list : {PickList1, PickList2})
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  DragBar = new QSplitter(Qt::Horizontal);
  DragBar->setObjectName(QStringLiteral("DragBar"));
  DragBar->setHandleWidth(4);
  DragBar->setChildrenCollapsible(false);
  DragBar->addWidget(PickList1);
  DragBar->addWidget(PickList2);
  DragBar->setStretchFactor(1, 1);
  connect(DragBar, &QSplitter::splitterMoved, this, &TDocForm::KeepSplitterShare);
  auto *groupLayout = new QHBoxLayout(GroupBox1);
  groupLayout->setContentsMargins(6, 6, 6, 6);
  groupLayout->addWidget(DragBar);

  // Sits on the group box's frame above the routine list, like a second title.
  lbControls = new QLabel(QStringLiteral("Procedures and Functions"), GroupBox1);
  lbControls->setObjectName(QStringLiteral("lbControls"));
  lbControls->adjustSize();
  // Follows the routine list wherever the splitter or a resize puts it.
  PickList2->installEventFilter(this);
  GroupBox1->installEventFilter(this);

  connect(PickList1, &QListWidget::itemSelectionChanged, this, &TDocForm::PickList1Click);
  connect(PickList2, &QListWidget::itemSelectionChanged, this, &TDocForm::PickList2Click);
  connect(PickList1, &QListWidget::itemDoubleClicked, this, &TDocForm::PickList1DblClick);
  connect(PickList2, &QListWidget::itemDoubleClicked, this, &TDocForm::PickList2DblClick);
  const auto showUnit = [this] {
    SetStatusLine(QStringLiteral(" Unit: ") + model_.CurrentUnitPath);
  };
  connect(PickList1, &PickList::hovered, this, showUnit);
  connect(PickList2, &PickList::hovered, this, showUnit);

  TabSheet2 = new QWidget;
  TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
  ScrollBox1 = new QScrollArea(TabSheet2);
  ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
  ScrollBox1->setBackgroundRole(QPalette::Dark);
  QPalette grey = ScrollBox1->palette();
  grey.setColor(QPalette::Dark, QColor(128, 128, 128));
  ScrollBox1->setPalette(grey);
  FormImage = new QLabel;
  FormImage->setObjectName(QStringLiteral("FormImage"));
  FormImage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  FormImage->setFixedSize(640, 480);
  ScrollBox1->setWidget(FormImage);
  auto *imageLayout = new QVBoxLayout(TabSheet2);
  imageLayout->setContentsMargins(0, 0, 0, 0);
  imageLayout->addWidget(ScrollBox1);

  PageControl1->addTab(TabSheet1, QStringLiteral("Project Files"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Form Image"));
  connect(PageControl1, &QTabWidget::currentChanged, this, &TDocForm::PageControl1Change);
}

void TDocForm::FormCreate() {
  // The desktop's clipboard is the user's: what another program put there
  // stays, whatever Scrivane does with it.
  {
    const QSignalBlocker block(PageControl1);
    PageControl1->setCurrentWidget(TabSheet1);
  }
  model_.FormFileOpened = false;
  model_.ProjectLoaded = false;

  IniFile ini;
  QString error;
  if (!ini.Load(settingsPath_, &error)) messages_->Information(error);
  recentFiles_.Load(ini);
  QStringList garbled;
  settings_.LoadFromIni(ini, &garbled);
  if (const QString damage = SettingsDamageMessage(settingsPath_, ini, garbled, true); !damage.isEmpty())
    messages_->Warning(damage);
  habits_->Restore(ini);
  for (const QString &replaced : ReplaceBitmapFaces(settings_)) messages_->Warning(replaced);
  for (const QString &missing : MissingFaceWarnings(settings_)) messages_->Warning(missing);

  (settings_.Hint == 1 ? On1 : Off1)->trigger();
  (settings_.Style != 0 ? Bold1 : Normal1)->trigger();
  (settings_.Measure != 0 ? Metric1 : English1)->trigger();
  (settings_.Include != 0 ? PrjFiles2 : PrjFiles1)->trigger();
  RebuildRecentMenu();
  commands_->Flags.IndexRequested = false;
}

void TDocForm::closeEvent(QCloseEvent *event) {
  if (!closed_) FormClose();
  closed_ = true;
  event->accept();
}

void TDocForm::FormClose() {
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

void TDocForm::resizeEvent(QResizeEvent *event) {
  QMainWindow::resizeEvent(event);
  if (StatusBar) StatusBar->FollowWindowWidth(width());
}

bool TDocForm::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::ToolTip && !hintsShown_) return true;
  if (watched == GroupBox1 && event->type() == QEvent::Resize) FormResize();
  if (watched == PickList2 && event->type() == QEvent::Move) PlaceRoutineCaption();
  return QMainWindow::eventFilter(watched, event);
}

void TDocForm::KeepSplitterShare() {
  const QList<int> sizes = DragBar->sizes();
  if (sizes.size() == 2 && GroupBox1->width() > 0) unitListShare_ = double(sizes[0]) / GroupBox1->width();
}

void TDocForm::FormResize() {
  // The units keep their share of the group box (a fifth until the user
  // moves the splitter): snapping back to a fifth undid every drag.
  const int total = DragBar->width() - DragBar->handleWidth();
  const int units = std::max(UnitListMinWidthPx, int(unitListShare_ * GroupBox1->width()));
  DragBar->setSizes({units, std::max(1, total - units)});
  PlaceRoutineCaption();
}

void TDocForm::PlaceRoutineCaption() {
  // Above the routine list, but readable wherever the splitter is: never
  // past the group box's right edge nor over the box's own title; cut with
  // an ellipsis only when the box is too narrow for both.
  QStyleOptionGroupBox option;
  option.initFrom(GroupBox1);
  option.text = GroupBox1->title();
  option.textAlignment = GroupBox1->alignment();
  option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
  option.lineWidth = 1;
  const QRect title =
      GroupBox1->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, GroupBox1);
  const int leftmost = (title.isValid() ? title.right() + 1 : 0) + CaptionGapPx;
  const int rightEdge = GroupBox1->width() - CaptionGapPx;
  const QFontMetrics metrics(lbControls->font());
  const QString full = model_.RoutineCaption;
  const int fullWidth = metrics.horizontalAdvance(full) + 2 * lbControls->margin();
  const int room = std::max(0, rightEdge - leftmost);
  lbControls->setText(fullWidth <= room ? full : metrics.elidedText(full, Qt::ElideRight, room));
  lbControls->setToolTip(full);
  lbControls->adjustSize();
  const int wanted = PickList2->mapTo(GroupBox1, QPoint(0, 0)).x() + 5;
  const int x = std::max(leftmost, std::min(wanted, rightEdge - lbControls->width()));
  lbControls->move(x, 0);
  lbControls->raise();
}

void TDocForm::RebuildRecentMenu() {
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
    auto *item = new QAction(QStringLiteral("&%1 ").arg(i + 1) + QString(shown).replace(u'&', QStringLiteral("&&")),
                             FileMenu);
    item->setStatusTip(entries[i]);
    item->setToolTip(entries[i]);
    item->setObjectName(QStringLiteral("Recent%1").arg(i + 1));
    connect(item, &QAction::triggered, this, [this, i] { OpenRecentFile(i); });
    FileMenu->insertAction(Exit1, item);
    recentItems_ << item;
  }
  if (!recentItems_.isEmpty()) recentSeparator_ = FileMenu->insertSeparator(Exit1);
}

void TDocForm::Busy(bool on) { messages_->SetBusy(on); }

void TDocForm::ClearPickLists() {
  const QSignalBlocker block1(PickList1);
  const QSignalBlocker block2(PickList2);
  PickList1->clear();
  PickList2->clear();
}

void TDocForm::ReadPath(const QString &path) {
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

void TDocForm::OpenFileBtnClick() { OpenProject1Click(); }

void TDocForm::OpenProject1Click() {
  OpenFileCommand();
  UpdateCommands();
}

void TDocForm::OpenFileCommand() {
  QString chosen;
  if (chooseFile_) {
    chosen = chooseFile_();
  } else {
    chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Open Delphi File"), habits_->OpenFolder,
                                          WindowHabits::OpenFilter());
  }
  // A cancelled dialog opens nothing and leaves the window as it was: its
  // lists, caption and status line still describe the file that is open.
  if (chosen.isEmpty()) return;
  OpenPathCommand(chosen);
}

void TDocForm::OpenPathCommand(const QString &chosen) {
  habits_->OpenFolder = QFileInfo(chosen).absolutePath();
  PageControl1->setCurrentWidget(TabSheet1);
  ClearPickLists();
  ClearForOpen(model_);
  commands_->Flags.IndexRequested = false;
  RefreshLists();
  UpdateCommands();
  OpenChosenFile(chosen);
}

void TDocForm::OpenChosenFile(const QString &path) {
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

void TDocForm::OpenRecentFile(int index) {
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

void TDocForm::RefreshLists() {
  {
    const QSignalBlocker block(PickList1);
    // Rebuilt only when the units changed: a click loads the unit and
    // refreshes the lists between the two clicks of a double click, which
    // must land on the same item to preview it.
    if (!ShowsUnits(*PickList1, model_.Units)) {
      PickList1->clear();
      for (const UnitEntry &unit : model_.Units) {
        auto *item = new QListWidgetItem(unit.name, PickList1);
        item->setData(KindRole, int(unit.kind));
        item->setData(FullPathRole, unit.PathToRead());
      }
    }
    if (model_.SelectedUnit >= 0 && model_.SelectedUnit < PickList1->count())
      PickList1->setCurrentRow(model_.SelectedUnit);
  }
  {
    const QSignalBlocker block(PickList2);
    PickList2->clear();
    for (const RoutineEntry &routine : model_.Routines) {
      QString text = DecodeText(routine.text, model_.SourceEncoding);
      // A routine of an include file says which file it is in.
      const bool included = routine.file > 0 && routine.file < model_.SourceParts.size();
      if (included) text += QStringLiteral("   [") + FileNamePart(model_.SourceParts[routine.file].shown) + u']';
      // One the interface does not offer says so.
      if (routine.implementationOnly) text += QStringLiteral("   (implementation)");
      auto *item = new QListWidgetItem(text, PickList2);
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
  GroupBox1->setTitle(model_.GroupCaption);
  PlaceRoutineCaption();
}

void TDocForm::SetStatusLine(const QString &text) { StatusBar->setStatusText(text); }

std::function<void(const QString &)> TDocForm::StatusShower() {
  return [this](const QString &text) {
    SetStatusLine(text);
    // Reading goes on in this same pass of the event loop: paint now.
    StatusBar->repaint();
  };
}

void TDocForm::PickList1Click() {
  const int row = PickList1->currentRow();
  if (row < 0 || !PickList1->item(row)->isSelected()) return;
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

void TDocForm::PickList2Click() {
  for (int i = 0; i < PickList2->count() && i < model_.Routines.size(); ++i)
    model_.Routines[i].selected = PickList2->item(i)->isSelected();
  UpdateCommands();
}

void TDocForm::ClearBtnClick() {
  if (projectFilesTabActive()) {
    PickList2->ClearSelection();
    for (RoutineEntry &routine : model_.Routines) routine.selected = false;
  } else {
    DeleteFormImage();
  }
  UpdateCommands();
}

bool TDocForm::projectFilesTabActive() const {
  return PageControl1->currentWidget() == TabSheet1;
}

void TDocForm::PageControl1Change() {
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

void TDocForm::UpdateCommands() {
  CommandState state = ComputeCommandState(model_, projectFilesTabActive(), FileExistsAnyCase);
  // A bitmap that does not load shows nothing, and nothing shown is not copied or deleted.
  if (!projectFilesTabActive() && FormImage->pixmap().isNull()) state.clearBtn = state.copyBtn = false;
  ApplyCommandState(state);
}

void TDocForm::ApplyCommandState(const CommandState &s) {
  PrevUnitMenu->setEnabled(s.prevUnit);
  // Documents whose renderer does not exist yet stay disabled.
  const bool procList = PrintCommands::HasRenderer(commands_->PrintPreview4);
  const bool projList = PrintCommands::HasRenderer(commands_->PrintPreview1);
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

void TDocForm::ApplyIndexItems() {
  const bool on = commands_->IndexItemsEnabled() && PrintCommands::HasRenderer(commands_->PrintPreview5);
  PrintIndexCreated->setEnabled(on && PrintBtn->isEnabled());
  PrevIndexCreated->setEnabled(on && PreviewBtn->isEnabled());
}

void TDocForm::HelpBtnClick() {
  if (!help_) help_ = new HelpWindow(this);
  help_->ShowTopic(projectFilesTabActive() ? HelpProjectFiles : HelpFormImage);
}

void TDocForm::TableofContents1Click() {
  if (!help_) help_ = new HelpWindow(this);
  help_->ShowTopic(HelpContents);
}

void TDocForm::Index1Click() {
  if (!help_) help_ = new HelpWindow(this);
  help_->ShowTopic(HelpIndex);
}

void TDocForm::Legend1Click() {
  TLegendForm legend(this);
  legend.exec();
}

void TDocForm::About1Click() {
  TAboutForm about(this);
  about.exec();
}

void TDocForm::SetListFontBold(bool bold) {
  for (PickList *list : {PickList1, PickList2}) {
    QFont font = list->font();
    font.setBold(bold);
    list->setFont(font);
  }
}

void TDocForm::Normal1Click() {
  Normal1->setChecked(true);
  SetListFontBold(false);
  settings_.Style = 0;
}

void TDocForm::Bold1Click() {
  Bold1->setChecked(true);
  SetListFontBold(true);
  settings_.Style = 1;
}

void TDocForm::On1Click() {
  On1->setChecked(true);
  hintsShown_ = true;
  settings_.Hint = 1;
}

void TDocForm::Off1Click() {
  Off1->setChecked(true);
  hintsShown_ = false;
  settings_.Hint = 0;
}

void TDocForm::English1Click() {
  English1->setChecked(true);
  settings_.Measure = 0;
}

void TDocForm::Metric1Click() {
  Metric1->setChecked(true);
  settings_.Measure = 1;
}

void TDocForm::PrjFiles1Click() {
  PrjFiles1->setChecked(true);
  settings_.Include = 0;
  includeUses_ = false;
}

void TDocForm::PrjFiles2Click() {
  PrjFiles2->setChecked(true);
  settings_.Include = 1;
  includeUses_ = true;
}

}  // namespace scrivane
