#include "app/WindowHabits.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QItemSelection>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSplitter>
#include <QTimer>
#include <QUrl>

#include "app/DocForm.h"
#include "format/IniFile.h"
#include "printer/PrinterHost.h"
#include "widgets/PickList.h"

namespace scrivane {
namespace {

constexpr char kSection[] = "Window";

QString LocalFileOf(const QMimeData *data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

WindowHabits::WindowHabits(MainWindow &window) : QObject(&window), window_(window) {
  window_.setAcceptDrops(true);
  window_.installEventFilter(this);
  window_.unitList->installEventFilter(this);
  window_.routineList->installEventFilter(this);
  window_.routineList->viewport()->installEventFilter(this);
  // Named keys, not the platform's standard ones: some platforms bind none
  // to Quit.
  window_.exitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

bool WindowHabits::IsPascalFile(const QString &path) {
  static const QStringList kinds{"dpr", "lpr", "dpk", "lpi", "lpk", "dproj",
                                 "pas", "pp",  "p",   "inc", "dfm", "lfm"};
  return kinds.contains(QFileInfo(path).suffix().toLower());
}

QString WindowHabits::OpenFilter() {
  return QStringLiteral(
      "All Pascal files (*.dpr *.lpr *.dpk *.lpi *.lpk *.dproj *.pas *.pp *.p *.inc *.dfm *.lfm);;"
      "Projects and packages (*.dpr *.lpr *.dpk *.lpi *.lpk *.dproj);;"
      "Delphi Forms (*.dfm *.lfm);;Delphi Units (*.pas *.pp *.p *.inc)");
}

void WindowHabits::Restore(const IniFile &ini) {
  const QByteArray geometry = QByteArray::fromBase64(ini.Value(kSection, "Geometry"));
  if (!geometry.isEmpty()) window_.restoreGeometry(geometry);
  splitterSizes_.clear();
  for (const QByteArray &size : ini.Value(kSection, "Splitter").split(','))
    if (const int pixels = size.trimmed().toInt(); pixels > 0) splitterSizes_ << pixels;
  if (splitterSizes_.size() != 2) splitterSizes_.clear();
  OpenFolder = QString::fromUtf8(ini.Value(kSection, "OpenFolder"));
  window_.printerHost().LastPdfFolder = QString::fromUtf8(ini.Value(kSection, "PdfFolder"));
}

void WindowHabits::Save(IniFile &ini) const {
  ini.SetValue(kSection, "Geometry", window_.saveGeometry().toBase64());
  const QList<int> sizes = window_.DragBar->sizes();
  if (sizes.size() == 2)
    ini.SetValue(kSection, "Splitter",
                 QByteArray::number(sizes[0]) + ',' + QByteArray::number(sizes[1]));
  ini.SetValue(kSection, "OpenFolder", OpenFolder.toUtf8());
  ini.SetValue(kSection, "PdfFolder", window_.printerHost().LastPdfFolder.toUtf8());
}

bool WindowHabits::SelectRange(QEvent *event) {
  auto *mouse = static_cast<QMouseEvent *>(event);
  if (mouse->button() != Qt::LeftButton) return false;
  PickList &list = *window_.routineList;
  const int row = list.indexAt(mouse->position().toPoint()).row();
  if (row < 0) return false;
  if (!(mouse->modifiers() & Qt::ShiftModifier) || anchorRow_ < 0 || anchorRow_ >= list.count()) {
    anchorRow_ = row;
    return false;
  }
  // One change of the selection, so the window updates once for the range.
  const QModelIndex first = list.model()->index(std::min(anchorRow_, row), 0);
  const QModelIndex last = list.model()->index(std::max(anchorRow_, row), 0);
  list.selectionModel()->select(QItemSelection(first, last), QItemSelectionModel::Select);
  list.setCurrentRow(row, QItemSelectionModel::NoUpdate);
  return true;
}

bool WindowHabits::eventFilter(QObject *watched, QEvent *event) {
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
      if (watched == &window_) {
        auto *drag = static_cast<QDropEvent *>(event);
        if (IsPascalFile(LocalFileOf(drag->mimeData()))) drag->acceptProposedAction();
        return true;
      }
      break;
    case QEvent::Drop:
      if (watched == &window_) {
        auto *drop = static_cast<QDropEvent *>(event);
        const QString path = LocalFileOf(drop->mimeData());
        if (!IsPascalFile(path)) return true;
        drop->acceptProposedAction();
        // Opened after the drop has ended, so the source is not kept
        // waiting while the file is read.
        QTimer::singleShot(0, &window_, [this, path] { window_.OpenPathCommand(path); });
        return true;
      }
      break;
    case QEvent::Show:
      if (watched == &window_ && !splitterSizes_.isEmpty()) {
        // After the layout has given the lists their first sizes.
        QTimer::singleShot(0, this, [this, sizes = splitterSizes_] {
          window_.DragBar->setSizes(sizes);
          window_.KeepSplitterShare();
        });
        splitterSizes_.clear();
      }
      break;
    case QEvent::KeyPress: {
      const int key = static_cast<QKeyEvent *>(event)->key();
      if (key != Qt::Key_Return && key != Qt::Key_Enter) break;
      if (watched == window_.unitList) {
        window_.UnitListDoubleClick();
        return true;
      }
      if (watched == window_.routineList) {
        window_.RoutineListDoubleClick();
        return true;
      }
      break;
    }
    case QEvent::MouseButtonPress:
      if (watched == window_.routineList->viewport()) return SelectRange(event);
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace scrivane
