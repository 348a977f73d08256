#include "travo/docx/alignment.h"

#include <array>
#include <utility>

namespace travo::docx {
namespace {

constexpr std::array<std::pair<Alignment, std::string_view>, 12> kJc{{
    {Alignment::Left, "left"},
    {Alignment::Center, "center"},
    {Alignment::Right, "right"},
    {Alignment::Justify, "both"},
    {Alignment::Distribute, "distribute"},
    {Alignment::JustifyMedium, "mediumKashida"},
    {Alignment::JustifyHigh, "highKashida"},
    {Alignment::JustifyLow, "lowKashida"},
    {Alignment::ThaiJustify, "thaiDistribute"},
    {Alignment::Start, "start"},
    {Alignment::End, "end"},
    {Alignment::NumTab, "numTab"},
}};

constexpr std::array<std::pair<Vertical_Alignment, std::string_view>, 4> kVAlign{{
    {Vertical_Alignment::Top, "top"},
    {Vertical_Alignment::Center, "center"},
    {Vertical_Alignment::Bottom, "bottom"},
    {Vertical_Alignment::Both, "both"},
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
