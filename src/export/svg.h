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

inline constexpr const char* kBiplotFile = "biplot.svg";
inline constexpr const char* kScreeFile = "scree.svg";

// Above this many objects the points are drawn translucent and, unless
// --labels asks otherwise, unlabelled.
inline constexpr std::int32_t kLabelledObjectLimit = 500;
// Above this many objects the picture shows one object per small cell of
// the plotting area (said in the picture); the tables keep every object.
inline constexpr std::int32_t kThinnedObjectLimit = 5000;
inline constexpr double kThinCell = 2.0;  // document units

// A colour-blind-safe palette (distinct in the common forms of colour blindness).
inline constexpr const char* kObjectColour = "#0072b2";    // blue
inline constexpr const char* kVariableColour = "#d55e00";  // vermilion
inline constexpr const char* kThirdColour = "#009e73";     // bluish green
inline constexpr const char* kGreyColour = "#555555";

struct Biplot {
  const results::ScoreMatrix& objects;    // at least two axes
  const results::ScoreMatrix& variables;  // same axes
  std::span<const std::string> object_labels, variable_labels;  // whole lines; empty: numbers
  // Principal component analysis: variables as arrows from the origin,
  // scaled together to the spread of the objects (the factor is printed).
  // Otherwise variables are markers in the same space as the objects.
  bool arrows = false;
  float percent1 = 0.0f, percent2 = 0.0f;  // shares of the two axes drawn
  std::int32_t axis1 = 0, axis2 = 1;        // the axes drawn, 0-based
  // Which points carry a label, one flag per point; empty: every variable,
  // and every object up to kLabelledObjectLimit objects.
  std::span<const char> object_labelled{}, variable_labelled{};
  double thin_cell = kThinCell;  // the cell of the thinned display, in document units
};

// The two axes with one unit the same length on both, tick marks with
// values on both, every point at its coordinate; the labels placed without
// overlap (export/label_placement.h).
std::string biplot(const Biplot& b);

// One bar per positive eigenvalue (at most 30) with its percentage, and the
// cumulative percentage as a line.
std::string scree(const results::Eigensystem& eigen);

// Text for an SVG document: the XML special characters escaped, bytes that
// are not valid UTF-8 and control characters replaced by '?'.
std::string xml_text(std::string_view text);

// The objects that biplot(b) draws (all with finite coordinates, or one a
// cell when thinned), in index order.
std::vector<std::size_t> drawn_objects(const Biplot& b);

// Writes scree.svg, and biplot.svg when both of its axes are retained, into `dir`.
void write_pictures(const textio::Directory& dir, const Biplot& b,
                    const results::Eigensystem& eigen);

}  // namespace orthaxis::svg
