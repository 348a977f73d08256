// patent-site: serves the local stand-in for the patent office's search site
// until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <exception>
#include <iostream>
#include <string_view>
#include <vector>

#include "travo/patent_site/command_line.h"
#include "travo/patent_site/patent_site.h"

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

  // Block the stop signals before any thread starts, so that every server
  // thread inherits the mask and sigwait below is the only receiver.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  try {
    Patent_Site site(cl.options);
    std::cout << "patent-site listening on " << site.base_url() << std::endl;
    int received = 0;
    sigwait(&stop_signals, &received);
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
