// Replacement execution: the registry applied to body paragraphs and to
// table cells.

#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <unordered_set>

#include "travo/docx/image.h"
#include "travo/docx/table.h"
#include "picture_fit.h"
#include "quire_model/document.h"
#include "text_ops.h"
#include "travo/platform/paths.h"

namespace docx = travo::docx;

namespace quire_model {
namespace {

constexpr std::string_view kPictureFailure = "execute_set設定照片錯誤 --> ";

// An entry without alignment removes the paragraph's own, so that its style
// decides.
void set_alignment(travo::docx::Paragraph& p, const Replacement_Entry& e) { p.set_alignment(e.alignment); }

void set_indent_and_spacing(travo::docx::Paragraph& p, const Replacement_Entry& e) {
  if (e.left_indent) p.set_left_indent(travo::docx::Pt(*e.left_indent));
  if (e.line_spacing) p.set_exact_line_spacing(travo::docx::Pt(*e.line_spacing));
}

void set_color(travo::docx::Run& r, const Replacement_Entry& e) {
  if (e.font_color) r.set_color(e.font_color->red, e.font_color->green, e.font_color->blue);
}

// Fonts, size and colour of a cell run; `size` is the entry's main or
// remark size.
void format_cell_run(travo::docx::Run& r, const Replacement_Entry& e,
                     const std::optional<travo::docx::Length>& size) {
  if (e.font_name) r.set_font_name(*e.font_name);
  if (size) r.set_size(*size);
  if (e.east_asia_font_name) r.set_east_asia_font(*e.east_asia_font_name);
  set_color(r, e);
}

// Rebuilds body paragraph `p` from `text`: its content goes (paragraph
// properties stay) and each piece between page-break markers becomes a run
// with the entry's format, all but the last followed by a page break.
void rebuild(travo::docx::Paragraph& p, std::string_view text, const Replacement_Entry& e) {
  const std::vector<std::string_view> pieces = split(text, Quire_Model::Document::kPageMarker);
  p.clear();
  for (size_t i = 0; i < pieces.size(); ++i) {
    travo::docx::Run r = p.add_run(pieces[i]);
    if (e.font_name) r.set_font_name(*e.font_name);
    if (e.font_size) r.set_size(*e.font_size);
    set_alignment(p, e);
    if (e.east_asia_font_name) r.set_east_asia_font(*e.east_asia_font_name);
    set_indent_and_spacing(p, e);
    set_color(r, e);
    if (i + 1 < pieces.size()) r.add_page_break();
  }
}

// When `r` holds the remark marker, the text after its first occurrence
// (further markers dropped, their text kept) moves into a new run at the
// end of `q` with the remark size.
void split_off_remark(travo::docx::Paragraph& q, travo::docx::Run& r, const Replacement_Entry& e) {
  const std::string text = r.text();
  if (text.find(Quire_Model::Document::kRemarkMarker) == std::string::npos) return;
  const std::vector<std::string_view> parts = split(text, Quire_Model::Document::kRemarkMarker);
  std::string remark;
  for (size_t i = 1; i < parts.size(); ++i) remark += parts[i];
  r.set_text(parts[0]);
  travo::docx::Run m = q.add_run(remark);
  format_cell_run(m, e, e.remark.font_size);
}

// Appends the entry's picture to `q` in a run of its own. A picture that
// cannot be placed is reported on standard output and skipped; a run
// appended before the failure stays.
void place_picture(travo::docx::Paragraph& q, const Replacement_Entry& e) {
  try {
    const travo::docx::Image image = travo::docx::Image::open(travo::platform::local_path(*e.image_path));
    const Picture_Size size = fit_picture(image.width(), image.height(), e.image_width,
                                         e.image_height, e.image_fixed_ratio.value_or(false));
    travo::docx::Run run = q.add_run();
    run.add_picture(image, size.width, size.height);
  } catch (const std::exception& error) {
    // The one failure the engine prints and walks past: callers expect the
    // rest of the document filled even when a picture is missing.
    std::cout << kPictureFailure << error.what() << std::endl;
  }
}

// The new text of `text` with `key` replaced, or nothing when `key` does
// not occur in it (an empty key never does): the text then stays as it is.
std::optional<std::string> replaced(std::string_view text, std::string_view key,
                                    const Replacement_Entry& e) {
  if (key.empty() || text.find(key) == std::string_view::npos) return std::nullopt;
  return replace_all(text, key, e.replacement_text);
}

}  // namespace

void Quire_Model::Document::execute_set() {
  travo::docx::Document& d = working_document();

  // Entries that have rebuilt a paragraph once: their formatting is known
  // not to be refused, so only their text could make a rebuild fail.
  std::unordered_set<const Replacement_Entry*> proven;
  for (travo::docx::Paragraph& p : d.paragraphs()) {
    // The snapshot decides which keys are tried; each rebuild starts from
    // the paragraph as the previous key left it.
    const std::string snapshot = get_accepted_text(p);
    bool rebuilt = false;
    // A rebuild from plain text by a proven entry cannot fail, and the
    // paragraph reads back as that text. Such a rebuild is put off: its
    // paragraph properties are set at once (they stay through later
    // rebuilds), its runs only if no later key rebuilds the paragraph again.
    const Replacement_Entry* pending = nullptr;
    std::string current;
    for (const auto& [key, e] : replace_value) {
      if (snapshot.find(key) == std::string::npos) continue;
      // Until the first rebuild the paragraph still reads as its snapshot.
      std::optional<std::string> text =
          replaced(!rebuilt ? snapshot : pending ? current : get_accepted_text(p), key, e);
      if (!text) continue;
      rebuilt = true;
      if (proven.count(&e) && plain_text(*text)) {
        set_alignment(p, e);
        set_indent_and_spacing(p, e);
        pending = &e;
        current = std::move(*text);
      } else {
        pending = nullptr;
        rebuild(p, *text, e);
        proven.insert(&e);
      }
    }
    if (pending) rebuild(p, current, *pending);
  }

  for (const travo::docx::Table& table : d.tables()) {
    // The rows deliver a merged cell once per grid position it covers; it
    // is visited at the first of them only, or a replacement holding its
    // key would be applied, and its picture placed, once per position.
    std::unordered_set<travo::docx::Cell> visited;
    for (const travo::docx::Row& row : table.rows()) {
      for (travo::docx::Cell& cell : row.cells()) {
        if (!visited.insert(cell).second) continue;
        const std::string snapshot = cell.text();
        bool replaced_before = false;
        for (const auto& [key, e] : replace_value) {
          if (snapshot.find(key) == std::string::npos) continue;
          const std::optional<std::string> text =
              replaced(replaced_before ? cell.text() : snapshot, key, e);
          if (!text) continue;
          replaced_before = true;
          cell.set_text(*text);
          for (travo::docx::Paragraph& q : cell.paragraphs()) {
            // Runs appended for remarks are not visited again.
            for (travo::docx::Run& r : q.runs()) {
              split_off_remark(q, r, e);
              format_cell_run(r, e, e.font_size);
            }
            if (e.image_path) place_picture(q, e);
          }
          for (travo::docx::Paragraph& q : cell.paragraphs()) {
            set_alignment(q, e);
            set_indent_and_spacing(q, e);
          }
        }
      }
    }
  }
}

}  // namespace quire_model
