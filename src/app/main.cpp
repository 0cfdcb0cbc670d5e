// Sets up the application and runs the main window; nothing else.
#include <QApplication>

#include "app/DocForm.h"

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Scrivane"));
  scrivane::TDocForm window;
  window.show();
  return app.exec();
}
