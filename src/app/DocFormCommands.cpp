// The window's print, preview and printer commands: the work is done by
// PrintCommands; here the window hands it the lists, the status line and the
// file choices that only a window can make.
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QTabWidget>
#include <array>

#include "app/DocForm.h"
#include "app/HelpWindow.h"
#include "app/PrintCommands.h"
#include "format/gui/FormatFrm.h"
#include "listing/Documents.h"
#include "platform/OutputGuard.h"
#include "platform/Paths.h"
#include "platform/ReplacingFile.h"
#include "platform/Text1252.h"
#include "platform/TextEncoding.h"
#include "printer/PrinterHost.h"
#include "project/FormImage.h"
#include "project/Readers.h"
#include "web/WebBook.h"
#include "widgets/PickList.h"

namespace scrivane {

namespace {
// The commands outlive a change of the window's message sink (tests replace
// it), so they talk to whatever sink the window has at the moment.
class WindowMessages : public UserMessages {
 public:
  explicit WindowMessages(MainWindow &window) : window_(window) {}
  void Warning(const QString &text) override { window_.messages().Warning(text); }
  void Information(const QString &text) override { window_.messages().Information(text); }
  bool AskYesNo(const QString &text) override { return window_.messages().AskYesNo(text); }
  void SetBusy(bool busy) override { window_.messages().SetBusy(busy); }

 private:
  MainWindow &window_;
};

QString PdfNameFor(const QString &documentPath) {
  const QString stem = QFileInfo(FileNamePart(documentPath)).completeBaseName();
  return (stem.isEmpty() ? QStringLiteral("listing") : stem) + QStringLiteral(".pdf");
}

}  // namespace

void MainWindow::BuildPrintCommands() {
  printerHost_ = std::make_unique<PrinterHost>();
  auto *forwarding = new WindowMessages(*this);
  forwardingMessages_.reset(forwarding);
  commands_ = std::make_unique<PrintCommands>(model_, settings_, *forwarding, *printerHost_, this);
  PrintCommandHooks &hooks = commands_->Hooks;
  hooks.UpdateCommands = [this] {
    RefreshLists();
    UpdateCommands();
  };
  hooks.SelectUnit = [this](int index) {
    const QSignalBlocker block(unitList);
    if (index >= 0 && index < unitList->count()) unitList->setCurrentRow(index);
  };
  hooks.SetStatusLine = StatusShower();
  hooks.EnableIndexItems = [this](bool) { ApplyIndexItems(); };
  printerHost_->ChooseOutputFile = [this](const QString &title) { return AskForPdfFile(title); };
  printerHost_->ProtectedFiles = [this] { return model_.ProjectFiles(); };
  printerHost_->SuggestOutputFile = [this] {
    return JoinPath(PdfFolder(),
                    PdfNameFor(pdfDocument_.isEmpty() ? model_.OpenedPath : pdfDocument_));
  };
  chooseWebFolder_ = [this](const QString &suggested) {
    // Qt's folder dialog takes only a folder that exists ("Directory not
    // found" for the name it was given): the suggested one is made for it,
    // and taken away again when another is chosen or none, as long as
    // nothing was put in it.
    const bool made = !QFileInfo::exists(suggested) && QDir().mkdir(suggested);
    const QString chosen =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Save as Web Page"), suggested);
    if (made && QDir::cleanPath(chosen) != QDir::cleanPath(suggested)) QDir().rmdir(suggested);
    return chosen;
  };
  choosePdfFile_ = [this](const QString &suggested) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Print to PDF File"), suggested,
                                        QStringLiteral("PDF files (*.pdf)"));
  };
}

