#include "travo/docx/package.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libxml/tree.h>
#include <zip.h>

#include "context.h"  // detail::Access, to parse one part on its own
#include "travo/docx/error.h"
#include "travo/docx/namespaces.h"
#include "test_util.h"

namespace travo::docx {
namespace {

using ::testing::HasSubstr;
using ::testing::Contains;
using test_support::read_file;
using test_support::Temp_Dir;
using test_support::testdata;

constexpr char kMainType[] =
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";

std::string open_error(const std::string& bytes, const Limits& limits = {}) {
  try {
    Package::from_bytes(bytes, limits);
  } catch (const Error& e) {
    return e.what();
  }
  return "(no error)";
}

// Compressed size and CRC of every entry, read with libzip.
std::map<std::string, std::pair<zip_uint64_t, zip_uint32_t>> raw_entries(const std::string& bytes) {
  std::map<std::string, std::pair<zip_uint64_t, zip_uint32_t>> out;
  zip_error_t err;
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &err);
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    out[st.name] = {st.comp_size, st.crc};
  }
  zip_discard(za);
  return out;
}

TEST(PackageTest, ReadsPartsContentTypesAndRelationships) {
  Package pkg = Package::open(testdata("picture.docx"));
  EXPECT_THAT(pkg.part_names(), Contains("word/document.xml"));
  EXPECT_TRUE(pkg.has_part("WORD/Document.xml"));  // part names ignore case
  EXPECT_FALSE(pkg.has_part("word/missing.xml"));
  EXPECT_EQ(pkg.content_type("word/document.xml"), kMainType);      // an Override
  EXPECT_EQ(pkg.content_type("word/media/image1.png"), "image/png");  // a Default
  EXPECT_EQ(pkg.content_type("word/none.unknownext"), std::nullopt);

  auto top = pkg.relationships("");
  ASSERT_FALSE(top.empty());
  bool found = false;
  for (const auto& r : top)
    if (r.type == ns::kRelOfficeDocument) {
      found = true;
      EXPECT_EQ(Package::resolve_target("", r.target), "word/document.xml");
    }
  EXPECT_TRUE(found);
  bool image = false;
  for (const auto& r : pkg.relationships("word/document.xml"))
    if (r.type == ns::kRelImage)
      image = Package::resolve_target("word/document.xml", r.target) == "word/media/image1.png";
  EXPECT_TRUE(image);
  EXPECT_TRUE(pkg.relationships("word/styles.xml").empty());
  EXPECT_THROW(pkg.part_data("word/missing.xml"), Error);
}

TEST(PackageTest, ResolvesAndRelativisesTargets) {
  EXPECT_EQ(Package::resolve_target("word/document.xml", "media/a.png"), "word/media/a.png");
  EXPECT_EQ(Package::resolve_target("word/document.xml", "../customXml/item1.xml"),
            "customXml/item1.xml");
  EXPECT_EQ(Package::resolve_target("word/document.xml", "/word/x.xml"), "word/x.xml");
  EXPECT_EQ(Package::resolve_target("word/document.xml", "./a/../b.xml"), "word/b.xml");
  EXPECT_EQ(Package::relative_target("word/document.xml", "word/media/a.png"), "media/a.png");
  EXPECT_EQ(Package::relative_target("word/document.xml", "customXml/item1.xml"),
            "../customXml/item1.xml");
  EXPECT_EQ(Package::relative_target("", "word/document.xml"), "word/document.xml");
}

TEST(PackageTest, RoundTripCopiesUntouchedPartsAsTheyWere) {
  const std::string original = read_file(testdata("picture.docx"));
  Package pkg = Package::from_bytes(original);
  pkg.set_part_data("word/extra.txt", "hello");
  pkg.set_part_data("docProps/app.xml", "<Properties/>");
  const std::string saved = pkg.to_bytes();

  Package again = Package::from_bytes(saved);
  Package before = Package::from_bytes(original);
  std::vector<std::string> names = before.part_names();
  names.push_back("word/extra.txt");
  EXPECT_EQ(again.part_names(), names);  // order kept, new parts last
  EXPECT_EQ(again.part_data("word/extra.txt"), "hello");
  EXPECT_EQ(again.part_data("docProps/app.xml"), "<Properties/>");

  auto raw_before = raw_entries(original);
  auto raw_after = raw_entries(saved);
  for (const std::string& name : before.part_names()) {
    if (name == "docProps/app.xml") continue;
    EXPECT_EQ(again.part_data(name), before.part_data(name)) << name;
    // Copied compressed, not recompressed.
    EXPECT_EQ(raw_after[name], raw_before[name]) << name;
  }
}

