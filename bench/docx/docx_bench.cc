// Benchmark of the docx layer: open a document, read every body paragraph's
// text, save it. Also measures the floor: the same archive unzipped, its
// main part parsed and serialised, and zipped again with libzip and libxml2
// alone, no document model on top.
//
//   docx_bench generate BASE.docx OUT.docx   writes the benchmark document
//   docx_bench roundtrip IN.docx OUT.docx N  median ms of N round trips
//   docx_bench floor IN.docx OUT.docx N      median ms of N floor round trips
//   docx_bench memory IN.docx N              round trips that save to memory
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "travo/docx/docx.h"
#include "travo/platform/atomic_file.h"

namespace docx = travo::docx;

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

double median_ms(int n, const std::function<void()>& once) {
  once();  // warm-up: page cache, allocator
  std::vector<double> ms;
  for (int i = 0; i < n; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    once();
    auto t1 = std::chrono::steady_clock::now();
    ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void generate(const std::string& base, const std::string& out) {
  travo::docx::Document doc = travo::docx::Document::open(base);
  int table = 0;
  for (int i = 0; i < 2000; ++i) {
    travo::docx::Paragraph p = doc.add_paragraph();
    p.add_run("Paragraph " + std::to_string(i) + ": the device comprises a housing and ");
    travo::docx::Run b = p.add_run("專利元件 " + std::to_string(i % 97));
    if (i % 2 == 0) b.set_east_asia_font("標楷體");
    if (i % 5 == 0) b.set_size(travo::docx::Pt(12));
    if (i % 3 == 0) p.set_alignment(travo::docx::Alignment::justify);
    if ((i + 1) % 20 == 0 && table < 100) {
      travo::docx::Table t = doc.add_table(4, 3);
      for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
          t.cell(r, c).set_text("T" + std::to_string(table) + " r" + std::to_string(r) + " c" +
                                std::to_string(c));
      ++table;
    }
  }
  doc.save(out);
  std::cerr << "document.xml: " << doc.package().part_data("word/document.xml").size()
            << " bytes, " << doc.paragraphs().size() << " paragraphs, " << doc.tables().size()
            << " tables\n";
}

// `out` empty: save into memory only.
void roundtrip(const std::string& in, const std::string& out) {
  travo::docx::Document doc = travo::docx::Document::open(in);
  std::size_t chars = 0;
  for (const travo::docx::Paragraph& p : doc.paragraphs()) chars += p.text().size();
  if (chars == 0) throw std::runtime_error("no text read");
  if (out.empty()) {
    if (doc.to_bytes().empty()) throw std::runtime_error("nothing written");
  } else {
    doc.save(out);
  }
}

// unzip every entry, parse and serialise the main part, zip everything again.
void floor_roundtrip(const std::string& in, const std::string& out) {
  std::string archive = read_file(in);
  zip_error_t err;
  zip_source_t* src = zip_source_buffer_create(archive.data(), archive.size(), 0, &err);
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &err);
  std::vector<std::pair<std::string, std::string>> parts;
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
    zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    parts.emplace_back(st.name, std::move(data));
  }
  zip_discard(za);
  for (auto& [name, data] : parts) {
    if (name != "word/document.xml") continue;
    // The cheapest libxml2 calls for the job: compact text nodes, and a
    // writer that appends straight to a string.
    xmlDocPtr doc = xmlReadMemory(data.data(), static_cast<int>(data.size()), nullptr, nullptr,
                                  XML_PARSE_NONET | XML_PARSE_COMPACT);
    std::string serialised;
    xmlSaveCtxtPtr save = xmlSaveToIO(
        [](void* ctx, const char* buf, int len) {
          static_cast<std::string*>(ctx)->append(buf, static_cast<std::size_t>(len));
          return len;
        },
        nullptr, &serialised, nullptr, 0);
    xmlSaveDoc(save, doc);
    xmlSaveClose(save);
    xmlFreeDoc(doc);
    data = std::move(serialised);
  }
  zip_source_t* buf = zip_source_buffer_create(nullptr, 0, 0, &err);
  zip_source_keep(buf);
  zip_t* zo = zip_open_from_source(buf, ZIP_TRUNCATE, &err);
  for (auto& [name, data] : parts) {
    zip_int64_t idx =
        zip_file_add(zo, name.c_str(), zip_source_buffer(zo, data.data(), data.size(), 0), 0);
    // The level the library uses (libzip's own default is the slow level 9).
    zip_set_file_compression(zo, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 6);
  }
  zip_close(zo);
  zip_source_open(buf);
  zip_source_seek(buf, 0, SEEK_END);
  zip_int64_t n = zip_source_tell(buf);
  zip_source_seek(buf, 0, SEEK_SET);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  zip_source_read(buf, bytes.data(), static_cast<zip_uint64_t>(n));
  zip_source_close(buf);
  zip_source_free(buf);
  // The same durable write the library does.
  travo::platform::atomic_write(out, bytes);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 4) {
      generate(argv[2], argv[3]);
      return 0;
    }
    if (mode == "memory" && argc == 4) {
      std::string in = argv[2];
      std::printf("%.3f\n", median_ms(std::max(1, std::atoi(argv[3])), [&] { roundtrip(in, ""); }));
      return 0;
    }
    if ((mode == "roundtrip" || mode == "floor") && argc == 5) {
      std::string in = argv[2], out = argv[3];
      int n = std::max(1, std::atoi(argv[4]));
      double ms = mode == "roundtrip" ? median_ms(n, [&] { roundtrip(in, out); })
                                      : median_ms(n, [&] { floor_roundtrip(in, out); });
      std::printf("%.3f\n", ms);
      return 0;
    }
    std::fprintf(stderr,
                 "usage: docx_bench generate BASE OUT | roundtrip IN OUT N | floor IN OUT N |"
                 " memory IN N\n");
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "docx_bench: %s\n", e.what());
    return 1;
  }
}
