#include "travo/harrow/search_list.h"

#include <xlsxwriter.h>

#include <stdexcept>

#include "travo/platform/atomic_file.h"
#include "travo/platform/utf8.h"

namespace travo::harrow {
namespace {

constexpr std::array<double, 6> kWidths = {30, 90, 30, 30, 30, 180};

std::runtime_error save_error(const std::filesystem::path& path, const std::string& why) {
  return std::runtime_error("無法儲存檢索列表 " + platform::utf8_string(path) + "：" + why);
}

// Owns a workbook until it is closed: an early exit frees it (closing is
// the library's only way to free one; the half-written file it leaves is
// the atomic writer's to remove).
struct Workbook_Guard {
  lxw_workbook* wb = nullptr;
  ~Workbook_Guard() {
    if (wb) workbook_close(wb);
  }
};

// The user's words for why the file could not be replaced.
std::string reason_text(const platform::Atomic_File_Error& e) {
  switch (e.reason()) {
    case platform::Atomic_File_Failure::folder_missing:
      return "資料夾不存在";
    case platform::Atomic_File_Failure::target_is_folder:
      return "目標是一個資料夾";
    case platform::Atomic_File_Failure::cannot_replace:
      return "無法取代既有檔案（" + e.cause() + "）";
    case platform::Atomic_File_Failure::cannot_create:
      return "無法在資料夾中建立暫存檔（" + e.cause() + "）";
    case platform::Atomic_File_Failure::source_unreadable:
    case platform::Atomic_File_Failure::cannot_write:
      break;
  }
  return "無法寫入檔案（" + e.cause() + "）";
}

// Writes the workbook of `rows` for `path` at `temporary`.
void write_workbook(const std::vector<Search_List::Row>& rows, const std::filesystem::path& path,
                    const std::filesystem::path& temporary) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_FALSE;
  options.tmpdir = nullptr;
  Workbook_Guard guard;
  guard.wb = workbook_new_opt(platform::utf8_string(temporary).c_str(), &options);
  if (!guard.wb) throw save_error(path, "無法建立活頁簿");
  lxw_worksheet* ws = workbook_add_worksheet(guard.wb, nullptr);
  lxw_format* fmt = workbook_add_format(guard.wb);
  if (!ws || !fmt) throw save_error(path, "無法建立工作表");
  format_set_font_name(fmt, "Microsoft JhengHei");
  format_set_align(fmt, LXW_ALIGN_CENTER);
  format_set_align(fmt, LXW_ALIGN_VERTICAL_CENTER);

  for (lxw_col_t c = 0; c < kWidths.size(); ++c) worksheet_set_column(ws, c, c, kWidths[c], nullptr);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (lxw_col_t c = 0; c < 6; ++c) {
      const std::string& text = rows[r][c];
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
  if (err != LXW_NO_ERROR) throw save_error(path, lxw_strerror(err));
}

}  // namespace

Search_List::Search_List() {
  rows_.push_back({"專利公開號", "標題", "申請日", "公開(公告)日", "申請號", "申請人"});
}

void Search_List::append_row(Row row) { rows_.push_back(std::move(row)); }

void Search_List::finish(const std::filesystem::path& path) const {
  try {
    platform::atomic_write_with(path, [&](const std::filesystem::path& temporary) {
      write_workbook(rows_, path, temporary);
    });
  } catch (const platform::Atomic_File_Error& e) {
    throw save_error(path, reason_text(e));
  }
}

}  // namespace travo::harrow
