// A run: a stretch of text with one set of character properties (w:r).
//
// Run is a light handle into its Document and is valid while the Document
// lives. A run that was removed from the document (by Paragraph::clear,
// Cell::set_text, ...) stays safe to use but is no longer part of it.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "travo/docx/length.h"
#include "travo/docx/node_hold.h"

struct _xmlNode;

namespace travo::docx {

namespace detail {
struct Access;
struct Context;
}  // namespace detail

class Image;

// What Run::add_picture placed.
struct Inline_Picture {
  Length width;
  Length height;
  std::string part_name;        // "word/media/image1.png"
  std::string relationship_id;  // "rId7", from the main document part
};

class Run {
 public:
  // The run's text: w:t text, "\t" for each tab, "\n" for each line break
  // (w:br of no type or of type textWrapping, w:cr), "-" for a non-breaking
  // hyphen. Page and column breaks, deleted text (w:delText), field codes
  // and drawings contribute nothing.
  std::string text() const;
  // Replaces everything but the run properties with `text`: "\n" (and "\r")
  // become line breaks, "\t" tabs, the rest w:t elements (spaces kept).
  void set_text(std::string_view text);

  // Font name: the w:ascii font of w:rFonts; setting writes w:ascii and
  // w:hAnsi.
  std::optional<std::string> font_name() const;
  void set_font_name(std::string_view name);
  // The w:eastAsia font of w:rFonts (the font for CJK text).
  std::optional<std::string> east_asia_font() const;
  void set_east_asia_font(std::string_view name);
  // Font size (w:sz, stored in half-points). A size below one half-point,
  // or above 1638 points, throws.
  std::optional<Length> size() const;
  void set_size(Length size);
  // Font colour (w:color) as red, green, blue; nullopt when unset or "auto".
  // Each component must be 0 to 255, else set_color throws.
  std::optional<std::array<std::uint8_t, 3>> color() const;
  void set_color(int red, int green, int blue);

  // Appends a page break (w:br w:type="page") after the run's content.
  void add_page_break();
  // Appends a line break (w:br) after the run's content.
  void add_line_break();

  // Appends an inline picture after the run's content. With both sizes
  // given the picture takes them; with one, the other follows the picture's
  // proportions (rounded to a whole EMU); with none, it gets its size at 96
  // pixels per inch. The picture file is stored once per distinct content
  // in word/media, with its relationship and content type. Throws for a file
  // that cannot be read or is no picture, or a size that is not positive; the
  // document is then unchanged.
  Inline_Picture add_picture(const std::filesystem::path& path,
                            std::optional<Length> width = std::nullopt,
                            std::optional<Length> height = std::nullopt);
  Inline_Picture add_picture(const Image& image, std::optional<Length> width = std::nullopt,
                            std::optional<Length> height = std::nullopt);

  friend bool operator==(const Run& a, const Run& b) { return a.node_ == b.node_; }

 private:
  friend struct detail::Access;
  friend struct std::hash<Run>;
  Run(_xmlNode* node, detail::Context* ctx) : node_(node, ctx), ctx_(ctx) {}

  detail::Node_Hold node_;
  detail::Context* ctx_;
};

}  // namespace travo::docx

// Hashes by identity, as operator== compares.
template <>
struct std::hash<travo::docx::Run> {
  std::size_t operator()(const travo::docx::Run& h) const noexcept {
    return std::hash<const void*>()(h.node_);
  }
};
