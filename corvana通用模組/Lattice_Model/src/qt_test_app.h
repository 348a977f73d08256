// Test support: the one QApplication of a test program, on the offscreen
// platform unless the environment names another.
#pragma once

#include <QApplication>

inline QApplication& qt_test_app() {
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);  // lives until the process ends
  }();
  return *app;
}
