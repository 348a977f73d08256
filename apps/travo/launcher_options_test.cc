#include "launcher_options.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace travo::app {
namespace {

Launcher_Options parse(std::vector<std::string> args, Launcher_Environment env = {}) {
  return parse_launcher_options(args, env);
}

TEST(LauncherOptions, SiteComesFromTheCommandLineThenTheEnvironmentThenTheDefault) {
  EXPECT_EQ(parse({}).site, "http://127.0.0.1:8631");
  EXPECT_EQ(parse({}, {"http://env:1", ""}).site, "http://env:1");
  EXPECT_EQ(parse({"--site", "http://cli:2"}, {"http://env:1", ""}).site, "http://cli:2");
  EXPECT_EQ(parse({"--site=https://cli:3"}).site, "https://cli:3");

  EXPECT_EQ(parse({}).product_host, "localhost");
  EXPECT_EQ(parse({}, {"", "www.example.com"}).product_host, "www.example.com");
  EXPECT_EQ(parse({"--product-host", "a.example"}, {"", "www.example.com"}).product_host, "a.example");

  const Launcher_Options preview = parse({"--preview"});
  EXPECT_TRUE(preview.preview);
  EXPECT_FALSE(preview.help);
  EXPECT_TRUE(parse({"-h"}).help);
}

TEST(LauncherOptions, BadUsageIsRejectedWithTheOffendingArgument) {
  auto message = [](std::vector<std::string> args, Launcher_Environment env = {}) -> std::string {
    try {
      parse(args, env);
    } catch (const std::invalid_argument& e) {
      return e.what();
    }
    return "(accepted)";
  };
  EXPECT_NE(message({"--site"}).find("--site"), std::string::npos);
  EXPECT_NE(message({"--verbose"}).find("--verbose"), std::string::npos);
  EXPECT_NE(message({"石墨烯"}).find("石墨烯"), std::string::npos);
  EXPECT_NE(message({"--site", "127.0.0.1:8631"}).find("127.0.0.1:8631"), std::string::npos);
  EXPECT_NE(message({}, {"ftp://x", ""}).find("ftp://x"), std::string::npos);
  EXPECT_NE(message({"--product-host", "https://a.example"}).find("--product-host"), std::string::npos);
}

}  // namespace
}  // namespace travo::app
