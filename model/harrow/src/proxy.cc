#include "travo/harrow/proxy.h"

namespace travo::harrow {

std::string proxy_source_text(const platform::Proxy_Setting& setting) {
  switch (setting.source) {
    case platform::Proxy_Source::environment:
      return "環境變數 " + setting.origin;
    case platform::Proxy_Source::manual:
      return "Windows 的 Proxy 設定（手動 Proxy 設定）";
    case platform::Proxy_Source::script:
      return "Windows 的 Proxy 設定（設定指令碼 " + setting.origin + "）";
    case platform::Proxy_Source::detected:
      return "Windows 的 Proxy 設定（自動偵測設定）";
    case platform::Proxy_Source::none:
      break;
  }
  return "";
}

http::Proxy http_proxy(const platform::Proxy_Setting& setting) {
  return http::Proxy{setting.proxy, setting.no_proxy, setting.system_login, proxy_source_text(setting)};
}

std::string proxy_failure_message(const http::Proxy_Error& error, const std::string& what) {
  const std::string where = "；代理伺服器設定於" + error.description();
  switch (error.failure()) {
    case http::Proxy_Error::Failure::login:
      return "代理伺服器 " + error.proxy() + " 要求登入，" +
             (error.system_login() ? "以目前的 Windows 帳號登入失敗（" : "登入失敗（") + what + "）" + where;
    case http::Proxy_Error::Failure::refused:
      return "代理伺服器 " + error.proxy() + " 無法轉接到檢索網站（" + what + "，HTTP " +
             std::to_string(error.status()) + "）" + where;
    case http::Proxy_Error::Failure::unreachable:
      break;
  }
  return "無法連線到代理伺服器 " + error.proxy() + "（" + what + "）" + where;
}

}  // namespace travo::harrow
