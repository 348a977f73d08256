// Template check: the registry read against a template before it is
// filled. Reads only; the document is not changed.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "accepted_text.h"
#include "placeholder_pattern.h"
#include "quire_model/document.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/table.h"
#include "travo/docx/xml.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

// A text as the reader sees it, and where it stands: no place for the
// texts execute_set itself reads.
struct Seen_Text {
  std::string text;
  std::optional<Template_Place> place;
};

bool is_w(const docx::Xml_Element& e, std::string_view local) {
  return e.local_name() == local && e.namespace_uri() == docx::ns::kW;
}

// Collects every paragraph below `e` (e itself included) as a text of
// `place`; paragraphs of text boxes count as text boxes when `place` is
// a place of the body, tables inside tables as nested tables.
void collect(const docx::Xml_Element& e, Template_Place place, std::vector<Seen_Text>& out) {
  if (e.namespace_uri() == docx::ns::kMc && e.local_name() == "AlternateContent") {
    if (auto choice = e.first_child(docx::ns::kMc, "Choice")) collect(*choice, place, out);
    return;
  }
  if (is_w(e, "del") || is_w(e, "moveFrom")) return;
  if (is_w(e, "txbxContent") && (place == Template_Place::other || place == Template_Place::nested_table))
    place = Template_Place::text_box;
  if (is_w(e, "p")) out.push_back({accepted_markup_text(e), place});
  for (const docx::Xml_Element& child : e.children()) collect(child, place, out);
}

// What lies inside a paragraph or cell that execute_set reads, beyond its
// own text: text boxes, nested tables, anything else holding paragraphs.
void collect_inside(const docx::Xml_Element& own, std::vector<Seen_Text>& out) {
  for (const docx::Xml_Element& child : own.children()) {
    if (is_w(child, "p") && is_w(own, "tc")) {
      // The cell's own paragraph: only what is anchored in it.
      for (const docx::Xml_Element& inner : child.children()) collect(inner, Template_Place::other, out);
    } else if (is_w(child, "tbl")) {
      collect(child, Template_Place::nested_table, out);
    } else {
      collect(child, Template_Place::other, out);
    }
  }
}

// Every text of the body in body order: the texts execute_set reads
// (accepted text of each body paragraph, plain text of each table cell,
// a merged cell once) with what is inside them.
void collect_body(const Quire_Model::Document& doc, std::vector<Seen_Text>& out) {
  for (const docx::Block& block : doc.working_document().blocks()) {
    if (const auto* p = std::get_if<docx::Paragraph>(&block)) {
      out.push_back({doc.get_accepted_text(*p), std::nullopt});
      collect_inside(p->xml_document().root(), out);
      continue;
    }
    std::unordered_set<docx::Cell> visited;
    for (const docx::Row& row : std::get<docx::Table>(block).rows()) {
      for (const docx::Cell& cell : row.cells()) {
        if (!visited.insert(cell).second) continue;
        out.push_back({cell.text(), std::nullopt});
        collect_inside(docx::Xml_Document::parse(cell.xml()).root(), out);
      }
    }
  }
}

// The parts the main part refers to that hold text execute_set never
// reads, in the order of its relationships.
void collect_parts(docx::Document& d, std::vector<Seen_Text>& out) {
  struct Kind {
    std::string_view type_suffix;
    Template_Place place;
  };
  static constexpr Kind kKinds[] = {{"/header", Template_Place::header},
                                    {"/footer", Template_Place::footer},
                                    {"/footnotes", Template_Place::footnote},
                                    {"/endnotes", Template_Place::endnote}};
  docx::Package& package = d.package();
  for (const Kind& kind : kKinds) {
    for (const docx::Relationship& rel : package.relationships(d.main_part_name())) {
      if (rel.external || !rel.type.ends_with(kind.type_suffix)) continue;
      const std::string part = docx::Package::resolve_target(d.main_part_name(), rel.target);
      if (!package.has_part(part)) continue;
      const docx::Xml_Document xml = docx::Xml_Document::parse(package.part_data(part));
      collect(xml.root(), kind.place, out);
    }
  }
}

bool contains(std::string_view text, std::string_view what) { return text.find(what) != std::string_view::npos; }

}  // namespace

std::string_view place_id(Template_Place place) {
  switch (place) {
    case Template_Place::header: return "header";
    case Template_Place::footer: return "footer";
    case Template_Place::text_box: return "text_box";
    case Template_Place::nested_table: return "nested_table";
    case Template_Place::footnote: return "footnote";
    case Template_Place::endnote: return "endnote";
    case Template_Place::other: break;
  }
  return "other";
}

std::string_view place_label(Template_Place place) {
  switch (place) {
    case Template_Place::header: return "頁首";
    case Template_Place::footer: return "頁尾";
    case Template_Place::text_box: return "文字方塊";
    case Template_Place::nested_table: return "巢狀表格";
    case Template_Place::footnote: return "註腳";
    case Template_Place::endnote: return "章節附註";
    case Template_Place::other: break;
  }
  return "其他位置";
}

std::vector<std::string> template_check_lines(const Template_Check& check) {
  std::vector<std::string> lines;
  for (const std::string& key : check.unused_keys) lines.push_back("未使用的鍵：" + key);
  for (const Misplaced_Key& m : check.misplaced_keys) {
    std::string where;
    for (const Template_Place place : m.places) {
      if (!where.empty()) where += "、";
      where += place_label(place);
    }
    lines.push_back("只出現在" + where + "的鍵：" + m.key);
  }
  for (const std::string& text : check.unregistered_placeholders) lines.push_back("未登記的佔位符：" + text);
  if (lines.empty()) lines.emplace_back("範本檢查沒有發現問題");
  return lines;
}

Template_Check Quire_Model::Document::check_template(const Template_Check_Options& options) {
  // Before the document is read, so that a bad pattern fails at once.
  const Placeholder_Pattern pattern(options.placeholder_pattern);
  docx::Document& d = working_document();

  std::vector<Seen_Text> seen;
  collect_body(*this, seen);
  collect_parts(d, seen);

  Template_Check check;
  for (const auto& [key, entry] : replace_value) {
    // An empty key is never replaced (execute_set skips it).
    bool read_by_execute_set = false;
    std::vector<Template_Place> places;
    for (const Seen_Text& s : seen) {
      if (key.empty() || !contains(s.text, key)) continue;
      if (!s.place) {
        read_by_execute_set = true;
        break;
      }
      if (std::find(places.begin(), places.end(), *s.place) == places.end()) places.push_back(*s.place);
    }
    if (read_by_execute_set) continue;
    if (places.empty()) {
      check.unused_keys.push_back(key);
    } else {
      check.misplaced_keys.push_back({key, std::move(places)});
    }
  }

  std::unordered_set<std::string> reported;
  for (const Seen_Text& s : seen) {
    for (std::string& found : pattern.find_all(s.text)) {
      const bool covered = std::any_of(replace_value.begin(), replace_value.end(), [&](const auto& kv) {
        return !kv.first.empty() && contains(found, kv.first);
      });
      if (!covered && reported.insert(found).second) check.unregistered_placeholders.push_back(std::move(found));
    }
  }
  return check;
}

}  // namespace quire_model
