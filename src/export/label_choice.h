#pragma once
// Which points of a picture carry a label (--labels): all, none, the N with
// the largest contribution to the plane, or those whose quality (cos2) or
// contribution on the plane reaches a threshold.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace orthaxis::svg {

struct LabelChoice {
  enum class Kind { kDefault, kAll, kNone, kTop, kCos2, kContrib };
  Kind kind = Kind::kDefault;
  double value = 0;  // N for kTop, the threshold otherwise (cos2 0..1, contribution in percent)
};

// "all", "none", "top:N" (N >= 1), "cos2:X" (0 <= X <= 1), "contrib:X"
// (0 <= X <= 100); nothing for any other text.
std::optional<LabelChoice> parse_label_choice(std::string_view text);

// One flag per point. `cos2` and `contrib` are the points' values on the
// plane (either may be empty when the choice does not read it); the
// default labels every point when `default_all`, else none.
std::vector<char> chosen_labels(const LabelChoice& choice, std::size_t points,
                                std::span<const double> cos2, std::span<const double> contrib,
                                bool default_all);

}  // namespace orthaxis::svg
