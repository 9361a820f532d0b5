#pragma once
// How many threads a run uses: --threads N when given, else ORTHAXIS_THREADS
// from the environment, else every core the process may run on (its CPU
// affinity mask, as nproc counts them). The count changes only the speed of
// a run, never a byte of its output.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orthaxis::driver {

inline constexpr const char* kThreadsVariable = "ORTHAXIS_THREADS";
inline constexpr std::size_t kMaxThreads = 1024;

// `option`: the --threads value, 0 when not given. `environment`: the
// variable's text, if set. Throws SetupError for a variable that is not a
// whole number from 1 to kMaxThreads.
std::size_t thread_count(std::int32_t option, std::optional<std::string_view> environment);
// The same, reading the variable from the environment.
std::size_t thread_count(std::int32_t option);

// A thread setting given as text (--threads N or the variable): a whole
// number from 1 to kMaxThreads, or nothing.
std::optional<std::size_t> thread_setting(std::string_view text);
// The refusal of a setting, the same for the option and the variable:
// `name` is "--threads" or the variable's name.
std::string thread_setting_error(std::string_view name, std::string_view text);

// Cores in the process's CPU affinity mask (at least 1).
std::size_t available_cores();

}  // namespace orthaxis::driver
