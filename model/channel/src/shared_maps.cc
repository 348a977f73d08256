#include "travo/channel/shared_maps.h"

#include <stdexcept>

namespace travo {

std::string text_form(const Scalar& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return std::to_string(std::get<std::int64_t>(v));
}

Start_Data::Start_Data(std::initializer_list<std::pair<std::string, Scalar>> entries) {
  for (const auto& [k, v] : entries) set(k, v);
}

void Start_Data::set(const std::string& key, Scalar value) {
  for (auto& [k, v] : entries_) {
    if (k == key) {
      v = std::move(value);
      return;
    }
  }
  entries_.emplace_back(key, std::move(value));
}

const Scalar* Start_Data::find(const std::string& key) const {
  for (const auto& [k, v] : entries_) {
    if (k == key) return &v;
  }
  return nullptr;
}

const Scalar& Start_Data::at(const std::string& key) const {
  if (const Scalar* v = find(key)) return *v;
  throw std::out_of_range("start-data command has no key '" + key + "'");
}

Start_Data default_parameters() {
  return {{kParameterKeys[0], std::int64_t{1}},
          {kParameterKeys[1], std::string("標楷體")},
          {kParameterKeys[2], std::string("Calibri")},
          {kParameterKeys[3], std::int64_t{5}}};
}

void Event::set() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    flag_ = true;
  }
  cv_.notify_all();
}

void Event::clear() {
  std::lock_guard<std::mutex> lock(mu_);
  flag_ = false;
}

bool Event::is_set() const {
  std::lock_guard<std::mutex> lock(mu_);
  return flag_;
}

bool Event::wait_for(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mu_);
  return cv_.wait_for(lock, timeout, [this] { return flag_; });
}

void Queue::put(Queue_Item item) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    items_.push_back(std::move(item));
  }
  cv_.notify_one();
}

Queue_Item Queue::take() {
  std::unique_lock<std::mutex> lock(mu_);
  cv_.wait(lock, [this] { return !items_.empty(); });
  Queue_Item item = std::move(items_.front());
  items_.pop_front();
  return item;
}

std::optional<Queue_Item> Queue::take_for(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mu_);
  if (!cv_.wait_for(lock, timeout, [this] { return !items_.empty(); })) return std::nullopt;
  Queue_Item item = std::move(items_.front());
  items_.pop_front();
  return item;
}

bool Queue::empty() const {
  std::lock_guard<std::mutex> lock(mu_);
  return items_.empty();
}

size_t Queue::size() const {
  std::lock_guard<std::mutex> lock(mu_);
  return items_.size();
}

Event& Event_Map::add(const std::string& name) {
  auto& slot = events_[name];
  if (!slot) slot = std::make_unique<Event>();
  return *slot;
}

Event& Event_Map::at(const std::string& name) {
  auto it = events_.find(name);
  if (it == events_.end()) throw std::out_of_range("no event named '" + name + "'");
  return *it->second;
}

bool Event_Map::contains(const std::string& name) const { return events_.count(name) != 0; }

Queue& Queue_Map::add(const std::string& name) {
  auto& slot = queues_[name];
  if (!slot) slot = std::make_unique<Queue>();
  return *slot;
}

Queue& Queue_Map::at(const std::string& name) {
  auto it = queues_.find(name);
  if (it == queues_.end()) throw std::out_of_range("no queue named '" + name + "'");
  return *it->second;
}

bool Queue_Map::contains(const std::string& name) const { return queues_.count(name) != 0; }

std::unique_ptr<Shared_Maps> make_shared_maps() {
  auto maps = std::make_unique<Shared_Maps>();
  maps->Event_All_variable.add(kBusy);
  maps->Event_All_variable.add(kEnd);
  maps->Event_All_variable.add(kStopSearch);
  maps->Queue_All_variable.add(kStartData);
  maps->Queue_All_variable.add(kBusy);
  maps->Queue_All_variable.add(kEnd);
  return maps;
}

void send_stop_signals(Queue_Map& queues, Event_Map& events) {
  queues.at(kEnd).put(std::monostate{});
  events.at(kEnd).set();
  queues.at(kStartData).put(std::monostate{});
}

}  // namespace travo
