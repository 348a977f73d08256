// The worker's side of the proxy: the setting found for a search handed to
// the HTTP layer, and what the user reads when the proxy fails.
//
// A proxy failure is told apart from a site failure: the message names the
// proxy and where it was set, never the site as unreachable. The texts:
//
//   無法連線到代理伺服器 P（步驟）；代理伺服器設定於 來源
//   代理伺服器 P 要求登入，以目前的 Windows 帳號登入失敗（步驟）；代理伺服器設定於 來源
//   代理伺服器 P 要求登入，登入失敗（步驟）；代理伺服器設定於 來源
//   代理伺服器 P 無法轉接到檢索網站（步驟，HTTP N）；代理伺服器設定於 來源
//
// where P is the proxy without credentials, 步驟 the step of the search
// ("送出檢索", "讀取結果頁", ...), and 來源 one of "環境變數 https_proxy" (the
// variable's name), "Windows 的 Proxy 設定（手動 Proxy 設定）", "Windows 的
// Proxy 設定（設定指令碼 URL）", "Windows 的 Proxy 設定（自動偵測設定）".
#pragma once

#include <string>

#include "travo/http/session.h"
#include "travo/platform/proxy.h"

namespace travo::harrow {

// Where `setting` was found, in the words of the messages ("" when it names
// no proxy).
std::string proxy_source_text(const platform::Proxy_Setting& setting);

// `setting` as the HTTP layer takes it, with proxy_source_text() as its
// description.
http::Proxy http_proxy(const platform::Proxy_Setting& setting);

// The user's message for a failed proxy during the step `what`.
std::string proxy_failure_message(const http::Proxy_Error& error, const std::string& what);

}  // namespace travo::harrow
