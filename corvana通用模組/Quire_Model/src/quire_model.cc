#include "quire_model/quire_model.h"

namespace quire_model {

Quire_Model::Quire_Model() : version_string(kVersion) {}

}  // namespace quire_model
