// A map from text keys to values that remembers the order in which keys
// were first added.
//
// Iteration visits the entries in that order. Assigning to a key that is
// already present replaces its value in place: the key keeps its position.
// Lookups are by hashing, so a registry of a few hundred keys is searched in
// constant time while it is walked in registration order.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quire_model {

template <typename V>
class Ordered_Map {
 public:
  using Entry = std::pair<std::string, V>;
  using const_iterator = typename std::vector<Entry>::const_iterator;

  // Adds `key` at the end, or replaces the value of an existing `key` where
  // it stands. Returns the stored value.
  V& insert_or_assign(std::string key, V value) {
    if (auto it = index_.find(key); it != index_.end()) {
      entries_[it->second].second = std::move(value);
      return entries_[it->second].second;
    }
    index_.emplace(key, entries_.size());
    entries_.emplace_back(std::move(key), std::move(value));
    return entries_.back().second;
  }

  // The value of `key`, added at the end with a default value when missing.
  V& operator[](std::string_view key) {
    if (V* v = find(key)) return *v;
    return insert_or_assign(std::string(key), V{});
  }

  V* find(std::string_view key) {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  const V* find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &entries_[it->second].second;
  }
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  // Throws std::out_of_range naming the key when it is missing.
  const V& at(std::string_view key) const {
    if (const V* v = find(key)) return *v;
    throw std::out_of_range("no entry for the key \"" + std::string(key) + "\"");
  }
  V& at(std::string_view key) {
    if (V* v = find(key)) return *v;
    throw std::out_of_range("no entry for the key \"" + std::string(key) + "\"");
  }

  // Keys in order of first addition.
  std::vector<std::string> keys() const {
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_) out.push_back(e.first);
    return out;
  }

  std::size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void clear() {
    entries_.clear();
    index_.clear();
  }

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>> index_;
};

}  // namespace quire_model
