// Output: the working document as a Word file and, through the converter,
// as PDF.

#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>

#include "pdf_check.h"
#include "platen_model/platen_model.h"
#include "quire_model/document.h"
#include "travo/platform/paths.h"
#include "travo/platform/utf8.h"

namespace quire_model {
namespace fs = std::filesystem;

namespace {

constexpr const char* kDoneLine = "[完成！] ";

}  // namespace

// The converter promises a complete PDF when it returns; the Word file may
// be deleted right after, so that promise is checked rather than trusted.
void require_pdf(const fs::path& pdf, const std::string& shown) {
  std::error_code ec;
  const bool is_file = fs::is_regular_file(pdf, ec);
  const auto size = is_file ? fs::file_size(pdf, ec) : 0;
  if (!is_file || ec || size == 0)
    throw std::runtime_error("the converter returned without a PDF at " + shown +
                             (is_file ? " (the file is empty)" : ""));
}

void Quire_Model::Document::output(const std::string& name, bool pdf, bool docx) {
  this->name = name;
  travo::docx::Document& d = working_document();
  const std::string base = save_path.value_or("") + name;
  const std::string docx_shown = base + ".docx";
  const std::string pdf_shown = base + ".pdf";
  const fs::path docx_file = travo::platform::local_path(docx_shown);
  const fs::path pdf_file = travo::platform::local_path(pdf_shown);

  d.save(docx_file);
  if (pdf) {
    // A PDF left by an earlier output must not pass for this one.
    fs::remove(pdf_file);
    platen_model->convert(travo::platform::utf8_string(docx_file), travo::platform::utf8_string(pdf_file), /*keep_active=*/true);
    require_pdf(pdf_file, pdf_shown);
  }
  if (!docx) fs::remove(docx_file);
  std::cout << kDoneLine << (pdf ? pdf_shown : docx_shown) << std::endl;
}

}  // namespace quire_model
