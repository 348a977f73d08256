#include "travo/patent_site/patent_site.h"
#include "travo/text/ascii.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "travo/patent_site/info_code.h"
#include "travo/patent_site/matcher.h"
#include "travo/patent_site/session_store.h"
#include "travo/patent_site/web_text.h"

namespace travo::patent_site {
namespace {

constexpr size_t kMaxRecords = 10000;
constexpr const char* kHtml = "text/html; charset=utf-8";

void check_options(const Options& o) {
  auto fail = [](const std::string& what) { throw std::invalid_argument(what); };
  if (o.port < 0 || o.port > 65535) fail("port must be 0..65535, got " + std::to_string(o.port));
  if (o.patents < 0 || o.patents > 1000000) {
    fail("patent count must be 0..1000000, got " + std::to_string(o.patents));
  }
  if (o.hits_per_page < 1 || o.hits_per_page > 1000) {
    fail("hits per page must be 1..1000, got " + std::to_string(o.hits_per_page));
  }
  if (o.delay.count() < 0) fail("delay must not be negative");
  if (o.empty_page0 < 0) fail("empty page-0 count must not be negative");
  const std::pair<const char*, std::optional<int>> pages[] = {
      {"drop", o.drop_page},         {"short-titles", o.short_titles_page},
      {"stall", o.stall_page},       {"huge", o.huge_page},
      {"invalid-utf8", o.invalid_utf8_page}, {"error500", o.error500_page},
      {"redirect-loop", o.redirect_loop_page}, {"rotate-cookie", o.rotate_cookie_page},
      {"captcha", o.captcha_page}};
  for (const auto& [name, page] : pages) {
    if (page && (*page < 0 || *page > 255)) {
      fail(std::string(name) + " page must be 0..255, got " + std::to_string(*page));
    }
  }
}

bool is_page(const std::optional<int>& fault, int page) { return fault && *fault == page; }

std::string session_cookie(const std::string& id) {
  return std::string(kSessionCookie) + "=" + id + "; Path=/; HttpOnly";
}

}  // namespace

struct Patent_Site::Impl {
  explicit Impl(Options o)
      : options((check_options(o), std::move(o))),
        corpus(generate_corpus(options.patents, options.seed)),
        matcher(corpus) {}

  void handle(const httplib::Request& req, httplib::Response& res);
  void record(Request_Record rec);
  void dispatch(const httplib::Request& req, httplib::Response& res, Request_Record& rec);
  void first_post(const httplib::Request& req, httplib::Response& res, const Fields& fields);
  void second_post(const httplib::Request& req, httplib::Response& res, const Fields& fields,
                   std::string_view query);
  void page_get(const httplib::Request& req, httplib::Response& res, std::string_view query,
                Request_Record& rec);
  std::optional<Session> session_of(const httplib::Request& req) const;
  std::string render_page(const Session& s, int page, bool with_hits, bool with_count) const;

  void fail(httplib::Response& res, int status, std::string_view message) const {
    res.status = status;
    res.set_content(error_page(status, message), kHtml);
  }
  // Sleeps for `d` unless the site stops first; false when it stopped.
  bool pause(std::chrono::milliseconds d) {
    std::unique_lock lock(stop_mu);
    return !stop_cv.wait_for(lock, d, [&] { return stopping; });
  }
  bool is_stopping() const {
    std::lock_guard lock(stop_mu);
    return stopping;
  }

  const Options options;
  const std::vector<Patent> corpus;
  const Matcher matcher;
  Session_Store sessions;

  httplib::Server server;
  std::thread thread;
  std::atomic<bool> listen_returned{false};
  int port = 0;
  std::mutex lifecycle_mu;  // serialises stop()

  mutable std::mutex stop_mu;
  std::condition_variable stop_cv;
  bool stopping = false;

