// Picture parts and drawing markup for inline pictures.
#pragma once

#include <libxml/tree.h>

#include <string>

#include "context.h"
#include "travo/docx/image.h"
#include "travo/docx/length.h"

namespace travo::docx::detail {

struct Media_Ref {
  std::string part_name;
  std::string relationship_id;
};

// The media part holding `image`'s bytes (reusing an identical existing
// part), its content type and its relationship from the main part.
Media_Ref add_media(Context& ctx, const Image& image);

// A new w:drawing element holding a wp:inline picture of size cx x cy that
// shows the part behind `ref`. Ids are unique within the main part.
xmlNodePtr new_inline_drawing(Context& ctx, const Media_Ref& ref, Length cx, Length cy);

}  // namespace travo::docx::detail