// One rule wherever a PDF file is proposed (print menu, preview, entire
// project): the folder last written to, else the project's own folder.
QString MainWindow::PdfFolder() const {
  // The model keeps paths in lower case; the folder on disk may not be.
  const QString project = FindFileAnyCase(model_.OpenedPath);
  for (const QString &folder : {printerHost_->LastPdfFolder, DirectoryPart(project)}) {
    const QFileInfo info(folder);
    if (!folder.isEmpty() && info.isDir() && info.isWritable()) return folder;
  }
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString MainWindow::AskForPdfFile(const QString &documentTitle) {
  QString suggested = JoinPath(PdfFolder(), PdfNameFor(documentTitle));
  for (;;) {
    const QString chosen = choosePdfFile_(suggested);
    QString refusal =
        chosen.isEmpty() ? QString() : RefuseOutputOverInput(chosen, model_.ProjectFiles());
    if (refusal.isEmpty() && !chosen.isEmpty())
      refusal = RefuseOutputTarget(chosen, false, ForceHint::Window);
    if (refusal.isEmpty()) return chosen;
    messages().Warning(refusal);
    suggested = chosen;
  }
}

// The PDF file named in the print dialog of an earlier print belongs to that
// print: a print without the dialog asks for its own file instead of writing
// over it.
void MainWindow::ForgetLastPdfFile() {
  if (!printerHost_->HasPrinters()) printerHost_->printer().setOutputFileName(QString());
}

void MainWindow::PrintUnitMenuClick() {
  ForgetLastPdfFile();
  commands_->PrintUnitMenuClick();
}
void MainWindow::PrintWithDialog() {
  if (!printWithDialogAction->isEnabled()) return;
  pdfDocument_ = model_.CurrentUnitPath;
  commands_->PrintUnitWithDialog();
}
void MainWindow::EntireProjMenuClick() {
  ForgetLastPdfFile();
  commands_->EntireProjMenuClick();
}
// The folder and the question are the window's; the book is written as
// scrivane-print --all --format html writes it, on the paper the printer
// holds (the system's when that is none of ours), and the folder is refused
// where the command line refuses it, with a yes only where --force would do.
void MainWindow::SaveWebBookCommand() {
  if (!saveWebBookAction->isEnabled()) return;
  const QString project = FindFileAnyCase(model_.OpenedPath);
  const QString suggested = JoinPath(
      PdfFolder(), QFileInfo(FileNamePart(project)).completeBaseName() + QStringLiteral("-web"));
  const QString folder = chooseWebFolder_(suggested);
  if (folder.isEmpty()) return;
  const WebFolderCheck check = CheckWebFolder(folder);
  if (check.verdict == WebFolderVerdict::Refused) {
    messages().Warning(check.reason);
    return;
  }
  const bool force = check.verdict == WebFolderVerdict::HoldsOtherFiles;
  if (force && !messages().AskYesNo(check.reason +
                                    QStringLiteral("\n\nWrite the web pages into it all the same? "
                                                   "Files of the same names are replaced.")))
    return;
  PaperSize paper = ChoosePaper(SystemPaperInputs(QString(), QString())).paper;
  const QPageSize::PageSizeId printerPaper = printerHost_->printer().pageLayout().pageSize().id();
  for (const PaperSize ours :
       {PaperSize::A4, PaperSize::Letter, PaperSize::Legal, PaperSize::A3, PaperSize::A5})
    if (PageSizeIdOf(ours) == printerPaper) paper = ours;
  commands_->SaveWebBook(folder, force, paper);
}

void MainWindow::PrintProcMenuClick() {
  ForgetLastPdfFile();
  commands_->PrintProcMenuClick();
}
void MainWindow::PrintProjMenuClick() {
  ForgetLastPdfFile();
  commands_->PrintProjMenuClick();
}
void MainWindow::PrintIndexCreatedClick() {
  ForgetLastPdfFile();
  commands_->PrintIndexCreatedClick();
}
void MainWindow::PrintCrossReferenceCommand() {
  if (!printCrossReferenceAction->isEnabled()) return;
  ForgetLastPdfFile();
  pdfDocument_ = model_.OpenedPath;
  commands_->PrintCrossReference();
}
// A print from the preview names its PDF file after the document shown.
void MainWindow::PrevUnitMenuClick() {
  pdfDocument_ = model_.CurrentUnitPath;
  commands_->PrevUnitMenuClick();
}
void MainWindow::PrevProcMenuClick() {
  pdfDocument_ = model_.CurrentUnitPath;
  commands_->PrevProcMenuClick();
}
void MainWindow::PrevProjMenuClick() {
  pdfDocument_ = model_.OpenedPath;
  commands_->PrevProjMenuClick();
}
void MainWindow::PrevIndexCreatedClick() {
  pdfDocument_ = model_.OpenedPath;
  commands_->PrevIndexCreatedClick();
}
void MainWindow::PreviewCrossReferenceCommand() {
  if (!previewCrossReferenceAction->isEnabled()) return;
  pdfDocument_ = model_.OpenedPath;
  commands_->PreviewCrossReference();
}
void MainWindow::UnitListDoubleClick() {
  pdfDocument_ = model_.CurrentUnitPath;
  if (model_.SelectedUnit >= 0 && !model_.CurrentUnitPath.isEmpty())
    commands_->UnitListDoubleClick();
}
void MainWindow::RoutineListDoubleClick() {
  pdfDocument_ = model_.CurrentUnitPath;
  if (model_.AnyRoutineSelected()) commands_->RoutineListDoubleClick();
}
void MainWindow::PrinterSetupClick() { printerHost_->PrinterSetup(this); }

// The clipboard takes plain text of at most this many characters, as the
// staging edit control it was designed around did.
constexpr int kMaxClipboardText = 32 * 1024;

void MainWindow::CopyBtnClick() {
  // Nothing is cleared first: the clipboard changes only when there is
  // something to put on it, and what another program put there stays.
  QClipboard *clipboard = QGuiApplication::clipboard();
  if (!projectFilesTabActive()) {
    const QPixmap shown = FormImage->pixmap();
    if (shown.height() > 10) clipboard->setImage(shown.toImage());
    return;
  }
  // The routines as their files have them, blanks and all, with this
  // system's line ends.
  QString text = DecodeText(SelectedOwnText(model_), model_.SourceEncoding);
  text.chop(1);
  if (text.size() > kMaxClipboardText) {
    // One line feed: the carriage return the staging edit control wanted
    // after it shows as a blank line in a message box here.
    messages().Information(QStringLiteral(
        "The maximum allowable text is 32K.\nReduce the number of procedures selected."));
    for (RoutineEntry &routine : model_.Routines) routine.selected = false;
    RefreshLists();
    UpdateCommands();
    return;
  }
  clipboard->setText(text);
}

void MainWindow::CaptureBtnClick() {
  QClipboard *clipboard = QGuiApplication::clipboard();
  const QImage picture = clipboard->image();
  if (!picture.isNull()) {
    pageTabs->setCurrentWidget(formImageTab);
    SetFormImage(QPixmap::fromImage(picture));
    const QString name = FindFormImageFiles(model_.CurrentUnitPath).saveTarget;
    if (!name.isEmpty() &&
        messages().AskYesNo(QStringLiteral("Do you want to save ") + name + QStringLiteral("?"))) {
      // Written whole or not at all: a failed save (a full disk included)
      // keeps the earlier image.
      // A link in its place (planted in a downloaded project) is refused.
      ReplacingFile file(name, LinkPolicy::Refuse);
      if (!file.open() && file.refused())
        messages().Warning(QStringLiteral("Cannot write ") + name + QStringLiteral(": ") +
                           file.failureReason() + QStringLiteral("; nothing was written."));
      else if (!file.isOpen() || !picture.save(&file, "BMP") || !file.commit())
        messages().Warning(QStringLiteral("Cannot write ") + name);
    }
  }
  // The picture stays on the clipboard: it may be the user's only copy.
  UpdateCommands();
}

void MainWindow::DeleteFormImage() {
  // Only the image the tab shows: the unit's, beside its form.
  const FormImageFiles files = FindFormImageFiles(model_.CurrentUnitPath, &model_.Scope);
  const QString path = files.imageFile;
  if (path.isEmpty() || files.formFile.isEmpty()) return;
  if (!messages().AskYesNo(QStringLiteral("Do you want to delete ") + path + QStringLiteral("?")))
    return;
  if (!QFile::remove(path)) {
    messages().Warning(QStringLiteral("Cannot delete ") + path);
    return;
  }
  SetFormImage(QPixmap());
}

void MainWindow::ShowFormImage() {
  SetFormImage(QPixmap());
  const FormImageFiles files = FindFormImageFiles(model_.CurrentUnitPath, &model_.Scope);
  // Only a unit with a form file beside it shows an image.
  if (files.formFile.isEmpty() || files.imageFile.isEmpty()) return;
  const QString bmp = files.imageFile;
  QPixmap picture;
  if (picture.load(bmp)) SetFormImage(picture);
}

void MainWindow::SetFormImage(const QPixmap &picture) {
  FormImage->setPixmap(picture);
  if (picture.isNull()) {
    FormImage->setFixedSize(640, 480);
  } else {
    FormImage->setFixedSize(picture.width() + 10, picture.height() + 10);
  }
}

void MainWindow::FormatBtnClick() {
  // These are applied as a unit is read: the unit on view is read again,
  // so that the next preview shows them (its routines keep their selection).
  auto readingChoices = [this] {
    return std::array{settings_.Lower, settings_.FollowIncludes, settings_.ImplementationRoutines,
                      settings_.Layout};
  };
  const auto before = readingChoices();
  formatDialog_->exec();
  if (readingChoices() != before) ReloadCurrentUnit();
  // The cross-reference follows the cross-links switch.
  UpdateCommands();
}

void MainWindow::ReloadCurrentUnit() {
  if (model_.SelectedUnit < 0 || model_.CurrentUnitPath.isEmpty()) return;
  QList<bool> selected;
  for (const RoutineEntry &routine : model_.Routines) selected << routine.selected;
  model_.CurrentUnitPath.clear();
  Busy(true);
  ReaderContext context{model_,        ReadChoicesOf(settings_), *messages_, includeUses_, {},
                        StatusShower()};
  try {
    LoadUnit(context);
  } catch (const std::exception &e) {
    messages_->Warning(QString::fromLocal8Bit(e.what()));
  }
  if (selected.size() == model_.Routines.size())
    for (int i = 0; i < selected.size(); ++i) model_.Routines[i].selected = selected[i];
  RefreshLists();
  Busy(false);
  UpdateCommands();
}

void MainWindow::BuildFormatDialog() {
  formatDialog_ = new FormatDialog(settings_, *forwardingMessages_, this);
  // The dialog is modal: its help window is its own child, or the dialog
  // would block it.
  formatDialog_->ShowHelp = [this](int context) {
    if (!formatHelp_) formatHelp_ = new HelpWindow(formatDialog_);
    formatHelp_->ShowTopic(context);
  };
}

}  // namespace scrivane
