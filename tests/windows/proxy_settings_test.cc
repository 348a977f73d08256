// The proxy of the Windows Internet settings, set in this test's own Wine
// prefix as the settings page writes it: both WinHTTP's binary value
// DefaultConnectionSettings and WinINet's ProxyEnable / ProxyServer /
// ProxyOverride / AutoConfigURL (Windows keeps them in step; Wine's WinHTTP
// reads only the first). Every case restores what it found.
//
// The proxy listens on 127.0.0.2: Wine's WinHTTP mishandles a proxy on the
// site's own host. A site named "patent-site.test" is known to the proxy
// alone, so a search that reaches it went through the proxy.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "travo/harrow/receipt.h"
#include "travo/http/test_proxy.h"
#include "travo/patent_site/patent_site.h"
#include "travo/platform/environment.h"
#include "travo/platform/process.h"
#include "travo/platform/proxy.h"
#include "travo/platform/socket.h"
#include "travo/platform/utf8.h"
#include "proxy_test_support.h"
#include "worker_harness.h"

namespace travo::harrow {
namespace {

using test_support::kSiteName;
using test_support::proxy_options;
using http::test_support::Test_Proxy;
using patent_site::Patent_Site;
using platform::Proxy_Setting;
using platform::Proxy_Source;

constexpr const wchar_t* kInternetSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const wchar_t* kConnections =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// One value under HKEY_CURRENT_USER, as it was.
struct Saved_Value {
  const wchar_t* key;
  const wchar_t* name;
  std::optional<std::vector<BYTE>> data;
  DWORD type = REG_NONE;
};

Saved_Value read_value(const wchar_t* key, const wchar_t* name) {
  Saved_Value v{key, name, std::nullopt};
  DWORD size = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, &v.type, nullptr, &size) == ERROR_SUCCESS) {
    std::vector<BYTE> data(size);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY, &v.type, data.data(), &size) == ERROR_SUCCESS) {
      data.resize(size);
      v.data = std::move(data);
    }
  }
  return v;
}

void write_value(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(h);
}

void delete_value(const wchar_t* key, const wchar_t* name) { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name); }

