// Shared by the Quire fuzz targets: turns fuzzer bytes into a registry and
// an in-memory document.
//
// An input is a registry, a blank line, then a document:
//
//   placeholder<TAB>replacement[<TAB>flags]
//   ...
//   <empty line>
//   body XML, or a whole .docx when it starts with "PK"
//
// The body XML is placed inside <w:body> of a minimal package, so that
// mutations reach paragraphs, runs and tables rather than the archive's
// checksums. Flags pick registry options: c colour, C colour out of range,
// s 14-point size, z half-point size, i indent, l line spacing, a no
// alignment, n no font names, r remark size.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/zip_writer.h"
#include "travo/docx/document.h"
#include "travo/docx/error.h"
#include "quire_model/document.h"

namespace quire_fuzz {

// A package whose body holds `body_xml`.
inline std::string package_with_body(std::string_view body_xml) {
  std::string document =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><w:document"
      " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\""
      " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\""
      " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
      " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
      " xmlns:pic=\"http://schemas.openxmlformats.org/drawingml/2006/picture\""
      " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
      " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
      " xmlns:wp14=\"http://schemas.microsoft.com/office/word/2010/wordprocessingDrawing\""
      " xmlns:w14=\"http://schemas.microsoft.com/office/word/2010/wordml\""
      " xmlns:v=\"urn:schemas-microsoft-com:vml\" xmlns:o=\"urn:schemas-microsoft-com:office:office\""
      " xmlns:w10=\"urn:schemas-microsoft-com:office:word\"><w:body>" +
      std::string(body_xml) + "</w:body></w:document>";
  return travo::fuzz::docx_package(std::move(document));
}

// Bounds that keep one input's memory small.
inline travo::docx::Limits limits() {
  travo::docx::Limits l;
  l.max_part_size = 8u << 20;
  l.max_total_size = 32u << 20;
  return l;
}

struct Input {
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> registry;  // key, text, flags
  std::string document;  // package bytes
};

inline Input split(std::string_view data) {
  Input in;
  const size_t blank = data.find("\n\n");
  std::string_view head = blank == std::string_view::npos ? std::string_view() : data.substr(0, blank);
  std::string_view body = blank == std::string_view::npos ? data : data.substr(blank + 2);
  while (!head.empty() && in.registry.size() < 64) {
    const size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head = nl == std::string_view::npos ? std::string_view() : head.substr(nl + 1);
    const size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    std::string_view rest = line.substr(tab + 1);
    const size_t tab2 = rest.find('\t');
    in.registry.push_back({std::string(line.substr(0, tab)),
                           {std::string(rest.substr(0, tab2)),
                            tab2 == std::string_view::npos ? "" : std::string(rest.substr(tab2 + 1))}});
  }
  in.document = body.starts_with("PK") ? std::string(body) : package_with_body(body);
  return in;
}

inline quire_model::Set_Options options(std::string_view flags) {
  quire_model::Set_Options o;
  for (char f : flags) {
    switch (f) {
      case 'c': o.font_color = quire_model::Font_Color{12, 200, 255}; break;
      case 'C': o.font_color = quire_model::Font_Color{256, -1, 3}; break;
      case 's': o.new_font_size = travo::docx::Pt(14); break;
      case 'z': o.new_font_size = travo::docx::Emu(1); break;
      case 'i': o.left_indent = 36; break;
      case 'l': o.line_spacing = 18.5; break;
      case 'a': o.new_alignment = std::nullopt; break;
      case 'n': o.new_font_name = std::nullopt, o.new_font_name_Chinese = std::nullopt; break;
      case 'r': o.remark_new_font_size = travo::docx::Pt(6); break;
      default: break;
    }
  }
  return o;
}

// Registers the input's registry on `doc`.
inline void register_all(quire_model::Document& doc, const Input& in) {
  for (const auto& [key, value] : in.registry) doc.set(key, value.first, options(value.second));
}

// A Document holding the input's document with every pair registered, or
// nothing when the bytes are no document the docx layer opens.
inline std::optional<quire_model::Document> prepared_document(std::span<const std::uint8_t> data) {
  const Input in = split(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  quire_model::Document doc;
  try {
    doc.doc = travo::docx::Document::from_bytes(in.document, limits());
  } catch (const travo::docx::Error&) {
    return std::nullopt;
  }
  register_all(doc, in);
  return doc;
}

}  // namespace quire_fuzz
