// Parameters: the user parameters of the desktop front end.
//
// `parameters` maps the four keys of kParameterKeys to their values; the
// constructor fills them with the protocol's defaults (default_parameters()
// in the channel header). The front end offers no way to change them, so
// they keep these values for the whole run. Every start-data command
// carries a copy of all four (the worker ignores them).
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

}  // namespace travo::gui
