#include "travo/channel/shared_maps.h"

#include <gtest/gtest.h>

#include <thread>

namespace travo {
namespace {

TEST(SharedMaps, LauncherCreatesTheSixEntries) {
  auto maps = make_shared_maps();
  EXPECT_TRUE(maps->Event_All_variable.contains("get_receipt"));
  EXPECT_TRUE(maps->Event_All_variable.contains("end"));
  EXPECT_TRUE(maps->Event_All_variable.contains("stop_search"));
  EXPECT_FALSE(maps->Event_All_variable.at("stop_search").is_set());
  EXPECT_TRUE(maps->Queue_All_variable.contains("起始數據"));
  EXPECT_TRUE(maps->Queue_All_variable.contains("get_receipt"));
  EXPECT_TRUE(maps->Queue_All_variable.contains("end"));
  EXPECT_THROW(maps->Queue_All_variable.at("nope"), std::out_of_range);
  EXPECT_THROW(maps->Event_All_variable.at("nope"), std::out_of_range);
}

TEST(SharedMaps, QueueKeepsOrderAndAllKindsOfItems) {
  Queue q;
  EXPECT_TRUE(q.empty());
  q.put(std::monostate{});
  q.put(std::string("text"));
  q.put(std::int64_t{42});
  q.put(Start_Data{{"檢索指令", std::string("電池")}, {"文字大小比例", std::int64_t{1}}});
  EXPECT_EQ(q.size(), 4u);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(q.take()));
  EXPECT_EQ(std::get<std::string>(q.take()), "text");
  EXPECT_EQ(std::get<std::int64_t>(q.take()), 42);
  auto cmd = std::get<Start_Data>(q.take());
  EXPECT_EQ(text_form(cmd.at("檢索指令")), "電池");
  EXPECT_EQ(text_form(cmd.at("文字大小比例")), "1");
  EXPECT_EQ(cmd.entries().front().first, "檢索指令");
  EXPECT_THROW(cmd.at("x"), std::out_of_range);
  EXPECT_FALSE(q.take_for(std::chrono::milliseconds(1)).has_value());
}

TEST(SharedMaps, BlockingTakeAcrossThreadsPreservesOrder) {
  Queue q;
  constexpr int kN = 10000;
  std::vector<std::int64_t> got;
  std::thread consumer([&] {
    for (int i = 0; i < kN; ++i) got.push_back(std::get<std::int64_t>(q.take()));
  });
  for (int i = 0; i < kN; ++i) q.put(std::int64_t{i});
  consumer.join();
  ASSERT_EQ(got.size(), static_cast<size_t>(kN));
  for (int i = 0; i < kN; ++i) ASSERT_EQ(got[i], i);
}

TEST(SharedMaps, EventSetFromAnotherThreadWakesWaiter) {
  Event e;
  EXPECT_FALSE(e.is_set());
  std::thread t([&] { e.set(); });
  EXPECT_TRUE(e.wait_for(std::chrono::seconds(120)));  // bounds a broken build only
  t.join();
  e.clear();
  EXPECT_FALSE(e.is_set());
  EXPECT_FALSE(e.wait_for(std::chrono::milliseconds(1)));
}

TEST(SharedMaps, StopSignalsInOrder) {
  auto maps = make_shared_maps();
  send_stop_signals(maps->Queue_All_variable, maps->Event_All_variable);
  EXPECT_TRUE(maps->Event_All_variable.at("end").is_set());
  EXPECT_TRUE(std::holds_alternative<std::monostate>(maps->Queue_All_variable.at("end").take()));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(maps->Queue_All_variable.at("起始數據").take()));
}

TEST(SharedMaps, DefaultParametersInCommandOrder) {
  const Start_Data expected{{"文字大小比例", std::int64_t{1}},
                            {"中文文字字體", std::string("標楷體")},
                            {"英文文字字體", std::string("Calibri")},
                            {"分析最接近專利數量", std::int64_t{5}}};
  EXPECT_EQ(default_parameters(), expected);
  ASSERT_EQ(std::size(kParameterKeys), expected.entries().size());
  for (size_t i = 0; i < std::size(kParameterKeys); ++i) {
    EXPECT_EQ(kParameterKeys[i], expected.entries()[i].first);
  }
}

}  // namespace
}  // namespace travo
