#pragma once
// The pieces that every picture is made of: the document's start, a text,
// a line and the arrow head of the variables.

#include <string>
#include <string_view>

namespace orthaxis::svg::part {

inline constexpr int kFontSize = 11;

// The XML declaration, the svg element of `width` x `height` with its
// title, and the white background.
std::string header(double width, double height, std::string_view title);
// A text at the font size; `extra`: further attributes, each after a blank.
std::string text(double x, double y, std::string_view anchor, std::string_view cls,
                 std::string_view content, std::string_view extra = "");
std::string line(double x1, double y1, double x2, double y2, std::string_view attributes);
// The marker "arrow" in the variables' colour, within its defs.
std::string arrow_marker();

}  // namespace orthaxis::svg::part
