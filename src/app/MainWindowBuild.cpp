// The main window's actions, menus, tool bar and pages, made once when the
// window is built; what they do is in DocForm.cpp and DocFormCommands.cpp.
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

#include "app/DocForm.h"
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
constexpr int ToolButtonPx = 50;

QAction *MakeAction(QObject *parent, const char *name, const QString &caption) {
  auto *action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  return action;
}
}  // namespace

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
  saveWebBookAction = MakeAction(this, "saveWebBookAction", QStringLiteral("Save as &web page..."));
  PrintProcMenu =
      MakeAction(this, "PrintProcMenu", QStringLiteral("&Procedures and functions list"));
  PrintProjMenu = MakeAction(this, "PrintProjMenu", QStringLiteral("Project &source file"));
  PrintIndexCreated = MakeAction(this, "PrintIndexCreated", QStringLiteral("&Index Listing"));
  PrevUnitMenu = MakeAction(this, "PrevUnitMenu", HighlightedUnitCaption);
  PrevProcMenu = MakeAction(this, "PrevProcMenu", QStringLiteral("&Procedures and functions list"));
  PrevProjMenu = MakeAction(this, "PrevProjMenu", QStringLiteral("Project &source file"));
  PrevIndexCreated = MakeAction(this, "PrevIndexCreated", QStringLiteral("&Index Listing"));
  printCrossReferenceAction =
      MakeAction(this, "printCrossReferenceAction", QStringLiteral("&Cross-reference"));
  previewCrossReferenceAction =
      MakeAction(this, "previewCrossReferenceAction", QStringLiteral("&Cross-reference"));
  for (QAction *a : {PrintUnitMenu, EntireProjMenu, saveWebBookAction, PrintProcMenu, PrintProjMenu,
                     PrintIndexCreated, PrevUnitMenu, PrevProcMenu, PrevProjMenu, PrevIndexCreated,
                     printCrossReferenceAction, previewCrossReferenceAction})
    a->setEnabled(false);
  connect(PrintUnitMenu, &QAction::triggered, this, &MainWindow::PrintUnitMenuClick);
  connect(EntireProjMenu, &QAction::triggered, this, &MainWindow::EntireProjMenuClick);
  connect(saveWebBookAction, &QAction::triggered, this, &MainWindow::SaveWebBookCommand);
  connect(PrintProcMenu, &QAction::triggered, this, &MainWindow::PrintProcMenuClick);
  connect(PrintProjMenu, &QAction::triggered, this, &MainWindow::PrintProjMenuClick);
  connect(PrintIndexCreated, &QAction::triggered, this, &MainWindow::PrintIndexCreatedClick);
  connect(PrevUnitMenu, &QAction::triggered, this, &MainWindow::PrevUnitMenuClick);
  connect(PrevProcMenu, &QAction::triggered, this, &MainWindow::PrevProcMenuClick);
  connect(PrevProjMenu, &QAction::triggered, this, &MainWindow::PrevProjMenuClick);
  connect(PrevIndexCreated, &QAction::triggered, this, &MainWindow::PrevIndexCreatedClick);
  connect(printCrossReferenceAction, &QAction::triggered, this,
          &MainWindow::PrintCrossReferenceCommand);
  connect(previewCrossReferenceAction, &QAction::triggered, this,
          &MainWindow::PreviewCrossReferenceCommand);
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
  printMenu->addAction(saveWebBookAction);
  printMenu->addSeparator()->setObjectName(QStringLiteral("printMenuSeparator"));
  printMenu->addAction(PrintProcMenu);
  printMenu->addAction(PrintProjMenu);
  printMenu->addAction(PrintIndexCreated);
  printMenu->addAction(printCrossReferenceAction);
  previewMenu = new QMenu(this);
  previewMenu->setObjectName(QStringLiteral("previewMenu"));
  previewMenu->addAction(PrevUnitMenu);
  previewMenu->addSeparator()->setObjectName(QStringLiteral("previewMenuSeparator"));
  previewMenu->addAction(PrevProcMenu);
  previewMenu->addAction(PrevProjMenu);
  previewMenu->addAction(PrevIndexCreated);
  previewMenu->addAction(previewCrossReferenceAction);
  // A command that is off says why when the pointer rests on it.
  printMenu->setToolTipsVisible(true);
  previewMenu->setToolTipsVisible(true);
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
  // Background and text both come from the style's palette: a white
  // background under a dark style's light text hid every name.

  routineList = new PickList;
  routineList->setObjectName(QStringLiteral("routineList"));
  routineList->setSelectionMode(QAbstractItemView::MultiSelection);
  routineDelegate_ = new RoutineListDelegate(routineList);
  routineList->setOwnerDelegate(routineDelegate_);
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

}  // namespace scrivane
