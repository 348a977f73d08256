// Accepted text read from markup, for the parts of a document that the
// library does not model as paragraphs (headers, footers, notes, text
// boxes, nested tables).
#pragma once

#include <string>

#include "travo/docx/xml.h"

namespace quire_model {

// The text of the paragraph element `p` by the rules of get_accepted_text's
// markup path: the w:t of its runs at any depth (insertions, hyperlinks,
// fields and content controls included), tracked deletions and moves away
// left out, of mc:AlternateContent the first mc:Choice only. Unlike
// get_accepted_text it leaves out the paragraphs of text boxes anchored in
// `p` (the caller reads those as paragraphs of their own) and writes no
// page-break markers.
std::string accepted_markup_text(const travo::docx::Xml_Element& p);

}  // namespace quire_model
