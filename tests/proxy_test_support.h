// What the proxy tests of every system share: a site name only the test
// proxy can resolve, so a search that reaches the site went through it.
#pragma once

#include <string>

#include "travo/http/test_proxy.h"

namespace travo::harrow::test_support {

constexpr const char* kSiteName = "patent-site.test";

// A recording proxy on 127.0.0.2 that sends kSiteName to the local site.
inline http::test_support::Test_Proxy_Options proxy_options(bool require_login = false) {
  http::test_support::Test_Proxy_Options o;
  o.address = "127.0.0.2";
  o.require_login = require_login;
  o.hosts = {{kSiteName, "127.0.0.1"}};
  return o;
}

// The local site on `port`, by the name only the proxy knows.
inline std::string named_site(int port) { return std::string("http://") + kSiteName + ":" + std::to_string(port); }

}  // namespace travo::harrow::test_support
