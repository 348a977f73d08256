#include "travo/harrow/search_list.h"

#include <xlsxwriter.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace travo::harrow {
namespace {

constexpr std::array<double, 6> kWidths = {30, 90, 30, 30, 30, 180};

std::runtime_error save_error(const std::filesystem::path& path, const std::string& why) {
  return std::runtime_error("無法儲存檢索列表 " + path.string() + "：" + why);
}

// Owns a half-written workbook: an early exit closes (frees) it and removes
// the temporary file it leaves.
struct Workbook_Guard {
  lxw_workbook* wb = nullptr;
  std::filesystem::path tmp;
  ~Workbook_Guard() {
    if (!wb) return;
    workbook_close(wb);
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
  }
};

}  // namespace

Search_List::Search_List() {
  rows_.push_back({"專利公開號", "標題", "申請日", "公開(公告)日", "申請號", "申請人"});
}

void Search_List::append_row(Row row) { rows_.push_back(std::move(row)); }

void Search_List::finish(const std::filesystem::path& path) const {
  namespace fs = std::filesystem;
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw save_error(path, "資料夾不存在");
  if (fs::is_directory(path, ec)) throw save_error(path, "目標是一個資料夾");

  static std::atomic<unsigned> counter{0};
  const fs::path tmp = folder / ("." + path.filename().string() + ".tmp-" +
                                 std::to_string(::getpid()) + "-" + std::to_string(counter++));

  lxw_workbook_options options{};
  options.constant_memory = LXW_FALSE;
  options.tmpdir = nullptr;
  Workbook_Guard guard;
  guard.tmp = tmp;
  guard.wb = workbook_new_opt(tmp.c_str(), &options);
  if (!guard.wb) throw save_error(path, "無法建立活頁簿");
  lxw_worksheet* ws = workbook_add_worksheet(guard.wb, nullptr);
  lxw_format* fmt = workbook_add_format(guard.wb);
  if (!ws || !fmt) throw save_error(path, "無法建立工作表");
  format_set_font_name(fmt, "Microsoft JhengHei");
  format_set_align(fmt, LXW_ALIGN_CENTER);
  format_set_align(fmt, LXW_ALIGN_VERTICAL_CENTER);

  for (lxw_col_t c = 0; c < kWidths.size(); ++c) worksheet_set_column(ws, c, c, kWidths[c], nullptr);
  for (size_t r = 0; r < rows_.size(); ++r) {
    for (lxw_col_t c = 0; c < 6; ++c) {
      const std::string& text = rows_[r][c];
      lxw_error err = text.empty()
                          ? worksheet_write_blank(ws, static_cast<lxw_row_t>(r), c, fmt)
                          : worksheet_write_string(ws, static_cast<lxw_row_t>(r), c, text.c_str(), fmt);
      if (err != LXW_NO_ERROR) {
        throw save_error(path, "第 " + std::to_string(r + 1) + " 列無法寫入：" + lxw_strerror(err));
      }
    }
  }

  lxw_error err = workbook_close(guard.wb);
  guard.wb = nullptr;
  if (err != LXW_NO_ERROR) {
    fs::remove(tmp, ec);
    throw save_error(path, lxw_strerror(err));
  }
  fs::rename(tmp, path, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw save_error(path, "無法取代既有檔案（" + ec.message() + "）");
  }
}

}  // namespace travo::harrow
