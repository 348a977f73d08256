// patent-site: serves the local stand-in for the patent office's search site
// until asked to stop (SIGINT or SIGTERM; Ctrl+C or Ctrl+Break on Windows).
#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "travo/patent_site/command_line.h"
#include "travo/patent_site/patent_site.h"
#include "travo/platform/stop_request.h"

int main(int argc, char** argv) {
  using namespace travo::patent_site;
  std::vector<std::string_view> args(argv + 1, argv + argc);
  Command_Line cl;
  try {
    cl = parse_command_line(args);
  } catch (const std::exception& e) {
    std::cerr << "patent-site: " << e.what() << "\n(try --help)\n";
    return 2;
  }
  if (cl.help) {
    std::cout << usage();
    return 0;
  }

  // Before any server thread starts (they inherit the blocked signals).
  travo::platform::prepare_stop_request();

  try {
    Patent_Site site(cl.options);
    std::cout << "patent-site listening on " << site.base_url() << std::endl;
    travo::platform::wait_for_stop_request();
    site.stop();
  } catch (const std::invalid_argument& e) {
    std::cerr << "patent-site: " << e.what() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "patent-site: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