  mutable std::mutex stats_mu;
  std::map<int, int> page_fetches;
  int requests = 0;
  int posts = 0;
  int errors = 0;
  std::deque<Request_Record> records;
};

void Patent_Site::Impl::handle(const httplib::Request& req, httplib::Response& res) {
  Request_Record rec;
  rec.method = req.method;
  rec.target = req.target;
  rec.headers.assign(req.headers.begin(), req.headers.end());
  rec.body = req.body;
  if (options.delay.count() > 0 && !pause(options.delay)) {
    fail(res, 503, "服務已停止");
  } else {
    dispatch(req, res, rec);
  }
  rec.status = res.status;
  record(std::move(rec));
}

void Patent_Site::Impl::record(Request_Record rec) {
  std::lock_guard lock(stats_mu);
  ++requests;
  if (rec.method == "POST") ++posts;
  if (rec.status >= 400) ++errors;
  records.push_back(std::move(rec));
  while (records.size() > kMaxRecords) records.pop_front();
}

void Patent_Site::Impl::dispatch(const httplib::Request& req, httplib::Response& res,
                                 Request_Record& rec) {
  const std::string_view target = req.target;
  const size_t q = target.find('?');
  const std::string path = percent_decode(target.substr(0, q));
  const bool has_query = q != std::string_view::npos && q + 1 < target.size();
  const std::string_view query = has_query ? target.substr(q + 1) : std::string_view{};

  if (options.maintenance) {
    res.status = 503;
    res.set_header("Retry-After", "3600");
    res.set_content(maintenance_page(), kHtml);
    return;
  }
  if (path != kEntryPath) return fail(res, 404, "找不到網頁：" + path);
  res.set_header("Cache-Control", "private");

  if (req.method == "GET" || req.method == "HEAD") {
    if (!has_query) {
      res.status = 200;
      res.set_content(search_page("/wEPDwUKMTY1NDU2MTA1MmRkZ2VuZXJpYw=="), kHtml);
      return;
    }
    return page_get(req, res, query, rec);
  }
  if (req.method != "POST") return fail(res, 405, "不支援的要求方法：" + req.method);

  const std::string type = text::ascii_lower(req.get_header_value("Content-Type"));
  if (type.rfind("application/x-www-form-urlencoded", 0) != 0) {
    return fail(res, 400, "表單內容格式錯誤：需要 application/x-www-form-urlencoded");
  }
  const Fields fields = parse_form(req.body);
  if (!has_query) return first_post(req, res, fields);
  second_post(req, res, fields, query);
}

std::optional<Session> Patent_Site::Impl::session_of(const httplib::Request& req) const {
  for (size_t i = 0, n = req.get_header_value_count("Cookie"); i < n; ++i) {
    if (auto id = cookie_value(req.get_header_value("Cookie", i), kSessionCookie)) {
      if (auto s = sessions.find(*id)) return s;
    }
  }
  return std::nullopt;
}

void Patent_Site::Impl::first_post(const httplib::Request&, httplib::Response& res,
                                   const Fields& fields) {
  const std::string x = std::string(kImageButton) + ".x";
  const std::string y = std::string(kImageButton) + ".y";
  if (!field(fields, x) || !field(fields, y)) {
    return fail(res, 400, "未按下檢索按鈕：缺少欄位 " + x + " / " + y);
  }
  const Session s = sessions.create(field(fields, kSearchField).value_or(""));
  res.status = 200;
  res.set_header("Set-Cookie", session_cookie(s.id));
  if (options.no_form) {
    res.set_content(busy_page(), kHtml);
    return;
  }
  const std::string action = "travobkm?" + s.action_query;
  res.set_content(reply_form_page({action, s.viewstate, s.search_text}), kHtml);
}

void Patent_Site::Impl::second_post(const httplib::Request& req, httplib::Response& res,
                                    const Fields& fields, std::string_view query) {
  std::optional<Session> s = session_of(req);
  if (!s) return fail(res, 403, "檢索階段已逾時或不存在：缺少有效的 TRAVOSID cookie，請重新檢索。");
  if (percent_decode(query) != s->action_query) {
    return fail(res, 400, "表單送出位址錯誤：此檢索階段的表單位址為 travobkm?" + s->action_query);
  }
  const auto viewstate = field(fields, "__VIEWSTATE");
  if (!viewstate || *viewstate != s->viewstate) {
    return fail(res, 400, "檢視狀態 (__VIEWSTATE) 無效或不屬於此檢索階段。");
  }
  if (field(fields, "__VIEWSTATEGENERATOR") != std::optional<std::string>(kViewStateGenerator)) {
    return fail(res, 400, "缺少或錯誤的隱藏欄位 __VIEWSTATEGENERATOR。");
  }
  if (!field(fields, "__EVENTTARGET") || !field(fields, "__EVENTARGUMENT")) {
    return fail(res, 400, "缺少隱藏欄位 __EVENTTARGET / __EVENTARGUMENT。");
  }

  if (auto text = field(fields, kSearchField)) s->search_text = *text;
  auto hits = std::make_shared<const std::vector<size_t>>(matcher.search(s->search_text));
  s->info = make_info(sessions.random_id(), hits->size(), options.short_info);
  s->hits = std::move(hits);
  s->page0_gets = 0;
  sessions.update(*s);

  res.status = 200;
  res.set_content(render_page(*s, 0, true, !options.no_count), kHtml);
}

void Patent_Site::Impl::page_get(const httplib::Request& req, httplib::Response& res,
                                 std::string_view query, Request_Record& rec) {
  std::optional<Session> s = session_of(req);
  if (!s) return fail(res, 403, "檢索階段已逾時或不存在：缺少有效的 TRAVOSID cookie，請重新檢索。");
  if (s->info.empty()) return fail(res, 400, "此檢索階段尚未執行檢索，沒有結果清單。");
  const Page_Query_Check check = check_page_query(s->info, percent_decode(query));
  if (!check.ok()) return fail(res, 400, "結果頁查詢字串錯誤：" + check.error);
  const int page = check.page;
  rec.page = page;
  {
    // Counted on arrival, so that a stalled fetch is already visible.
    std::lock_guard lock(stats_mu);
    ++page_fetches[page];
  }

  if (is_page(options.stall_page, page)) {
    std::unique_lock lock(stop_mu);
    stop_cv.wait(lock, [&] { return stopping; });
    lock.unlock();
    return fail(res, 503, "服務已停止");
  }
  if (is_page(options.captcha_page, page)) {
    res.status = 200;
    res.set_content(captcha_page("travobkm?" + s->action_query), kHtml);
    return;
  }
  if (is_page(options.error500_page, page)) {
    return fail(res, 500, "伺服器發生錯誤 (Server Error in '/travo2' Application)。");
  }
  if (is_page(options.redirect_loop_page, page)) {
    res.set_redirect("http://" + req.get_header_value("Host") + req.target, 302);
    res.set_content("<html><body><h2>Object moved</h2></body></html>\n", kHtml);
    return;
  }
  if (is_page(options.huge_page, page)) {
    res.status = 200;
    res.set_content_provider(
        kHugePageBytes, kHtml, [this](size_t offset, size_t length, httplib::DataSink& sink) {
          static const std::string prefix = "<!DOCTYPE html>\n<html><body><p>";
          static const std::string filler(64 * 1024, 'x');
          if (is_stopping()) return false;
          if (offset == 0) return sink.write(prefix.data(), prefix.size());
          return sink.write(filler.data(), std::min(length, filler.size()));
        });
    return;
  }
  if (is_page(options.rotate_cookie_page, page)) {
    if (auto rotated = sessions.rotate(s->id)) {
      s = std::move(rotated);
      res.set_header("Set-Cookie", session_cookie(s->id));
    }
  }
  bool with_hits = true;
  bool with_count = !options.no_count;
  if (page == 0 && options.empty_page0 > 0 &&
      sessions.count_page0_get(s->id) <= options.empty_page0) {
    with_hits = false;
    with_count = false;
  }

  std::string body = render_page(*s, page, with_hits, with_count);
  res.status = 200;
  if (is_page(options.drop_page, page)) {
    // Declare the whole length, send half, then give up: the client sees
    // the connection close in the middle of the body.
    auto shared = std::make_shared<const std::string>(std::move(body));
    const size_t half = shared->size() / 2;
    res.set_content_provider(shared->size(), kHtml,
                             [shared, half](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset >= half) return false;
                               return sink.write(shared->data() + offset, half - offset);
                             });
    return;
  }
  res.set_content(std::move(body), kHtml);
}

