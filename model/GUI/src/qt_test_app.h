// Test support: the one QApplication of a test program, on the offscreen
// platform unless the environment names another, with the window's dark
// appearance.
#pragma once

#include <QApplication>

#include "travo/gui/appearance.h"

inline QApplication& qt_test_app() {
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gui_test";
    static char* argv[] = {name, nullptr};
    auto* created = new QApplication(argc, argv);  // lives until the process ends
    travo::gui::apply_dark_appearance(*created);
    return created;
  }();
  return *app;
}