TEST(PackageTest, EditsXmlPartsThroughRelationshipsAndContentTypes) {
  Package pkg = Package::open(testdata("plain.docx"));
  std::string id = pkg.add_relationship("word/document.xml", ns::kRelImage, "media/x.png");
  std::string id2 = pkg.add_relationship("word/document.xml", ns::kRelImage, "media/y.png");
  EXPECT_NE(id, id2);
  std::string ext = pkg.add_relationship("word/document.xml", "urn:t", "https://example.com/", true);
  // A source without a relationships part gets one.
  std::string first = pkg.add_relationship("word/styles.xml", "urn:t", "x.xml");
  EXPECT_EQ(first, "rId1");
  EXPECT_TRUE(pkg.add_default_content_type("xyz", "image/xyz"));
  EXPECT_FALSE(pkg.add_default_content_type("XYZ", "image/other"));
  pkg.set_override_content_type("word/media/odd.png", "image/odd");

  Package again = Package::from_bytes(pkg.to_bytes());
  auto rels = again.relationships("word/document.xml");
  int found = 0;
  for (const auto& r : rels) {
    if (r.id == id) found += r.target == "media/x.png" && !r.external;
    if (r.id == ext) found += r.external && r.target == "https://example.com/";
  }
  EXPECT_EQ(found, 2);
  EXPECT_EQ(again.relationships("word/styles.xml").size(), 1u);
  EXPECT_EQ(again.content_type("word/media/a.xyz"), "image/xyz");
  EXPECT_EQ(again.content_type("word/media/odd.png"), "image/odd");
}

// A modified part is deflated while it is serialised; what libzip reads
// back, with its own CRC check, must be exactly the serialised XML, also
// for a part spanning many of the writer's chunks.
TEST(PackageTest, LargeModifiedPartIsDeflatedWithTheRightSizeAndCrc) {
  Package pkg = Package::open(testdata("plain.docx"));
  xmlDocPtr dom = detail::Access::xml_part(pkg, "word/document.xml");
  xmlNodePtr body = xmlDocGetRootElement(dom)->children;
  while (body && body->type != XML_ELEMENT_NODE) body = body->next;
  ASSERT_NE(body, nullptr);
  for (int i = 0; i < 20000; ++i) {
    const std::string text = "第 " + std::to_string(i) + " 段 paragraph & <text> " +
                             std::string(static_cast<size_t>(i % 97), 'x');
    xmlNodePtr p = xmlNewChild(body, body->ns, BAD_CAST "p", nullptr);
    xmlNodePtr r = xmlNewChild(p, body->ns, BAD_CAST "r", nullptr);
    xmlNewTextChild(r, body->ns, BAD_CAST "t", BAD_CAST text.c_str());
  }
  pkg.mark_modified("word/document.xml");
  const std::string expected = pkg.part_data("word/document.xml");
  ASSERT_GT(expected.size(), 2u << 20);

  const std::string bytes = pkg.to_bytes();
  zip_error_t err;
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &err);
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &err);
  ASSERT_NE(za, nullptr);
  zip_stat_t st;
  ASSERT_EQ(zip_stat(za, "word/document.xml", 0, &st), 0);
  EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
  EXPECT_EQ(st.size, expected.size());
  EXPECT_LT(st.comp_size, st.size / 4);
  zip_file_t* f = zip_fopen(za, "word/document.xml", 0);
  ASSERT_NE(f, nullptr);
  std::string read(expected.size() + 1, '\0');
  const zip_int64_t got = zip_fread(f, read.data(), read.size());  // fails on a bad CRC
  EXPECT_EQ(got, static_cast<zip_int64_t>(expected.size()));
  read.resize(got < 0 ? 0 : static_cast<size_t>(got));
  EXPECT_TRUE(read == expected);
  zip_fclose(f);
  zip_discard(za);
  EXPECT_EQ(Package::from_bytes(bytes).part_data("word/document.xml"), expected);
}

