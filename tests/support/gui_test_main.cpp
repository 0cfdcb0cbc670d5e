// Test main for the logic library: fonts need a QGuiApplication, and no
// display is needed, so the offscreen platform is the default.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    QDir().mkpath("/tmp/scrivane-test-runtime");
    qputenv("XDG_RUNTIME_DIR", "/tmp/scrivane-test-runtime");
  }
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
