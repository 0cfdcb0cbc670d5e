#pragma once
// The main window over a private settings file, with its message boxes
// recorded instead of shown.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "app/DocForm.h"
#include "platform/RecordedMessages.h"
#include "platform/UserMessages.h"
#include "print/gui/PreviewForm.h"
#include "widgets/PickList.h"

namespace testsupport {

struct WindowFixture {
  QTemporaryDir dir;
  std::unique_ptr<scrivane::MainWindow> window;
  scrivane::RecordedMessages *messages = nullptr;

  WindowFixture() {
    window = std::make_unique<scrivane::MainWindow>(dir.path() + QStringLiteral("/scrivn.ini"));
    auto recorded = std::make_unique<scrivane::RecordedMessages>();
    messages = recorded.get();
    window->setMessages(std::move(recorded));
  }
  ~WindowFixture() { scrivane::SetPreviewRunHook(nullptr); }

  void ClickUnit(const QString &name) {
    for (int row = 0; row < window->unitList->count(); ++row) {
      if (window->model().Units[row].name != name) continue;
      window->unitList->setCurrentRow(row);
      window->unitList->item(row)->setSelected(true);
      window->UnitListClick();
      return;
    }
    FAIL() << "no unit " << name.toStdString();
  }
};

}  // namespace testsupport
