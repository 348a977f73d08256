#include "lattice_model/set_table.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <memory>
#include <stdexcept>

#include "travo/qt_test_support/qt_test_app.h"

namespace lattice_model {
namespace {

using travo::qt_test_support::qt_test_app;

TEST(SetTable, EntryRowsAreLabelledAndReadBackUnchanged) {
  qt_test_app();
  auto parent = std::make_unique<QWidget>();
  Set_Table table(parent.get());
  QLineEdit* entry = table.add_entry_name("檢索指令");
  table.add_entry_name("第二列");

  EXPECT_EQ(entry->objectName(), "檢索指令");
  auto* label = parent->findChild<QLabel*>("檢索指令_label");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "檢索指令");
  EXPECT_EQ(table.entry("檢索指令"), entry);

  EXPECT_EQ(table.get("檢索指令"), "");
  entry->setText("  電動車 AND 電池  ");
  EXPECT_EQ(table.get("檢索指令"), "  電動車 AND 電池  ");
  EXPECT_EQ(table.get("第二列"), "");

  // Rows stack downwards, label left of its entry.
  parent->adjustSize();
  QLineEdit* second = table.entry("第二列");
  EXPECT_GT(second->y(), entry->y());
  EXPECT_GT(entry->x(), label->x() + label->width());
}

TEST(SetTable, BadNamesFail) {
  qt_test_app();
  auto parent = std::make_unique<QWidget>();
  Set_Table table(parent.get());
  table.add_entry_name("檢索指令");
  EXPECT_THROW(table.get("關鍵字"), std::out_of_range);
  EXPECT_EQ(table.entry("關鍵字"), nullptr);
  EXPECT_THROW(table.add_entry_name("檢索指令"), std::invalid_argument);
  EXPECT_THROW(table.add_entry_name(""), std::invalid_argument);
  EXPECT_THROW(Set_Table(nullptr), std::invalid_argument);
}

}  // namespace
}  // namespace lattice_model
