// The import read in blocks gives what the whole-table reading gives: every
// file, the summary and the refusal, at every thread count and block size.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <bit>
#include <charconv>
#include <cstdint>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include <unistd.h>

#include "driver/import.h"
#include "driver/import_stream.h"
#include "input/csv_table.h"

namespace {

namespace fs = std::filesystem;
using orthaxis::driver::ImportAnalysis;
using orthaxis::driver::ImportTuning;
using orthaxis::driver::import_table;
using orthaxis::driver::import_tuning;
using orthaxis::driver::Options;

struct Outcome {
  std::string said;                          // the summary, or the refusal
  std::map<std::string, std::string> files;  // name -> bytes
};

Outcome import_once(const fs::path& table, const fs::path& dir, Options o) {
  fs::remove_all(dir);
  o.import_file = table.string();
  o.dir = dir.string();
  Outcome out;
  try {
    const auto s = import_table(o);
    std::ostringstream said;
    said << s.objects << ' ' << s.variables << ' ' << s.missing << ' ' << s.object_names << ' '
         << s.supplementary_objects << ' ' << s.supplementary_variables << ' ' << s.qualitative;
    for (const auto& n : s.notices) said << '\n' << n;
    out.said = said.str();
  } catch (const std::exception& e) {
    out.said = std::string("refused: ") + e.what();
  }
  if (fs::exists(dir))
    for (const auto& entry : fs::directory_iterator(dir)) {
      std::ifstream in(entry.path(), std::ios::binary);
      out.files[entry.path().filename().string()] =
          std::string(std::istreambuf_iterator<char>(in), {});
    }
  return out;
}

TEST(ImportStream, EveryFileAsTheWholeTableReadingGivesIt) {
  struct Case {
    const char* text;
    const char* sup_rows = "";
    const char* sup_cols = "";
    ImportAnalysis analysis = ImportAnalysis::kCorrelation;
  };
  const std::string many = [] {
    std::string t = ",a,b,c,d\n";
    for (int i = 0; i < 60; ++i)
      t += "r" + std::to_string(i) + "," + std::to_string(i * 0.37f) + ",1e-3," +
           (i == 47 ? "late text" : std::to_string(i % 5)) + "," + std::to_string(i * 2) + "\n";
    return t;
  }();
  const Case cases[] = {
      {"\"\",\"x\",\"y, z\"\n\"r \"\"1\"\"\",1.5,2\n\"two\nlines\",NA,3.25\nr3,,4\n"},
      {"a,b\r\n1,2\r\n3,4.5\r\n\r\n"},
      {"a,b\r1,2\r3,4\r"},
      {"a,b,c\n1,2,3\n4,5.5,6\n7,8,9.25\n10,11,12"},
      {"a,b,c,d\n1,2,3,4\n4,5.5,6,7\n7,8,9.25,1\n10,11,12,13\n", "2", "b"},
      // Cells of every form, some already their shortest text, some not.
      {"a,b,c\n0.5,00.5,1.50\n5.,100000,10000\n0.0005,0.05,1200\n94510900,1234567,0\n"
       "0.0,-0,12.05\n1e5,7,.5\n0.000123,123456,1234560\n"},
      {"\xEF\xBB\xBF" "a;b\n1,5;2\n3;4\n"},
      {"a,b,q\n1,2,u\n3,4,v\n5,6,u\n7,8,w\n"},
      {"n,a,b\n1,2,3\n2,3,4\nname,5,6\n"},
      {"a\n1\n\n2\n\n\n"},
      {",a,b,c\nr1,1,2,3\nr2,3,4,5\nr3,5,6,7\nr4,7,8,9\n", "r2,4", "b"},
      {",a,b,c\nr1,1,2,3\nr2,3,4,5\nr3,5,6,7\nr4,7,8,9\n", "1-2", "3", ImportAnalysis::kCorrespondence},
      {many.c_str(), "3,r10", "a"},
      {many.c_str()},
      // Refusals: the first failing line and column, nothing written.
      {"a,b\n1,2\n\n3,4\n"},
      {"a,b\n1,2\n3,\"4\n"},
      {"a,b\n1,2\n3,\"4\"x\n"},
      {"a,b\n1,2,3\n"},
      {"a,b\n1,1e99\n2,x\n"},
      {"a,b\n1,x\n2,1e99\n"},
      {"a,b\n1e99,1\nx,2\n"},
      {"a,b\n1e99,1\n3,2\n"},
      {"a,b\n1,-2\n-3,4\n"},
      {",a,b\nr1,1,2\nr2,-1,4\nr3,5,6\n", "r3"},
      {",a,b\nr1,1,NA\nr2,3,4\n", "", "", ImportAnalysis::kCorrespondence},
      {",a,b\nr1,1,2\nr2,3,4\n", "nobody"},
      {"a,q\n1,u\n2,v\n", "", "q"},
      {"a,b\n"},
      {"\n\n"},
  };
  const fs::path base = fs::temp_directory_path() / ("orthaxis-stream-" + std::to_string(::getpid()));
  fs::create_directories(base);
  const ImportTuning kept = import_tuning();
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const fs::path table = base / ("t" + std::to_string(n++) + ".csv");
    std::ofstream(table, std::ios::binary) << c.text;
    Options o;
    o.sup_rows = c.sup_rows;
    o.sup_cols = c.sup_cols;
    o.analysis = c.analysis;
    o.separator = std::string_view(c.text).find(';') != std::string_view::npos ? ';' : ',';
    o.decimal = o.separator == ';' ? ',' : '.';
    import_tuning() = {std::size_t{1} << 20, true};
    o.threads = 1;
    const Outcome whole = import_once(table, base / "whole", o);
    for (std::int32_t threads : {1, 2, 3})
      for (std::size_t block : {std::size_t{1} << 20, std::size_t{7}, std::size_t{1}}) {
        SCOPED_TRACE("threads " + std::to_string(threads) + ", block " + std::to_string(block));
        import_tuning() = {block, false};
        o.threads = threads;
        const Outcome streamed = import_once(table, base / "streamed", o);
        EXPECT_EQ(streamed.said, whole.said);
        EXPECT_EQ(streamed.files, whole.files);
      }
  }
  import_tuning() = kept;
  fs::remove_all(base);
}

}  // namespace

