// Builds small zip archives and .docx packages in memory for the fuzz
// targets, so that a mutated document part reaches the XML handling instead
// of failing at the archive's checksums.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace travo::fuzz {

inline std::uint32_t crc32(std::string_view s) {
  static const auto table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : s) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// Appends the `bytes` low bytes of `v`, little-endian.
inline void put_le(std::string& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A zip archive of stored (uncompressed) entries, in the order given.
inline std::string stored_zip(const std::vector<std::pair<std::string, std::string>>& entries) {
  std::string out, central;
  for (const auto& [name, data] : entries) {
    const auto offset = static_cast<std::uint32_t>(out.size());
    const std::uint32_t crc = crc32(data), size = static_cast<std::uint32_t>(data.size());
    const auto name_size = static_cast<std::uint32_t>(name.size());
    // Local header: version 2.0, no flags, stored, fixed DOS date 1980-01-01.
    put_le(out, 0x04034b50, 4);
    put_le(out, 20, 2); put_le(out, 0, 2); put_le(out, 0, 2); put_le(out, 0, 2); put_le(out, 0x21, 2);
    put_le(out, crc, 4); put_le(out, size, 4); put_le(out, size, 4);
    put_le(out, name_size, 2); put_le(out, 0, 2);
    out += name;
    out += data;
    put_le(central, 0x02014b50, 4);
    put_le(central, 20, 2); put_le(central, 20, 2); put_le(central, 0, 2); put_le(central, 0, 2);
    put_le(central, 0, 2); put_le(central, 0x21, 2);
    put_le(central, crc, 4); put_le(central, size, 4); put_le(central, size, 4);
    put_le(central, name_size, 2); put_le(central, 0, 2); put_le(central, 0, 2); put_le(central, 0, 2);
    put_le(central, 0, 2); put_le(central, 0, 4); put_le(central, offset, 4);
    central += name;
  }
  const auto cd_offset = static_cast<std::uint32_t>(out.size());
  out += central;
  put_le(out, 0x06054b50, 4);
  put_le(out, 0, 2); put_le(out, 0, 2);
  put_le(out, static_cast<std::uint32_t>(entries.size()), 2);
  put_le(out, static_cast<std::uint32_t>(entries.size()), 2);
  put_le(out, static_cast<std::uint32_t>(central.size()), 4); put_le(out, cd_offset, 4); put_le(out, 0, 2);
  return out;
}

// The smallest .docx package around `document_xml`: content types, the
// package relationship and word/document.xml, nothing else.
inline std::string docx_package(std::string document_xml) {
  const std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/"
      "package/2006/content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
      "relationships+xml\"/><Override PartName=\"/word/document.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/></Types>";
  const std::string rels =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas."
      "openxmlformats.org/package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"http://"
      "schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
      "Target=\"word/document.xml\"/></Relationships>";
  return stored_zip({{"[Content_Types].xml", types},
                     {"_rels/.rels", rels},
                     {"word/document.xml", std::move(document_xml)}});
}

}  // namespace travo::fuzz
