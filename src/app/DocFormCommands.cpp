// The window's print, preview, clipboard and image commands. They are wired
// to the menus and buttons already; their work arrives with the print jobs
// and the clipboard support.
#include "app/DocForm.h"

namespace scrivane {

void TDocForm::PrintUnitMenuClick() {}
void TDocForm::EntireProjMenuClick() {}
void TDocForm::PrintProcMenuClick() {}
void TDocForm::PrintProjMenuClick() {}
void TDocForm::PrintIndexCreatedClick() {}
void TDocForm::PrevUnitMenuClick() {}
void TDocForm::PrevProcMenuClick() {}
void TDocForm::PrevProjMenuClick() {}
void TDocForm::PrevIndexCreatedClick() {}
void TDocForm::PickList1DblClick() {}
void TDocForm::PickList2DblClick() {}
void TDocForm::CopyBtnClick() {}
void TDocForm::CaptureBtnClick() {}
void TDocForm::FormatBtnClick() {}
void TDocForm::PrinterSetup1Click() {}
void TDocForm::DeleteFormImage() {}
void TDocForm::ShowFormImage() {}

}  // namespace scrivane
