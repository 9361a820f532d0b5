#include "driver/command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <new>
#include <string>
#include <system_error>

#include "driver/import.h"
#include "driver/run.h"
#include "driver/setup.h"
#include "textio/console.h"
#include "textio/directory.h"
#include "textio/directory_lock.h"
#include "textio/io_error.h"
#include "textio/quote.h"

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

// The line for a directory that another run holds.
std::string busy_line(const Options& options) {
  std::error_code ec;
  const std::string dir =
      options.dir.empty() || options.dir == "." ? std::filesystem::current_path(ec).string()
                                                 : options.dir;
  return "directory " + textio::quote(dir) +
         " is in use by another run of the program (one run at a time in a directory)";
}

class DirectoryBusy : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Takes the lock on the run's directory; false (the line told) when another
// run holds it.
bool lock_directory(textio::DirectoryLock& lock, const Options& options) {
  if (lock.acquire(options.dir) != textio::DirectoryLock::Outcome::kBusy) return true;
  std::fprintf(stderr, "ORTHAXIS: %s\n", busy_line(options).c_str());
  return false;
}

// The table becomes the files of DIR before the run starts there; the
// directory's lock is taken before anything in it changes.
bool import(const Options& options, textio::DirectoryLock& lock) {
  try {
    const ImportSummary s = import_table(options, [&] {
      if (lock.acquire(options.dir) == textio::DirectoryLock::Outcome::kBusy)
        throw DirectoryBusy(busy_line(options));
    });
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
  // A person's run told "File too large" by a write ends with its one line
  // (and an import removes its unfinished file) instead of being killed.
  if (options.for_person) std::signal(SIGXFSZ, SIG_IGN);
  textio::DirectoryLock lock;
  if (options.importing() && !import(options, lock)) return 2;
  if (!options.dir.empty()) {
    if (const std::error_code ec = unusable_directory(options.dir)) {
      std::fprintf(stderr, "ORTHAXIS: cannot run in directory \"%s\": %s\n", options.dir.c_str(),
                   ec.message().c_str());
      return 2;
    }
  }
  // One run at a time in a directory: a second one changes nothing.
  if (!lock_directory(lock, options)) return 2;
  const textio::Directory dir(options.dir);
  textio::Console console;
  try {
    run(console, options, dir);
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
