#include "travo/harrow/receipt.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>
#include <thread>

#include "diag.h"
#include "travo/harrow/extract.h"
#include "travo/harrow/proxy.h"
#include "travo/harrow/search_list.h"
#include "travo/harrow/spider_travo.h"
#include "travo/html/document.h"
#include "travo/platform/paths.h"

namespace travo::harrow {
namespace {

std::string describe(const std::exception_ptr& e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& ex) {
    return ex.what();
  } catch (...) {
    return "未知的錯誤";
  }
}

// Entry i of `list`, or a failure naming the column and the page.
const std::string& entry(const Page_Data& data, const char* key, size_t i, int page) {
  const std::vector<std::string>& list = data.at(key);
  if (i >= list.size()) {
    throw std::out_of_range("第 " + std::to_string(page + 1) + " 頁的「" + key + "」只有 " +
                            std::to_string(list.size()) + " 筆，少於公開號的 " +
                            std::to_string(data.at("公開號").size()) + " 筆");
  }
  return list[i];
}

// The site answered a page that is neither a result page nor the end of
// the list. On page 1 nothing has been read: the previous list is kept.
class Unrecognised_Page : public std::runtime_error {
 public:
  Unrecognised_Page(int page_number, const std::optional<std::string>& title)
      : std::runtime_error(unrecognised_page_message(page_number, title)), first_page(page_number == 1) {}
  bool first_page;
};

class Command_Runner {
 public:
  Command_Runner(Queue& messages, const Event* stop, const Receipt_Options& options)
      : messages_(messages), stop_(stop), options_(options) {}

  // Serves one command; throws the failure that ends it.
  void serve(const Start_Data& start_data) {
    Spider_TRAVO spider(false, Spider_Config{options_.site, options_.site_where, http_options()});
    spider.add_keyword(text_form(start_data.at(kCommandKey)));
    const std::filesystem::path target = platform::local_path(options_.output_path);
    int pages = 0;
    Search_List list;
    try {
      spider.run();
      spider.get_info();
      bool patents_number_ok = true;
      page_loop(spider, list, pages, patents_number_ok);
    } catch (const http::Aborted&) {
      stopped_ = true;  // the request in flight does not count
    } catch (const Unrecognised_Page& e) {
      outcome_.pages = pages;
      if (e.first_page) throw;
      list.finish(target);
      throw;
    } catch (...) {
      outcome_.pages = pages;
      // Before the page loop there is no list yet: a failure there leaves
      // the previous file alone.
      if (list_started_) list.finish(target);  // a failure here replaces the page loop's
      throw;
    }
    outcome_.pages = pages;
    list.finish(target);
    if (stopped_) {
      outcome_.stopped = true;
      put("已停止檢索，檢索列表含已讀取的 " + std::to_string(outcome_.hits) + " 筆");
    }
  }

  Command_Outcome& outcome() { return outcome_; }

 private:
  void put(std::string text) { messages_.put(std::move(text)); }
  bool stop_requested() const { return stop_ != nullptr && stop_->is_set(); }

  // The caller's HTTP options, with requests cut short by a stop, and the
  // proxy of this command.
  http::Options http_options() const {
    http::Options o = options_.http;
    if (!o.proxy && options_.find_proxy) {
      o.proxy = http_proxy(options_.find_proxy(options_.site));
      if (!o.proxy->address.empty()) {
        diag_line("經由代理伺服器 " + platform::proxy_for_display(o.proxy->address) + " 連線檢索網站；代理伺服器設定於" +
                  o.proxy->description);
      }
    }
    if (stop_ != nullptr) {
      o.abort_requested = [stop = stop_, outer = options_.http.abort_requested] {
        return stop->is_set() || (outer && outer());
      };
    }
    return o;
  }

  // An empty page: the end of the list, or a page the site should not have
  // sent.
  void judge_empty_page(const Spider_TRAVO& spider, int pages) {
    const html::Document doc = html::Document::parse(spider.resp_enter->body);
    if (pages == 0) {
      // A search without hits still gets a result list page: the form with
      // the hidden INFO input, with a count of 0 or none at all. A captcha,
      // a notice or a redesign has neither the form nor the count. A count
      // above 0 with no hits is no empty search either.
      const std::optional<std::string> count = find_count(doc);
      bool count_above_zero = false;
      try {
        count_above_zero = count && parse_count(*count) > 0;
      } catch (const std::invalid_argument&) {
        // A count that is no number says nothing about the hits.
      }
      if (count_above_zero || (!count && !has_result_form(doc))) {
        throw Unrecognised_Page(1, page_title(doc));
      }
      return;
    }
    if (!spider.patents_number) return;
    long long announced = 0;
    try {
      announced = parse_count(*spider.patents_number);
    } catch (const std::invalid_argument&) {
      return;
    }
    if (outcome_.hits < std::min(announced, kMaxListedHits)) throw Unrecognised_Page(pages + 1, page_title(doc));
  }

