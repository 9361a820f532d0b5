#pragma once
// Pictures for people, beside the report: a biplot of the first two axes and
// a scree plot of the eigenvalues, as standalone SVG documents.

#include <span>
#include <string>
#include <vector>

#include "results/eigensystem.h"
#include "results/score_matrix.h"
#include "textio/directory.h"

namespace orthaxis::svg {

// Characters of a label shown in a picture; a longer one is cut with an ellipsis.
inline constexpr std::size_t kPictureLabelLength = 40;
inline constexpr const char* kBiplotFile = "biplot.svg";
inline constexpr const char* kScreeFile = "scree.svg";

// Above this many objects the points are drawn translucent and unlabelled.
inline constexpr std::int32_t kLabelledObjectLimit = 500;

struct Biplot {
  const results::ScoreMatrix& objects;    // at least two axes
  const results::ScoreMatrix& variables;  // same axes
  std::span<const std::string> object_labels, variable_labels;  // whole lines; empty: numbers
  // Principal component analysis: variables as arrows from the origin,
  // scaled together to the spread of the objects (the factor is printed).
  // Otherwise variables are markers in the same space as the objects.
  bool arrows = false;
  float percent1 = 0.0f, percent2 = 0.0f;  // shares of axes 1 and 2
};

// Axes 1 and 2 with one unit the same length on both.
std::string biplot(const Biplot& b);

// Lines over the scree plot from the axes test, in percent of the positive
// eigenvalues, one value per axis: the broken-stick share and the parallel
// analysis' 95th percentile.
struct ScreeOverlay {
  std::vector<float> broken_stick, pa_q95;
};

// One bar per positive eigenvalue (at most 30) with its percentage, and the
// cumulative percentage as a line; with `overlay`, its lines too.
std::string scree(const results::Eigensystem& eigen, const ScreeOverlay* overlay = nullptr);

// Text for an SVG document: the XML special characters escaped, bytes that
// are not valid UTF-8, control characters and the other code points that
// XML 1.0 excludes (U+FFFE, U+FFFF) replaced by '?'.
std::string xml_text(std::string_view text);

// Writes scree.svg, and biplot.svg when there are at least two axes, into `dir`.
void write_pictures(const textio::Directory& dir, const Biplot& b,
                    const results::Eigensystem& eigen, const ScreeOverlay* overlay = nullptr);

}  // namespace orthaxis::svg
