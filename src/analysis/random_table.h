#pragma once
// Random two-way tables of counts with given row and column totals, each
// table as likely as under independence with those margins (the
// hypergeometric law of a table given its margins), by Patefield's method:
// the cells are drawn one after another, row by row, each from its law
// given the cells drawn before it; the last cell of a row and the last row
// follow from the margins.
//
// A cell's law is hypergeometric. It is drawn by inversion from its mode
// outwards (mode, mode + 1, mode - 1, mode + 2, ...), the weights taken
// relative to the mode's by the ratio of neighbouring probabilities, and
// their sum, in that order, in place of the normalising constant; a side
// stops where its weight falls below 2^-64 of the sum. Only +, -, * and /
// in double precision are used, so every machine draws the same tables.

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/keyed_random.h"

namespace orthaxis::analysis {

// A draw from the hypergeometric law: `draws` items taken without
// replacement from `population` of which `marked` are marked; the number
// of marked ones. `weights` is work space.
std::int64_t hypergeometric(std::int64_t population, std::int64_t marked, std::int64_t draws,
                            KeyedStream& stream, std::vector<double>& weights);

// Fills `table` (rows x columns, row after row) with a random table whose
// totals are `row_totals` and `column_totals` (equal sums, none negative).
void random_table(std::span<const std::int64_t> row_totals,
                  std::span<const std::int64_t> column_totals, KeyedStream& stream,
                  std::span<std::int64_t> table, std::vector<double>& weights);

}  // namespace orthaxis::analysis
