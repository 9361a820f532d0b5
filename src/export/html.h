#pragma once
// report.html (--html): the whole analysis in one self-contained page: the
// run summary, the eigenvalues with the scree picture, the biplot with a
// tooltip on every point and arrow, zoom, pan and switches for the objects
// and the variables, sortable tables, a reading of each axis in words, and
// the report itself. Style, script and pictures are inline; the page asks
// for nothing outside itself. The data reach the script as a JSON block in
// which '<', '>', '&', U+2028 and U+2029 are escaped, so no label can end
// the block or open markup.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "results/eigensystem.h"
#include "results/score_matrix.h"

namespace orthaxis::html {

inline constexpr const char* kReportFile = "report.html";
// Above this many objects the page shows and lists the objects the biplot
// draws (one per cell of kPageThinCell units); objects.csv keeps them all.
inline constexpr double kPageThinCell = 6.0;
// The report is shown up to this many bytes; the rest stays in its file.
inline constexpr std::size_t kReportShown = 512 * 1024;

// Text for HTML: the markup characters escaped, what is not UTF-8 and
// control characters replaced.
std::string text(std::string_view s);
// A JSON string literal safe inside a script element.
std::string json_string(std::string_view s);

struct PointSet {
  const results::ScoreMatrix& scores;
  const results::ScoreMatrix& cos2;
  const results::ScoreMatrix& ctr;
  std::span<const std::string> labels;  // empty: numbers
  std::vector<std::size_t> rows;        // the points in the page, in index order
};

struct Page {
  std::string data_file, title, analysis;
  std::int32_t n = 0, p = 0;
  std::int64_t missing = -1;  // -1: not counted
  std::int64_t warnings = 0;
  const results::Eigensystem& eigen;
  std::string scree_svg, biplot_svg;  // documents; the biplot may be empty
  std::int32_t axis1 = 0, axis2 = 1;
  std::string biplot_note;            // said under the biplot
  PointSet objects, variables;
};

// The page around the report's text: it goes between the two parts.
struct Parts {
  std::string before_report, after_report;
};
Parts page(const Page& p);

// The whole page with the report's text (shown up to kReportShown bytes).
std::string assemble(const Parts& parts, std::string_view report, const std::string& report_name);

// The reading of axis k in words: the variables and objects with the
// largest contributions on each side. HTML.
std::string axis_reading(const Page& p, std::size_t k);

}  // namespace orthaxis::html
