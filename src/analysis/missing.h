#pragma once
// Missing values and the three forms they take: the data file marks one by a
// negative number, the CSV table that --import reads holds NaN for an empty
// or NA cell, and a group of objects being scored holds kGroupAbsent. Every
// conversion from one form to another is one of the functions here.

#include <cmath>
#include <limits>

namespace orthaxis::analysis {

// A value of the data file is present exactly when x >= 0 holds (negative or
// NaN: missing).
inline bool present(float x) { return x >= 0.0f; }

// A missing cell of a CSV table.
inline constexpr float kMissingCell = std::numeric_limits<float>::quiet_NaN();
inline bool missing_cell(float cell) { return std::isnan(cell); }

// The value a missing cell becomes in the data file.
inline constexpr float kMissingInData = -1.0f;
// A cell of a CSV table as the data file holds it.
inline float data_value(float cell) { return missing_cell(cell) ? kMissingInData : cell; }

// Stands for a missing value in a group of objects being scored; the group's
// sums skip values equal to it.
inline constexpr float kGroupAbsent = -123456.7f;
// The group's value for the data value x, whose centred (and scaled) form is
// `centred`.
inline float group_value(float x, float centred) { return present(x) ? centred : kGroupAbsent; }
inline bool group_present(float g) { return g != kGroupAbsent; }

}  // namespace orthaxis::analysis
