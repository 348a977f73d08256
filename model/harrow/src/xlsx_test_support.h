// Reading a saved search list back for tests: a part of the .xlsx as text,
// and the cells of the only sheet (shared strings resolved).
#pragma once

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace travo::harrow::testing {

inline std::string zip_part(const std::filesystem::path& xlsx, const std::string& part) {
  const std::string cmd = "unzip -p '" + xlsx.string() + "' '" + part + "' 2>/dev/null";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
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

// Rows of sheet1 as text cells (columns A..F), in row order.
inline std::vector<std::array<std::string, 6>> sheet_rows(const std::filesystem::path& xlsx) {
  std::vector<std::string> shared;
  const std::string sst = zip_part(xlsx, "xl/sharedStrings.xml");
  static const std::regex si_re("<si>([\\s\\S]*?)</si>");
  static const std::regex t_re("<t[^>]*>([\\s\\S]*?)</t>");
  for (std::sregex_iterator it(sst.begin(), sst.end(), si_re), end; it != end; ++it) {
    const std::string si = (*it)[1];
    std::string text;
    for (std::sregex_iterator t(si.begin(), si.end(), t_re); t != end; ++t) text += (*t)[1];
    shared.push_back(xml_unescape(text));
  }
  const std::string sheet = zip_part(xlsx, "xl/worksheets/sheet1.xml");
  std::vector<std::array<std::string, 6>> rows;
  static const std::regex row_re("<row r=\"(\\d+)\"[^>]*>([\\s\\S]*?)</row>");
  static const std::regex c_re("<c r=\"([A-Z]+)\\d+\"([^>]*?)(?:/>|>([\\s\\S]*?)</c>)");
  static const std::regex v_re("<v>(\\d+)</v>");
  for (std::sregex_iterator it(sheet.begin(), sheet.end(), row_re), end; it != end; ++it) {
    const size_t r = std::stoul((*it)[1]);
    if (rows.size() < r) rows.resize(r);
    const std::string body = (*it)[2];
    for (std::sregex_iterator c(body.begin(), body.end(), c_re); c != end; ++c) {
      const std::string col = (*c)[1];
      const std::string attrs = (*c)[2];
      const std::string inner = (*c)[3];
      std::smatch v;
      if (col.size() == 1 && col[0] <= 'F' && attrs.find("t=\"s\"") != std::string::npos &&
          std::regex_search(inner, v, v_re)) {
        rows[r - 1][col[0] - 'A'] = shared.at(std::stoul(v[1]));
      }
    }
  }
  return rows;
}

}  // namespace travo::harrow::testing
