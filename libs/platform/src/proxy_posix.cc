// POSIX systems have no proxy settings of their own that programs share:
// the environment decides, or nothing does.
#include "proxy_rules.h"
#include "travo/platform/environment.h"
#include "travo/platform/proxy.h"

namespace travo::platform {

Proxy_Setting find_proxy(std::string_view site) {
  const std::optional<proxy_rules::Address> address = proxy_rules::parse_address(site);
  if (!address) return {};
  std::optional<Proxy_Setting> setting = proxy_rules::from_environment(
      *address, [](std::string_view name) { return environment_variable(name); });
  return setting.value_or(Proxy_Setting{});
}

}  // namespace travo::platform