TEST(PackageTest, RejectsBadArchivesWithClearErrors) {
  auto err = [](const std::string& name) { return open_error(read_file(testdata("bad/" + name))); };
  EXPECT_THAT(err("not_a_zip.docx"), HasSubstr("not a zip archive"));
  EXPECT_THAT(err("dotdot.docx"), HasSubstr("'..'"));
  EXPECT_THAT(err("absolute.docx"), HasSubstr("absolute path"));
  EXPECT_THAT(err("duplicate.docx"), HasSubstr("twice"));
  EXPECT_THAT(err("bomb.docx"), HasSubstr("zip bomb"));
  EXPECT_THAT(open_error(""), HasSubstr("empty"));

  const std::string good = read_file(testdata("plain.docx"));
  for (size_t cut : {size_t{10}, good.size() / 2, good.size() - 10})
    EXPECT_NE(open_error(good.substr(0, cut)), "(no error)") << cut;
  std::string flipped = good;
  flipped[200] = static_cast<char>(flipped[200] ^ 0x55);  // inside the first entry's data
  EXPECT_NE(open_error(flipped), "(no error)");
}

TEST(PackageTest, EnforcesLimitsOnDecompressedBytes) {
  const std::string good = read_file(testdata("plain.docx"));
  Limits small_part;
  small_part.max_part_size = 1000;
  EXPECT_THAT(open_error(good, small_part), HasSubstr("decompresses to more than 1000"));
  Limits small_total;
  small_total.max_total_size = 5000;
  EXPECT_THAT(open_error(good, small_total), HasSubstr("archive decompresses to more than"));
  Limits few;
  few.max_entries = 3;
  EXPECT_THAT(open_error(good, few), HasSubstr("at most 3"));
  Limits strict_ratio;
  strict_ratio.ratio_floor = 100;
  strict_ratio.max_ratio = 1;
  EXPECT_THAT(open_error(good, strict_ratio), HasSubstr("expands more than 1 times"));
}

TEST(PackageTest, ReportsMalformedXmlWithPartAndLine) {
  Package pkg = Package::open(testdata("bad/malformed_xml.docx"));
  try {
    detail::Access::xml_part(pkg, "word/document.xml");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_THAT(e.what(), HasSubstr("malformed XML in part 'word/document.xml' (line"));
  }
  Package dtd = Package::open(testdata("bad/doctype.docx"));
  EXPECT_THROW(detail::Access::xml_part(dtd, "word/document.xml"), Error);
}

TEST(PackageTest, SavesAtomically) {
  Temp_Dir dir;
  Package pkg = Package::open(testdata("plain.docx"));

  EXPECT_THROW(pkg.save(dir / "missing-folder/out.docx"), Error);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing-folder"));

  // A folder in the way is neither replaced nor left with temporary files.
  std::filesystem::create_directory(dir / "taken.docx");
  EXPECT_THROW(pkg.save(dir / "taken.docx"), Error);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.docx"));

  const auto target = dir / "out.docx";
  { std::ofstream(target) << "old content"; }
  pkg.save(target);
  EXPECT_EQ(read_file(target).substr(0, 2), "PK");
  Package::open(target);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    ++entries;
    EXPECT_THAT(e.path().filename().string(), ::testing::Not(HasSubstr(".tmp-")));
  }
  EXPECT_EQ(entries, 2);  // taken.docx and out.docx
}

TEST(PackageTest, RefusesBadPartNames) {
  Package pkg = Package::open(testdata("plain.docx"));
  EXPECT_THROW(pkg.set_part_data("../x.xml", "x"), Error);
  EXPECT_THROW(pkg.set_part_data("/x.xml", "x"), Error);
  EXPECT_THROW(pkg.mark_modified("word/settings.xml"), Error);  // never parsed
}

}  // namespace
}  // namespace travo::docx
