#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "travo/docx/document.h"
#include "travo/docx/error.h"
#include "travo/docx/image.h"
#include "travo/docx/namespaces.h"
#include "travo/docx/xml.h"
#include "test_util.h"

namespace travo::docx {
namespace {

using ::testing::HasSubstr;
using test_support::read_file;
using test_support::testdata;

std::string image(const std::string& name) { return testdata("images/" + name).string(); }

int media_parts(Package& pkg) {
  int n = 0;
  for (const std::string& name : pkg.part_names()) n += name.rfind("word/media/", 0) == 0;
  return n;
}

TEST(ImageTest, ReadsSizeAndFormatOfEachKind) {
  struct Case {
    const char* file;
    Image_Format format;
    int w, h;
    const char* type;
  } cases[] = {{"pic_200x100.png", Image_Format::png, 200, 100, "image/png"},
               {"pic_120x90.jpg", Image_Format::jpeg, 120, 90, "image/jpeg"},
               {"pic_64x64.gif", Image_Format::gif, 64, 64, "image/gif"},
               {"pic_50x100.bmp", Image_Format::bmp, 50, 100, "image/bmp"}};
  for (const Case& c : cases) {
    Image img = Image::open(image(c.file));
    EXPECT_EQ(img.format(), c.format) << c.file;
    EXPECT_EQ(img.width(), c.w) << c.file;
    EXPECT_EQ(img.height(), c.h) << c.file;
    EXPECT_EQ(img.content_type(), c.type) << c.file;
  }
}

TEST(ImageTest, RejectsWhatIsNoPicture) {
  EXPECT_THAT([] { try { Image::open(image("not_a_picture.png")); } catch (const Error& e) { return std::string(e.what()); } return std::string(); }(),
              HasSubstr("is not a PNG, JPEG, GIF or BMP picture"));
  EXPECT_THAT([] { try { Image::open(image("missing.png")); } catch (const Error& e) { return std::string(e.what()); } return std::string(); }(),
              HasSubstr("no such file"));
  std::string png = read_file(image("pic_200x100.png"));
  EXPECT_THROW(Image::from_bytes(png.substr(0, 12)), Error);  // signature only
  EXPECT_THROW(Image::from_bytes(""), Error);
}

TEST(PictureTest, FitsOneSideAndKeepsProportions) {
  Document doc = Document::open(testdata("plain.docx"));
  travo::docx::Run r = doc.paragraphs()[0].add_run();
  Inline_Picture wide = r.add_picture(image("pic_200x100.png"), Cm(16.4));
  EXPECT_EQ(wide.width, Cm(16.4));
  EXPECT_EQ(wide.height.emu(), 2952000);  // 5903999 / 2, rounded
  Inline_Picture tall = r.add_picture(image("pic_50x100.bmp"), std::nullopt, Cm(13));
  EXPECT_EQ(tall.height, Cm(13));
  EXPECT_EQ(tall.width, Cm(6.5));
  Inline_Picture both = r.add_picture(image("pic_64x64.gif"), Inches(3), Inches(2));
  EXPECT_EQ(both.width, Inches(3));
  EXPECT_EQ(both.height, Inches(2));
  Inline_Picture native = r.add_picture(image("pic_120x90.jpg"));
  EXPECT_EQ(native.width, Inches(1.25));  // 120 px at 96 per inch
  EXPECT_EQ(native.height, Emu(90 * 9525));
}

TEST(PictureTest, StoresEachDistinctPictureOnce) {
  Document doc = Document::open(testdata("plain.docx"));
  Package& pkg = doc.package();
  const int before = media_parts(pkg);
  travo::docx::Run r = doc.paragraphs()[0].add_run();
  Inline_Picture a = r.add_picture(image("pic_200x100.png"), Cm(2));
  Inline_Picture b = doc.paragraphs()[1].add_run().add_picture(image("pic_200x100.png"), Cm(3));
  Inline_Picture c = r.add_picture(image("pic_120x90.jpg"), Cm(2));
  EXPECT_EQ(a.part_name, b.part_name);
  EXPECT_EQ(a.relationship_id, b.relationship_id);
  EXPECT_NE(a.part_name, c.part_name);
  EXPECT_EQ(media_parts(pkg), before + 2);

  Document again = Document::from_bytes(doc.to_bytes());
  Package& p2 = again.package();
  EXPECT_EQ(p2.content_type(a.part_name), "image/png");
  EXPECT_EQ(p2.content_type(c.part_name), "image/jpeg");
  EXPECT_EQ(p2.part_data(c.part_name), read_file(image("pic_120x90.jpg")));
  int matched = 0;
  for (const Relationship& rel : p2.relationships(again.main_part_name())) {
    if (rel.id != c.relationship_id) continue;
    EXPECT_EQ(Package::resolve_target(again.main_part_name(), rel.target), c.part_name);
    ++matched;
  }
  EXPECT_EQ(matched, 1);

  // Three drawings, each with its own id.
  Xml_Document x = Xml_Document::parse(p2.part_data("word/document.xml"));
  std::set<std::string> ids;
  auto doc_prs = x.root().descendants(ns::kWp, "docPr");
  for (const Xml_Element& d : doc_prs) ids.insert(*d.attribute("id"));
  EXPECT_EQ(doc_prs.size(), 3u);
  EXPECT_EQ(ids.size(), 3u);
  auto blips = x.root().descendants(ns::kA, "blip");
  ASSERT_EQ(blips.size(), 3u);
  EXPECT_EQ(blips[1].attribute("embed", ns::kR), c.relationship_id);  // a, c, then b
  auto extent = x.root().descendants(ns::kWp, "extent")[0];
  EXPECT_EQ(extent.attribute("cx"), std::to_string(Cm(2).emu()));
}

TEST(PictureTest, IdsDoNotCollideWithExistingDrawings) {
  Document doc = Document::open(testdata("picture.docx"));  // LibreOffice used id 1
  doc.paragraphs()[0].add_run().add_picture(image("pic_64x64.gif"), Cm(1));
  Xml_Document x = Xml_Document::parse(Document::from_bytes(doc.to_bytes()).package().part_data("word/document.xml"));
  std::set<std::string> ids;
  for (const Xml_Element& d : x.root().descendants(ns::kWp, "docPr")) ids.insert(*d.attribute("id"));
  EXPECT_EQ(ids.size(), 2u);
}

TEST(PictureTest, FailureLeavesTheDocumentUnchanged) {
  Document doc = Document::open(testdata("plain.docx"));
  Paragraph p = doc.paragraphs()[0];
  travo::docx::Run r = p.runs()[0];
  const std::string xml = p.xml();
  const auto parts = doc.package().part_names();
  const std::string types = doc.package().part_data("[Content_Types].xml");
  EXPECT_THROW(r.add_picture(image("not_a_picture.png"), Cm(1)), Error);
  EXPECT_THROW(r.add_picture(image("missing.png"), Cm(1)), Error);
  EXPECT_THROW(r.add_picture(image("pic_200x100.png"), Cm(0)), Error);
  EXPECT_THROW(r.add_picture(image("pic_200x100.png"), Cm(-1), Cm(1)), Error);
  EXPECT_THROW(r.add_picture(image("pic_200x100.png"), Inches(1e9)), Error);
  EXPECT_EQ(p.xml(), xml);
  EXPECT_EQ(doc.package().part_names(), parts);
  EXPECT_EQ(doc.package().part_data("[Content_Types].xml"), types);
  EXPECT_TRUE(doc.package().relationships("word/document.xml").size() > 0);
}

}  // namespace
}  // namespace travo::docx
