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
#include "textio/units.h"
#include "textio/messages.h"

namespace orthaxis::driver {

namespace {
constexpr const char* kStopLine = " STOP  ";

// The line of a failure on standard error. A person's run shows text from
// the data and the command line with its control characters escaped, so
// that the line stays one line and no control sequence reaches the
// terminal; the front end's run keeps its bytes.
void say(bool person, const std::string& what) {
  const std::string line = person ? textio::escape_controls(what) : what;
  std::fprintf(stderr, "ORTHAXIS: %s\n", line.c_str());
}

int fail(textio::Console& console, bool person, const std::string& what) {
  console.finish();
  say(person, what);
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
  say(options.for_person, busy_line(options));
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
    for (const std::string& notice : s.notices) say(true, notice);
    if (!options.quiet && (s.supplementary_objects > 0 || s.supplementary_variables > 0 || s.qualitative > 0))
      std::printf("ORTHAXIS: %s imported into %s: %lld objects, %lld variables, %lld missing; "
                  "supplementary: %lld objects, %lld variables, %lld qualitative\n",
                  textio::escape_controls(options.import_file).c_str(),
                  options.dir.empty() ? "." : textio::escape_controls(options.dir).c_str(),
                  static_cast<long long>(s.objects), static_cast<long long>(s.variables),
                  static_cast<long long>(s.missing), static_cast<long long>(s.supplementary_objects),
                  static_cast<long long>(s.supplementary_variables),
                  static_cast<long long>(s.qualitative));
    else if (!options.quiet)
      std::printf("ORTHAXIS: %s imported into %s: %lld objects, %lld variables, %lld missing\n",
                  textio::escape_controls(options.import_file).c_str(),
                  options.dir.empty() ? "." : textio::escape_controls(options.dir).c_str(),
                  static_cast<long long>(s.objects), static_cast<long long>(s.variables),
                  static_cast<long long>(s.missing));
    return true;
  } catch (const textio::IoError& e) {
    say(true, import_failure(e));
    return false;
  } catch (const std::bad_alloc&) {
    say(true, "not enough memory to import " + textio::quote(options.import_file));
    return false;
  } catch (const std::length_error&) {
    say(true, "not enough memory to import " + textio::quote(options.import_file));
    return false;
  } catch (const std::exception& e) {
    say(true, e.what());
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
      std::string line = "cannot run in directory " + textio::quote(options.dir) + ": " + ec.message();
      if (ec == std::errc::not_a_directory)
        line += " (to run a table: orthaxis --import " + textio::quote(options.dir) + " DIR)";
      say(true, line);
      return 2;
    }
  }
  // One run at a time in a directory: a second one changes nothing.
  if (!lock_directory(lock, options)) return 2;
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
    if (options.for_person) {
      std::string line = textio::located_message(e);
      // A directory without a setup file: perhaps a table was meant to run.
      if (e.unit() == textio::units::kSetup && e.statement() == "OPEN")
        line += " (a directory to run holds the setup file " + std::string(kSetupFile) +
                "; to run a table: orthaxis --import TABLE.csv DIR)";
      return fail(console, true, line);
    }
    return fail(console, false, e.what());
  } catch (const SetupError& e) {
    return fail(console, options.for_person, e.what());
  } catch (const AllocationError& e) {
    return fail(console, options.for_person, e.what());
  } catch (const std::bad_alloc&) {
    return fail(console, options.for_person, "not enough memory for the work arrays");
  } catch (const std::exception& e) {
    return fail(console, options.for_person, e.what());
  }
  if (!options.check) console.write(kStopLine);
  console.finish();
  return 0;
}

}  // namespace orthaxis::driver
