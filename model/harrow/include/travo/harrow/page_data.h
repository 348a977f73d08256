// The hits of one result page: six columns, each a list of texts with one
// entry per matching element of the page, always all six keys in this order:
//   "公開號" "標題" "申請日" "公開(公告)日" "申請號" "申請人"
// The lists are filled independently; on a well-formed page they have equal
// length and entry i of every list belongs to hit i.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace travo::harrow {

inline constexpr std::array<const char*, 6> kColumnKeys = {
    "公開號", "標題", "申請日", "公開(公告)日", "申請號", "申請人"};

class Page_Data {
 public:
  Page_Data();

  // The list under `key`; throws std::out_of_range for any other key.
  std::vector<std::string>& at(std::string_view key);
  const std::vector<std::string>& at(std::string_view key) const;

  // The column lists in key order.
  std::array<std::vector<std::string>, 6>& columns() { return columns_; }
  const std::array<std::vector<std::string>, 6>& columns() const { return columns_; }

 private:
  std::array<std::vector<std::string>, 6> columns_;
};

}  // namespace travo::harrow
