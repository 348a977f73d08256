#include "travo/gui/text_box.h"

#include <gtest/gtest.h>

#include "travo/gui/appearance.h"
#include "travo/qt_test_support/qt_test_app.h"

namespace travo::gui {
namespace {

TEST(TextBox, TagColourReachesEarlierAndLaterTaggedTextOnly) {
  qt_test_support::qt_test_app(apply_dark_appearance);
  Text_Box box;
  const QColor plain = box.foreground_at(0);
  box.insert_end("錯誤\n", "red_tag");   // tagged before the tag has a colour
  box.insert_end("說明\n");
  EXPECT_EQ(box.text(), "錯誤\n說明\n");
  EXPECT_EQ(box.tag_at(0), "red_tag");
  EXPECT_EQ(box.tag_at(3), "");

  box.tag_config("red_tag", QColor("red"));
  EXPECT_EQ(box.foreground_at(0), QColor("red"));
  EXPECT_EQ(box.foreground_at(1), QColor("red"));
  EXPECT_EQ(box.foreground_at(3), plain);

  box.insert_end("再一次", "red_tag");
  box.insert_end("!");
  EXPECT_EQ(box.foreground_at(6), QColor("red"));
  EXPECT_EQ(box.foreground_at(9), plain);  // untagged text after red text is not red
}

TEST(TextBox, DeleteAllEmptiesTheBoxButKeepsTagColours) {
  qt_test_support::qt_test_app(apply_dark_appearance);
  Text_Box box;
  box.tag_config("red_tag", QColor("red"));
  box.insert_end("第一行\n", "red_tag");
  box.delete_all();
  EXPECT_EQ(box.text(), "");
  box.insert_end("x", "red_tag");
  EXPECT_EQ(box.foreground_at(0), QColor("red"));
  EXPECT_TRUE(box.isReadOnly());
}

}  // namespace
}  // namespace travo::gui
