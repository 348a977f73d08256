#include "travo/docx/run.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "context.h"
#include "travo/docx/error.h"
#include "travo/docx/image.h"
#include "media.h"
#include "xml_util.h"

namespace travo::docx {
namespace {

// Largest extent DrawingML accepts (ST_PositiveCoordinate).
constexpr std::int64_t kMaxExtent = 27273042316900;

xmlNodePtr rpr_child(xmlNodePtr r, const char* local) {
  xmlNodePtr rpr = detail::w_child(r, "rPr");
  return rpr ? detail::w_child(rpr, local) : nullptr;
}

xmlNodePtr ensure_rpr_child(xmlNodePtr r, const char* local) {
  xmlNodePtr rpr = detail::get_or_add(r, "rPr", detail::kROrder);
  return detail::get_or_add(rpr, local, detail::kRPrOrder);
}

void append_t(xmlNodePtr r, std::string_view text) {
  if (text.empty()) return;
  xmlNodePtr t = xmlAddChild(r, detail::new_w(r->doc, "t"));
  detail::add_text(t, text);
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  if (space(text.front()) || space(text.back())) xmlNodeSetSpacePreserve(t, 1);
}

Length proportional(double emu) {
  if (!(emu <= static_cast<double>(kMaxExtent))) throw Error("the picture is too large");
  return Emu(std::llround(emu));
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Run::text() const {
  std::string out;
  for (xmlNodePtr c = node_->children; c; c = c->next) {
    if (!detail::in_w(c)) continue;
    const char* name = detail::chars(c->name);
    if (std::strcmp(name, "t") == 0) {
      for (xmlNodePtr t = c->children; t; t = t->next)
        if (t->content && (t->type == XML_TEXT_NODE || t->type == XML_CDATA_SECTION_NODE))
          out += detail::chars(t->content);
    } else if (std::strcmp(name, "tab") == 0 || std::strcmp(name, "ptab") == 0) {
      out += '\t';
    } else if (std::strcmp(name, "br") == 0) {
      auto type = detail::w_attr(c, "type");
      if (!type || *type == "textWrapping") out += '\n';
    } else if (std::strcmp(name, "cr") == 0) {
      out += '\n';
    } else if (std::strcmp(name, "noBreakHyphen") == 0) {
      out += '-';
    }
  }
  return out;
}

void Run::set_text(std::string_view text) {
  detail::check_text(text, "run text");
  for (xmlNodePtr c = node_->children; c;) {
    xmlNodePtr next = c->next;
    if (!detail::is_w(c, "rPr")) ctx_->discard(c);
    c = next;
  }
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch != '\t' && ch != '\n' && ch != '\r') continue;
    append_t(node_, text.substr(start, i - start));
    if (ch == '\t') {
      xmlAddChild(node_, detail::new_w(node_->doc, "tab"));
    } else {
      if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;  // one break for CR LF
      xmlAddChild(node_, detail::new_w(node_->doc, "br"));
    }
    start = i + 1;
  }
  append_t(node_, text.substr(start));
}

std::optional<std::string> Run::font_name() const {
  xmlNodePtr f = rpr_child(node_, "rFonts");
  return f ? detail::w_attr(f, "ascii") : std::nullopt;
}

void Run::set_font_name(std::string_view name) {
  detail::check_text(name, "font name");
  xmlNodePtr f = ensure_rpr_child(node_, "rFonts");
  // A theme font attribute would override the explicit name.
  detail::remove_w_attr(f, "asciiTheme");
  detail::remove_w_attr(f, "hAnsiTheme");
  detail::set_w_attr(f, "ascii", name);
  detail::set_w_attr(f, "hAnsi", name);
}

std::optional<std::string> Run::east_asia_font() const {
  xmlNodePtr f = rpr_child(node_, "rFonts");
  return f ? detail::w_attr(f, "eastAsia") : std::nullopt;
}

void Run::set_east_asia_font(std::string_view name) {
  detail::check_text(name, "font name");
  xmlNodePtr f = ensure_rpr_child(node_, "rFonts");
  detail::remove_w_attr(f, "eastAsiaTheme");
  detail::set_w_attr(f, "eastAsia", name);
}

std::optional<Length> Run::size() const {
  xmlNodePtr sz = rpr_child(node_, "sz");
  auto v = sz ? detail::w_attr(sz, "val") : std::nullopt;
  if (!v) return std::nullopt;
  long hp = 0;
  auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), hp);
  if (ec != std::errc() || end != v->data() + v->size()) return std::nullopt;
  return HalfPoints(hp);
}

