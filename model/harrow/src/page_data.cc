#include "travo/harrow/page_data.h"

#include <stdexcept>

namespace travo::harrow {

Page_Data::Page_Data() = default;

std::vector<std::string>& Page_Data::at(std::string_view key) {
  for (size_t i = 0; i < kColumnKeys.size(); ++i) {
    if (key == kColumnKeys[i]) return columns_[i];
  }
  throw std::out_of_range("頁面資料沒有欄位「" + std::string(key) + "」");
}

const std::vector<std::string>& Page_Data::at(std::string_view key) const {
  return const_cast<Page_Data*>(this)->at(key);
}

}  // namespace travo::harrow