std::string Patent_Site::Impl::render_page(const Session& s, int page, bool with_hits,
                                           bool with_count) const {
  const std::vector<size_t>& all = *s.hits;
  const size_t per_page = static_cast<size_t>(options.hits_per_page);
  const size_t first = std::min(all.size(), static_cast<size_t>(page) * per_page);
  const size_t last = with_hits ? std::min(all.size(), first + per_page) : first;
  std::vector<const Patent*> hits;
  hits.reserve(last - first);
  for (size_t i = first; i < last; ++i) hits.push_back(&corpus[all[i]]);

  const std::string count = options.count_text ? *options.count_text
                                               : format_count(all.size(), options.count_separators);
  const std::string action = "travobkm?" + s.action_query;
  Result_View view;
  view.action = action;
  view.viewstate = s.viewstate;
  view.info = s.info;
  view.show_count = with_count && !(options.no_count_when_empty && all.empty());
  view.count_text = count;
  view.page = page;
  view.first_rank = first;
  view.total_hits = all.size();
  view.hits = hits;
  view.drop_last_title = is_page(options.short_titles_page, page) && !hits.empty();
  view.invalid_utf8 = is_page(options.invalid_utf8_page, page);
  return result_page(view);
}

Patent_Site::Patent_Site(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {
  Impl& im = *impl_;
  im.server.new_task_queue = [] { return new httplib::ThreadPool(24); };
  // Short keep-alive so that stop() does not wait long on idle connections.
  im.server.set_keep_alive_timeout(1);
  im.server.set_keep_alive_max_count(100);
  // Headers and body go out in separate writes; without this, Nagle's
  // algorithm and delayed ACKs add 40 ms to every keep-alive request.
  im.server.set_tcp_nodelay(true);
  // Requests the HTTP library refuses itself (malformed bodies, bad ranges)
  // still get an HTML error page and a record.
  im.server.set_error_handler([&im](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty() || res.content_provider_) return;  // one of ours
    res.set_content(error_page(res.status, "要求無法處理。"), kHtml);
    Request_Record rec;
    rec.method = req.method;
    rec.target = req.target;
    rec.headers.assign(req.headers.begin(), req.headers.end());
    rec.status = res.status;
    im.record(std::move(rec));
  });
  im.server.set_exception_handler(
      [&im](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "unknown error";
        try {
          if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
          what = e.what();
        } catch (...) {
        }
        im.fail(res, 500, "伺服器內部錯誤：" + what);
      });
  auto handler = [&im](const httplib::Request& req, httplib::Response& res) { im.handle(req, res); };
  im.server.Get(".*", handler);
  im.server.Post(".*", handler);

  const std::string& host = im.options.host;
  if (im.options.port == 0) {
    im.port = im.server.bind_to_any_port(host);
  } else {
    im.port = im.server.bind_to_port(host, im.options.port) ? im.options.port : -1;
  }
  if (im.port <= 0) {
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(im.options.port));
  }
  im.thread = std::thread([&im] {
    im.server.listen_after_bind();
    im.listen_returned = true;
  });
  // stop() only takes effect once the server runs; wait for that here so
  // that a site stopped right after construction cannot hang.
  while (!im.server.is_running() && !im.listen_returned) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

