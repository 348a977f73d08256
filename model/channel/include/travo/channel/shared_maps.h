// The channel between the desktop front end and the search worker.
//
// The launcher creates two maps and hands the same objects to both sides:
//   Event_All_variable  events "get_receipt" (busy), "end" (stop) and
//                       "stop_search" (cut the running search short)
//   Queue_All_variable  queues "起始數據" (start-data commands), "get_receipt"
//                       (worker messages) and "end" (stop notice)
// Events and queues are safe to use from any thread. Neither side adds or
// removes keys after creation; asking for a key a map does not hold throws
// std::out_of_range naming the key.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace travo {

// A value inside a start-data command: a text or an integer.
using Scalar = std::variant<std::string, std::int64_t>;

// The text form of a scalar: a text unchanged, an integer as decimal text.
std::string text_form(const Scalar& v);

// A start-data command: text keys to scalars, kept in insertion order.
class Start_Data {
 public:
  Start_Data() = default;
  Start_Data(std::initializer_list<std::pair<std::string, Scalar>> entries);

  // Sets `key`; an existing key keeps its position.
  void set(const std::string& key, Scalar value);
  // The value under `key`, or nullptr.
  const Scalar* find(const std::string& key) const;
  // The value under `key`; throws std::out_of_range naming the key.
  const Scalar& at(const std::string& key) const;
  const std::vector<std::pair<std::string, Scalar>>& entries() const { return entries_; }

  friend bool operator==(const Start_Data&, const Start_Data&) = default;

 private:
  std::vector<std::pair<std::string, Scalar>> entries_;
};

// One queue item: the empty value, a text, an integer or a start-data command.
using Queue_Item = std::variant<std::monostate, std::string, std::int64_t, Start_Data>;

// A named event: a flag that can be set, cleared and tested.
class Event {
 public:
  void set();
  void clear();
  bool is_set() const;
  // Waits until the event is set or `timeout` passes; returns is_set().
  bool wait_for(std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex mu_;
  mutable std::condition_variable cv_;
  bool flag_ = false;
};

// A named first-in-first-out queue without a bound: put never blocks.
class Queue {
 public:
  void put(Queue_Item item);
  // Blocks until an item is there, then removes and returns it.
  Queue_Item take();
  // Like take(), but gives up after `timeout` and returns nothing.
  std::optional<Queue_Item> take_for(std::chrono::milliseconds timeout);
  bool empty() const;
  size_t size() const;

 private:
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Queue_Item> items_;
};

// A map of named events. Entries are created by the launcher only.
class Event_Map {
 public:
  Event& add(const std::string& name);
  Event& at(const std::string& name);
  bool contains(const std::string& name) const;

 private:
  std::map<std::string, std::unique_ptr<Event>> events_;
};

// A map of named queues. Entries are created by the launcher only.
class Queue_Map {
 public:
  Queue& add(const std::string& name);
  Queue& at(const std::string& name);
  bool contains(const std::string& name) const;

 private:
  std::map<std::string, std::unique_ptr<Queue>> queues_;
};

// Key names of the protocol.
inline constexpr const char* kBusy = "get_receipt";        // event and message queue
inline constexpr const char* kEnd = "end";                 // event and queue
// Event: the user asks to stop the search being served. The worker acts on
// it before the next result page (and cuts a request in flight short), then
// ends the command as usual; the worker drops it when it takes the next
// command, so one set while the worker waits stops nothing.
inline constexpr const char* kStopSearch = "stop_search";
inline constexpr const char* kStartData = "起始數據";      // command queue
inline constexpr const char* kCommandKey = "檢索指令";     // search command key
inline constexpr const char* kDoneMarker = "$$$檢索報告完成$$$";

// The user parameters a start-data command carries before kCommandKey, in
// this order. The worker reads none of them.
inline constexpr const char* kParameterKeys[] = {"文字大小比例", "中文文字字體", "英文文字字體",
                                                 "分析最接近專利數量"};

// The parameters with the fixed defaults the front end keeps for its whole
// run, in kParameterKeys order:
//   "文字大小比例"        integer  1          text size ratio
//   "中文文字字體"        text     "標楷體"    font family for Chinese text
//   "英文文字字體"        text     "Calibri"   font family for Latin text
//   "分析最接近專利數量"  integer  5          closest patents to analyse
Start_Data default_parameters();

// The launcher's part: both maps with their six entries.
struct Shared_Maps {
  Queue_Map Queue_All_variable;
  Event_Map Event_All_variable;
};
std::unique_ptr<Shared_Maps> make_shared_maps();

// Sends the three stop signals in the front end's order: the empty value on
// queue "end", event "end" set, the empty value on "起始數據".
void send_stop_signals(Queue_Map& queues, Event_Map& events);

}  // namespace travo
