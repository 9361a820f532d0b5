#include "export/label_choice.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numeric>

namespace orthaxis::svg {

namespace {

std::optional<double> number_after(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return std::nullopt;
  text.remove_prefix(prefix.size());
  double v = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || !std::isfinite(v))
    return std::nullopt;
  return v;
}

}  // namespace

std::optional<LabelChoice> parse_label_choice(std::string_view text) {
  using K = LabelChoice::Kind;
  if (text == "all") return LabelChoice{K::kAll, 0};
  if (text == "none") return LabelChoice{K::kNone, 0};
  if (auto v = number_after(text, "top:"); v && *v >= 1 && *v == std::floor(*v) && *v < 1e9)
    return LabelChoice{K::kTop, *v};
  if (auto v = number_after(text, "cos2:"); v && *v >= 0 && *v <= 1) return LabelChoice{K::kCos2, *v};
  if (auto v = number_after(text, "contrib:"); v && *v >= 0 && *v <= 100)
    return LabelChoice{K::kContrib, *v};
  return std::nullopt;
}

std::vector<char> chosen_labels(const LabelChoice& choice, std::size_t points,
                                std::span<const double> cos2, std::span<const double> contrib,
                                bool default_all) {
  using K = LabelChoice::Kind;
  std::vector<char> chosen(points, 0);
  switch (choice.kind) {
    case K::kDefault: std::fill(chosen.begin(), chosen.end(), default_all ? 1 : 0); break;
    case K::kAll: std::fill(chosen.begin(), chosen.end(), 1); break;
    case K::kNone: break;
    case K::kCos2:
      for (std::size_t i = 0; i < points && i < cos2.size(); ++i) chosen[i] = cos2[i] >= choice.value;
      break;
    case K::kContrib:
      for (std::size_t i = 0; i < points && i < contrib.size(); ++i)
        chosen[i] = contrib[i] >= choice.value;
      break;
    case K::kTop: {
      // The largest contributions, ties to the lower index.
      std::vector<std::size_t> order(std::min(points, contrib.size()));
      std::iota(order.begin(), order.end(), std::size_t{0});
      auto key = [&](std::size_t i) { return std::isfinite(contrib[i]) ? contrib[i] : -1.0; };
      std::stable_sort(order.begin(), order.end(),
                       [&](std::size_t a, std::size_t b) { return key(a) > key(b); });
      const auto n = static_cast<std::size_t>(choice.value);
      for (std::size_t r = 0; r < order.size() && r < n; ++r) chosen[order[r]] = 1;
      break;
    }
  }
  return chosen;
}

}  // namespace orthaxis::svg
