// Reading a saved search list back for tests: a part of the .xlsx as text,
// and the cells of the only sheet (shared strings resolved).
#pragma once

#include <zip.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace travo::harrow::test_support {

// libzip takes UTF-8 names on every system; empty when the part is missing.
inline std::string zip_part(const std::filesystem::path& xlsx, const std::string& part) {
  const std::u8string name = xlsx.u8string();
  std::string out;
  int error = 0;
  zip_t* archive = zip_open(std::string(name.begin(), name.end()).c_str(), ZIP_RDONLY, &error);
  if (!archive) return out;
  if (zip_file_t* f = zip_fopen(archive, part.c_str(), 0)) {
    char buf[65536];
    zip_int64_t n;
    while ((n = zip_fread(f, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    zip_fclose(f);
  }
  zip_discard(archive);
  return out;
}

inline std::string xml_unescape(std::string s) {
  const std::pair<const char*, const char*> refs[] = {
      {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
  for (const auto& [from, to] : refs) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += std::string(to).size()) {
      s.replace(pos, std::string(from).size(), to);
    }
  }
  return s;
}

// Text between `open` (up to its closing '>') and `close`, from `pos` on;
// advances `pos` past it. Empty when there is no further match.
inline bool next_element(const std::string& s, const std::string& open, const std::string& close,
                         size_t& pos, std::string& attrs, std::string& inner) {
  for (;;) {
    size_t start = s.find(open, pos);
    if (start == std::string::npos) return false;
    const char after = s[start + open.size()];
    if (after != ' ' && after != '>' && after != '/') {  // <row vs <rowBreaks
      pos = start + 1;
      continue;
    }
    size_t gt = s.find('>', start);
    if (gt == std::string::npos) return false;
    attrs = s.substr(start + open.size(), gt - start - open.size());
    if (s[gt - 1] == '/') {
      inner.clear();
      pos = gt + 1;
      return true;
    }
    size_t end = s.find(close, gt);
    if (end == std::string::npos) return false;
    inner = s.substr(gt + 1, end - gt - 1);
    pos = end + close.size();
    return true;
  }
}

inline std::string attr_value(const std::string& attrs, const std::string& name) {
  size_t p = attrs.find(" " + name + "=\"");
  if (p == std::string::npos) return {};
  p += name.size() + 3;
  return attrs.substr(p, attrs.find('"', p) - p);
}

// Rows of sheet1 as text cells (columns A..F), in row order.
inline std::vector<std::array<std::string, 6>> sheet_rows(const std::filesystem::path& xlsx) {
  std::vector<std::string> shared;
  const std::string sst = zip_part(xlsx, "xl/sharedStrings.xml");
  std::string attrs, inner;
  for (size_t pos = 0; next_element(sst, "<si", "</si>", pos, attrs, inner);) {
    std::string text, tattrs, tinner;
    for (size_t tp = 0; next_element(inner, "<t", "</t>", tp, tattrs, tinner);) text += tinner;
    shared.push_back(xml_unescape(text));
  }
  const std::string sheet = zip_part(xlsx, "xl/worksheets/sheet1.xml");
  std::vector<std::array<std::string, 6>> rows;
  for (size_t pos = 0; next_element(sheet, "<row", "</row>", pos, attrs, inner);) {
    const size_t r = std::stoul(attr_value(attrs, "r"));
    if (rows.size() < r) rows.resize(r);
    std::string cattrs, cinner;
    for (size_t cp = 0; next_element(inner, "<c", "</c>", cp, cattrs, cinner);) {
      const std::string ref = attr_value(cattrs, "r");
      if (ref.empty() || ref[0] < 'A' || ref[0] > 'F' || (ref.size() > 1 && ref[1] >= 'A' && ref[1] <= 'Z')) continue;
      if (attr_value(cattrs, "t") != "s") continue;
      const size_t v = cinner.find("<v>");
      if (v == std::string::npos) continue;
      rows[r - 1][ref[0] - 'A'] = shared.at(std::stoul(cinner.substr(v + 3)));
    }
  }
  return rows;
}

}  // namespace travo::harrow::test_support