  void page_loop(Spider_TRAVO& spider, Search_List& list, int& pages, bool& patents_number_ok) {
    list_started_ = true;
    int empty_first_pages = 0;
    for (;;) {
      if (stop_requested()) {
        stopped_ = true;
        return;
      }
      spider.to_patent(pages, 1);
      // An error status would read as "no more hits" and pass a cut-short
      // list off as complete; report it instead.
      if (spider.resp_enter && spider.resp_enter->status >= 400) {
        throw std::runtime_error("檢索網站回覆錯誤（HTTP " + std::to_string(spider.resp_enter->status) +
                                 "，第 " + std::to_string(pages + 1) + " 頁），檢索列表只含之前各頁的結果");
      }
      Page_Data data = spider.get_data();
      const size_t n = data.at("公開號").size();
      if (n == 0 && pages == 0) {
        if (++empty_first_pages >= options_.empty_page_attempts) {
          judge_empty_page(spider, pages);
          return;
        }
        if (stop_ != nullptr) stop_->wait_for(options_.empty_page_wait);  // a stop ends the wait
        else std::this_thread::sleep_for(options_.empty_page_wait);
      } else if (n == 0) {
        judge_empty_page(spider, pages);
        return;
      } else {
        if (patents_number_ok && spider.patents_number) {
          patents_number_ok = false;
          try {
            put("檢索專利共 " + *spider.patents_number + " 筆");
            if (parse_count(*spider.patents_number) > kMaxListedHits) {
              put("檢索專利超過 2000 筆，僅會擷取前 2000 筆數據");
            }
            put("");
          } catch (...) {
            put(describe(std::current_exception()));
          }
        }
        put("檢索專利如下:\n");
        std::string batch_data;
        for (size_t i = 0; i < n; ++i) {
          batch_data += entry(data, "公開號", i, pages);
          batch_data += " --> ";
          batch_data += entry(data, "標題", i, pages);
          batch_data += '\n';
          list.append_row({entry(data, "公開號", i, pages), entry(data, "標題", i, pages),
                           entry(data, "申請日", i, pages), entry(data, "公開(公告)日", i, pages),
                           entry(data, "申請號", i, pages), entry(data, "申請人", i, pages)});
          ++outcome_.hits;
        }
        put(std::move(batch_data));
        ++pages;
        if (options_.on_page_read) options_.on_page_read(pages);
      }
      if (pages >= options_.max_pages) return;
    }
  }

  Queue& messages_;
  const Event* stop_;  // null when the maps have no stop event
  const Receipt_Options& options_;
  Command_Outcome outcome_;
  bool stopped_ = false;
  bool list_started_ = false;
};

}  // namespace

void receipt(Queue_Map& Queue_All_variable, Event_Map& Event_All_variable,
             const Receipt_Options& options) {
  for (;;) {
    Command_Outcome outcome;
    bool have_messages = false;
    try {
      Event& busy = Event_All_variable.at(kBusy);
      Queue& messages = Queue_All_variable.at(kBusy);
      have_messages = true;
      busy.clear();
      Queue_Item item = Queue_All_variable.at(kStartData).take();
      if (Event_All_variable.at(kEnd).is_set()) return;
      // A stop set while the worker waited belongs to no search.
      Event* stop = Event_All_variable.contains(kStopSearch) ? &Event_All_variable.at(kStopSearch) : nullptr;
      if (stop) stop->clear();
      busy.set();

      const Start_Data* start_data = std::get_if<Start_Data>(&item);
      if (!start_data) throw std::invalid_argument("起始數據不是檢索命令");
      Command_Runner runner(messages, stop, options);
      try {
        runner.serve(*start_data);
      } catch (...) {
        outcome = runner.outcome();
        throw;
      }
      outcome = runner.outcome();
      messages.put(std::string(kDoneMarker));
    } catch (...) {
      outcome.failed = true;
      outcome.failure = describe(std::current_exception());
      if (!have_messages) {
        // Without a message queue there is nobody to tell and nothing to wait
        // on: the maps are unusable, so stop rather than spin.
        diag_line("receipt: " + outcome.failure);
        return;
      }
      Queue& messages = Queue_All_variable.at(kBusy);
      messages.put(outcome.failure);
      messages.put(std::string(kDoneMarker));
    }
    if (options.on_command_done) {
      try {
        options.on_command_done(outcome);
      } catch (...) {
      }
    }
  }
}

}  // namespace travo::harrow
