#include "travo/patent_site/command_line.h"

#include <charconv>
#include <functional>
#include <map>
#include <stdexcept>

namespace travo::patent_site {
namespace {

long long parse_number(std::string_view flag, std::string_view text, long long lo, long long hi) {
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) {
    throw std::invalid_argument(std::string(flag) + ": not a number: \"" + std::string(text) + "\"");
  }
  if (value < lo || value > hi) {
    throw std::invalid_argument(std::string(flag) + ": " + std::string(text) + " is outside " +
                                std::to_string(lo) + ".." + std::to_string(hi));
  }
  return value;
}

}  // namespace

std::string usage() {
  return "usage: patent-site [options]\n"
         "Serves a local stand-in for the patent office's patent-search site.\n"
         "\n"
         "  --host H                 address to listen on (default 127.0.0.1)\n"
         "  --port P                 port, 0 for any free port (default 0)\n"
         "  --patents N              corpus size (default 5000)\n"
         "  --seed S                 corpus seed (default 1)\n"
         "  --hits-per-page N        hits per result page (default 10)\n"
         "  --delay-ms D             delay before every response\n"
         "  --help                   this text\n"
         "\n"
         "Fault switches (page numbers are 0-based):\n"
         "  --drop-page N            close the connection halfway through page N\n"
         "  --no-count               no hit count element\n"
         "  --no-count-when-empty    a search without hits gets result pages without the count\n"
         "  --count-separators       hit count with thousands separators (5,123)\n"
         "  --count-text TEXT        hit count element shows TEXT\n"
         "  --short-titles-page N    page N has one title fewer than numbers\n"
         "  --empty-page0 K          first K fetches of page 0 per session have no hits\n"
         "  --no-form                the first post's reply has no form\n"
         "  --stall-page N           never answer page N\n"
         "  --huge-page N            answer page N with a 100 MB body\n"
         "  --invalid-utf8-page N    page N's titles hold invalid UTF-8 bytes\n"
         "  --error500-page N        answer page N with HTTP 500\n"
         "  --redirect-loop-page N   redirect page N to itself\n"
         "  --rotate-cookie-page N   new session cookie on page N, old one forgotten\n"
         "  --short-info             30-character INFO value\n"
         "  --captcha-page N         answer page N with a captcha form (no hits, no count)\n"
         "  --maintenance            answer every request with a maintenance notice (HTTP 503)\n"
         "\n"
         "Prints \"patent-site listening on http://HOST:PORT\" once ready; stops on\n"
         "SIGINT or SIGTERM.\n";
}

Command_Line parse_command_line(std::span<const std::string_view> args) {
  Command_Line cl;
  Options& o = cl.options;
  using Setter = std::function<void(std::string_view flag, std::string_view value)>;
  auto page = [](std::optional<int>& slot) {
    return [&slot](std::string_view f, std::string_view v) {
      slot = static_cast<int>(parse_number(f, v, 0, 255));
    };
  };
  const std::map<std::string_view, Setter> with_value = {
      {"--host",
       [&](std::string_view f, std::string_view v) {
         if (v.empty()) throw std::invalid_argument(std::string(f) + ": empty host");
         o.host = std::string(v);
       }},
      {"--port", [&](auto f, auto v) { o.port = static_cast<int>(parse_number(f, v, 0, 65535)); }},
      {"--patents",
       [&](auto f, auto v) { o.patents = static_cast<int>(parse_number(f, v, 0, 1000000)); }},
      {"--seed",
       [&](auto f, auto v) { o.seed = static_cast<unsigned>(parse_number(f, v, 0, 4294967295LL)); }},
      {"--hits-per-page",
       [&](auto f, auto v) { o.hits_per_page = static_cast<int>(parse_number(f, v, 1, 1000)); }},
      {"--delay-ms",
       [&](auto f, auto v) { o.delay = std::chrono::milliseconds(parse_number(f, v, 0, 3600000)); }},
      {"--count-text", [&](auto, auto v) { o.count_text = std::string(v); }},
      {"--empty-page0",
       [&](auto f, auto v) { o.empty_page0 = static_cast<int>(parse_number(f, v, 0, 1000000)); }},
      {"--drop-page", page(o.drop_page)},
      {"--short-titles-page", page(o.short_titles_page)},
      {"--stall-page", page(o.stall_page)},
      {"--huge-page", page(o.huge_page)},
      {"--invalid-utf8-page", page(o.invalid_utf8_page)},
      {"--error500-page", page(o.error500_page)},
      {"--redirect-loop-page", page(o.redirect_loop_page)},
      {"--rotate-cookie-page", page(o.rotate_cookie_page)},
      {"--captcha-page", page(o.captcha_page)},
  };
  const std::map<std::string_view, bool*> switches = {
      {"--no-count", &o.no_count},
      {"--no-count-when-empty", &o.no_count_when_empty},
      {"--count-separators", &o.count_separators},
      {"--no-form", &o.no_form},
      {"--short-info", &o.short_info},
      {"--maintenance", &o.maintenance},
      {"--help", &cl.help},
  };

  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    std::optional<std::string_view> inline_value;
    if (const size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
      inline_value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    if (auto it = switches.find(arg); it != switches.end()) {
      if (inline_value) throw std::invalid_argument(std::string(arg) + " takes no value");
      *it->second = true;
      continue;
    }
    auto it = with_value.find(arg);
    if (it == with_value.end()) {
      throw std::invalid_argument("unknown argument: " + std::string(args[i]));
    }
    if (!inline_value) {
      if (i + 1 >= args.size()) throw std::invalid_argument(std::string(arg) + " needs a value");
      inline_value = args[++i];
    }
    it->second(arg, *inline_value);
  }
  return cl;
}

}  // namespace travo::patent_site
