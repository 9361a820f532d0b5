#pragma once
// The four analyses the program runs. The setup file gives them as the
// numbers 1 to 4; the enumerators keep those numbers.

#include <cstdint>

namespace orthaxis::analysis {

enum class AnalysisType : std::int32_t {
  kCrossProducts = 1,   // uncentred sums of cross products
  kCovariances = 2,
  kCorrelations = 3,
  kCorrespondence = 4,  // correspondence analysis of a table of amounts
};

// The setup file's number; the caller has checked that it lies in 1..4.
inline AnalysisType analysis_type_of(std::int32_t number) {
  return static_cast<AnalysisType>(number);
}

// Covariances and correlations are centred on the variable means.
inline bool centred(AnalysisType t) {
  return t == AnalysisType::kCovariances || t == AnalysisType::kCorrelations;
}

}  // namespace orthaxis::analysis
