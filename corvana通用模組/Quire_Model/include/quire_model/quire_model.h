// Quire_Model: the document template engine that fills Word (.docx)
// templates for report programs.
//
// The module's class Quire_Model carries the module's version text and
// encloses the engine's working object, Quire_Model::Document
// (quire_model/document.h), which a report program uses on its own:
//
//   quire_model::Quire_Model::Document doc;
//   doc.set_word_version_path("A", "C:/corvana/範本/報告A.docx");
//   doc.run_version("A", "C:/corvana/輸出/");
//   doc.set("{{申請人}}", "王小明", {.new_font_size = travo::docx::Pt(12)});
//   doc.execute_set();
//   doc._add_table({.abstract = "一種…", .PAPN = "TWI812345B", .title = "…",
//                   .image_path = "C:/corvana/圖/1.png"});
//   doc.output("報告", /*pdf=*/true);
//
// quire_model/job.h runs the same operations from a JSON job file.
#pragma once

#include <string>

namespace quire_model {

class Quire_Model {
 public:
  // The version text of this module.
  static constexpr const char kVersion[] = "v2025_01_04_001";

  // Sets version_string to kVersion; nothing else.
  Quire_Model();

  // The module's version text, "v2025_01_04_001". (Python-style callers
  // know it as __version__, a name C++ reserves.)
  std::string version_string;

  class Document;
};

}  // namespace quire_model
