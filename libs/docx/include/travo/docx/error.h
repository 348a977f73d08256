// The one exception type of the docx library.
//
// Every failure the library detects (a file that is no .docx, a malformed
// part, a missing style, a picture it cannot read, a cell that does not
// exist, a value out of range) is thrown as travo::docx::Error with a message
// that names what is wrong. Operations that throw leave the document as it
// was unless their own contract says otherwise.
#pragma once

#include <stdexcept>

namespace travo::docx {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace travo::docx