void Run::set_size(Length size) {
  std::int64_t hp = size.half_points();
  if (hp < 1 || hp > 3276)
    throw Error("font size " + std::to_string(size.pt()) + " pt is outside 0.5 to 1638 pt");
  detail::set_w_attr(ensure_rpr_child(node_, "sz"), "val", std::to_string(hp));
}

std::optional<std::array<std::uint8_t, 3>> Run::color() const {
  xmlNodePtr c = rpr_child(node_, "color");
  auto v = c ? detail::w_attr(c, "val") : std::nullopt;
  if (!v || v->size() != 6) return std::nullopt;
  std::array<std::uint8_t, 3> rgb{};
  for (int i = 0; i < 3; ++i) {
    int hi = hex_digit((*v)[2 * i]), lo = hex_digit((*v)[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    rgb[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return rgb;
}

void Run::set_color(int red, int green, int blue) {
  const int rgb[3] = {red, green, blue};
  const char* names[3] = {"red", "green", "blue"};
  for (int i = 0; i < 3; ++i)
    if (rgb[i] < 0 || rgb[i] > 255)
      throw Error(std::string("colour component ") + names[i] + " = " + std::to_string(rgb[i]) +
                  " is outside 0 to 255");
  char hex[7];
  std::snprintf(hex, sizeof hex, "%02X%02X%02X", red, green, blue);
  xmlNodePtr c = ensure_rpr_child(node_, "color");
  // A theme colour would override the explicit value.
  detail::remove_w_attr(c, "themeColor");
  detail::remove_w_attr(c, "themeTint");
  detail::remove_w_attr(c, "themeShade");
  detail::set_w_attr(c, "val", hex);
}

void Run::add_page_break() {
  xmlNodePtr br = xmlAddChild(node_, detail::new_w(node_->doc, "br"));
  detail::set_w_attr(br, "type", "page");
}

void Run::add_line_break() { xmlAddChild(node_, detail::new_w(node_->doc, "br")); }

Inline_Picture Run::add_picture(const std::filesystem::path& path, std::optional<Length> width,
                               std::optional<Length> height) {
  return add_picture(Image::open(path), width, height);
}

Inline_Picture Run::add_picture(const Image& image, std::optional<Length> width,
                               std::optional<Length> height) {
  const double px_w = image.width(), px_h = image.height();
  Length cx, cy;
  if (width && height) {
    cx = *width;
    cy = *height;
  } else if (width) {
    cx = *width;
    cy = proportional(static_cast<double>(width->emu()) * px_h / px_w);
  } else if (height) {
    cy = *height;
    cx = proportional(static_cast<double>(height->emu()) * px_w / px_h);
  } else {
    cx = Emu(image.width() * 9525LL);  // 96 pixels per inch
    cy = Emu(image.height() * 9525LL);
  }
  if (cx.emu() <= 0 || cy.emu() <= 0) throw Error("a picture's width and height must be positive");
  if (cx.emu() > kMaxExtent || cy.emu() > kMaxExtent) throw Error("the picture is too large");

  // Everything that can fail has been checked; now change the document.
  detail::Media_Ref ref = detail::add_media(*ctx_, image);
  xmlAddChild(node_, detail::new_inline_drawing(*ctx_, ref, cx, cy));
  return {cx, cy, ref.part_name, ref.relationship_id};
}

}  // namespace travo::docx
