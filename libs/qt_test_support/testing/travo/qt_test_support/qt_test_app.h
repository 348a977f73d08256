// The one QApplication of a test program, on the offscreen platform unless
// the environment names another, so window tests run without a display.
#pragma once

#include <QApplication>
#include <stdexcept>

namespace travo::qt_test_support {

// Runs once on the application right after it is made (e.g. to apply the
// window's appearance before any widget exists).
using App_Setup = void (*)(QApplication&);

// Every call in one program must pass the same `setup`: the application is
// made by the first call only, and a different setup later would silently
// not apply, so it throws std::logic_error instead.
inline QApplication& qt_test_app(App_Setup setup = nullptr) {
  static const App_Setup first_setup = setup;
  if (setup != first_setup) throw std::logic_error("qt_test_app: called with two different setups");
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "qt_test";
    static char* argv[] = {name, nullptr};
    auto* created = new QApplication(argc, argv);  // lives until the process ends
    if (first_setup) first_setup(*created);
    return created;
  }();
  return *app;
}

}  // namespace travo::qt_test_support
