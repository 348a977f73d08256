// An XML part serialised straight into a raw deflate stream, and a libzip
// source that hands such a stream to an archive as it is.
//
// Saving a large document used to hold its whole serialised XML, in a
// string grown by doubling, beside the tree it came from: at the moment of
// saving, the largest allocation of the process. Compressing as libxml2
// writes keeps only the compressed bytes (a tenth of the XML or less), and
// libzip, told the entry is already deflated with its size and CRC, copies
// it without a second pass.
#pragma once

#include <libxml/tree.h>
#include <zip.h>

#include <cstdint>
#include <string>

namespace travo::docx::detail {

struct Deflated_Part {
  std::string compressed;  // raw deflate (no zlib or gzip header)
  std::uint64_t size = 0;  // bytes of XML
  std::uint32_t crc = 0;   // CRC-32 of the XML, as the ZIP entry records it
};

// Serialises `doc` (as serialize_xml does) and deflates it at zlib `level`.
// Throws Error when libxml2 or zlib fails.
Deflated_Part deflate_xml(xmlDocPtr doc, int level);

// A source for zip_file_add that reports `part` as deflated data of known
// size and CRC, so that libzip copies it raw; the entry's compression must
// be set to ZIP_CM_DEFLATE. `part` must outlive zip_close. nullptr on error
// (zip_strerror(archive) tells).
zip_source_t* deflated_source(zip_t* archive, const Deflated_Part& part);

}  // namespace travo::docx::detail
