#pragma once
// Shows the program's help topics, shipped as resources ":/help/<context>.html".
#include <QDialog>

class QTextBrowser;

namespace scrivane {

enum HelpContext {
  HelpContents = 1000,
  HelpFormImage = 1002,
  HelpIndex = 1004,
  HelpProjectFiles = 1006,
  HelpPreview = 1009,
};

QString HelpTopicUrl(int context);

class HelpWindow : public QDialog {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget *parent = nullptr);
  // Shows the topic; a topic that is not shipped shows a short notice.
  void ShowTopic(int context);
  int currentContext() const { return context_; }
  QTextBrowser *browser() const { return browser_; }

 private:
  QTextBrowser *browser_;
  int context_ = 0;
};

}  // namespace scrivane
