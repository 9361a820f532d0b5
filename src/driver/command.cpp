#include "driver/command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <system_error>

#include "driver/import.h"
#include "driver/run.h"
#include "driver/setup.h"
#include "textio/console.h"
#include "textio/directory.h"
#include "textio/io_error.h"
#include "textio/messages.h"

namespace orthaxis::driver {

namespace {
constexpr const char* kStopLine = " STOP  ";

int fail(textio::Console& console, const char* what) {
  console.finish();
  std::fprintf(stderr, "ORTHAXIS: %s\n", what);
  return 2;
}

// Why a run cannot be held in `dir`, as entering it would fail: a missing
// path, one that is not a directory, or one that cannot be searched.
std::error_code unusable_directory(const std::string& dir) {
  struct stat s;
  if (::stat(dir.c_str(), &s) != 0) return {errno, std::generic_category()};
  if (!S_ISDIR(s.st_mode)) return std::make_error_code(std::errc::not_a_directory);
  if (::access(dir.c_str(), X_OK) != 0) return {errno, std::generic_category()};
  return {};
}

// The table becomes the files of DIR before the run starts there.
bool import(const Options& options) {
  try {
    const ImportSummary s = import_table(options);
    if (!options.quiet)
      std::printf("ORTHAXIS: %s imported into %s: %lld objects, %lld variables, %lld missing\n",
                  options.import_file.c_str(), options.dir.empty() ? "." : options.dir.c_str(),
                  static_cast<long long>(s.objects), static_cast<long long>(s.variables),
                  static_cast<long long>(s.missing));
    return true;
  } catch (const textio::IoError& e) {
    std::fprintf(stderr, "ORTHAXIS: %s\n", import_failure(e).c_str());
    return false;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ORTHAXIS: %s\n", e.what());
    return false;
  }
}

}  // namespace

int run_command(const Options& options) {
  if (options.importing() && !import(options)) return 2;
  if (!options.dir.empty()) {
    if (const std::error_code ec = unusable_directory(options.dir)) {
      std::fprintf(stderr, "ORTHAXIS: cannot run in directory \"%s\": %s\n", options.dir.c_str(),
                   ec.message().c_str());
      return 2;
    }
  }
  const textio::Directory dir(options.dir);
  textio::Console console;
  Options o = options;
  o.terminal = textio::is_terminal(stdout);
  try {
    run(console, o, dir);
  } catch (const AnalysisStop&) {
    console.write(kStopLine);
    console.finish();
    return 1;
  } catch (const textio::IoError& e) {
    // A person is told where and why; the front end keeps its line.
    if (options.for_person) return fail(console, textio::located_message(e).c_str());
    return fail(console, e.what());
  } catch (const SetupError& e) {
    return fail(console, e.what());
  } catch (const AllocationError& e) {
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

}  // namespace orthaxis::driver
