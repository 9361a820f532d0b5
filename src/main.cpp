// Reads the command line and runs the program it asks for; the exit status
// is 0 at a normal end, 1 at an analysis stop, 2 at an input/output, setup,
// allocation or usage failure.

#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "driver/command.h"
#include "driver/options.h"
#include "textio/console.h"
#include "textio/quote.h"

namespace {
int usage_error(const std::string& what) {
  std::fprintf(stderr, "ORTHAXIS: %s; %s\n", orthaxis::textio::escape_controls(what).c_str(),
               std::string(orthaxis::driver::usage_line()).c_str());
  return 2;
}
}  // namespace

int run_program(int argc, char** argv);

int main(int argc, char** argv) {
  // Every allocation failure ends with the program's own line.
  try {
    return run_program(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("ORTHAXIS: not enough memory\n", stderr);
    return 2;
  }
}

int run_program(int argc, char** argv) {
  using namespace orthaxis;
  textio::prepare_standard_streams();
  // Nothing is read, created or changed before the whole command line is
  // understood: a mistyped option never starts the analysis.
  driver::Options options;
  try {
    std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    options = driver::parse_options(args);
  } catch (const driver::UsageError& e) {
    return usage_error(e.what());
  }
  if (options.help) {
    std::fputs(std::string(driver::help_text()).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  if (options.version) {
    std::printf("orthaxis %s\n", std::string(driver::kVersion).c_str());
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  return driver::run_command(options);
}