namespace {

// The shortcuts of the number cells: the quick conversion gives the bits of
// the full one, and a text taken as already shortest is what shortest_float
// writes for its value.
TEST(ImportStream, NumberShortcutsAgreeWithTheFullConversions) {
  std::mt19937 random(7);
  int shortest = 0;
  for (int n = 0; n < 200000; ++n) {
    std::string digits;
    const int count = 1 + static_cast<int>(random() % 8);
    for (int k = 0; k < count; ++k) digits += static_cast<char>('0' + random() % 10);
    std::string t = digits;
    const std::size_t point = random() % (digits.size() + 2);
    if (point < digits.size()) t.insert(point, ".");
    if (random() % 4 == 0) t = "0." + std::string(random() % 4, '0') + digits;
    if (random() % 5 == 0) t += "e" + std::to_string(static_cast<int>(random() % 25) - 12);
    if (random() % 6 == 0) t = "-" + t;
    SCOPED_TRACE(t);
    float quick = 0.0f, full = 0.0f;
    bool too_large = false;
    ASSERT_TRUE(orthaxis::input::parse_csv_number(t, '.', quick, too_large));
    std::from_chars(t.data(), t.data() + t.size(), full);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(quick), std::bit_cast<std::uint32_t>(full));
    if (orthaxis::input::is_shortest_float_text(t)) {
      ++shortest;
      ASSERT_EQ(orthaxis::input::shortest_float(quick), t);
    }
  }
  EXPECT_GT(shortest, 10000);
  for (const char* t : {"1.50", "01", "00.5", ".5", "5.", "+1", "1e2", "100000", "0.0005", "1234567"})
    EXPECT_FALSE(orthaxis::input::is_shortest_float_text(t)) << t;
}

}  // namespace
