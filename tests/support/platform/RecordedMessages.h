#pragma once
// A message sink for tests and benchmarks: collects what the window would
// show in message boxes.
#include <QStringList>

#include "platform/UserMessages.h"

namespace scrivane {

class RecordedMessages : public UserMessages {
 public:
  QStringList warnings, informations, questions, notes;
  bool answer = true;
  void Warning(const QString &text) override { warnings << text; }
  void Information(const QString &text) override { informations << text; }
  void Note(const QString &text) override { notes << text; }
  bool AskYesNo(const QString &text) override {
    questions << text;
    return answer;
  }
};

}  // namespace scrivane
