// Maps the outcome of a run to its exit status: 0 normal end, 1 analysis
// stop, 2 input/output, setup or allocation failure.

#include <cstdio>
#include <exception>
#include <new>

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
}  // namespace

int main() {
  using namespace orthaxis;
  textio::prepare_standard_streams();
  textio::Console console;
  try {
    driver::run(console);
  } catch (const driver::AnalysisStop&) {
    console.write(kStopLine);
    console.finish();
    return 1;
  } catch (const textio::IoError& e) {
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
  console.write(kStopLine);
  console.finish();
  return 0;
}