void write_text(const wchar_t* key, const wchar_t* name, const std::string& text) {
  const std::wstring wide = platform::utf16_from_utf8(text);
  write_value(key, name, REG_SZ, wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

// The Internet settings of this prefix's user, changed by a case and put
// back as they were.
class Internet_Settings {
 public:
  Internet_Settings() {
    for (const auto& [key, name] : {std::pair{kConnections, L"DefaultConnectionSettings"},
                                    std::pair{kInternetSettings, L"ProxyEnable"},
                                    std::pair{kInternetSettings, L"ProxyServer"},
                                    std::pair{kInternetSettings, L"ProxyOverride"},
                                    std::pair{kInternetSettings, L"AutoConfigURL"}}) {
      saved_.push_back(read_value(key, name));
    }
  }
  ~Internet_Settings() {
    for (const Saved_Value& v : saved_) {
      if (v.data) write_value(v.key, v.name, v.type, v.data->data(), static_cast<DWORD>(v.data->size()));
      else delete_value(v.key, v.name);
    }
  }

  // "Use a proxy server" with `proxy` and the exceptions `bypass`; the
  // script, if given, is set too (Windows tries it first).
  void set(const std::string& proxy, const std::string& bypass, const std::string& script = "") {
    // Flags of DefaultConnectionSettings: 1 direct, 2 proxy, 4 script,
    // 8 automatic detection (left off: no WPAD here).
    const std::uint32_t flags = 1u | (proxy.empty() ? 0u : 2u) | (script.empty() ? 0u : 4u);
    std::vector<BYTE> blob;
    auto put32 = [&blob](std::uint32_t v) {
      for (int i = 0; i < 4; ++i) blob.push_back(static_cast<BYTE>(v >> (8 * i)));
    };
    auto put_text = [&](const std::string& s) {
      put32(static_cast<std::uint32_t>(s.size()));
      blob.insert(blob.end(), s.begin(), s.end());
    };
    put32(0x46);         // the layout's version
    put32(++changes_);   // Windows counts the changes
    put32(flags);
    put_text(proxy);
    put_text(bypass);
    put_text(script);
    blob.resize(blob.size() + 32, 0);  // the detection state Windows keeps after them
    write_value(kConnections, L"DefaultConnectionSettings", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));

    const DWORD enable = proxy.empty() ? 0 : 1;
    write_value(kInternetSettings, L"ProxyEnable", REG_DWORD, &enable, sizeof enable);
    if (!proxy.empty()) write_text(kInternetSettings, L"ProxyServer", proxy);
    if (!bypass.empty()) write_text(kInternetSettings, L"ProxyOverride", bypass);
    if (!script.empty()) write_text(kInternetSettings, L"AutoConfigURL", script);
    else delete_value(kInternetSettings, L"AutoConfigURL");
  }

 private:
  std::vector<Saved_Value> saved_;
  std::uint32_t changes_ = 100;
};

class WindowsProxySettings : public test_support::Worker_Harness {
 protected:
  std::string named_site() const { return test_support::named_site(site_.port()); }

  Internet_Settings settings_;
  Patent_Site site_;
};

TEST_F(WindowsProxySettings, TheFixedProxyCarriesTheSearchUnlessTheBypassListNamesTheSite) {
  Test_Proxy proxy(proxy_options());
  settings_.set(proxy.host_port(), "<local>;*.intranet.example");
  Proxy_Setting found = platform::find_proxy(named_site());
  EXPECT_EQ(found.proxy, proxy.url());
  EXPECT_EQ(found.source, Proxy_Source::manual);
  EXPECT_TRUE(found.system_login);

  start_worker(named_site());
  auto m = run_command("憶阻器");
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.front(), "檢索專利共 3 筆");
  EXPECT_EQ(m.back(), kDoneMarker);
  EXPECT_EQ(static_cast<int>(proxy.requests().size()), site_.request_count());
  EXPECT_GE(site_.request_count(), 3);

  settings_.set(proxy.host_port(), "<local>;*.TEST");
  EXPECT_EQ(platform::find_proxy(named_site()).proxy, "") << "a bypassed site goes directly";

  // Per-scheme values: the http entry for an http:// site.
  settings_.set("https=127.0.0.3:1;http=" + proxy.host_port(), "");
  EXPECT_EQ(platform::find_proxy(named_site()).proxy, proxy.url());
  EXPECT_EQ(platform::find_proxy("https://patent-site.test/").proxy, "http://127.0.0.3:1");
}

TEST_F(WindowsProxySettings, LoopbackGoesDirectlyUnlessTheBypassListSaysLoopback) {
  Test_Proxy proxy(proxy_options());
  settings_.set(proxy.host_port(), "");
  EXPECT_EQ(platform::find_proxy(site_.base_url()).proxy, "");
  start_worker(site_.base_url());
  auto m = run_command("憶阻器");
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.front(), "檢索專利共 3 筆");
  EXPECT_TRUE(proxy.requests().empty());

  settings_.set(proxy.host_port(), "<-loopback>");
  EXPECT_EQ(platform::find_proxy(site_.base_url()).proxy, proxy.url());
  m = run_command("憶阻器");
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.front(), "檢索專利共 3 筆");
  EXPECT_FALSE(proxy.requests().empty());
  EXPECT_TRUE(proxy.requests().front().target.starts_with(site_.base_url())) << proxy.requests().front().target;

  settings_.set(proxy.host_port(), "<-loopback>;127.0.0.1");
  EXPECT_EQ(platform::find_proxy(site_.base_url()).proxy, "");
}

