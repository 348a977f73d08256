#include "travo/gui/start_failure.h"

#include "os.h"
#include "travo/gui/main_window.h"  // kTitle
#include "travo/platform/atomic_file.h"

namespace travo::gui {

std::string start_failure_text(std::string_view message) {
  return "TRAVO專利檢索軟體無法啟動：\n" + std::string(message);
}

void show_start_failure(std::string_view message, const std::filesystem::path& record_file) {
  const std::string text = start_failure_text(message);
  if (!record_file.empty()) {
    platform::atomic_write(record_file, text);
    return;
  }
  os::show_error_box(kTitle, text);
}

}  // namespace travo::gui
