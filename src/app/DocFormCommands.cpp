// The window's print, preview and printer commands: the work is done by
// PrintCommands; here the window hands it the lists, the status line and the
// file choices that only a window can make.
#include <QFileDialog>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QStandardPaths>

#include "app/DocForm.h"
#include "app/PrintCommands.h"
#include "platform/Paths.h"
#include "print/gui/PrinterHost.h"
#include "widgets/PickList.h"

namespace scrivane {

namespace {
// The commands outlive a change of the window's message sink (tests replace
// it), so they talk to whatever sink the window has at the moment.
class WindowMessages : public UserMessages {
 public:
  explicit WindowMessages(TDocForm &window) : window_(window) {}
  void Warning(const QString &text) override { window_.messages().Warning(text); }
  void Information(const QString &text) override { window_.messages().Information(text); }
  bool AskYesNo(const QString &text) override { return window_.messages().AskYesNo(text); }
  void SetBusy(bool busy) override { window_.messages().SetBusy(busy); }

 private:
  TDocForm &window_;
};

QString PdfNameFor(const QString &documentPath) {
  const QString stem = QFileInfo(FileNamePart(documentPath)).completeBaseName();
  return (stem.isEmpty() ? QStringLiteral("listing") : stem) + QStringLiteral(".pdf");
}

QString DefaultPdfFolder(const QString &documentPath) {
  const QString folder = DirectoryPart(documentPath);
  if (!folder.isEmpty() && QFileInfo(folder).isWritable()) return folder;
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}
}  // namespace

void TDocForm::BuildPrintCommands() {
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
    const QSignalBlocker block(PickList1);
    if (index >= 0 && index < PickList1->count()) PickList1->setCurrentRow(index);
  };
  hooks.SetStatusLine = [this](const QString &text) { SetStatusLine(text); };
  hooks.EnableIndexItems = [this](bool enabled) {
    PrintIndexCreated->setEnabled(enabled);
    PrevIndexCreated->setEnabled(enabled);
  };
  // Without a printer the current printer writes PDF: each unit of a
  // project run gets a file of its own in a folder chosen once.
  hooks.BeforeUnitJob = [this](int index) {
    if (printerHost_->HasPrinters()) return;
    if (index == 0) {
      projectPdfFolder_ = QFileDialog::getExistingDirectory(
          this, QStringLiteral("Folder for the PDF files"), DefaultPdfFolder(model_.OpenedPath));
    }
    if (projectPdfFolder_.isEmpty()) {
      commands_->Flags.PrintCancelled = true;
      return;
    }
    printerHost_->printer().setOutputFileName(JoinPath(projectPdfFolder_, PdfNameFor(model_.CurrentUnitPath)));
  };
  printerHost_->ChooseOutputFile = [this](const QString &title) { return AskForPdfFile(title); };
}

QString TDocForm::AskForPdfFile(const QString &documentTitle) {
  const QString suggested = JoinPath(DefaultPdfFolder(documentTitle), PdfNameFor(documentTitle));
  return QFileDialog::getSaveFileName(this, QStringLiteral("Print to PDF File"), suggested,
                                      QStringLiteral("PDF files (*.pdf)"));
}

void TDocForm::PrintUnitMenuClick() { commands_->PrintUnitMenuClick(); }
void TDocForm::EntireProjMenuClick() {
  commands_->EntireProjMenuClick();
  projectPdfFolder_.clear();
  if (!printerHost_->HasPrinters()) printerHost_->printer().setOutputFileName(QString());
}
void TDocForm::PrintProcMenuClick() { commands_->PrintProcMenuClick(); }
void TDocForm::PrintProjMenuClick() { commands_->PrintProjMenuClick(); }
void TDocForm::PrintIndexCreatedClick() { commands_->PrintIndexCreatedClick(); }
void TDocForm::PrevUnitMenuClick() { commands_->PrevUnitMenuClick(); }
void TDocForm::PrevProcMenuClick() { commands_->PrevProcMenuClick(); }
void TDocForm::PrevProjMenuClick() { commands_->PrevProjMenuClick(); }
void TDocForm::PrevIndexCreatedClick() { commands_->PrevIndexCreatedClick(); }
void TDocForm::PickList1DblClick() {
  if (model_.SelectedUnit >= 0 && !model_.CurrentUnitPath.isEmpty()) commands_->PickList1DblClick();
}
void TDocForm::PickList2DblClick() {
  if (model_.AnyRoutineSelected()) commands_->PickList2DblClick();
}
void TDocForm::PrinterSetup1Click() { printerHost_->PrinterSetup(this); }

// Clipboard, form image and the Format dialog arrive with their own work.
void TDocForm::CopyBtnClick() {}
void TDocForm::CaptureBtnClick() {}
void TDocForm::FormatBtnClick() {}
void TDocForm::DeleteFormImage() {}
void TDocForm::ShowFormImage() {}

}  // namespace scrivane