TEST_F(WindowsProxySettings, AConfigurationScriptChoosesAndOneThatCannotBeFetchedIsPassedOver) {
  Test_Proxy proxy(proxy_options());
  httplib::Server scripts;
  const std::string pac = "function FindProxyForURL(url, host) {\n"
                          "  if (host == \"" + std::string(kSiteName) + "\") return \"PROXY " + proxy.host_port() +
                          "; DIRECT\";\n"
                          "  return \"DIRECT\";\n}\n";
  scripts.Get("/proxy.pac", [&pac](const httplib::Request&, httplib::Response& res) {
    res.set_content(pac, "application/x-ns-proxy-autoconfig");
  });
  const int port = scripts.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&scripts] { scripts.listen_after_bind(); });
  while (!scripts.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string script = "http://127.0.0.1:" + std::to_string(port) + "/proxy.pac";

  settings_.set("", "", script);
  Proxy_Setting found = platform::find_proxy(named_site());
  EXPECT_EQ(found.proxy, proxy.url());
  EXPECT_EQ(found.source, Proxy_Source::script);
  EXPECT_EQ(found.origin, script);
  found = platform::find_proxy("http://other.example/");
  EXPECT_EQ(found.proxy, "");
  EXPECT_EQ(found.source, Proxy_Source::script);

  start_worker(named_site());
  auto m = run_command("憶阻器");
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.front(), "檢索專利共 3 筆");
  EXPECT_EQ(static_cast<int>(proxy.requests().size()), site_.request_count());

  // A script nobody serves: the fixed proxy beside it.
  int refusing = 0;
  const platform::Socket bound = platform::loopback_socket(false, refusing);
  settings_.set("127.0.0.3:8080", "", "http://127.0.0.1:" + std::to_string(refusing) + "/proxy.pac");
  found = platform::find_proxy(named_site());
  EXPECT_EQ(found.proxy, "http://127.0.0.3:8080");
  EXPECT_EQ(found.source, Proxy_Source::manual);
  platform::close_socket(bound);

  scripts.stop();
  serving.join();
}

struct Cli_Result {
  int status = -1;
  std::string out;
};

Cli_Result travo_search(const std::vector<std::string>& args) {
  platform::Process_Options o;
  o.argv = {platform::environment_variable("TRAVO_BIN_DIR").value_or("bin") + "/travo-search.exe"};
  o.argv.insert(o.argv.end(), args.begin(), args.end());
  o.remove_environment = {"TRAVO_SITE", "http_proxy", "https_proxy", "all_proxy", "no_proxy"};
  const platform::Run_Result r = platform::run(o, std::chrono::minutes(5));
  Cli_Result result{r.status.code, r.output};
  std::erase(result.out, '\r');
  return result;
}

// travo-search.exe as a user starts it: no variable, only the settings.
TEST_F(WindowsProxySettings, TravoSearchFollowsTheSettingsAndNamesAProxyThatWantsALogin) {
  Test_Proxy proxy(proxy_options());
  settings_.set(proxy.host_port(), "<local>");
  Cli_Result r = travo_search({"--site", named_site(), "憶阻器"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("經由代理伺服器 " + proxy.url() +
                       " 連線檢索網站；代理伺服器設定於Windows 的 Proxy 設定（手動 Proxy 設定）\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("檢索專利共 3 筆"), std::string::npos) << r.out;
  EXPECT_EQ(static_cast<int>(proxy.requests().size()), site_.request_count());

  // A proxy that wants a login the Windows logon does not satisfy.
  Test_Proxy login(proxy_options(true));
  settings_.set(login.host_port(), "<local>");
  r = travo_search({"--site", named_site(), "憶阻器"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("代理伺服器 " + login.url() +
                       " 要求登入，以目前的 Windows 帳號登入失敗（送出檢索）；代理伺服器設定於Windows 的 Proxy "
                       "設定（手動 Proxy 設定）\n"),
            std::string::npos)
      << r.out;
}

}  // namespace
}  // namespace travo::harrow
