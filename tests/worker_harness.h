// A worker loop on its own thread with fresh shared maps and a private
// CORVANA_ROOT, for tests that talk to it as the front end would.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "travo/harrow/receipt.h"
#include "travo/platform/environment.h"
#include "travo/platform/utf8.h"

namespace travo::harrow::test_support {

class Worker_Harness : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::filesystem::temp_directory_path() /
            (std::string(::testing::UnitTest::GetInstance()->current_test_suite()->name()) + "_" +
             std::to_string(platform::current_process_id()));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / travo::platform::utf8_path("TRAVO專利檢索軟體"));
    platform::set_environment_variable("CORVANA_ROOT", platform::utf8_string(root_));
    maps_ = make_shared_maps();
    options_.empty_page_wait = std::chrono::milliseconds(10);
    options_.http.stall_timeout = std::chrono::milliseconds(5000);
    options_.on_command_done = [this](const Command_Outcome& o) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        outcomes_.push_back(o);
      }
      outcome_cv_.notify_all();
    };
  }

  void TearDown() override {
    stop_worker();
    std::filesystem::remove_all(root_);
  }

  void start_worker(const std::string& site) {
    options_.site = site;
    worker_ = std::thread([this] { receipt(maps_->Queue_All_variable, maps_->Event_All_variable, options_); });
  }

  void stop_worker() {
    if (!worker_.joinable()) return;
    send_stop_signals(maps_->Queue_All_variable, maps_->Event_All_variable);
    worker_.join();
  }

  void command(const std::string& text) {
    maps_->Queue_All_variable.at(kStartData).put(Start_Data{{kParameterKeys[0], std::int64_t{1}}, {kCommandKey, text}});
  }

  // Messages up to and including the completion marker.
  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (;;) {
      auto item = maps_->Queue_All_variable.at(kBusy).take_for(std::chrono::seconds(120));
      if (!item) {
        ADD_FAILURE() << "no completion marker";
        return out;
      }
      out.push_back(std::get<std::string>(*item));
      if (out.back() == kDoneMarker) {
        ++markers_seen_;
        return out;
      }
    }
  }

  std::vector<std::string> run_command(const std::string& text) {
    command(text);
    return messages();
  }

  std::filesystem::path list_path() const { return root_ / travo::platform::utf8_path("TRAVO專利檢索軟體") / travo::platform::utf8_path("專利檢索列表.xlsx"); }

  // The outcome of the command whose marker messages() read last. The worker
  // reports it after sending the marker, so it may not be there yet, and an
  // earlier command's outcome is not an answer.
  Command_Outcome last_outcome() {
    std::unique_lock<std::mutex> lock(mu_);
    if (markers_seen_ == 0 ||
        !outcome_cv_.wait_for(lock, std::chrono::seconds(120), [this] { return outcomes_.size() >= markers_seen_; })) {
      ADD_FAILURE() << "no outcome";
      return {};
    }
    return outcomes_[markers_seen_ - 1];
  }

  std::filesystem::path root_;
  std::unique_ptr<Shared_Maps> maps_;
  Receipt_Options options_;
  std::thread worker_;
  std::mutex mu_;
  std::condition_variable outcome_cv_;
  std::vector<Command_Outcome> outcomes_;
  size_t markers_seen_ = 0;  // completion markers messages() has read
};

}  // namespace travo::harrow::test_support
