// The site's search sessions, keyed by the value of the session cookie.
//
// A session is created by the first post of a search and carries the form
// state issued to it (view state, form action), the search text, and once the
// form has been posted back the INFO value and the cached hit list, so that
// paging never searches again. All members are safe to call from several
// threads; sessions are handed out as copies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace travo::patent_site {

inline constexpr std::string_view kSessionCookie = "TRAVOSID";

struct Session {
  std::string id;            // cookie value
  std::string viewstate;     // must come back unchanged with the form
  std::string action_query;  // query of the form's action, "@@0.4821"
  std::string search_text;   // of the first post
  std::string info;          // empty until results were issued
  std::shared_ptr<const std::vector<size_t>> hits;  // with info
  int page0_gets = 0;        // GETs of page 0 so far
};

class Session_Store {
 public:
  // Keeps at most `capacity` sessions; the oldest is forgotten first.
  explicit Session_Store(size_t capacity = 20000);

  // Makes a session with fresh random id, view state and action.
  Session create(std::string search_text);
  std::optional<Session> find(std::string_view id) const;
  // Replaces the stored session with the same id; false when it is gone.
  bool update(const Session& session);
  // Moves a session to a new id; the old id is forgotten.
  std::optional<Session> rotate(std::string_view id);
  // Counts one GET of page 0; the count after it, or 0 for an unknown id.
  int count_page0_get(std::string_view id);
  // A random number for a new query id.
  std::uint64_t random_id();
  size_t size() const;

 private:
  std::string random_token(size_t hex_digits);  // needs mu_ held

  mutable std::mutex mu_;
  size_t capacity_;
  std::mt19937_64 rng_;
  std::uint64_t next_serial_ = 0;
  std::map<std::string, Session, std::less<>> sessions_;
  std::map<std::uint64_t, std::string> order_;  // creation serial -> id
  std::map<std::string, std::uint64_t, std::less<>> serial_of_;
};

}  // namespace travo::patent_site