Patent_Site::~Patent_Site() { stop(); }

void Patent_Site::stop() {
  Impl& im = *impl_;
  std::lock_guard lifecycle(im.lifecycle_mu);
  {
    std::lock_guard lock(im.stop_mu);
    im.stopping = true;
  }
  im.stop_cv.notify_all();
  im.server.stop();
  if (im.thread.joinable()) im.thread.join();
}

int Patent_Site::port() const { return impl_->port; }

std::string Patent_Site::base_url() const {
  const std::string& host = impl_->options.host;
  const bool v6 = host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port);
}

std::string Patent_Site::entry_url() const { return base_url() + std::string(kEntryPath); }

const Options& Patent_Site::options() const { return impl_->options; }

int Patent_Site::page_fetches(int page) const {
  std::lock_guard lock(impl_->stats_mu);
  auto it = impl_->page_fetches.find(page);
  return it == impl_->page_fetches.end() ? 0 : it->second;
}

std::map<int, int> Patent_Site::page_fetch_counts() const {
  std::lock_guard lock(impl_->stats_mu);
  return impl_->page_fetches;
}

int Patent_Site::request_count() const {
  std::lock_guard lock(impl_->stats_mu);
  return impl_->requests;
}

int Patent_Site::post_count() const {
  std::lock_guard lock(impl_->stats_mu);
  return impl_->posts;
}

int Patent_Site::error_count() const {
  std::lock_guard lock(impl_->stats_mu);
  return impl_->errors;
}

std::vector<Request_Record> Patent_Site::requests() const {
  std::lock_guard lock(impl_->stats_mu);
  return {impl_->records.begin(), impl_->records.end()};
}

size_t Patent_Site::session_count() const { return impl_->sessions.size(); }

void Patent_Site::reset_counters() {
  std::lock_guard lock(impl_->stats_mu);
  impl_->page_fetches.clear();
  impl_->requests = impl_->posts = impl_->errors = 0;
  impl_->records.clear();
}

const std::vector<Patent>& Patent_Site::corpus() const { return impl_->corpus; }

std::vector<size_t> Patent_Site::search(std::string_view query) const {
  return impl_->matcher.search(query);
}

}  // namespace travo::patent_site
