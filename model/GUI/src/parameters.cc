#include "travo/gui/parameters.h"

namespace travo::gui {

Parameters::Parameters() {
  const Start_Data defaults = default_parameters();
  for (const auto& [key, value] : defaults.entries()) parameters.emplace(key, value);
}

}  // namespace travo::gui
