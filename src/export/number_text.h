#pragma once
// Numbers as the pictures and the page write them, edited from their exact
// binary value.

#include <charconv>
#include <cmath>
#include <string>

namespace orthaxis::svg {

// A coordinate or length in a document, to 2 decimals.
inline std::string num(double v) {
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 2);
  return std::string(buffer, r.ptr);
}

// A value with `decimals` decimals; empty when it is not a finite number.
inline std::string fixed(double v, int decimals) {
  if (!std::isfinite(v)) return "";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals);
  return std::string(buffer, r.ptr);
}

}  // namespace orthaxis::svg
