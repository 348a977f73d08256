// Command line and environment of the travo launcher.
//
//   travo [--site URL] [--product-host HOST] [--preview] [--help]
//
// --site names the patent site's base address (else TRAVO_SITE, else the
// user's setting, else the bundled local site: see site_option.h).
// --product-host names the web host of the product page opened by the help
// icon (else TRAVO_PRODUCT_HOST, else the front end's default).
// --preview shows the window alone, without a worker. Options take their
// value as the next argument or after "=". Qt's own options (-platform ...)
// are taken out by QApplication before these are parsed.
#pragma once

#include <span>
#include <string>

#include "site_option.h"

namespace travo::app {

struct Launcher_Options {
  std::string site;
  std::string site_where;  // where it came from, for the worker's messages
  std::string product_host;
  bool preview = false;
  bool help = false;
};

// Values from the environment and the user's settings; empty when unset.
struct Launcher_Environment {
  Site_Inputs site;  // `option` unused: --site comes from the arguments
  std::string product_host;
};
Launcher_Environment read_environment();

// Parses `args` (without the program name). Throws std::invalid_argument
// with a message naming the offending argument: unknown options, words,
// missing values, a site that is not an http(s) address, a bad host.
Launcher_Options parse_launcher_options(std::span<const std::string> args, const Launcher_Environment& env);

// The text printed for --help.
std::string usage();

}  // namespace travo::app
