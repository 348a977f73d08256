#include "travo/patent_site/session_store.h"

namespace travo::patent_site {

Session_Store::Session_Store(size_t capacity)
    : capacity_(capacity == 0 ? 1 : capacity), rng_(std::random_device{}()) {}

std::string Session_Store::random_token(size_t hex_digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  while (out.size() < hex_digits) {
    std::uint64_t r = rng_();
    for (int i = 0; i < 16 && out.size() < hex_digits; ++i, r >>= 4) out.push_back(kHex[r & 15]);
  }
  return out;
}

Session Session_Store::create(std::string search_text) {
  std::lock_guard lock(mu_);
  Session s;
  do {
    s.id = random_token(32);
  } while (sessions_.count(s.id) > 0);
  // Looks like an ASP.NET view state; only equality matters.
  s.viewstate = "/wEPDwUK" + random_token(24) + "ZGQ=";
  s.action_query = "@@0." + std::to_string(1000 + rng_() % 9000);
  s.search_text = std::move(search_text);

  while (sessions_.size() >= capacity_ && !order_.empty()) {
    auto oldest = order_.begin();
    sessions_.erase(oldest->second);
    serial_of_.erase(oldest->second);
    order_.erase(oldest);
  }
  const std::uint64_t serial = next_serial_++;
  order_.emplace(serial, s.id);
  serial_of_.emplace(s.id, serial);
  sessions_.emplace(s.id, s);
  return s;
}

std::optional<Session> Session_Store::find(std::string_view id) const {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  return it->second;
}

bool Session_Store::update(const Session& session) {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(session.id);
  if (it == sessions_.end()) return false;
  it->second = session;
  return true;
}

std::optional<Session> Session_Store::rotate(std::string_view id) {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return std::nullopt;
  Session s = it->second;
  sessions_.erase(it);
  auto serial_it = serial_of_.find(id);
  const std::uint64_t serial = serial_it->second;
  serial_of_.erase(serial_it);
  do {
    s.id = random_token(32);
  } while (sessions_.count(s.id) > 0);
  order_[serial] = s.id;
  serial_of_.emplace(s.id, serial);
  sessions_.emplace(s.id, s);
  return s;
}

int Session_Store::count_page0_get(std::string_view id) {
  std::lock_guard lock(mu_);
  auto it = sessions_.find(id);
  if (it == sessions_.end()) return 0;
  return ++it->second.page0_gets;
}

std::uint64_t Session_Store::random_id() {
  std::lock_guard lock(mu_);
  return rng_();
}

size_t Session_Store::size() const {
  std::lock_guard lock(mu_);
  return sessions_.size();
}

}  // namespace travo::patent_site
