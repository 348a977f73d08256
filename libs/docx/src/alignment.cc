#include "travo/docx/alignment.h"

#include <array>
#include <utility>

namespace travo::docx {
namespace {

constexpr std::array<std::pair<Alignment, std::string_view>, 12> kJc{{
    {Alignment::left, "left"},
    {Alignment::center, "center"},
    {Alignment::right, "right"},
    {Alignment::justify, "both"},
    {Alignment::distribute, "distribute"},
    {Alignment::justify_medium, "mediumKashida"},
    {Alignment::justify_high, "highKashida"},
    {Alignment::justify_low, "lowKashida"},
    {Alignment::thai_justify, "thaiDistribute"},
    {Alignment::start, "start"},
    {Alignment::end, "end"},
    {Alignment::num_tab, "numTab"},
}};

constexpr std::array<std::pair<Vertical_Alignment, std::string_view>, 4> kVAlign{{
    {Vertical_Alignment::top, "top"},
    {Vertical_Alignment::center, "center"},
    {Vertical_Alignment::bottom, "bottom"},
    {Vertical_Alignment::both, "both"},
}};

}  // namespace

std::string_view to_jc(Alignment a) {
  for (const auto& [value, name] : kJc)
    if (value == a) return name;
  return "left";
}

std::optional<Alignment> alignment_from_jc(std::string_view jc) {
  for (const auto& [value, name] : kJc)
    if (name == jc) return value;
  return std::nullopt;
}

std::string_view to_valign(Vertical_Alignment v) {
  for (const auto& [value, name] : kVAlign)
    if (value == v) return name;
  return "top";
}

std::optional<Vertical_Alignment> vertical_alignment_from_valign(std::string_view v) {
  for (const auto& [value, name] : kVAlign)
    if (name == v) return value;
  return std::nullopt;
}

}  // namespace travo::docx
