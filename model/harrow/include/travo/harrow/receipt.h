// The search worker's entry point.
//
// receipt() serves start-data commands from the queue "起始數據" one at a time
// until it finds the event "end" set after a take. Per command it runs one
// search session against the patent site, pages through the results, puts
// progress messages on the queue "get_receipt" and saves the search list.
// Every command ends with the message "$$$檢索報告完成$$$"; no failure ever
// leaves receipt().
//
// The event "stop_search" (when the maps hold it) stops the command being
// served: the worker looks at it before each result page, and a request in
// flight is cut short through the HTTP layer, so only complete pages count.
// The rows read so far are saved, "已停止檢索，檢索列表含已讀取的 N 筆" is
// sent, then the completion marker. The worker clears the event when it
// takes a command, so a stop set while it waits stops nothing.
//
// Page 0 without hits, after its retries, ends the command as a search
// whose hits are exhausted (the header row alone is saved) when it is a
// result list page: a form with the hidden INFO input, or a count element,
// and no count above 0. Otherwise it is a page the site should not have
// sent (a captcha, a maintenance notice, a redesign), a failure that leaves
// the previous search list alone. A later page without hits while the
// count says more remain is such a page too; it saves the rows read. Either
// way the message is "檢索網站回覆了無法辨識的頁面（第 N 頁），可能網站維護中或已改版"
// (N 1-based), followed by the page's title in brackets when it has one.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "travo/channel/shared_maps.h"
#include "travo/harrow/spider_travo.h"
#include "travo/http/session.h"
#include "travo/platform/paths.h"
#include "travo/platform/proxy.h"

namespace travo::harrow {

// How one command ended, for callers that need more than the messages.
struct Command_Outcome {
  bool failed = false;        // a failure description was sent
  bool stopped = false;       // ended by a stop, with the rows read saved
  std::string failure;        // that description ("" when none)
  int pages = 0;              // result pages with hits taken
  long long hits = 0;         // rows written to the search list
};

struct Receipt_Options {
  std::string site = kDefaultSite;  // scheme and host (and port)
  // Where `site` came from and where to change it (Spider_Config::site_where).
  std::string site_where;
  // Where the search list is written, as the system writes paths (mapped
  // by the platform layer).
  std::string output_path{platform::kSearchListFile};
  std::chrono::milliseconds empty_page_wait{5000};
  int empty_page_attempts = 3;                // fetches of an empty page 0
  int max_pages = 200;
  http::Options http;                         // time-outs and body limit
  // Finds the proxy for the site once per command, unless http.proxy
  // already names one; empty: libcurl reads the environment itself.
  std::function<platform::Proxy_Setting(std::string_view site)> find_proxy = platform::find_proxy;
  // Called on the worker thread after each command's completion marker has
  // been put. Must not throw.
  std::function<void(const Command_Outcome&)> on_command_done;
  // Called on the worker thread after each result page with hits has been
  // taken (rows appended, lines put), with the number of such pages so far;
  // lets tests act between two pages. Must not throw.
  std::function<void(int pages)> on_page_read;
};

void receipt(Queue_Map& Queue_All_variable, Event_Map& Event_All_variable,
             const Receipt_Options& options = {});

}  // namespace travo::harrow
