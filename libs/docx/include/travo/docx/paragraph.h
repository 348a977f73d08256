// A paragraph (w:p) of the document body or of a table cell.
//
// Paragraph is a light handle into its Document and is valid while the
// Document lives.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "travo/docx/alignment.h"
#include "travo/docx/length.h"
#include "travo/docx/node_hold.h"
#include "travo/docx/run.h"
#include "travo/docx/xml.h"

struct _xmlNode;

namespace travo::docx {

namespace detail {
struct Access;
struct Context;
}  // namespace detail

class Paragraph {
 public:
  // The paragraph's runs in order: its own runs and those inside hyperlinks,
  // tracked insertions, fields, smart tags and content controls. Runs of
  // tracked deletions (and moves away) are left out.
  std::vector<Run> runs() const;
  // The texts of runs(), joined: the text as it reads with tracked changes
  // accepted (see Run::text for tabs and breaks).
  std::string text() const;
  // Replaces the content with a single run holding `text`.
  void set_text(std::string_view text);

  // Removes all content (runs, hyperlinks, fields, bookmarks, pictures,
  // tracked changes) and keeps the paragraph properties.
  void clear();
  // Appends a run holding `text` (see Run::set_text) at the end.
  Run add_run(std::string_view text = "");

  // The w:jc value; nullopt when unset (the style decides) or unknown.
  std::optional<Alignment> alignment() const;
  // nullopt removes the paragraph's own alignment, so that its style
  // decides again.
  void set_alignment(std::optional<Alignment> alignment);
  // Left indent (w:ind w:left, or w:start as newer writers emit it).
  std::optional<Length> left_indent() const;
  void set_left_indent(Length indent);
  // Exact line spacing: w:spacing w:line (in twips) with w:lineRule="exact".
  // The getter returns nullopt unless the rule is exact.
  std::optional<Length> exact_line_spacing() const;
  void set_exact_line_spacing(Length spacing);

  // The paragraph element serialised as XML text, the WordprocessingML
  // namespace written with the prefix "w" and every namespace it uses
  // declared on the paragraph element, so the text parses on its own.
  std::string xml() const;
  // The element of xml() as a tree of its own, for reading the paragraph's
  // markup: it does not follow later changes of the paragraph, and the
  // paragraph does not follow changes of it.
  Xml_Document xml_document() const;
  // True when xml() would contain one of `texts`, found without
  // serialising: element and attribute names (WordprocessingML with the
  // prefix "w", other namespaces with their own), attribute values and
  // character data are searched, each on its own; namespace declarations
  // are not. Meant for texts that XML writes unescaped (no &, <, >, ").
  bool xml_contains_any(std::span<const std::string_view> texts) const;

  friend bool operator==(const Paragraph& a, const Paragraph& b) { return a.node_ == b.node_; }

 private:
  friend struct detail::Access;
  friend struct std::hash<Paragraph>;
  Paragraph(_xmlNode* node, detail::Context* ctx) : node_(node, ctx), ctx_(ctx) {}

  detail::Node_Hold node_;
  detail::Context* ctx_;
};

}  // namespace travo::docx

// Hashes by identity, as operator== compares.
template <>
struct std::hash<travo::docx::Paragraph> {
  std::size_t operator()(const travo::docx::Paragraph& h) const noexcept {
    return std::hash<const void*>()(h.node_);
  }
};
