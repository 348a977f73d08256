#include "lattice_model/grid.h"

#include <gtest/gtest.h>

#include <QHBoxLayout>
#include <QPushButton>
#include <memory>

#include "travo/qt_test_support/qt_test_app.h"

namespace lattice_model {
namespace {

using travo::qt_test_support::qt_test_app;

class GridTest : public testing::Test {
 protected:
  QApplication& app = qt_test_app();  // before any widget member

  // A fixed-size child, so positions depend only on the grid.
  QWidget* fixed(int w, int h) {
    auto* child = new QWidget;
    child->setFixedSize(w, h);
    return child;
  }
  // Lays the parent out at `size`, or at its preferred size.
  void lay_out(QSize size = QSize()) {
    parent->layout()->activate();
    parent->resize(size.isValid() ? size : parent->sizeHint());
    parent->layout()->setGeometry(parent->rect());
  }

  std::unique_ptr<QWidget> parent = std::make_unique<QWidget>();
};

TEST(StickyAlignment, MapsSidesToAlignment) {
  EXPECT_EQ(sticky_alignment(""), Qt::AlignHCenter | Qt::AlignVCenter);
  EXPECT_EQ(sticky_alignment("nsew"), Qt::Alignment());
  EXPECT_EQ(sticky_alignment("w"), Qt::AlignLeft | Qt::AlignVCenter);
  EXPECT_EQ(sticky_alignment("ew"), Qt::AlignVCenter);
  EXPECT_EQ(sticky_alignment("n, e, w"), Qt::AlignTop);
  EXPECT_EQ(sticky_alignment("se"), Qt::AlignRight | Qt::AlignBottom);
  EXPECT_THROW(sticky_alignment("center"), std::invalid_argument);
}

TEST_F(GridTest, PaddingSeparatesWidgetsThatShareACell) {
  // Two widgets in one cell told apart only by their padding: the cell is as
  // wide as the wider padded widget and the narrower one is centred in it.
  QWidget* right = fixed(30, 30);
  QWidget* left = fixed(30, 30);
  grid(right, parent.get(), {.row = 0, .column = 1, .padx = {178, 55}});
  grid(left, parent.get(), {.row = 0, .column = 1, .padx = {78, 105}});
  QWidget* first = fixed(100, 50);
  grid(first, parent.get(), {.row = 0, .column = 0, .padx = {0, 5}, .pady = 7, .sticky = "w"});
  lay_out();

  EXPECT_EQ(parent->sizeHint(), QSize(105 + 178 + 30 + 55, 64));
  EXPECT_EQ(first->geometry(), QRect(0, 7, 100, 50));
  EXPECT_EQ(right->x(), 105 + 178);
  EXPECT_EQ(right->x() - left->x(), 75);
  EXPECT_EQ(right->y(), 17);  // centred in the 64-pixel row
}

TEST_F(GridTest, StickySidesStretchOrAlignInsideThePaddedCell) {
  auto* fill = new QWidget;  // free to grow both ways
  auto* wide = new QPushButton("wide");
  auto* corner = fixed(10, 10);
  grid(fixed(300, 100), parent.get(), {.row = 0, .column = 0});
  grid(fill, parent.get(), {.row = 0, .column = 0, .padx = 10, .pady = {5, 15}, .sticky = "nsew"});
  grid(wide, parent.get(), {.row = 1, .column = 0, .sticky = "ew"});
  grid(corner, parent.get(), {.row = 0, .column = 0, .sticky = "se"});
  lay_out();

  EXPECT_EQ(fill->geometry(), QRect(10, 5, 280, 80));
  EXPECT_EQ(wide->x(), 0);
  EXPECT_EQ(wide->width(), 300);
  EXPECT_EQ(corner->geometry(), QRect(290, 90, 10, 10));
}

TEST_F(GridTest, ExtraSpaceStaysRightUnlessAColumnHasWeight) {
  QWidget* a = fixed(50, 20);
  QWidget* b = fixed(50, 20);
  grid(a, parent.get(), {.row = 0, .column = 0});
  grid(b, parent.get(), {.row = 0, .column = 1});
  lay_out(QSize(300, 20));
  EXPECT_EQ(a->x(), 0);
  EXPECT_EQ(b->x(), 50);

  grid_columnconfigure(parent.get(), 0, 1);
  grid_columnconfigure(parent.get(), 1, 1);
  lay_out(QSize(300, 20));
  EXPECT_EQ(a->x(), 50);   // centred in the left half
  EXPECT_EQ(b->x(), 200);  // centred in the right half
}

TEST_F(GridTest, RejectsBadPlacements) {
  QWidget loose;  // every placement below fails before the widget is adopted
  EXPECT_THROW(grid(&loose, parent.get(), {.padx = {-1, 0}}), std::invalid_argument);
  EXPECT_THROW(grid(&loose, parent.get(), {.rowspan = 0}), std::invalid_argument);
  EXPECT_THROW(grid(&loose, parent.get(), {.sticky = "x"}), std::invalid_argument);
  EXPECT_THROW(grid(&loose, nullptr, {}), std::invalid_argument);
  EXPECT_THROW(grid(nullptr, parent.get(), {}), std::invalid_argument);
  QWidget boxed;
  new QHBoxLayout(&boxed);
  EXPECT_THROW(grid_layout(&boxed), std::invalid_argument);
}

}  // namespace
}  // namespace lattice_model
