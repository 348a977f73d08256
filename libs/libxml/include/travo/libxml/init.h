// The one place that prepares libxml2 for this process: its memory comes
// from travo::platform's block heap (see block_heap.h for why), and its
// parser is initialised once.
//
// libxml2 takes its allocator only before it has allocated anything, so
// this runs before main in every program that links it; the HTML and docx
// layers call it again before they parse, which then does nothing. Code
// that uses libxml2 directly must free what it returns with xmlFree.
#pragma once

namespace travo::libxml {

void init();

}  // namespace travo::libxml
