#include "quire_model/document.h"

#include <iostream>
#include <stdexcept>
#include <utility>

#include "platen_model/platen_model.h"
#include "travo/platform/paths.h"

namespace docx = travo::docx;

namespace quire_model {

Quire_Model::Document::Document()
    : platen_model(std::make_unique<::platen_model::Platen_Model>()) {}

Quire_Model::Document::~Document() = default;
Quire_Model::Document::Document(Document&&) noexcept = default;
Quire_Model::Document& Quire_Model::Document::operator=(Document&&) noexcept = default;

void Quire_Model::Document::set_word_version_path(const Value& name, std::string path) {
  version_path.insert_or_assign(name.text_form(), std::move(path));
}

void Quire_Model::Document::run_version(const Value& version, std::string save_path) {
  this->save_path = std::move(save_path);
  auto it = version_path.find(version.text_form());
  if (it == version_path.end()) {
    std::cout << "word的檔案格式名稱並沒有定義" << std::endl;
    return;
  }
  // Open before touching `version`, so that a template that fails to open
  // leaves version and doc agreeing with each other.
  travo::docx::Document opened = travo::docx::Document::open(travo::platform::local_path(it->second));
  this->version = version;
  doc = std::move(opened);
}

void Quire_Model::Document::set(const Value& old_text, const Value& new_text,
                                const Set_Options& options) {
  replace_value.insert_or_assign(old_text.text_form(),
                                 Replacement_Entry::make(new_text.text_form(), options));
}

void Quire_Model::Document::delete_() { replace_value = Replacement_Registry(); }

travo::docx::Document& Quire_Model::Document::working_document() {
  if (!doc) throw std::logic_error("no document is open: open a template version with run_version first");
  return *doc;
}

const travo::docx::Document& Quire_Model::Document::working_document() const {
  if (!doc) throw std::logic_error("no document is open: open a template version with run_version first");
  return *doc;
}

}  // namespace quire_model
