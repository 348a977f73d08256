// Accepted-text extraction: a paragraph's text as it reads once all of its
// tracked changes are accepted.

#include <string>
#include <string_view>

#include "accepted_text.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/xml.h"
#include "quire_model/document.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

// Substrings of the paragraph's markup (WordprocessingML written with the
// prefix "w") that send it down the markup path.
constexpr std::string_view kChangeTriggers[] = {"w:del", "w:ins"};
constexpr std::string_view kChangeOrBreakTriggers[] = {"w:del", "w:ins", "w:br"};

bool is_w(const travo::docx::Xml_Element& e, std::string_view local) {
  return e.local_name() == local && e.namespace_uri() == travo::docx::ns::kW;
}

bool is_page_break(const travo::docx::Xml_Element& br) {
  return br.attribute("type", travo::docx::ns::kW).value_or("") == "page";
}

void append_accepted(const travo::docx::Xml_Element& e, std::string& out) {
  for (const travo::docx::Xml_Element& child : e.children()) {
    const std::string local = child.local_name();
    if (child.namespace_uri() == travo::docx::ns::kMc) {
      if (local == "AlternateContent") {
        if (auto choice = child.first_child(travo::docx::ns::kMc, "Choice")) append_accepted(*choice, out);
      }
      continue;
    }
    if (child.namespace_uri() == travo::docx::ns::kW) {
      if (local == "t") {
        out += child.text();
        continue;
      }
      if (local == "del" || local == "moveFrom" || local == "txbxContent" || local == "delText" ||
          local == "instrText" || local == "rPr" || local == "pPr")
        continue;
    }
    append_accepted(child, out);
  }
}

}  // namespace

std::string accepted_markup_text(const travo::docx::Xml_Element& p) {
  std::string out;
  append_accepted(p, out);
  return out;
}

// Word and LibreOffice store a text box twice, as DrawingML in mc:Choice and
// as VML in mc:Fallback; the markup path reads it once, from the first
// mc:Choice.
std::string Quire_Model::Document::get_accepted_text(const travo::docx::Paragraph& p) const {
  if (!p.xml_contains_any(kChangeOrBreakTriggers)) return p.text();
  std::string out;
  const travo::docx::Xml_Document markup = p.xml_document();
  const travo::docx::Xml_Element root = markup.root();
  for (const travo::docx::Xml_Element& run :
       root.descendants(travo::docx::ns::kW, "r", travo::docx::Alternates::first_choice)) {
    for (const travo::docx::Xml_Element& child : run.children()) {
      if (is_w(child, "br") && is_page_break(child)) {
        out += kPageMarker;
      } else if (is_w(child, "t")) {
        out += child.text();
      }
    }
  }
  return out;
}

std::string Quire_Model::Document::_get_accepted_text(const travo::docx::Paragraph& p) const {
  if (!p.xml_contains_any(kChangeTriggers)) return p.text();
  std::string out;
  const travo::docx::Xml_Document markup = p.xml_document();
  const travo::docx::Xml_Element root = markup.root();
  if (is_w(root, "t")) out += root.text();
  for (const travo::docx::Xml_Element& t :
       root.descendants(travo::docx::ns::kW, "t", travo::docx::Alternates::first_choice))
    out += t.text();
  return out;
}

std::string Quire_Model::Document::ttff(std::string_view xml) const {
  const travo::docx::Xml_Document parsed = travo::docx::Xml_Document::parse(xml);
  std::string out;
  for (const travo::docx::Xml_Element& run : parsed.root().children(travo::docx::ns::kW, "r")) {
    if (auto br = run.first_child(travo::docx::ns::kW, "br"); br && is_page_break(*br)) {
      out += kRunPageMarker;
    }
    if (auto t = run.first_child(travo::docx::ns::kW, "t")) out += t->text();
  }
  return out;
}

}  // namespace quire_model
