// The search-list workbook of one command.
//
// Rows live in memory until finish(), which writes one worksheet (the
// library's default name) with the column widths A 30, B 90, C-E 30, F 180,
// the header row and every hit row, each cell of rows 1..last and columns
// A..F in the font "Microsoft JhengHei", centred both ways. Every cell holds
// text exactly as given.
//
// The file replaces the target atomically (travo/platform/atomic_file.h),
// so a failed save leaves the previous file as it was. Any failure, a
// missing folder or a target that cannot be replaced included, throws
// std::runtime_error with a message for the user.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace travo::harrow {

class Search_List {
 public:
  using Row = std::array<std::string, 6>;

  Search_List();  // header row written

  void append_row(Row row);
  // Rows including the header.
  size_t rows() const { return rows_.size(); }
  const std::vector<Row>& all_rows() const { return rows_; }

  // Formats and saves to `path` (a local path), replacing any existing file.
  void finish(const std::filesystem::path& path) const;

 private:
  std::vector<Row> rows_;
};

}  // namespace travo::harrow
