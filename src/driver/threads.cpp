#include "driver/threads.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

#include "driver/setup.h"

namespace orthaxis::driver {

std::size_t available_cores() {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<std::size_t>(n);
  }
#endif
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? n : 1;
}

std::optional<std::size_t> thread_setting(std::string_view text) {
  std::size_t n = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || n < 1 ||
      n > kMaxThreads)
    return std::nullopt;
  return n;
}

std::string thread_setting_error(std::string_view name, std::string_view text) {
  return std::string(name) + " must be a whole number from 1 to " + std::to_string(kMaxThreads) +
         ", not \"" + std::string(text) + "\"";
}

std::size_t thread_count(std::int32_t option, std::optional<std::string_view> environment) {
  if (option > 0) return std::min<std::size_t>(static_cast<std::size_t>(option), kMaxThreads);
  if (environment) {
    const std::optional<std::size_t> n = thread_setting(*environment);
    if (!n) throw SetupError(thread_setting_error(kThreadsVariable, *environment));
    return *n;
  }
  return std::min(available_cores(), kMaxThreads);
}

std::size_t thread_count(std::int32_t option) {
  const char* env = std::getenv(kThreadsVariable);
  return thread_count(option, env ? std::optional<std::string_view>(env) : std::nullopt);
}

}  // namespace orthaxis::driver
