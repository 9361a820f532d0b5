// report.html: every text from the data comes out as text, in the markup and
// in the script's JSON block alike.

#include "export/html.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orthaxis::html {
namespace {

using results::ScoreLayout;
using results::ScoreMatrix;

std::size_t count(const std::string& s, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

TEST(HtmlJson, EscapesWhatCouldEndTheScriptOrTheString) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"</script><!--", "\"\\u003c/script\\u003e\\u003c!--\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"tab\tnew\nline\x01", "\"tab\\u0009new\\u000aline\\u0001\""},
      {"line\xe2\x80\xa8para\xe2\x80\xa9", "\"line\\u2028para\\u2029\""},
      {"caf\xc3\xa9 & ]]>", "\"caf\xc3\xa9 \\u0026 ]]\\u003e\""},
      {"bad\xe9(", "\"bad?(\""},
  };
  for (const auto& c : cases) EXPECT_EQ(json_string(c.in), c.out) << c.in;
}

TEST(HtmlPage, HostileLabelsStayText) {
  const std::vector<std::string> objects = {"<script>alert(1)</script>", "\"quoted\" 'single'",
                                            "]]> <!-- -->", "ctrl\x07\x1b" "end",
                                            std::string(5000, 'W')};
  const std::vector<std::string> variables = {"<b>bold</b>", "x</pre><img src=x>"};
  const ScoreMatrix f({1, 2, -1, 0.5f, 2, -1, -0.5f, -2, 0.1f, 0.2f}, 5, 2, ScoreLayout::kPointRows);
  const ScoreMatrix g({0.5f, -1, 1.5f, 0.25f}, 2, 2, ScoreLayout::kAxisColumns);
  const ScoreMatrix fq({0.5f, 0.5f, 0.2f, 0.1f, 0.9f, 0.0f, 0.3f, 0.3f, 0.1f, 0.1f}, 5, 2, ScoreLayout::kPointRows);
  const ScoreMatrix gq({0.5f, 0.5f, 0.2f, 0.1f}, 2, 2, ScoreLayout::kPointRows);
  results::Eigensystem e;
  e.p = 2;
  e.values = {3.0f, 1.0f};
  e.positive_count = 2;
  e.positive_sum = 4.0f;
  Page p{"data</title>.dat", "A <title>", "PCA from correlations", 5, 2, 0, 1, e,
         "<?xml version=\"1.0\"?>\n<svg></svg>\n", "<?xml version=\"1.0\"?>\n<svg id=\"b\"></svg>\n",
         0, 1, "", {f, fq, fq, objects, {0, 1, 2, 3, 4}}, {g, gq, gq, variables, {0, 1}}};
  const std::string page = assemble(html::page(p), "report <script>x</script>\n line 2\n", "R");
  EXPECT_EQ(count(page, "<script"), 2u);  // the JSON block and the page's script
  EXPECT_EQ(count(page, "</script>"), 2u);
  EXPECT_EQ(count(page, "<title>"), 1u);
  EXPECT_EQ(count(page, "<b>bold"), 0u);
  EXPECT_EQ(count(page, "<img"), 0u);
  EXPECT_EQ(count(page, "</pre>"), 1u);
  EXPECT_EQ(count(page, "<?xml"), 0u);  // the pictures are inline
  EXPECT_NE(page.find("report &lt;script&gt;x&lt;/script&gt;\n line 2\n"), std::string::npos);
  EXPECT_NE(page.find("&lt;b&gt;bold&lt;/b&gt;"), std::string::npos);  // in the axis reading
  EXPECT_EQ(page.find('\x07'), std::string::npos);
  EXPECT_EQ(page.find("<img"), std::string::npos);
  EXPECT_NE(page.find("default-src 'none'"), std::string::npos);  // no request leaves the page
}

}  // namespace
}  // namespace orthaxis::html
