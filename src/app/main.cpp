// Sets up the application and runs the main window; nothing else.
#include <QApplication>

int main(int argc, char **argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Scrivane"));
  return 0;
}
