#include "lattice_model/set_button.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "travo/qt_test_support/qt_test_app.h"

namespace lattice_model {
namespace {

using travo::qt_test_support::qt_test_app;

class SetButtonTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  std::string image_file(const char* name, QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::yellow);
    const QString path = dir.filePath(name);
    EXPECT_TRUE(image.save(path));
    return path.toStdString();
  }

  QApplication& app = qt_test_app();  // before any widget member
  QTemporaryDir dir;
  std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
  Set_Button table;
};

TEST_F(SetButtonTest, RegisteredButtonsAreReadAndChangedByName) {
  int clicks = 0;
  QPushButton* b = table.add_button(parent.get(), {.button_name = "輸出檢索列表",
                                                   .text = "輸出檢索列表",
                                                   .button_event = [&] { ++clicks; },
                                                   .width = 140});
  EXPECT_EQ(b->objectName(), "輸出檢索列表");
  EXPECT_EQ(b->parentWidget(), parent.get());
  EXPECT_GE(b->minimumWidth(), 140);
  EXPECT_EQ(table.button("輸出檢索列表"), b);
  EXPECT_EQ(table.cget("輸出檢索列表", "text"), "輸出檢索列表");

  table.configure("輸出檢索列表", "text", "輸出中.");
  EXPECT_EQ(b->text(), "輸出中.");
  EXPECT_EQ(table.cget("輸出檢索列表", "text"), "輸出中.");

  b->click();
  EXPECT_EQ(clicks, 1);
}

TEST_F(SetButtonTest, UnknownNamesAndOptionsFail) {
  table.add_button(parent.get(), {.button_name = "a", .text = "A"});
  table.add_button(parent.get(), {.text = "unnamed"});  // placed, not registered
  EXPECT_EQ(table.button(""), nullptr);
  EXPECT_THROW(table.cget("輸出AI分析報告", "text"), std::out_of_range);
  EXPECT_THROW(table.configure("輸出AI分析報告", "text", "x"), std::out_of_range);
  EXPECT_THROW(table.cget("a", "width"), std::invalid_argument);
  EXPECT_THROW(table.add_button(parent.get(), {.button_name = "a"}), std::invalid_argument);
  EXPECT_THROW(table.add_button(parent.get(), {.fg_color = "no-such-colour"}), std::invalid_argument);
  EXPECT_THROW(table.add_button(nullptr, {}), std::invalid_argument);
}

TEST_F(SetButtonTest, ImagesAreScaledAndMissingOnesCreateNothing) {
  const std::string path = image_file("icon.png", QSize(64, 48));
  QPushButton* b = table.add_button(parent.get(), {.image_path = path, .size = {25, 25}, .fg_color = "transparent"});
  EXPECT_EQ(b->iconSize(), QSize(25, 25));
  EXPECT_EQ(b->icon().pixmap(QSize(25, 25)).size(), QSize(25, 25));
  // A disabled image button still shows its image unchanged.
  EXPECT_EQ(b->icon().pixmap(QSize(25, 25), QIcon::Disabled).toImage().pixelColor(12, 12), QColor(Qt::yellow));

  const auto children = parent->children().size();
  EXPECT_THROW(table.add_button(parent.get(), {.button_name = "gone", .image_path = dir.filePath("none.png").toStdString()}),
               std::runtime_error);
  EXPECT_EQ(parent->children().size(), children);
  EXPECT_EQ(table.button("gone"), nullptr);
}

TEST_F(SetButtonTest, AFailingClickActionDoesNotEscapeTheClick) {
  QPushButton* b = table.add_button(parent.get(), {.button_name = "boom",
                                                   .button_event = [] { throw std::runtime_error("boom"); }});
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(b->click());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "[Set_Button] boom: boom\n");
}

}  // namespace
}  // namespace lattice_model
