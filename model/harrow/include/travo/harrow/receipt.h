// The search worker's entry point.
//
// receipt() serves start-data commands from the queue "起始數據" one at a time
// until it finds the event "end" set after a take. Per command it runs one
// search session against the patent site, pages through the results, puts
// progress messages on the queue "get_receipt" and saves the search list.
// Every command ends with the message "$$$檢索報告完成$$$"; no failure ever
// leaves receipt().
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "travo/channel/shared_maps.h"
#include "travo/harrow/spider_travo.h"
#include "travo/http/session.h"
#include "travo/platform/paths.h"

namespace travo::harrow {

// How one command ended, for callers that need more than the messages.
struct Command_Outcome {
  bool failed = false;        // a failure description was sent
  std::string failure;        // that description ("" when none)
  int pages = 0;              // result pages with hits taken
  long long hits = 0;         // rows written to the search list
};

struct Receipt_Options {
  std::string site = kDefaultSite;  // scheme and host (and port)
  // Where the search list is written, as the system writes paths (mapped
  // by the platform layer).
  std::string output_path{platform::kSearchListFile};
  std::chrono::milliseconds empty_page_wait{5000};
  int empty_page_attempts = 3;                // fetches of an empty page 0
  int max_pages = 200;
  http::Options http;                         // time-outs and body limit
  // Called on the worker thread after each command's completion marker has
  // been put. Must not throw.
  std::function<void(const Command_Outcome&)> on_command_done;
};

void receipt(Queue_Map& Queue_All_variable, Event_Map& Event_All_variable,
             const Receipt_Options& options = {});

}  // namespace travo::harrow
