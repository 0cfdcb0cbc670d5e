#include "app/HelpWindow.h"

#include <QFile>
#include <QTextBrowser>
#include <QVBoxLayout>

// The topics are compiled into the static window library; its resource
// initialiser must be referenced or the linker drops it.
static void RegisterHelpTopics() {
  static const bool registered = [] {
    Q_INIT_RESOURCE(help);
    return true;
  }();
  (void)registered;
}

namespace scrivane {

QString HelpTopicUrl(int context) { return QStringLiteral("qrc:/help/%1.html").arg(context); }

HelpWindow::HelpWindow(QWidget *parent) : QDialog(parent) {
  RegisterHelpTopics();
  setWindowTitle(QStringLiteral("Scrivane Help"));
  resize(560, 480);
  browser_ = new QTextBrowser(this);
  browser_->setOpenExternalLinks(true);
  auto *layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
}

void HelpWindow::ShowTopic(int context) {
  context_ = context;
  const QString resource = QStringLiteral(":/help/%1.html").arg(context);
  if (QFile::exists(resource)) {
    browser_->setSource(QUrl(HelpTopicUrl(context)));
  } else {
    browser_->setHtml(QStringLiteral("<p>The help topic %1 is not available.</p>").arg(context));
  }
  show();
  raise();
  activateWindow();
}

}  // namespace scrivane
