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

// Points placed on the axes after the analysis (supplementary objects,
// variables and the centroids of the levels of a qualitative variable),
// with the level of each active object for its colour.
struct OverlayPoint {
  double x = 0, y = 0;
  std::string label;
};
struct Overlay {
  std::vector<OverlayPoint> objects, variables, centroids;
  std::vector<std::int32_t> groups;  // per active object: its level, or -1; empty: one colour
  std::vector<std::string> levels;   // of the variable that colours the objects
  std::string grouping;              // its name
};

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
  const Overlay* overlay = nullptr;  // drawn distinct from the active points
};

// The overlay's part of a biplot, in the biplot's document units: `sx`, `sy`
// map data to the document, `factor` is the arrows' factor.
struct Placement {
  double (*sx)(const void*, double);
  double (*sy)(const void*, double);
  const void* context;
  double factor = 1.0;
  bool arrows = false;
  double legend_x = 0, legend_y = 0;  // top left of the overlay's legend
  double x(double v) const { return sx(context, v); }
  double y(double v) const { return sy(context, v); }
};
std::string overlay_elements(const Overlay& o, const Placement& at);
// The colour of level k (cycling through a fixed palette); -1: the objects' own.
std::string level_colour(std::int32_t k);

// The two axes with one unit the same length on both, tick marks with
// values on both, every point at its coordinate; the labels placed without
// overlap (export/label_placement.h).
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

// The objects that biplot(b) draws (all with finite coordinates, or one a
// cell when thinned), in index order.
std::vector<std::size_t> drawn_objects(const Biplot& b);

// Writes one SVG document into `dir` on `unit`.
void write_svg(const textio::Directory& dir, int unit, const std::string& name,
               const std::string& document);

// Writes scree.svg, and biplot.svg when both of its axes are retained, into `dir`.
void write_pictures(const textio::Directory& dir, const Biplot& b,
                    const results::Eigensystem& eigen, const ScreeOverlay* overlay = nullptr);

}  // namespace orthaxis::svg
