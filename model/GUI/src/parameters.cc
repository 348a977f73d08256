#include "travo/gui/parameters.h"

namespace travo::gui {

Parameters::Parameters()
    : parameters{{"文字大小比例", std::int64_t{1}},
                 {"中文文字字體", std::string("標楷體")},
                 {"英文文字字體", std::string("Calibri")},
                 {"分析最接近專利數量", std::int64_t{5}}} {}

}  // namespace travo::gui
