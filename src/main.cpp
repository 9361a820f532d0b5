// Reads the command line, then maps the outcome of a run to its exit status:
// 0 normal end, 1 analysis stop, 2 input/output, setup, allocation or usage
// failure.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "driver/import.h"
#include "driver/options.h"
#include "driver/run.h"
#include "driver/setup.h"
#include "textio/console.h"
#include "textio/io_error.h"

namespace {
constexpr const char* kStopLine = " STOP  ";

int fail(orthaxis::textio::Console& console, const char* what) {
  console.finish();
  std::fprintf(stderr, "ORTHAXIS: %s\n", what);
  return 2;
}

int usage_error(const std::string& what) {
  std::fprintf(stderr, "ORTHAXIS: %s; %s\n", what.c_str(),
               std::string(orthaxis::driver::usage_line()).c_str());
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
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
  if (options.importing()) {
    // The table becomes the files of DIR before the run moves there.
    try {
      const driver::ImportSummary s = driver::import_table(options);
      if (!options.quiet)
        std::printf("ORTHAXIS: %s imported into %s: %lld objects, %lld variables, %lld missing\n",
                    options.import_file.c_str(), options.dir.empty() ? "." : options.dir.c_str(),
                    static_cast<long long>(s.objects), static_cast<long long>(s.variables),
                    static_cast<long long>(s.missing));
    } catch (const textio::IoError& e) {
      std::fprintf(stderr, "ORTHAXIS: %s\n", driver::import_failure(e).c_str());
      return 2;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "ORTHAXIS: %s\n", e.what());
      return 2;
    }
  }
  if (!options.dir.empty()) {
    std::error_code ec;
    std::filesystem::current_path(options.dir, ec);
    if (ec) {
      std::fprintf(stderr, "ORTHAXIS: cannot run in directory \"%s\": %s\n", options.dir.c_str(),
                   ec.message().c_str());
      return 2;
    }
  }
  textio::Console console;
  try {
    driver::run(console, options);
  } catch (const driver::AnalysisStop&) {
    console.write(kStopLine);
    console.finish();
    return 1;
  } catch (const textio::IoError& e) {
    // A person is told where and why; the front end keeps its line.
    if (options.for_person) return fail(console, textio::located_message(e).c_str());
    return fail(console, e.what());
  } catch (const driver::SetupError& e) {
    return fail(console, e.what());
  } catch (const driver::AllocationError& e) {
    return fail(console, e.what());
  } catch (const std::bad_alloc&) {
    return fail(console, "not enough memory for the work arrays");
  } catch (const std::exception& e) {
    return fail(console, e.what());
  }
  if (!options.check) console.write(kStopLine);
  console.finish();
  return 0;
}
