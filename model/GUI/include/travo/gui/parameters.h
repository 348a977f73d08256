// Parameters: the user parameters of the desktop front end.
//
// `parameters` maps four text keys to their values; the constructor fills
// them with the fixed defaults below. The front end offers no way to change
// them, so they keep these values for the whole run. Every start-data command
// carries a copy of all four (the worker ignores them).
//
//   "文字大小比例"        integer  1          text size ratio
//   "中文文字字體"        text     "標楷體"    font family for Chinese text
//   "英文文字字體"        text     "Calibri"   font family for Latin text
//   "分析最接近專利數量"  integer  5          closest patents to analyse
#pragma once

#include <map>
#include <string>

#include "travo/channel/shared_maps.h"

namespace travo::gui {

class Parameters {
 public:
  Parameters();

  std::map<std::string, Scalar> parameters;
};

// The keys in the order a start-data command lists them.
inline constexpr const char* kParameterKeys[] = {"文字大小比例", "中文文字字體", "英文文字字體",
                                                 "分析最接近專利數量"};

}  // namespace travo::gui
