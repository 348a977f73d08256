// The Windows build of libcurl: TLS through Schannel (the system's own
// certificate store, no CA bundle named), zlib for compressed responses,
// and plain HTTP over the Windows socket layer.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

TEST(WindowsCurl, UsesSchannelAndZlib) {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  ASSERT_NE(info, nullptr);
  ASSERT_NE(info->ssl_version, nullptr);
  EXPECT_NE(std::string(info->ssl_version).find("Schannel"), std::string::npos)
      << info->ssl_version;
  EXPECT_TRUE(info->features & CURL_VERSION_SSL);
  EXPECT_TRUE(info->features & CURL_VERSION_LIBZ);
  std::printf("libcurl %s, TLS backend %s, zlib %s\n", info->version,
              info->ssl_version, info->libz_version ? info->libz_version : "-");
}

// Schannel checks certificates against the Windows certificate store only
// when no CA file or folder is named; a default one would replace the store.
TEST(WindowsCurl, NamesNoCaFileSoTheSystemStoreIsTheTrustStore) {
  CURL* curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  char* ca_file = nullptr;
  char* ca_path = nullptr;
  EXPECT_EQ(curl_easy_getinfo(curl, CURLINFO_CAINFO, &ca_file), CURLE_OK);
  EXPECT_EQ(curl_easy_getinfo(curl, CURLINFO_CAPATH, &ca_path), CURLE_OK);
  EXPECT_EQ(ca_file, nullptr) << ca_file;
  EXPECT_EQ(ca_path, nullptr) << ca_path;
  curl_easy_cleanup(curl);
}

size_t append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

TEST(WindowsCurl, FetchesCompressedPageOverLoopback) {
  const std::string page(20000, 'x');
  httplib::Server server;
  server.Get("/page", [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(page, "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  // The socket listens already: connections wait in its backlog until the
  // loop below accepts them.
  std::thread loop([&] { server.listen_after_bind(); });

  CURL* curl = curl_easy_init();
  ASSERT_NE(curl, nullptr);
  std::string body;
  std::string url = "http://127.0.0.1:" + std::to_string(port) + "/page";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_off_t wire_bytes = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(curl, CURLINFO_SIZE_DOWNLOAD_T, &wire_bytes);
  curl_easy_cleanup(curl);
  server.stop();
  loop.join();

  ASSERT_EQ(rc, CURLE_OK) << curl_easy_strerror(rc);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body, page);
  EXPECT_LT(wire_bytes, static_cast<curl_off_t>(page.size()));  // it came gzipped
}

}  // namespace
