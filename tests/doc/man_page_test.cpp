// The manual page documents every option that --help lists.

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "driver/options.h"

namespace {

TEST(ManPage, DocumentsEveryOptionOfTheHelpText) {
  std::ifstream f(std::string(ORTHAXIS_SOURCE_DIR) + "/doc/orthaxis.1");
  std::ostringstream page;
  page << f.rdbuf();
  ASSERT_FALSE(page.str().empty());
  const std::string help(orthaxis::driver::help_text());
  const std::regex option("--([a-z][a-z-]*)");
  int found = 0;
  for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it, ++found) {
    std::string name = (*it)[1].str();
    std::string escaped;  // groff writes a hyphen in an option as \-
    for (char c : name) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.str().find("\\-\\-" + escaped), std::string::npos) << "--" << name;
  }
  EXPECT_GE(found, 12);
}

}  // namespace
